// Drive-letter view: which mounts become drives, their kinds, and the
// mapping of drive paths to native paths and back.
#include <gtest/gtest.h>

#include "app/drive_kind.h"
#include "platform/drive_view.h"

namespace {

// A desktop with a USB stick, a DVD, a NAS, a RAM disk under /mnt and the
// usual pseudo file systems; listed out of order on purpose.
const QByteArray kTable =
    "sysfs /sys sysfs rw,nosuid,nodev,noexec,relatime 0 0\n"
    "proc /proc proc rw,nosuid,nodev,noexec,relatime 0 0\n"
    "/dev/nvme0n1p2 / ext4 rw,relatime 0 0\n"
    "tmpfs /run tmpfs rw,nosuid,nodev 0 0\n"
    "cgroup2 /sys/fs/cgroup cgroup2 rw 0 0\n"
    "/dev/nvme0n1p3 /home ext4 rw,relatime 0 0\n"
    "/dev/sdb1 /media/user/USB\\040STICK vfat rw,nosuid 0 0\n"
    "/dev/sr0 /media/user/DVD udf ro 0 0\n"
    "nas:/export /srv/nas nfs4 rw 0 0\n"
    "tmpfs /mnt/ram tmpfs rw 0 0\n"
    "//fs/share /home/user/share cifs rw 0 0\n"
    "/dev/sdc1 /data ext4 rw 0 0\n"
    "/dev/sdd1 /mnt/backup ext4 rw 0 0\n"
    "/dev/loop3 /snap/core/1 squashfs ro 0 0\n"
    "/dev/sde /run/media/user/cam exfat rw 0 0\n";

bool test_removable(const QString& dev)
{
    return dev == QLatin1String("/dev/sdb1") || dev == QLatin1String("/dev/sde");
}

QList<drives::Drive> table_drives()
{
    return drives::drives_from_mounts(drives::parse_mount_table(kTable), test_removable);
}

QString describe(const QList<drives::Drive>& ds)
{
    QStringList out;
    for (const auto& d : ds)
        out += QStringLiteral("%1=%2(%3)").arg(d.letter).arg(d.root).arg(d.type);
    return out.join(QLatin1Char(' '));
}

// Installs a mount table for the test and removes it afterwards.
struct TableOverride {
    explicit TableOverride(const QByteArray& text) { drives::set_mount_table_override(text); }
    ~TableOverride() { drives::clear_mount_table_override(); }
};

} // namespace

TEST(DriveViewMounts, ParsesFieldsAndOctalEscapes)
{
    const auto m = drives::parse_mount_table(
        "/dev/sdb1 /media/u/My\\040Disk\\011x vfat rw 0 0\n"
        "\n"
        "server:/a\\134b /mnt/back\\134slash nfs rw 0 0\n"
        "/dev/sdc1 /media/u/\xe6\x97\xa5\xe6\x9c\xac ext4 rw 0 0\n"
        "short line\n"
        "/dev/x /mnt/\\04 ext4 rw 0 0\n");
    ASSERT_EQ(m.size(), 4);
    EXPECT_EQ(m[0].device, QStringLiteral("/dev/sdb1"));
    EXPECT_EQ(m[0].mount_point, QStringLiteral("/media/u/My Disk\tx"));
    EXPECT_EQ(m[0].fs_type, QStringLiteral("vfat"));
    EXPECT_EQ(m[1].device, QStringLiteral("server:/a\\b"));
    EXPECT_EQ(m[1].mount_point, QStringLiteral("/mnt/back\\slash"));
    EXPECT_EQ(m[2].mount_point, QStringLiteral("/media/u/日本"));
    // A cut-off escape is kept as it stands.
    EXPECT_EQ(m[3].mount_point, QStringLiteral("/mnt/\\04"));
}

