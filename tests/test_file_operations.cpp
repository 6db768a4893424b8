// Deleting, making, renaming and viewing files on both sides: the file-system
// steps on their own, the local commands through the window, and the remote
// commands against the fake server.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

#include <sys/inotify.h>
#include <thread>
#include <unistd.h>

#include "app/form1.h"
#include "fileops/local_files.h"
#include "fileops/rename_dialog.h"
#include "platform/drive_view.h"
#include "platform/launcher.h"
#include "platform/list_view.h"
#include "platform/program_folder.h"
#include "platform/winsock.h"
#include "tests/fake_tree.h"
#include "tests/ftp_fixture.h"
#include "tests/prompt_script.h"
#include "tests/list_helpers.h"
#include "tests/test_support.h"

namespace {

void write_file(const QString& path, const QByteArray& content = "x")
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(content);
}

QByteArray read_file(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void make_read_only(const QString& path)
{
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
}

// A tree 'depth' folders deep below root, each level holding a hidden file,
// a read-only file and (every fifth level above the last) a read-only folder;
// returns the deepest folder, which stays writable.
QString make_deep_tree(const QString& root, int depth)
{
    QString folder = root;
    for (int level = 1; level <= depth; ++level) {
        folder += QStringLiteral("/level") + QString::number(level);
        EXPECT_TRUE(QDir().mkpath(folder));
        write_file(folder + QStringLiteral("/.hidden"));
        write_file(folder + QStringLiteral("/locked.txt"));
        make_read_only(folder + QStringLiteral("/locked.txt"));
    }
    // Read-only folders on the way, made so only after their contents exist.
    QString walk = root;
    for (int level = 1; level <= depth; ++level) {
        walk += QStringLiteral("/level") + QString::number(level);
        if (level % 5 == 0 && level < depth) {
            EXPECT_TRUE(QFile::setPermissions(walk, QFile::ReadOwner | QFile::ExeOwner));
        }
    }
    return folder;
}

// Keeps a substitute mount table for one test.
struct MountTable {
    explicit MountTable(const QByteArray& text) { drives::set_mount_table_override(text); }
    ~MountTable() { drives::clear_mount_table_override(); }
};

// ---- the file-system steps ------------------------------------------------

TEST(LocalFiles, LinksInsideATreeAreRemovedAsLinksAndTheirTargetsSurvive)
{
    TestEnv env;
    const QString outside = env.scratch() + QStringLiteral("/outside");
    ASSERT_TRUE(QDir().mkpath(outside + QStringLiteral("/sub")));
    write_file(outside + QStringLiteral("/keep.txt"), "keep");
    write_file(outside + QStringLiteral("/sub/inner.txt"), "inner");
    write_file(outside + QStringLiteral("/ro.txt"), "ro");
    make_read_only(outside + QStringLiteral("/ro.txt"));
    const QString victim = env.scratch() + QStringLiteral("/victim");
    ASSERT_TRUE(QDir().mkpath(victim + QStringLiteral("/deeper")));
    ASSERT_TRUE(QFile::link(outside, victim + QStringLiteral("/to_folder")));
    ASSERT_TRUE(QFile::link(outside + QStringLiteral("/keep.txt"), victim + QStringLiteral("/to_file")));
    ASSERT_TRUE(QFile::link(outside + QStringLiteral("/ro.txt"), victim + QStringLiteral("/deeper/to_ro")));
    ASSERT_TRUE(QFile::link(QStringLiteral("../outside/sub"), victim + QStringLiteral("/deeper/relative")));
    ASSERT_TRUE(QFile::link(env.scratch() + QStringLiteral("/nowhere"), victim + QStringLiteral("/dangling")));

    EXPECT_TRUE(local_files::remove_tree(victim).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(victim));
    EXPECT_EQ(read_file(outside + QStringLiteral("/keep.txt")), "keep");
    EXPECT_EQ(read_file(outside + QStringLiteral("/sub/inner.txt")), "inner");
    // Nothing reached through a link was made writable either.
    EXPECT_FALSE(QFileInfo(outside + QStringLiteral("/ro.txt")).permission(QFile::WriteOwner));

    // A link given as the folder itself goes alone.
    ASSERT_TRUE(QFile::link(outside, env.scratch() + QStringLiteral("/alias")));
    EXPECT_TRUE(local_files::remove_tree(env.scratch() + QStringLiteral("/alias")).isEmpty());
    EXPECT_FALSE(QFileInfo(env.scratch() + QStringLiteral("/alias")).isSymLink());
    EXPECT_EQ(read_file(outside + QStringLiteral("/keep.txt")), "keep");
}

TEST(LocalFiles, MissingEntriesAreReportedByName)
{
    TestEnv env;
    const QString gone = env.scratch() + QStringLiteral("/gone");
    const QList<local_files::Failure> f = local_files::remove_tree(gone);
    ASSERT_EQ(f.size(), 1);
    EXPECT_EQ(f[0].path, gone);
    EXPECT_FALSE(f[0].reason.isEmpty());
    QString reason;
    EXPECT_FALSE(local_files::remove_file(gone, &reason));
    EXPECT_FALSE(reason.isEmpty());

    QList<local_files::Failure> many;
    for (int i = 0; i < 25; ++i)
        many.append({QStringLiteral("c:\\f") + QString::number(i), i == 0 ? QStringLiteral("why") : QString()});
    const QString text = local_files::failure_text(QStringLiteral("head"), many);
    EXPECT_TRUE(text.startsWith(QStringLiteral("head\nc:\\f0 (why)\nc:\\f1\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("c:\\f19")));
    EXPECT_FALSE(text.contains(QStringLiteral("c:\\f20")));
    EXPECT_TRUE(text.endsWith(QStringLiteral("\nほか5件")));
}

TEST(LocalFiles, ReadOnlyFollowsTheOwnerWriteBitAndClearingKeepsTheOtherBits)
{
    TestEnv env;
    const QString f = env.scratch() + QStringLiteral("/f.txt");
    write_file(f);
    EXPECT_FALSE(local_files::is_read_only(f));
    ASSERT_TRUE(QFile::setPermissions(f, QFile::ReadOwner | QFile::ReadGroup | QFile::WriteGroup));
    // Decided by the bits, so it holds when the tests run as root.
    EXPECT_TRUE(local_files::is_read_only(f));
    EXPECT_TRUE(local_files::clear_read_only(f));
    const QFile::Permissions want = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::WriteGroup;
    const QFile::Permissions bits = QFileInfo(f).permissions() &
        ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
    EXPECT_EQ(bits, want);
    // A link is never read-only itself, and clearing it leaves its target alone.
    make_read_only(f);
    const QString link = env.scratch() + QStringLiteral("/link");
    ASSERT_TRUE(QFile::link(f, link));
    EXPECT_FALSE(local_files::is_read_only(link));
    EXPECT_TRUE(local_files::clear_read_only(link));
    EXPECT_TRUE(local_files::is_read_only(f));
}

TEST(LocalFiles, RenameNeverReplacesAndNamesAreChecked)
{
    TestEnv env;
    const QString d = env.scratch();
    write_file(d + QStringLiteral("/a.txt"), "A");
    write_file(d + QStringLiteral("/b.txt"), "B");
    ASSERT_TRUE(QDir().mkdir(d + QStringLiteral("/dir")));
    ASSERT_TRUE(QFile::link(d + QStringLiteral("/nowhere"), d + QStringLiteral("/dangling")));
    QString reason;
    using R = local_files::RenameResult;
    EXPECT_EQ(local_files::rename_entry(d + QStringLiteral("/a.txt"), d + QStringLiteral("/b.txt"), &reason),
              R::TargetExists);
    EXPECT_EQ(local_files::rename_entry(d + QStringLiteral("/dir"), d + QStringLiteral("/b.txt"), &reason),
              R::TargetExists);
    EXPECT_EQ(local_files::rename_entry(d + QStringLiteral("/a.txt"), d + QStringLiteral("/dangling"), &reason),
              R::TargetExists);
    EXPECT_EQ(read_file(d + QStringLiteral("/a.txt")), "A");
    EXPECT_EQ(read_file(d + QStringLiteral("/b.txt")), "B");
    EXPECT_EQ(local_files::rename_entry(d + QStringLiteral("/gone"), d + QStringLiteral("/new"), &reason), R::Failed);
    EXPECT_FALSE(reason.isEmpty());
    // Folders and dangling links move as themselves.
    EXPECT_EQ(local_files::rename_entry(d + QStringLiteral("/dir"), d + QStringLiteral("/dir2"), &reason), R::Renamed);
    EXPECT_TRUE(QFileInfo(d + QStringLiteral("/dir2")).isDir());
    EXPECT_EQ(local_files::rename_entry(d + QStringLiteral("/dangling"), d + QStringLiteral("/moved"), &reason),
              R::Renamed);
    EXPECT_TRUE(QFileInfo(d + QStringLiteral("/moved")).isSymLink());

    using M = local_files::MakeResult;
    EXPECT_EQ(local_files::make_folder(d + QStringLiteral("/a.txt")), M::Exists);
    EXPECT_EQ(local_files::make_folder(d + QStringLiteral("/moved")), M::Exists);
    EXPECT_EQ(local_files::make_folder(d + QStringLiteral("/new dir")), M::Made);
    EXPECT_EQ(local_files::make_folder(d + QStringLiteral("/no/such/parent")), M::Failed);

    EXPECT_TRUE(local_files::is_plain_name(QStringLiteral("新しい 名前.txt")));
    for (const char* bad : {"", "a/b", "a\\b", "/", "\\"})
        EXPECT_FALSE(local_files::is_plain_name(QString::fromUtf8(bad))) << bad;
}

TEST(LocalFiles, NewSpellingThatLeadsToTheFileItselfIsNotATakenName)
{
    // A file system that ignores letter case shows the file under both
    // spellings, one device and inode; a second link stands in for that here.
    TestEnv env;
    const QString d = env.scratch();
    write_file(d + QStringLiteral("/report.txt"), "R");
    ASSERT_EQ(::link(QFile::encodeName(d + QStringLiteral("/report.txt")).constData(),
                     QFile::encodeName(d + QStringLiteral("/REPORT.txt")).constData()), 0);
    QString reason;
    EXPECT_EQ(local_files::rename_entry(d + QStringLiteral("/report.txt"), d + QStringLiteral("/REPORT.txt"), &reason),
              local_files::RenameResult::Renamed) << reason.toStdString();
    EXPECT_EQ(QDir(d).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("REPORT.txt")});
    EXPECT_EQ(read_file(d + QStringLiteral("/REPORT.txt")), "R");
}

TEST(LocalFiles, FolderSwappedForALinkWhileTheTreeIsDeletedIsNotFollowed)
{
    // Two folders with many files each: as soon as the delete removes the
    // first file of one, the other is swapped for a link to a folder outside
    // the tree (as another program could do).
    TestEnv env;
    const QString outside = env.scratch() + QStringLiteral("/outside");
    const QString tree = env.scratch() + QStringLiteral("/tree");
    ASSERT_TRUE(QDir().mkpath(outside));
    write_file(outside + QStringLiteral("/keep.txt"), "keep");
    const QStringList halves{QStringLiteral("a"), QStringLiteral("b")};
    for (const QString& half : halves) {
        ASSERT_TRUE(QDir().mkpath(tree + QLatin1Char('/') + half));
        for (int i = 0; i < 2000; ++i)
            write_file(tree + QLatin1Char('/') + half + QStringLiteral("/f") + QString::number(i));
    }
    // A link to the outside inside the tree from the start, too.
    ASSERT_TRUE(QFile::link(outside, tree + QStringLiteral("/to_outside")));

    const int watch = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    int wd[2];
    for (int i = 0; i < 2; ++i)
        wd[i] = ::inotify_add_watch(watch, QFile::encodeName(tree + QLatin1Char('/') + halves[i]).constData(), IN_DELETE);
    std::thread swapper([&] {
        alignas(inotify_event) char buffer[4096];
        const ssize_t n = ::read(watch, buffer, sizeof buffer);
        if (n < ssize_t(sizeof(inotify_event)))
            return;
        const auto* e = reinterpret_cast<const inotify_event*>(buffer);
        const QString other = tree + QLatin1Char('/') + halves[e->wd == wd[0] ? 1 : 0];
        ::rename(QFile::encodeName(other).constData(), QFile::encodeName(env.scratch() + QStringLiteral("/moved")).constData());
        ::symlink(QFile::encodeName(outside).constData(), QFile::encodeName(other).constData());
    });
    local_files::remove_tree(tree);
    swapper.join();
    ::close(watch);
    EXPECT_EQ(read_file(outside + QStringLiteral("/keep.txt")), "keep");
    EXPECT_FALSE(QFileInfo::exists(tree));
}

// ---- local commands through the window ---------------------------------------

class LocalOps : public ::testing::Test {
protected:
    void SetUp() override
    {
        QFile list(program_folder::file(QStringLiteral("server.lst")));
        ASSERT_TRUE(list.open(QIODevice::WriteOnly));
        root = env.scratch() + QStringLiteral("/here");
        ASSERT_TRUE(QDir().mkpath(root));
        w = std::make_unique<form1>();
        w->Form_Load();
        w->wireFileOperations();
        w->show();
        launcher::set_recorder([this](launcher::Kind k, const QString& p) {
            opened.append({k, p});
        });
    }
    void TearDown() override { launcher::set_recorder({}); }
    void openRoot()
    {
        const QString drivePath = drives::from_native(root);
        ASSERT_TRUE(drivePath.startsWith(QStringLiteral("c:\\")));
        w->現在のローカルパス = drivePath.mid(2);
        w->Local_list();
    }
    QString drivePath(const QString& name) const { return drives::from_native(root) + QStringLiteral("\\") + name; }
    QString trashed(const QString& name) const { return env.data() + QStringLiteral("/Trash/files/") + name; }

    TestEnv env;
    PromptScript prompts;
    QString root;
    std::unique_ptr<form1> w;
    QList<std::pair<launcher::Kind, QString>> opened;
};

TEST_F(LocalOps, ReadOnlyFileIsDeletedOnlyAfterTheExtraQuestion)
{
    for (const char* n : {"a.txt", "ro.txt", "z.txt"})
        write_file(root + u'/' + QString::fromUtf8(n));
    make_read_only(root + QStringLiteral("/ro.txt"));
    openRoot();
    select_by_name(w->ListView2, {"a.txt", "ro.txt", "z.txt"});
    prompts.expect(QStringLiteral("選択された3個のファイルをごみ箱に移しますか？"), prompts::vbOK);
    prompts.expect(drivePath(QStringLiteral("ro.txt")) + QStringLiteral("は読み取り専用ですが、削除しますか？"),
                   prompts::vbCancel);
    w->Mdel->trigger();
    ASSERT_TRUE(prompts.allUsed());
    ASSERT_EQ(prompts.count(), 2);
    EXPECT_EQ(prompts.seen()[0].title, QStringLiteral("削除確認"));
    EXPECT_EQ(prompts.seen()[0].icon, prompts::vbQuestion);
    EXPECT_EQ(prompts.seen()[0].buttons, prompts::vbOKCancel);
    EXPECT_EQ(prompts.seen()[1].title, QStringLiteral("確認"));
    EXPECT_EQ(prompts.seen()[1].buttons, prompts::vbOKCancel);
    EXPECT_FALSE(QFileInfo::exists(root + QStringLiteral("/a.txt")));
    EXPECT_FALSE(QFileInfo::exists(root + QStringLiteral("/z.txt")));
    EXPECT_TRUE(QFileInfo::exists(root + QStringLiteral("/ro.txt")));
    EXPECT_EQ(list_names(w->ListView2), QStringList{"ro.txt"});
    EXPECT_TRUE(QFileInfo::exists(trashed(QStringLiteral("a.txt"))));

    // One file: the question names it; OK to the read-only question moves it
    // to the Trash as it is, still read-only.
    select_by_name(w->ListView2, {"ro.txt"});
    prompts.expect(QStringLiteral("「ro.txt」をごみ箱に移しますか？"), prompts::vbOK);
    prompts.expect(QStringLiteral("は読み取り専用ですが"), prompts::vbOK);
    w->Mrmdir->trigger();
    EXPECT_TRUE(prompts.allUsed());
    EXPECT_FALSE(QFileInfo::exists(root + QStringLiteral("/ro.txt")));
    EXPECT_FALSE(QFileInfo(trashed(QStringLiteral("ro.txt"))).permission(QFile::WriteOwner));
    EXPECT_TRUE(list_names(w->ListView2).isEmpty());
}

TEST_F(LocalOps, MixedSelectionDeletesTheFilesAndSaysTheFoldersStay)
{
    ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/keep/inside")));
    write_file(root + QStringLiteral("/a.txt"));
    write_file(root + QStringLiteral("/b.txt"));
    openRoot();
    // The focused item is the folder: the files still decide.
    select_by_name(w->ListView2, {"a.txt", "b.txt", "keep"});
    prompts.expect(QStringLiteral("フォルダーはファイルと一緒には削除しません"));
    prompts.expect(QStringLiteral("選択された2個のファイルをごみ箱に移しますか？"), prompts::vbOK);
    w->Mrmdir->trigger();
    ASSERT_TRUE(prompts.allUsed());
    EXPECT_TRUE(prompts.seen()[0].text.contains(drivePath(QStringLiteral("keep"))));
    EXPECT_TRUE(QFileInfo::exists(root + QStringLiteral("/keep/inside")));
    EXPECT_EQ(list_names(w->ListView2), QStringList{"keep"});
}

TEST_F(LocalOps, FileThatCannotBeDeletedIsNamedAndTheOthersStillGo)
{
    for (const char* n : {"a.txt", "b.txt", "c.txt"})
        write_file(root + u'/' + QString::fromUtf8(n));
    ASSERT_TRUE(QDir().mkdir(root + QStringLiteral("/outside")));
    write_file(root + QStringLiteral("/outside/target.txt"), "target");
    make_read_only(root + QStringLiteral("/outside/target.txt"));
    ASSERT_TRUE(QFile::link(root + QStringLiteral("/outside/target.txt"), root + QStringLiteral("/link.txt")));
    openRoot();
    select_by_name(w->ListView2, {"a.txt", "b.txt", "c.txt", "link.txt"});
    ASSERT_TRUE(QFile::remove(root + QStringLiteral("/b.txt")));   // gone behind the list's back
    prompts.expect(QStringLiteral("選択された4個のファイルをごみ箱に移しますか？"), prompts::vbOK);
    // The link is not read-only itself: no question for it.
    prompts.expect(QStringLiteral("次のファイルを削除できませんでした。"));
    w->Mrmdir->trigger();
    ASSERT_TRUE(prompts.allUsed()) << prompts.count();
    const prompts::Prompt& failure = prompts.seen().last();
    EXPECT_TRUE(failure.text.contains(drivePath(QStringLiteral("b.txt"))));
    EXPECT_FALSE(failure.text.contains(QStringLiteral("a.txt")));
    EXPECT_EQ(failure.title, QStringLiteral("削除エラー"));
    EXPECT_EQ(list_names(w->ListView2), QStringList{"outside"});
    EXPECT_EQ(read_file(root + QStringLiteral("/outside/target.txt")), "target");
    EXPECT_FALSE(QFileInfo(root + QStringLiteral("/outside/target.txt")).permission(QFile::WriteOwner));
}

TEST_F(LocalOps, FolderGoesToTheTrashWhole)
{
    ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/site/img")));
    for (const char* n : {"site/index.html", "site/img/a.png", "site/img/.hidden"})
        write_file(root + u'/' + QString::fromUtf8(n));
    openRoot();
    select_by_name(w->ListView2, {"site"});
    prompts.expect(QStringLiteral("「site」（ファイル 3 個を含む）をごみ箱に移しますか？"), prompts::vbOK);
    w->Mrmdir->trigger();
    ASSERT_TRUE(prompts.allUsed());
    EXPECT_FALSE(QFileInfo::exists(root + QStringLiteral("/site")));
    EXPECT_TRUE(QFileInfo::exists(trashed(QStringLiteral("site/img/.hidden"))));
    EXPECT_TRUE(list_names(w->ListView2).isEmpty());
}

TEST_F(LocalOps, DeepFolderTreeGoesAfterOneConfirmationAndLinksAreNotFollowed)
{
    const QString outside = env.scratch() + QStringLiteral("/outside");
    ASSERT_TRUE(QDir().mkpath(outside + QStringLiteral("/photos")));
    write_file(outside + QStringLiteral("/photos/p.jpg"), "jpeg");
    const QString deepest = make_deep_tree(root + QStringLiteral("/tree"), 25);
    ASSERT_TRUE(QFile::link(outside, root + QStringLiteral("/tree/level1/outside_link")));
    ASSERT_TRUE(QFile::link(outside + QStringLiteral("/photos"), deepest + QStringLiteral("/photos_link")));
    // Many entries in one folder, and names the drive view cannot show.
    for (int i = 0; i < 600; ++i)
        write_file(root + QStringLiteral("/tree/f") + QString::number(i));
    write_file(root + QStringLiteral("/tree/back\\slash"));
    write_file(root + QStringLiteral("/other.txt"));
    openRoot();
    select_by_name(w->ListView2, {"tree"});
    // No Trash can be made where the desktop keeps it: deleting for good is
    // asked once more.
    const QString blocker = env.scratch() + QStringLiteral("/blocker");
    write_file(blocker);
    qputenv("XDG_DATA_HOME", blocker.toUtf8());

    // Every file below counts (hidden ones too); the linked folders do not.
    const QString question = QStringLiteral("「tree」（ファイル 651 個を含む）をごみ箱に移しますか？");
    prompts.expect(question, prompts::vbCancel);
    w->Mrmdir->trigger();
    prompts.expect(question, prompts::vbOK);
    prompts.expect(QStringLiteral("「tree」はごみ箱に移せません。完全に削除しますか？（元に戻せません）"), prompts::vbCancel);
    w->Mrmdir->trigger();
    EXPECT_TRUE(QFileInfo::exists(deepest + QStringLiteral("/locked.txt")));

    prompts.expect(question, prompts::vbOK);
    prompts.expect(QStringLiteral("はごみ箱に移せません。"), prompts::vbOK);
    w->Mrmdir->trigger();
    ASSERT_TRUE(prompts.allUsed());
    EXPECT_EQ(prompts.count(), 5);   // nothing else was asked or told
    EXPECT_EQ(prompts.seen()[4].icon, prompts::vbExclamation);
    EXPECT_EQ(prompts.seen()[4].title, QStringLiteral("削除確認"));
    EXPECT_FALSE(QFileInfo::exists(root + QStringLiteral("/tree")));
    EXPECT_EQ(read_file(outside + QStringLiteral("/photos/p.jpg")), "jpeg");
    EXPECT_EQ(list_names(w->ListView2), QStringList{"other.txt"});
}

TEST_F(LocalOps, MakeFolderRefusesExistingNamesAndSeparators)
{
    ASSERT_TRUE(QDir().mkdir(root + QStringLiteral("/old")));
    write_file(root + QStringLiteral("/file.txt"));
    openRoot();
    prompts.expect(QStringLiteral("作成するﾃﾞｨﾚｸﾄﾘｰ名を入力してください"), prompts::vbOK, QStringLiteral("old"));
    prompts.expect(QStringLiteral("同一名のﾃﾞｨﾚｸﾄﾘｰがすでに存在します。"));
    w->MMkdir2->trigger();
    ASSERT_TRUE(prompts.allUsed());
    EXPECT_EQ(prompts.seen()[0].title, QStringLiteral("ﾃﾞｨﾚｸﾄﾘｰの作成"));
    EXPECT_EQ(prompts.seen()[1].title, QStringLiteral("ﾃﾞｨﾚｸﾄﾘｰ作成エラー"));
    EXPECT_EQ(prompts.seen()[1].icon, prompts::vbCritical);

    // A separator would make the folder somewhere else.
    for (const QString& bad : {QStringLiteral("../escaped"), QStringLiteral("a\\b"), QStringLiteral("x/y")}) {
        prompts.expect(QStringLiteral("作成する"), prompts::vbOK, bad);
        prompts.expect(QStringLiteral("や「/」は使えません。"));
        w->MMkdir->trigger();
    }
    ASSERT_TRUE(prompts.allUsed());
    EXPECT_FALSE(QFileInfo::exists(env.scratch() + QStringLiteral("/escaped")));
    EXPECT_FALSE(QFileInfo::exists(root + QStringLiteral("/x")));

    prompts.expect(QStringLiteral("作成する"), prompts::vbOK, QString());   // cancelled
    prompts.expect(QStringLiteral("作成する"), prompts::vbOK, QStringLiteral("新しい フォルダー"));
    w->MMkdir->trigger();
    w->MMkdir->trigger();
    ASSERT_TRUE(prompts.allUsed());
    EXPECT_TRUE(QFileInfo(root + QStringLiteral("/新しい フォルダー")).isDir());
    EXPECT_EQ(list_names(w->ListView2), (QStringList{"old", "新しい フォルダー", "file.txt"}));
}

TEST_F(LocalOps, LocalRenameNeverReplacesAndRefusesBadNames)
{
    write_file(root + QStringLiteral("/a.txt"), "A");
    write_file(root + QStringLiteral("/b.txt"), "B");
    openRoot();
    select_by_name(w->ListView2, {"a.txt"});
    w->Mrname->trigger();
    Form6* dialog = w->form6_;
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("新しい名前"));
    EXPECT_EQ(dialog->Text1->text(), QStringLiteral("a.txt"));

    prompts.expect(QStringLiteral("すでにあるため、名前を変更できません。"));
    dialog->Text1->setText(QStringLiteral("b.txt"));
    dialog->Command1->click();
    prompts.expect(QStringLiteral("新しい名前を入力してください。"));
    dialog->Text1->clear();
    dialog->Command1->click();
    prompts.expect(QStringLiteral("や「/」は使えません。"));
    dialog->Text1->setText(QStringLiteral("../a.txt"));
    dialog->Command1->click();
    ASSERT_TRUE(prompts.allUsed());
    EXPECT_TRUE(dialog->isVisible());   // the name can still be corrected
    EXPECT_EQ(read_file(root + QStringLiteral("/a.txt")), "A");
    EXPECT_EQ(read_file(root + QStringLiteral("/b.txt")), "B");

    dialog->Text1->setText(QStringLiteral("c 名前.txt"));
    dialog->Command1->click();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(read_file(root + QStringLiteral("/c 名前.txt")), "A");
    EXPECT_EQ(list_names(w->ListView2), (QStringList{"b.txt", "c 名前.txt"}));

    // A file removed while the window is open: said so, and the list follows.
    select_by_name(w->ListView2, {"b.txt"});
    w->Mrename->trigger();
    ASSERT_TRUE(QFile::remove(root + QStringLiteral("/b.txt")));
    prompts.expect(QStringLiteral("名前を変更できませんでした。"));
    dialog->Text1->setText(QStringLiteral("d.txt"));
    dialog->Command1->click();
    EXPECT_TRUE(prompts.allUsed());
    EXPECT_EQ(list_names(w->ListView2), QStringList{"c 名前.txt"});
}

TEST_F(LocalOps, DriveRootIsTheDriveAndABackslash)
{
    const QString netRoot = env.scratch() + QStringLiteral("/net");
    ASSERT_TRUE(QDir().mkpath(netRoot));
    write_file(netRoot + QStringLiteral("/old.txt"));
    MountTable table("nas:/export " + netRoot.toUtf8() + " nfs4 rw 0 0\n");
    w->fillDriveList();
    ASSERT_TRUE(w->selectDrive(QStringLiteral("d:")));
    ASSERT_EQ(w->Local_Dir, QStringLiteral("d:\\"));
    prompts.expect(QStringLiteral("作成する"), prompts::vbOK, QStringLiteral("top"));
    w->MMkdir->trigger();
    EXPECT_TRUE(QFileInfo(netRoot + QStringLiteral("/top")).isDir());
    select_by_name(w->ListView2, {"old.txt"});
    w->Mrename->trigger();
    w->form6_->Text1->setText(QStringLiteral("new.txt"));
    w->form6_->Command1->click();
    EXPECT_TRUE(QFileInfo::exists(netRoot + QStringLiteral("/new.txt")));
    EXPECT_EQ(list_names(w->ListView2), (QStringList{"top", "new.txt"}));
}

TEST_F(LocalOps, OpticalDriveRefusesDeleteAndMakeFolder)
{
    const QString disc = env.scratch() + QStringLiteral("/disc");
    ASSERT_TRUE(QDir().mkpath(disc));
    write_file(disc + QStringLiteral("/readme.txt"));
    MountTable table("/dev/sr0 " + disc.toUtf8() + " iso9660 ro 0 0\n");
    w->fillDriveList();
    ASSERT_TRUE(w->selectDrive(QStringLiteral("d:")));
    select_by_name(w->ListView2, {"readme.txt"});
    prompts.expect(QStringLiteral("CD-ROMドライブなので削除できません。"));
    w->Mrmdir->trigger();
    prompts.expect(QStringLiteral("作成する"), prompts::vbOK, QStringLiteral("new"));
    prompts.expect(QStringLiteral("CD-ROMドライブには作成できません。"));
    w->MMkdir->trigger();
    ASSERT_TRUE(prompts.allUsed());
    EXPECT_EQ(prompts.seen()[0].icon, prompts::vbCritical);
    EXPECT_TRUE(QFileInfo::exists(disc + QStringLiteral("/readme.txt")));
    EXPECT_FALSE(QFileInfo::exists(disc + QStringLiteral("/new")));
}

TEST_F(LocalOps, LocalTextViewOpensTheFileInPlaceBlanksAndAll)
{
    root += QStringLiteral("/my docs");
    ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/sub folder")));
    write_file(root + QStringLiteral("/read me.txt"));
    openRoot();
    // All three entries act on the active (local) list.
    select_by_name(w->ListView2, {"sub folder"});
    w->Mopen->trigger();
    EXPECT_TRUE(opened.isEmpty());
    select_by_name(w->ListView2, {"read me.txt"});
    w->Mtext->trigger();
    w->Mtextview->trigger();
    ASSERT_EQ(opened.size(), 2);
    EXPECT_EQ(opened[0].first, launcher::Kind::TextEditor);
    EXPECT_EQ(opened[0].second, root + QStringLiteral("/read me.txt"));
    EXPECT_EQ(opened[1].second, opened[0].second);
}

TEST_F(LocalOps, RemoteTextViewWhileNotConnectedLeavesNoFlagBehind)
{
    w->ListView1->addItem(QStringLiteral("x.txt"), 2, {QStringLiteral("     1KB"), QString(), QStringLiteral("1")});
    w->ListView1->addItem(QStringLiteral("pub"), 1, {QString(), QString(), QStringLiteral("0")});
    w->activateList(true);
    select_by_name(w->ListView1, {"pub"});
    w->Mtextview->trigger();   // a folder: nothing
    select_by_name(w->ListView1, {"x.txt"});
    prompts.expect(QStringLiteral("サーバーに接続されていません"));
    w->Mtextview->trigger();
    EXPECT_TRUE(prompts.allUsed());
    EXPECT_EQ(w->Y_Count, 0);
    EXPECT_TRUE(opened.isEmpty());
}

// ---- remote commands against the fake server ----------------------------------

// One remote folder the fake server keeps: LIST shows it, DELE, RNFR/RNTO and
// MKD change it the way a server would.
class RemoteOps : public FtpFixture {
protected:
    struct Entry {
        char type;
        QString name;
    };
    void SetUp() override
    {
        FtpFixture::SetUp();
        w->wireFileOperations();
        launcher::set_recorder([this](launcher::Kind, const QString& p) { opened.append(p); });
        server.scriptLogin(QStringLiteral("/"));
        server.onCommand(QStringLiteral("LIST"), [this](FakeFtpServer& s, const QString&) {
            s.reply("150 Here comes the listing.\r\n");
            if (!s.connectData())
                return;
            QByteArray text;
            for (const Entry& e : entries)
                text += listing_line(e.type, e.type == 'd' ? 0 : 1500, e.name.toUtf8());
            s.sendData(text);
            s.waitDataClosed();
            ++listings;
            s.reply("226 Transfer complete.\r\n");
        });
        server.onCommand(QStringLiteral("DELE"), [this](FakeFtpServer& s, const QString& line) {
            if (answerDele)
                s.reply(dele(line.mid(5)));
        });
        server.onCommand(QStringLiteral("RNFR"), [this](FakeFtpServer& s, const QString& line) {
            if (answerRnfr)
                s.reply(find(line.mid(5)) >= 0 ? "350 Ready for destination name.\r\n" : "550 No such file.\r\n");
        });
        server.onCommand(QStringLiteral("RNTO"), [this](FakeFtpServer& s, const QString& line) {
            const QString from = server.commands().filter(QStringLiteral("RNFR ")).last().mid(5);
            entries[find(from)].name = line.mid(5);
            s.reply("250 Renamed.\r\n");
        });
        server.onCommand(QStringLiteral("MKD"), [this](FakeFtpServer& s, const QString& line) {
            entries.append({'d', line.mid(4)});
            s.reply("257 \"/" + line.mid(4).toUtf8() + "\" created.\r\n");
        });
    }
    void TearDown() override { launcher::set_recorder({}); }
    qsizetype find(const QString& name) const
    {
        for (qsizetype i = 0; i < entries.size(); ++i)
            if (entries[i].name == name)
                return i;
        return -1;
    }
    // The reply to DELE: folders and unknown names are refused.
    QByteArray dele(const QString& name)
    {
        const qsizetype i = find(name);
        if (i < 0 || entries[i].type == 'd')
            return "550 Not a file.\r\n";
        entries.removeAt(i);
        return "250 Deleted.\r\n";
    }
    void loginAndList()
    {
        connectToFake();
        ASSERT_TRUE(wait_until([&] { return listings >= 1 && w->ListView1->count() == entries.size(); }))
            << server.commands().join(u'|').toStdString();
        w->activateList(true);
    }
    int deleCount() const { return int(server.commands().filter(QStringLiteral("DELE")).size()); }
    bool listed(const QStringList& wanted)
    {
        return wait_until([&] { return list_names(w->ListView1) == wanted && w->toolbarButton(6)->isEnabled(); });
    }

    QList<Entry> entries{{'d', QStringLiteral("pub")}, {'-', QStringLiteral("a.txt")},
                         {'-', QStringLiteral("b.txt")}, {'-', QStringLiteral("c.txt")}};
    int listings = 0;
    bool answerDele = true;
    bool answerRnfr = true;
    QStringList opened;
};

TEST_F(RemoteOps, ThreeFilesAreDeletedLastFirstEachAfterThePreviousReply)
{
    answerDele = false;   // the test answers each DELE itself
    loginAndList();
    select_by_name(w->ListView1, {"a.txt", "b.txt", "c.txt"});
    prompts.expect(QStringLiteral("選択された3個のファイルを削除していいですか？"), prompts::vbOK);
    w->Mdel2->trigger();
    EXPECT_FALSE(w->toolbarButton(6)->isEnabled());
    int sent = 0;
    for (const QString& name : {QStringLiteral("c.txt"), QStringLiteral("b.txt"), QStringLiteral("a.txt")}) {
        ASSERT_TRUE(server.waitForCommand(QStringLiteral("DELE ") + name));
        // Nothing further goes out until this DELE is answered.
        EXPECT_EQ(deleCount(), ++sent);
        EXPECT_EQ(log().count(QStringLiteral(">DELE ")), sent);
        server.reply(dele(name));
    }
    EXPECT_EQ(server.commands().filter(QStringLiteral("DELE")),
              (QStringList{"DELE c.txt", "DELE b.txt", "DELE a.txt"}));
    EXPECT_TRUE(listed({"pub"}));
    EXPECT_EQ(w->del_Count, 0);
    EXPECT_EQ(deleCount(), 3);
}

TEST_F(RemoteOps, RefusedFolderEndsTheBatchAndTheRestIsNotSent)
{
    entries = {{'-', QStringLiteral("a.txt")}, {'d', QStringLiteral("m_dir")}, {'-', QStringLiteral("z.txt")}};
    loginAndList();
    // By name only, so the folder sits between the files.
    w->ListView1->setSortKey(0);
    ASSERT_EQ(list_names(w->ListView1), (QStringList{"a.txt", "m_dir", "z.txt"}));
    select_by_name(w->ListView1, {"a.txt", "m_dir", "z.txt"});
    prompts.expect(QStringLiteral("選択された3個"), prompts::vbOK);
    prompts.expect(QStringLiteral("アクセスできませんでした。権限がないのかもしれません。"));
    w->Mrmdir->trigger();
    ASSERT_TRUE(listed({"m_dir", "a.txt"}));
    EXPECT_TRUE(prompts.allUsed());
    EXPECT_EQ(server.commands().filter(QStringLiteral("DELE")), (QStringList{"DELE z.txt", "DELE m_dir"}));
    EXPECT_EQ(w->del_Count, 0);
    // A later "250" (entering a folder) lists; it does not resume the batch.
    const int before = listings;
    select_by_name(w->ListView1, {"m_dir"});
    entries.clear();
    server.onCommand(QStringLiteral("CWD"), [](FakeFtpServer& s, const QString&) { s.reply("250 ok\r\n"); });
    w->ListView1_DblClick();
    ASSERT_TRUE(wait_until([&] { return listings > before; }));
    EXPECT_EQ(deleCount(), 2);
}

TEST_F(RemoteOps, CancelledDeleteSendsNothingAndUnlocksTheToolbar)
{
    loginAndList();
    select_by_name(w->ListView1, {"b.txt"});
    prompts.expect(QStringLiteral("b.txtを削除してもいいですか？"), prompts::vbCancel);
    w->Mdel2->trigger();
    ASSERT_TRUE(prompts.allUsed());
    EXPECT_EQ(prompts.seen()[0].title, QStringLiteral("削除確認"));
    EXPECT_EQ(w->del_Count, 0);
    EXPECT_TRUE(w->toolbarButton(6)->isEnabled());
    EXPECT_EQ(deleCount(), 0);
}

TEST_F(RemoteOps, RenameShowsTheWindowOnlyAfter350)
{
    answerRnfr = false;
    loginAndList();
    select_by_name(w->ListView1, {"b.txt"});
    w->Mrname2->trigger();
    ASSERT_TRUE(server.waitForCommand(QStringLiteral("RNFR b.txt")));
    EXPECT_TRUE(w->form6_ == nullptr || !w->form6_->isVisible());
    server.reply("350 Ready for destination name.\r\n");
    ASSERT_TRUE(wait_until([&] { return w->form6_ && w->form6_->isVisible(); }));
    Form6* dialog = w->form6_;
    EXPECT_EQ(dialog->Text1->text(), QStringLiteral("b.txt"));
    // Bad names are refused here too, and nothing is sent.
    prompts.expect(QStringLiteral("や「/」は使えません。"));
    dialog->Text1->setText(QStringLiteral("sub/b.txt"));
    dialog->Command1->click();
    EXPECT_TRUE(dialog->isVisible());
    dialog->Text1->setText(QStringLiteral("renamed b.txt"));
    dialog->Command1->click();
    EXPECT_FALSE(dialog->isVisible());
    ASSERT_TRUE(server.waitForCommand(QStringLiteral("RNTO renamed b.txt")));
    EXPECT_TRUE(listed({"pub", "a.txt", "c.txt", "renamed b.txt"}));
    EXPECT_TRUE(prompts.allUsed());
    EXPECT_EQ(server.commands().filter(QStringLiteral("RNTO")).size(), 1);
}

TEST_F(RemoteOps, NewNameWindowShowsTheNameRnfrSentWhicheverListIsActiveBy350)
{
    answerRnfr = false;
    write_file(env.scratch() + QStringLiteral("/local.txt"));
    loginAndList();
    select_by_name(w->ListView1, {"b.txt"});
    w->Mrname2->trigger();
    ASSERT_TRUE(server.waitForCommand(QStringLiteral("RNFR b.txt")));
    // Meanwhile the user goes to the local list and selects something there.
    w->activateList(false);
    ASSERT_GT(w->ListView2->count(), 0);
    w->ListView2->setCurrentRow(0, true);
    server.reply("350 Ready for destination name.\r\n");
    ASSERT_TRUE(wait_until([&] { return w->form6_ && w->form6_->isVisible(); }));
    EXPECT_EQ(w->form6_->Text1->text(), QStringLiteral("b.txt"));
    w->form6_->Command2->click();
}

TEST_F(RemoteOps, RefusedRenameShowsNoWindowAndCancelSendsNoRnto)
{
    loginAndList();
    entries.removeFirst();   // "pub" vanished on the server: RNFR pub is refused
    entries.prepend({'d', QStringLiteral("elsewhere")});
    select_by_name(w->ListView1, {"pub"});
    prompts.expect(QStringLiteral("アクセスできませんでした。"));
    w->Mrename->trigger();
    ASSERT_TRUE(listed({"elsewhere", "a.txt", "b.txt", "c.txt"}));
    EXPECT_TRUE(prompts.allUsed());
    EXPECT_TRUE(w->form6_ == nullptr || !w->form6_->isVisible());

    select_by_name(w->ListView1, {"c.txt"});
    w->Mrname2->trigger();
    ASSERT_TRUE(wait_until([&] { return w->form6_ && w->form6_->isVisible(); }));
    EXPECT_FALSE(w->toolbarButton(6)->isEnabled());
    w->form6_->Command2->click();
    EXPECT_FALSE(w->form6_->isVisible());
    EXPECT_TRUE(w->toolbarButton(6)->isEnabled());
    // Nothing more goes out for this rename.
    w->Send_pwd();
    ASSERT_TRUE(wait_until([&] { return listings >= 3; }));
    EXPECT_TRUE(server.commands().filter(QStringLiteral("RNTO")).isEmpty());
}

TEST_F(RemoteOps, MakeFolderSendsMkdAndTheListShowsIt)
{
    loginAndList();
    prompts.expect(QStringLiteral("作成する"), prompts::vbOK, QStringLiteral("new folder"));
    w->MMkdir3->trigger();
    ASSERT_TRUE(server.waitForCommand(QStringLiteral("MKD new folder")));
    EXPECT_TRUE(listed({"new folder", "pub", "a.txt", "b.txt", "c.txt"}));
    EXPECT_TRUE(prompts.allUsed());
}

TEST_F(RemoteOps, TwoTextViewsInARowReplaceTextTxt)
{
    const QMap<QString, QByteArray> contents{{QStringLiteral("a.txt"), "first file, the longer one\r\n"},
                                             {QStringLiteral("b.txt"), "second\r\n"}};
    server.onCommand(QStringLiteral("RETR"), [&](FakeFtpServer& s, const QString& line) {
        s.reply("150 Opening data connection.\r\n");
        if (!s.connectData())
            return;
        s.sendData(contents.value(line.mid(5)));
        s.waitDataClosed();
        s.reply("226 Transfer complete.\r\n");
    });
    loginAndList();
    const QString textFile = program_folder::file(QStringLiteral("text.txt"));
    // A folder is not fetched: no command leaves.
    const qsizetype typesBefore = log().count(QStringLiteral(">TYPE"));
    select_by_name(w->ListView1, {"pub"});
    w->Mtextview->trigger();
    EXPECT_EQ(log().count(QStringLiteral(">TYPE")), typesBefore);
    EXPECT_EQ(w->Y_Count, 0);

    // Of several selected files the focused one is viewed.
    select_by_name(w->ListView1, {"c.txt", "a.txt"});
    w->Mtext->trigger();
    ASSERT_TRUE(wait_until([&] { return opened.size() == 1; })) << server.commands().join(u'|').toStdString();
    EXPECT_EQ(opened[0], textFile);
    EXPECT_EQ(read_file(textFile), contents[QStringLiteral("a.txt")]);

    select_by_name(w->ListView1, {"b.txt"});
    w->Mopen->trigger();   // the popup of the local list; the remote list is active
    ASSERT_TRUE(wait_until([&] { return opened.size() == 2; }));
    EXPECT_EQ(read_file(textFile), contents[QStringLiteral("b.txt")]);
    EXPECT_EQ(server.commands().filter(QStringLiteral("RETR")), (QStringList{"RETR a.txt", "RETR b.txt"}));
    EXPECT_TRUE(server.commands().filter(QStringLiteral("TYPE I")).isEmpty());
    EXPECT_EQ(w->Y_Count, 0);
    // Only the viewed file was fetched, and the next listing is a listing.
    w->Send_pwd();
    ASSERT_TRUE(listed({"pub", "a.txt", "b.txt", "c.txt"}));
    EXPECT_EQ(opened.size(), 2);
}

} // namespace
