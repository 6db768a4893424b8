#include "platform/drive_view.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <optional>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace drives {

namespace {

std::optional<QByteArray>& override_text()
{
    static std::optional<QByteArray> text;
    return text;
}

// A field of the mount table: the kernel writes space, tab, newline and
// backslash as three-digit octal escapes.
QString unescape_field(const QByteArray& field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '\\' && i + 3 < field.size()) {
            const char a = field[i + 1], b = field[i + 2], d = field[i + 3];
            if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && d >= '0' && d <= '7') {
                out += char(((a - '0') << 6) | ((b - '0') << 3) | (d - '0'));
                i += 3;
                continue;
            }
        }
        out += c;
    }
    return QFile::decodeName(out);
}

bool is_under(const QString& path, const QString& dir)
{
    return path.size() > dir.size() + 1 && path.startsWith(dir) && path[dir.size()] == QLatin1Char('/');
}

// Folders where users and desktops mount things meant to be picked.
bool in_user_mount_folder(const QString& mp)
{
    return mp == QLatin1String("/mnt") || mp == QLatin1String("/media")
        || is_under(mp, QStringLiteral("/mnt")) || is_under(mp, QStringLiteral("/media"))
        || is_under(mp, QStringLiteral("/run/media"));
}

bool is_optical(const MountEntry& m)
{
    const QString dev = m.device.section(QLatin1Char('/'), -1);
    return m.fs_type == QLatin1String("iso9660") || m.fs_type == QLatin1String("udf")
        || (m.device.startsWith(QLatin1String("/dev/")) && dev.startsWith(QLatin1String("sr")));
}

bool is_network(const QString& fs)
{
    return fs == QLatin1String("nfs") || fs == QLatin1String("nfs4") || fs == QLatin1String("cifs")
        || fs.startsWith(QLatin1String("smb")) || fs == QLatin1String("sshfs")
        || fs == QLatin1String("fuse.sshfs");
}

bool is_ram(const QString& fs)
{
    return fs == QLatin1String("tmpfs") || fs == QLatin1String("ramfs");
}

int kind_of(const MountEntry& m, const std::function<bool(const QString&)>& removable)
{
    if (is_optical(m))
        return kCdRom;
    if (is_network(m.fs_type))
        return kNetwork;
    if (is_ram(m.fs_type))
        return kRamDisk;
    if (m.device.startsWith(QLatin1String("/dev/")) && removable && removable(m.device))
        return kRemovable;
    return kFixed;
}

// sysfs keeps "removable" on the whole disk: sdb1 -> sdb, mmcblk0p1 -> mmcblk0.
bool sysfs_removable(const QString& device)
{
    QString name = QFileInfo(device).canonicalFilePath();
    if (name.isEmpty())
        name = device;
    name = name.section(QLatin1Char('/'), -1);
    if (name.isEmpty())
        return false;
    const auto read_flag = [](const QString& disk, bool* found) {
        QFile f(QStringLiteral("/sys/block/") + disk + QStringLiteral("/removable"));
        *found = f.open(QIODevice::ReadOnly);
        return *found && f.readAll().trimmed() == "1";
    };
    bool found = false;
    bool flag = read_flag(name, &found);
    if (found)
        return flag;
    static const QRegularExpression numbered_p(QStringLiteral("^(.*\\d)p\\d+$"));
    static const QRegularExpression numbered(QStringLiteral("^(.*\\D)\\d+$"));
    QRegularExpressionMatch m = numbered_p.match(name);
    if (!m.hasMatch())
        m = numbered.match(name);
    if (!m.hasMatch())
        return false;
    return read_flag(m.captured(1), &found);
}

// The system's mount table, read again only when the kernel says it changed
// (poll() on an open /proc/self/mounts reports POLLPRI then): paths are
// converted for every file of a listing.
const QByteArray& system_mount_table()
{
    static int fd = -2;
    static QByteArray text;
    if (fd == -2)
        fd = ::open("/proc/self/mounts", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return text;
    static bool read_once = false;
    pollfd p{fd, POLLPRI, 0};
    const bool changed = ::poll(&p, 1, 0) > 0 && (p.revents & (POLLERR | POLLPRI));
    if (read_once && !changed)
        return text;
    text.clear();
    if (::lseek(fd, 0, SEEK_SET) == 0) {
        char buf[8192];
        for (;;) {
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n > 0)
                text.append(buf, n);
            else if (n == 0 || errno != EINTR)
                break;
        }
    }
    read_once = true;
    return text;
}