TEST(DriveViewMounts, PicksUserDrivesSortedWithKinds)
{
    const auto ds = table_drives();
    // c: first, then by mount point; pseudo file systems, /home, /data, /run
    // and the snap loop mount are not drives.
    EXPECT_EQ(describe(ds),
              QStringLiteral("c=/(3) d=/home/user/share(4) e=/media/user/DVD(5) f=/media/user/USB STICK(2) "
                             "g=/mnt/backup(3) h=/mnt/ram(6) i=/run/media/user/cam(2) j=/srv/nas(4)"));
}

TEST(DriveViewMounts, KindsOfOpticalRootAndShadowedMounts)
{
    const auto ds = drives::drives_from_mounts(
        drives::parse_mount_table("overlay / overlay rw 0 0\n"
                                  "/dev/sr1 /opt/disc auto ro 0 0\n"
                                  "/dev/loop0 /media/iso iso9660 ro 0 0\n"
                                  "/dev/sdb1 /media/usb vfat rw 0 0\n"
                                  "/dev/sdb1 /media/usb fuseblk rw 0 0\n"
                                  "srv:/x /home/u/x fuse.sshfs rw 0 0\n"
                                  "srv:/y /home/u/y sshfs rw 0 0\n"
                                  "//s/z /home/u/z smb3 rw 0 0\n"
                                  "none /dev/shm tmpfs rw 0 0\n"
                                  "ramfs /media/r ramfs rw 0 0\n"),
        [](const QString&) { return false; });
    EXPECT_EQ(describe(ds), QStringLiteral("c=/(3) d=/home/u/x(4) e=/home/u/y(4) f=/home/u/z(4) g=/media/iso(5) "
                                           "h=/media/r(6) i=/media/usb(3) j=/opt/disc(5)"));

    // A tmpfs root (live system) says so; a table without "/" still has c:.
    auto live = drives::drives_from_mounts(drives::parse_mount_table("tmpfs / tmpfs rw 0 0\n"), nullptr);
    ASSERT_EQ(live.size(), 1);
    EXPECT_EQ(live[0].type, drives::kRamDisk);
    auto none = drives::drives_from_mounts({}, nullptr);
    ASSERT_EQ(none.size(), 1);
    EXPECT_EQ(none[0].letter, QLatin1Char('c'));
    EXPECT_EQ(none[0].root, QStringLiteral("/"));
    EXPECT_EQ(none[0].type, drives::kFixed);
}

TEST(DriveViewMounts, RemovableAskedOnlyForDevices)
{
    QStringList asked;
    drives::drives_from_mounts(drives::parse_mount_table("/dev/sdb1 /media/a vfat rw 0 0\n"
                                                         "nas:/x /media/b nfs rw 0 0\n"
                                                         "tmpfs /media/c tmpfs rw 0 0\n"),
                               [&](const QString& d) {
                                   asked += d;
                                   return true;
                               });
    EXPECT_EQ(asked, QStringList{QStringLiteral("/dev/sdb1")});
}

TEST(DriveViewMounts, StopsAtZ)
{
    QByteArray t = "/dev/sda1 / ext4 rw 0 0\n";
    for (int i = 0; i < 30; ++i)
        t += QStringLiteral("/dev/sd%1 /mnt/d%2 ext4 rw 0 0\n").arg(i).arg(i, 2, 10, QLatin1Char('0')).toUtf8();
    const auto ds = drives::drives_from_mounts(drives::parse_mount_table(t), nullptr);
    ASSERT_EQ(ds.size(), 24);
    EXPECT_EQ(ds.last().letter, QLatin1Char('z'));
    EXPECT_EQ(ds.last().root, QStringLiteral("/mnt/d22"));
}

TEST(DriveViewMounts, ListShowsLetterColonFirst)
{
    TableOverride o(kTable);
    const QStringList l = drives::drive_list();
    ASSERT_GE(l.size(), 2);
    EXPECT_EQ(l[0], QStringLiteral("c: [/]"));
    EXPECT_EQ(l[1], QStringLiteral("d: [/home/user/share]"));
    for (const QString& e : l)
        EXPECT_EQ(e.mid(1, 1), QStringLiteral(":")) << e.toStdString();
}

