// The drive-letter view of the file system. The program's paths are
// drive-letter paths with '\' separators (c:\home\user\ftp\); c: is "/",
// d: onward are the other mounted file systems a user would pick.
#pragma once
#include <QByteArray>
#include <QChar>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace drives {

struct MountEntry {
    QString device;
    QString mount_point;
    QString fs_type;
};

// Parses text in the /proc/self/mounts format; octal escapes (\040 for a
// space) are decoded.
QList<MountEntry> parse_mount_table(const QByteArray& text);

// Drive-type numbers.
enum : int {
    kUnknown = 0,
    kNoRoot = 1,
    kRemovable = 2,
    kFixed = 3,
    kNetwork = 4,
    kCdRom = 5,
    kRamDisk = 6,
};

struct Drive {
    QChar letter; // lowercase 'c'..'z'
    QString root; // native path of the drive's root folder
    int type;     // drive-type number
};

// Picks the drives from a mount table: c: for "/", then d: onward in order of
// mount point. removable(device) says whether the system marks the device as
// removable media.
QList<Drive> drives_from_mounts(const QList<MountEntry>& mounts,
                                const std::function<bool(const QString& device)>& removable);

// The drives of this system, from the mount table and sysfs.
QList<Drive> current_drives();
// Tests: take the mount table from this text instead of /proc/self/mounts.
void set_mount_table_override(const QByteArray& text);
void clear_mount_table_override();

// Entries "c: [/]", "d: [/media/usb]": the first two characters are the
// letter and the colon.
QStringList drive_list();

// "c:\home\u\" -> "/home/u/"; empty when the text is not a drive path or its
// letter has no drive.
QString to_native(const QString& drive_path);
// "/home/u" -> "c:\home\u"; empty when the path is not absolute or a name in
// it holds '\' (which the view cannot express).
QString from_native(const QString& native);
// False when a native file name holds '\'.
bool expressible(const QString& native_name);
// The drive-type number of a letter (either case); kNoRoot when no drive.
int drive_type(QChar letter);

} // namespace drives