// Keeps the drives of the last mount table and reuses them while the table
// is unchanged (sysfs is only read for a new table).
const QList<Drive>& cached_drives()
{
    static QByteArray last_text;
    static QList<Drive> last;
    static bool have = false;
    const QByteArray& text = override_text() ? *override_text() : system_mount_table();
    if (!have || text != last_text) {
        last = drives_from_mounts(parse_mount_table(text), sysfs_removable);
        last_text = text;
        have = true;
    }
    return last;
}

const Drive* find_drive(const QList<Drive>& list, QChar letter)
{
    const QChar l = letter.toLower();
    for (const Drive& d : list)
        if (d.letter == l)
            return &d;
    return nullptr;
}

} // namespace

QList<MountEntry> parse_mount_table(const QByteArray& text)
{
    QList<MountEntry> out;
    for (const QByteArray& line : text.split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() < 3 || f[0].isEmpty())
            continue;
        out.append({unescape_field(f[0]), unescape_field(f[1]), unescape_field(f[2])});
    }
    return out;
}

QList<Drive> drives_from_mounts(const QList<MountEntry>& mounts,
                                const std::function<bool(const QString& device)>& removable)
{
    // A later mount on the same point hides the earlier one.
    QList<MountEntry> visible;
    for (const MountEntry& m : mounts) {
        auto it = std::find_if(visible.begin(), visible.end(),
                               [&](const MountEntry& v) { return v.mount_point == m.mount_point; });
        if (it != visible.end())
            *it = m;
        else
            visible.append(m);
    }

    QList<Drive> out;
    Drive c{QLatin1Char('c'), QStringLiteral("/"), kFixed};
    QList<std::pair<QString, int>> others;
    for (const MountEntry& m : visible) {
        if (m.mount_point == QLatin1String("/")) {
            c.type = kind_of(m, removable);
            continue;
        }
        if (!m.mount_point.startsWith(QLatin1Char('/')))
            continue;
        const int kind = kind_of(m, removable);
        if (in_user_mount_folder(m.mount_point) || kind == kCdRom || kind == kNetwork || kind == kRemovable)
            others.append({m.mount_point, kind});
    }
    std::sort(others.begin(), others.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });

    out.append(c);
    char letter = 'd';
    for (const auto& [root, kind] : others) {
        if (letter > 'z')
            break;
        out.append({QLatin1Char(letter), root, kind});
        ++letter;
    }
    return out;
}

QList<Drive> current_drives()
{
    return cached_drives();
}

void set_mount_table_override(const QByteArray& text)
{
    override_text() = text;
}

void clear_mount_table_override()
{
    override_text().reset();
}

QStringList drive_list()
{
    QStringList out;
    for (const Drive& d : cached_drives())
        out += QString(d.letter) + QStringLiteral(": [") + d.root + QLatin1Char(']');
    return out;
}

QString to_native(const QString& drive_path)
{
    if (drive_path.size() < 2 || drive_path[1] != QLatin1Char(':') || !drive_path[0].isLetter()
        || drive_path[0].unicode() > 0x7f)
        return QString();
    const Drive* d = find_drive(cached_drives(), drive_path[0]);
    if (!d)
        return QString();
    QString rest = drive_path.mid(2);
    rest.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (rest.isEmpty())
        return d->root;
    if (d->root == QLatin1String("/"))
        return rest.startsWith(QLatin1Char('/')) ? rest : QLatin1Char('/') + rest;
    return rest.startsWith(QLatin1Char('/')) ? d->root + rest : d->root + QLatin1Char('/') + rest;
}

QString from_native(const QString& native)
{
    if (!native.startsWith(QLatin1Char('/')))
        return QString();
    const Drive* best = nullptr;
    for (const Drive& d : cached_drives()) {
        const bool covers = d.root == QLatin1String("/") || native == d.root || is_under(native, d.root)
            || native == d.root + QLatin1Char('/');
        if (covers && (!best || d.root.size() > best->root.size()))
            best = &d;
    }
    if (!best)
        return QString();
    QString rest = best->root == QLatin1String("/") ? native : native.mid(best->root.size());
    if (!expressible(rest))
        return QString();
    if (rest.isEmpty())
        rest = QStringLiteral("/");
    rest.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return QString(best->letter) + QLatin1Char(':') + rest;
}

bool expressible(const QString& native_name)
{
    return !native_name.contains(QLatin1Char('\\'));
}

int drive_type(QChar letter)
{
    const Drive* d = find_drive(cached_drives(), letter);
    return d ? d->type : kNoRoot;
}

} // namespace drives