TEST(DriveViewMounts, RealMountTableHasRoot)
{
    drives::clear_mount_table_override();
    const auto ds = drives::current_drives();
    ASSERT_FALSE(ds.isEmpty());
    EXPECT_EQ(ds[0].letter, QLatin1Char('c'));
    EXPECT_EQ(ds[0].root, QStringLiteral("/"));
    EXPECT_NE(drives::drive_type(QLatin1Char('c')), drives::kNoRoot);
    EXPECT_EQ(drives::to_native(QStringLiteral("c:\\tmp")), QStringLiteral("/tmp"));
}

TEST(DriveViewPaths, ToNative)
{
    TableOverride o("/dev/sda1 / ext4 rw 0 0\n/dev/sdb1 /media/usb vfat rw 0 0\n");
    EXPECT_EQ(drives::to_native(QStringLiteral("c:\\home\\u\\")), QStringLiteral("/home/u/"));
    EXPECT_EQ(drives::to_native(QStringLiteral("c:\\home\\u")), QStringLiteral("/home/u"));
    EXPECT_EQ(drives::to_native(QStringLiteral("C:")), QStringLiteral("/"));
    EXPECT_EQ(drives::to_native(QStringLiteral("c:\\")), QStringLiteral("/"));
    EXPECT_EQ(drives::to_native(QStringLiteral("C:\\Home")), QStringLiteral("/Home"));
    EXPECT_EQ(drives::to_native(QStringLiteral("d:")), QStringLiteral("/media/usb"));
    EXPECT_EQ(drives::to_native(QStringLiteral("d:\\")), QStringLiteral("/media/usb/"));
    EXPECT_EQ(drives::to_native(QStringLiteral("D:\\x\\y.txt")), QStringLiteral("/media/usb/x/y.txt"));
    EXPECT_EQ(drives::to_native(QStringLiteral("c:\\日本語\\ﾌｧｲﾙ 1.txt")), QStringLiteral("/日本語/ﾌｧｲﾙ 1.txt"));
    // No drive behind the letter, or not a drive path at all.
    EXPECT_TRUE(drives::to_native(QStringLiteral("e:\\x")).isNull());
    EXPECT_TRUE(drives::to_native(QStringLiteral("/home/u")).isNull());
    EXPECT_TRUE(drives::to_native(QStringLiteral("c")).isNull());
    EXPECT_TRUE(drives::to_native(QString()).isNull());
    EXPECT_TRUE(drives::to_native(QStringLiteral("1:\\x")).isNull());
    EXPECT_TRUE(drives::to_native(QStringLiteral("ｃ:\\x")).isNull());
}

TEST(DriveViewPaths, FromNativeAndBack)
{
    TableOverride o("/dev/sda1 / ext4 rw 0 0\n"
                    "/dev/sdb1 /media/usb vfat rw 0 0\n"
                    "/dev/sdc1 /media/usb/inner ext4 rw 0 0\n");
    EXPECT_EQ(drives::from_native(QStringLiteral("/home/u")), QStringLiteral("c:\\home\\u"));
    EXPECT_EQ(drives::from_native(QStringLiteral("/home/u/")), QStringLiteral("c:\\home\\u\\"));
    EXPECT_EQ(drives::from_native(QStringLiteral("/")), QStringLiteral("c:\\"));
    EXPECT_EQ(drives::from_native(QStringLiteral("/media/usb")), QStringLiteral("d:\\"));
    EXPECT_EQ(drives::from_native(QStringLiteral("/media/usb/")), QStringLiteral("d:\\"));
    EXPECT_EQ(drives::from_native(QStringLiteral("/media/usb/a/b")), QStringLiteral("d:\\a\\b"));
    // The longest root wins, by whole names only.
    EXPECT_EQ(drives::from_native(QStringLiteral("/media/usb/inner/x")), QStringLiteral("e:\\x"));
    EXPECT_EQ(drives::from_native(QStringLiteral("/media/usb/innerx")), QStringLiteral("d:\\innerx"));
    EXPECT_EQ(drives::from_native(QStringLiteral("/media/usbfoo/x")), QStringLiteral("c:\\media\\usbfoo\\x"));
    EXPECT_EQ(drives::from_native(QStringLiteral("/mediafoo")), QStringLiteral("c:\\mediafoo"));
    // A name holding '\' cannot be written as a drive path.
    EXPECT_TRUE(drives::from_native(QStringLiteral("/home/a\\b")).isNull());
    EXPECT_TRUE(drives::from_native(QStringLiteral("/media/usb/x\\")).isNull());
    EXPECT_TRUE(drives::from_native(QStringLiteral("relative/x")).isNull());
    EXPECT_FALSE(drives::expressible(QStringLiteral("a\\b")));
    EXPECT_TRUE(drives::expressible(QStringLiteral("a b ¥ ﾌｧｲﾙ")));

    for (const QString& p : {QStringLiteral("c:\\"), QStringLiteral("c:\\home\\u\\ftp\\"),
                             QStringLiteral("c:\\a b\\日本"), QStringLiteral("d:\\"), QStringLiteral("d:\\x\\"),
                             QStringLiteral("e:\\deep\\er")})
        EXPECT_EQ(drives::from_native(drives::to_native(p)), p) << p.toStdString();
}

TEST(DriveViewPaths, BackslashInMountPointStaysOnItsDrive)
{
    // The kernel writes such a mount point as \134.
    TableOverride o("/dev/sda1 / ext4 rw 0 0\n/dev/sdb1 /media/a\\134b vfat rw 0 0\n");
    EXPECT_EQ(drives::to_native(QStringLiteral("d:\\x")), QStringLiteral("/media/a\\b/x"));
    EXPECT_EQ(drives::from_native(QStringLiteral("/media/a\\b/x")), QStringLiteral("d:\\x"));
}

TEST(DriveKind, TextForEveryTypeNumber)
{
    EXPECT_EQ(drive_kind_text(0), QStringLiteral("不明です。"));
    EXPECT_EQ(drive_kind_text(1), QStringLiteral("ありません。"));
    EXPECT_EQ(drive_kind_text(2), QStringLiteral("フロッピーディスクです。"));
    EXPECT_EQ(drive_kind_text(3), QStringLiteral("ハードディスクです。"));
    EXPECT_EQ(drive_kind_text(4), QStringLiteral("ネットワークドライブです。"));
    EXPECT_EQ(drive_kind_text(5), QStringLiteral("CD-ROM"));
    EXPECT_EQ(drive_kind_text(6), QStringLiteral("RAM ディスクです。"));
    EXPECT_TRUE(drive_kind_text(7).isEmpty());
    EXPECT_TRUE(drive_kind_text(-1).isEmpty());
}

TEST(DriveKind, FromTheMountTable)
{
    TableOverride o(kTable);
    // Drive-list entries are passed whole; only the letter counts.
    EXPECT_EQ(Drive_kind(QStringLiteral("c: [/]")), QStringLiteral("ハードディスクです。"));
    EXPECT_EQ(Drive_kind(QStringLiteral("d")), QStringLiteral("ネットワークドライブです。"));
    EXPECT_EQ(Drive_kind(QStringLiteral("E:")), QStringLiteral("CD-ROM"));
    EXPECT_EQ(Drive_kind(QStringLiteral("h")), QStringLiteral("RAM ディスクです。"));
    EXPECT_EQ(Drive_kind(QStringLiteral("z")), QStringLiteral("ありません。"));
    EXPECT_EQ(Drive_kind(QStringLiteral("a")), QStringLiteral("ありません。"));
    EXPECT_EQ(Drive_kind(QString()), QStringLiteral("ありません。"));
}
