// Faults on the user's own machine: a download folder that cannot take the
// file, a disk that fills up halfway, a settings file and a server list that
// were damaged. Each failure is told in words that name the file, leaves
// what was on disk as it was, and the program goes on working.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "platform/list_view.h"
#include "platform/prompts.h"
#include "platform/replacing_file.h"
#include "servers/server_list_file.h"
#include "tests/fake_tree.h"
#include "tests/ftp_fixture.h"
#include "transfer/same_name_dialog.h"

namespace {

QByteArray read_file(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void write_file(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QByteArray pattern(qint64 size)
{
    QByteArray b(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        b[i] = char((i * 131 + i / 7) & 0xff);
    return b;
}

const QString Finished = QStringLiteral("転送終了しました。");

// A file-size limit for this process, as a full disk would set one: writes
// past it fail with an error instead of a signal. Undone when it goes.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = old_;
        small.rlim_cur = bytes;
        active_ = setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~FileSizeLimit() { lift(); }
    bool active() const { return active_; }
    void lift()
    {
        if (!active_)
            return;
        setrlimit(RLIMIT_FSIZE, &old_);
        signal(SIGXFSZ, oldHandler_);
        active_ = false;
    }

private:
    struct rlimit old_ {};
    void (*oldHandler_)(int) = nullptr;
    bool active_ = false;
};

class LocalFaults : public FtpFixture {
protected:
    void TearDown() override { Form13::Over_write = false; }

    // Logs in with the given local folder open on the local side.
    void loginWithLocalFolder(const QString& native)
    {
        tree = std::make_unique<FakeTree>(
            server, QMap<QString, QByteArray>{{QStringLiteral("/"), listing_line('-', 60000, "a.bin")}});
        tree->files.insert(QStringLiteral("/a.bin"), content);
        local = native;
        record(QStringLiteral("s_local_path"), drives::from_native(native));
        connectToFake();
        ASSERT_TRUE(wait_until([&] { return tree->listings() >= 1 && w->ListView1->count() == 1 && usable(); }))
            << server.commands().join(u'|').toStdString();
        ASSERT_EQ(drives::to_native(w->Local_Dir), native + u'/');
    }
    void download()
    {
        w->ListView1->clearSelection();
        w->ListView1->setSelected(0, true);
        w->MDOWN_Click();
    }
    bool usable()
    {
        return w->Winsock1->State() == Winsock::sckConnected && w->ループ回数 == 0 &&
               w->Winsock2->State() == Winsock::sckListening && w->toolbarButton(6)->isEnabled();
    }
    // The failure was told with the file's path, nothing claims success, and
    // the program is ready for the next command.
    void expectToldAndUsable(const QString& textPart, const QString& path)
    {
        ASSERT_TRUE(wait_until([&] { return prompts.allUsed() && usable(); }))
            << log().right(400).toStdString();
        const prompts::Prompt& p = prompts.seen().last();
        EXPECT_TRUE(p.text.contains(textPart)) << p.text.toStdString();
        EXPECT_TRUE(p.text.contains(path)) << p.text.toStdString();
        EXPECT_EQ(p.title, QStringLiteral("転送エラー"));
        EXPECT_FALSE(log().contains(Finished));
        EXPECT_NE(w->statusText(), Finished);
        EXPECT_FALSE(w->downloadFile);
    }
    void expectDownloadWorks()
    {
        Form13::Over_write = true;
        download();
        ASSERT_TRUE(wait_until([&] { return log().contains(Finished) && usable(); }))
            << log().right(400).toStdString();
        EXPECT_EQ(read_file(local + QStringLiteral("/a.bin")), content);
    }
    QStringList names(const QString& folder) const
    {
        return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    }

    std::unique_ptr<FakeTree> tree;
    QString local;
    const QByteArray content = pattern(60000);
};

// ------------------------------------------------------------ the download folder

TEST_F(LocalFaults, ADownloadFolderThatBecameAFileIsToldAndTheFileStays)
{
    // Works for root as well: no permission bit is involved.
    const QString folder = env.scratch() + QStringLiteral("/dl");
    ASSERT_TRUE(QDir().mkpath(folder));
    loginWithLocalFolder(folder);
    ASSERT_TRUE(QDir(folder).removeRecursively());
    write_file(folder, "a file where the folder was");
    prompts.expect(QStringLiteral("ダウンロード先のファイルを作成できませんでした。"));
    download();
    expectToldAndUsable(QStringLiteral("ダウンロード先のファイルを作成できませんでした。"),
                        drives::from_native(folder) + QStringLiteral("\\a.bin"));
    EXPECT_EQ(read_file(folder), QByteArray("a file where the folder was"));
    EXPECT_EQ(names(env.scratch()), QStringList{"dl"});

    QFile::remove(folder);
    ASSERT_TRUE(QDir().mkpath(folder));
    expectDownloadWorks();
}

TEST_F(LocalFaults, AFolderNobodyMayWriteToIsToldAndNothingIsCreated)
{
    // Permission bits do not stop root; /proc/self refuses new files to
    // everyone, root included.
    QString folder = env.scratch() + QStringLiteral("/readonly");
    if (geteuid() == 0) {
        folder = QStringLiteral("/proc/self");
    } else {
        ASSERT_TRUE(QDir().mkpath(folder));
        ASSERT_TRUE(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    }
    loginWithLocalFolder(folder);
    const QStringList before = names(folder);
    prompts.expect(QStringLiteral("ダウンロード先のファイルを作成できませんでした。"));
    download();
    expectToldAndUsable(QStringLiteral("ダウンロード先のファイルを作成できませんでした。"),
                        drives::from_native(folder) + QStringLiteral("\\a.bin"));
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/a.bin")));
    if (geteuid() != 0) {
        EXPECT_EQ(names(folder), before);
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
}

TEST_F(LocalFaults, AFolderOfTheSameNameIsNeverReplacedByTheDownload)
{
    const QString folder = env.scratch();
    loginWithLocalFolder(folder);
    ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("a.bin")));
    write_file(folder + QStringLiteral("/a.bin/inside.txt"), "keep me");
    // The user agrees to overwrite; the file still cannot take the folder's place.
    Form13::Over_write = true;
    prompts.expect(QStringLiteral("ダウンロード先のファイルを作成できませんでした。"));
    download();
    expectToldAndUsable(QStringLiteral("ダウンロード先のファイルを作成できませんでした。"),
                        drives::from_native(folder) + QStringLiteral("\\a.bin"));
    EXPECT_TRUE(QFileInfo(folder + QStringLiteral("/a.bin")).isDir());
    EXPECT_EQ(read_file(folder + QStringLiteral("/a.bin/inside.txt")), QByteArray("keep me"));
    EXPECT_EQ(names(folder), QStringList{"a.bin"});
}

// ------------------------------------------------------------ a full disk

TEST_F(LocalFaults, AWriteThatFailsHalfwayKeepsTheOldFileAndWhatFittedInThePart)
{
    const QString folder = env.scratch();
    loginWithLocalFolder(folder);
    write_file(folder + QStringLiteral("/a.bin"), "the user's own copy");
    Form13::Over_write = true;
    prompts.expect(QStringLiteral("ファイルに書き込めませんでした。"));
    {
        FileSizeLimit full(20000);   // a third of the file fits
        ASSERT_TRUE(full.active());
        download();
        ASSERT_TRUE(wait_until([&] { return prompts.allUsed(); })) << log().right(400).toStdString();
    }
    expectToldAndUsable(QStringLiteral("ファイルに書き込めませんでした。ディスクの空き容量や書き込み権限を確認してください。"),
                        folder + QStringLiteral("/a.bin"));
    EXPECT_EQ(read_file(folder + QStringLiteral("/a.bin")), QByteArray("the user's own copy"));
    // What fitted stays in the part, for the download to continue later.
    EXPECT_EQ(names(folder).size(), 2);
    EXPECT_EQ(ReplacingFile::partLength(folder + QStringLiteral("/a.bin")), 20000);
    // With room again the same download goes through.
    expectDownloadWorks();
    EXPECT_EQ(names(folder), QStringList{"a.bin"});
}

// ------------------------------------------------------------ damaged files

TEST(LocalFaultsSettings, ADamagedSettingsFileGivesDefaultsAndClearMessages)
{
    TestEnv env;
    PromptScript prompts;
    FakeFtpServer server;
    FakeTree tree(server, {{QStringLiteral("/"), listing_line('-', 1, "x.txt")}});
    // A good record first, written the program's way.
    settings::save(QStringLiteral("fake"), QStringLiteral("s_adress"), QStringLiteral("127.0.0.1"));
    settings::save(QStringLiteral("fake"), QStringLiteral("ポートNo"), QStringLiteral("PORTVALUE"));
    settings::save(QStringLiteral("fake"), QStringLiteral("s_user"), QStringLiteral("alice"));
    settings::save(QStringLiteral("fake"), QStringLiteral("s_pass"), QStringLiteral("secret"));
    settings::save(QStringLiteral("Form_Size"), QStringLiteral("Height"), QStringLiteral("HEIGHTVALUE"));
    settings::save(QStringLiteral("Form_Size"), QStringLiteral("Width"), QStringLiteral("WIDTHVALUE"));
    settings::flush();
    QByteArray bytes = read_file(settings::file_path());
    ASSERT_TRUE(bytes.contains("PORTVALUE")) << bytes.constData();
    // Then damaged: numbers out of range or not numbers, stray binary bytes,
    // invalid UTF-8, a broken section header, a 1 MB line, a cut-off end.
    bytes.replace("PORTVALUE", "99999999999999999999");
    bytes.replace("HEIGHTVALUE", "-1e308");
    bytes.replace("WIDTHVALUE", "nan");
    bytes.prepend(QByteArray("\x00\x01\xff\xfe garbage \x80\x81\r\n[broken\r\nno equals sign\r\n", 42));
    bytes += "[Form_Size\r\n" + QByteArray(1 << 20, 'z') + "\r\n\xc3\x28=\xe3\x81\r\n[fake]\r\ns_user=al";
    QTemporaryDir damaged;
    ASSERT_TRUE(QDir().mkpath(damaged.path() + QStringLiteral("/PALU_FTP")));
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", damaged.path().toUtf8());
    write_file(settings::file_path(), bytes);
    write_file(program_folder::file(QStringLiteral("server.lst")), "fake\r\n");

    QElapsedTimer took;
    took.start();
    auto w = std::make_unique<form1>();
    w->Form_Load();
    w->show();
    EXPECT_LT(took.elapsed(), 10000);
    // Unusable sizes give the default window.
    EXPECT_NEAR(w->outerWidthTwips(), 7000, 200);
    EXPECT_NEAR(w->outerHeightTwips(), 5000, 200);
    // The bad port is named with its value; nothing is connected.
    prompts.expect(QStringLiteral("「fake」の設定「ポートNo」が正しくありません（1～65535の数字を指定してください）。\n設定値: "
                                  "99999999999999999999"));
    Form4::接続サーバー = QStringLiteral("fake");
    w->Connect_server();
    EXPECT_TRUE(prompts.allUsed());
    EXPECT_EQ(w->Winsock1->State(), Winsock::sckClosed);
    EXPECT_EQ(server.connectionCount(), 0);
    // Put right the program's way, the same record connects.
    settings::save(QStringLiteral("fake"), QStringLiteral("ポートNo"), QString::number(server.port()));
    w->Connect_server();
    EXPECT_TRUE(wait_until([&] { return tree.listings() == 1 && w->ListView1->count() == 1; }));
    w.reset();
    settings::flush();
    qputenv("XDG_CONFIG_HOME", oldConfig);
}

TEST(LocalFaultsServerList, InvalidBytesAndAMegabyteLineAreListedAndTheRestStillWorks)
{
    TestEnv env;
    PromptScript prompts;
    const QByteArray longLine(1 << 20, 'L');
    write_file(server_list::path(), "good\r\nbad\xff\xfe\x80name\r\n" + longLine + "\r\n\xe6\x97\xa5\xe6\x9c\xac\r\nlast");
    auto w = std::make_unique<form1>();
    w->Form_Load();
    w->show();
    Form4* list = w->serverList();
    QElapsedTimer took;
    took.start();
    list->Server_load();
    prompts::show_modal(list);
    EXPECT_LT(took.elapsed(), 5000);
    ASSERT_EQ(list->ListView1->count(), 5);
    EXPECT_EQ(list->ListView1->text(0), QStringLiteral("good"));
    const QString badName = QStringLiteral("bad") + QString(3, QChar::ReplacementCharacter) + QStringLiteral("name");
    EXPECT_EQ(list->ListView1->text(1), badName);
    EXPECT_EQ(list->ListView1->text(2), QString::fromLatin1(longLine));
    EXPECT_EQ(list->ListView1->text(3), QStringLiteral("日本"));
    EXPECT_EQ(list->ListView1->text(4), QStringLiteral("last"));
    // The long entry has no record: connecting to it fails with a message,
    // not a hang.
    prompts.expect(QStringLiteral("接続エラーが発生しました。"));
    list->ListView1->clearSelection();
    list->ListView1->setSelected(2, true);
    list->ListView1->setCurrentRow(2, true);
    took.restart();
    list->Command1_Click();
    EXPECT_LT(took.elapsed(), 5000);
    EXPECT_TRUE(wait_until([&] { return prompts.allUsed(); }));
    EXPECT_NE(w->Winsock1->State(), Winsock::sckConnected);
    // Deleting it rewrites the list; the other entries stay as they were read.
    list->Server_load();
    list->ListView1->clearSelection();
    list->ListView1->setSelected(2, true);
    list->ListView1->setCurrentRow(2, true);
    prompts.expect(QStringLiteral("の登録を削除します。"), prompts::vbOK);
    list->Item_del_Click();
    const QStringList after = server_list::read();
    EXPECT_EQ(after, (QStringList{"good", badName, "日本", "last"}));
    w.reset();
}

// ------------------------------------------------------------ the file a download replaces

QStringList all_names(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
}

TEST(ReplacingFile, ALinkStaysALinkAndSetIdBitsAreNotCarriedOver)
{
    QTemporaryDir dir;
    const QString real = dir.filePath(QStringLiteral("real")), link = dir.filePath(QStringLiteral("link"));
    write_file(real, "old");
    ASSERT_EQ(::chmod(QFile::encodeName(real).constData(), 04750), 0);
    ASSERT_TRUE(QFile::link(real, link));
    ReplacingFile f(link);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) << f.errorString().toStdString();
    EXPECT_EQ(f.fileName(), real);
    ASSERT_EQ(f.write("new"), 3);
    ASSERT_TRUE(f.commit()) << f.errorString().toStdString();
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(read_file(real), QByteArray("new"));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(real).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0750u);
    EXPECT_EQ(all_names(dir.path()), (QStringList{"link", "real"}));
}

TEST(ReplacingFile, NothingIsCreatedThroughALinkNorOverWhatTookANewNameMeanwhile)
{
    // What is at the name when the file is opened, and what appears there
    // before it is committed.
    enum Kind { Nothing, DanglingLink, File };
    struct Case { Kind atOpen, meanwhile; bool commits; };
    for (const Case c : {Case{DanglingLink, DanglingLink, true}, Case{Nothing, DanglingLink, false},
                         Case{Nothing, File, false}}) {
        SCOPED_TRACE(int(c.atOpen) * 10 + int(c.meanwhile));
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("notes.txt"));
        const QString elsewhere = dir.filePath(QStringLiteral("elsewhere.txt"));
        const auto put = [&](Kind k) {
            QFile::remove(target);
            if (k == DanglingLink) {
                ASSERT_TRUE(QFile::link(elsewhere, target));
            }
            if (k == File)
                write_file(target, "appeared meanwhile");
        };
        put(c.atOpen);
        ReplacingFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) << f.errorString().toStdString();
        ASSERT_EQ(f.write("new"), 3);
        if (c.meanwhile != c.atOpen)
            put(c.meanwhile);
        EXPECT_EQ(f.commit(), c.commits);
        EXPECT_FALSE(QFileInfo::exists(elsewhere));
        // A commit refused keeps what arrived in the part.
        EXPECT_EQ(all_names(dir.path()).size(), c.commits ? 1 : 2);
        EXPECT_EQ(ReplacingFile::partLength(target), c.commits ? -1 : 3);
        if (c.commits) {
            EXPECT_FALSE(QFileInfo(target).isSymLink());
            EXPECT_EQ(read_file(target), QByteArray("new"));
        } else if (c.meanwhile == File) {
            EXPECT_EQ(read_file(target), QByteArray("appeared meanwhile"));
        } else {
            EXPECT_TRUE(QFileInfo(target).isSymLink());
        }
    }
}

TEST(ReplacingFile, WithoutACommitTheTargetStaysAndThePartKeepsWhatArrived)
{
    enum End { Dropped, WriteFails, NothingWritten, Cancelled, CommitFails };
    struct Case { End end; qint64 kept; };   // bytes left in the part, -1 for none
    for (const Case c : {Case{Dropped, 100000}, Case{WriteFails, 20000}, Case{NothingWritten, -1},
                         Case{Cancelled, -1}, Case{CommitFails, 100000}}) {
        SCOPED_TRACE(int(c.end));
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("a.bin"));
        write_file(target, "the user's own copy");
        {
            ReplacingFile f(target);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
            if (c.end == WriteFails) {
                FileSizeLimit full(20000);
                ASSERT_TRUE(full.active());
                EXPECT_NE(f.write(pattern(100000)), 100000);
            } else if (c.end != NothingWritten) {
                ASSERT_EQ(f.write(pattern(100000)), 100000);
            }
            if (c.end == Cancelled)
                f.cancelWriting();
            if (c.end == CommitFails) {
                // A folder took the target's place meanwhile: no file may replace it.
                ASSERT_TRUE(QFile::remove(target));
                ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("a.bin")));
                EXPECT_FALSE(f.commit());
                EXPECT_FALSE(f.errorString().isEmpty());
            }
        }
        EXPECT_EQ(all_names(dir.path()).size(), c.kept < 0 ? 1 : 2);
        EXPECT_EQ(ReplacingFile::partLength(target), c.kept);
        if (c.kept > 0) {
            EXPECT_EQ(read_file(ReplacingFile::partPath(target)), pattern(100000).left(c.kept));
        }
        if (c.end == CommitFails) {
            EXPECT_TRUE(QFileInfo(target).isDir());
        } else {
            EXPECT_EQ(read_file(target), QByteArray("the user's own copy"));
        }
    }
}

// A download stopped after 'bytes', tagged with where they came from.
void leave_part(const QString& target, const QByteArray& bytes, const QByteArray& origin)
{
    ReplacingFile f(target);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) << f.errorString().toStdString();
    f.setOrigin(origin);
    ASSERT_EQ(f.write(bytes), bytes.size());
}

TEST(ReplacingFile, AResumedPartIsContinuedAtItsEndAndReplacesTheTargetWithItsPermissions)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("a.bin"));
    write_file(target, "old");
    ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0640), 0);
    const QByteArray whole = pattern(70000);
    leave_part(target, whole.left(30000), "");
    ReplacingFile f(target);
    qint64 length = -1;
    ASSERT_TRUE(f.openToResume(&length)) << f.errorString().toStdString();
    EXPECT_EQ(length, 30000);
    ASSERT_EQ(f.write(whole.mid(30000)), 40000);
    ASSERT_TRUE(f.commit()) << f.errorString().toStdString();
    EXPECT_EQ(read_file(target), whole);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(all_names(dir.path()), QStringList{"a.bin"});
    EXPECT_EQ(ReplacingFile::partLength(target), -1);
}

TEST(ReplacingFile, TheOriginStaysWithThePartAndANewStartDropsBoth)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("a.bin"));
    const QByteArray probe = QFile::encodeName(dir.filePath(QStringLiteral("probe")));
    write_file(QString::fromLocal8Bit(probe), "");
    if (::setxattr(probe.constData(), "user.probe", "1", 1, 0) != 0)
        GTEST_SKIP() << "the temporary folder's disk keeps no extended attributes";
    ASSERT_EQ(::unlink(probe.constData()), 0);
    leave_part(target, "first", "size=5;modify=20260101000000");
    EXPECT_EQ(ReplacingFile::originOf(target), QByteArray("size=5;modify=20260101000000"));
    ReplacingFile f(target);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    EXPECT_EQ(ReplacingFile::partLength(target), 0);
    EXPECT_TRUE(ReplacingFile::originOf(target).isEmpty());
    // The finished file does not carry the tag.
    f.setOrigin("size=3");
    ASSERT_EQ(f.write("new"), 3);
    ASSERT_TRUE(f.commit());
    char value[16];
    EXPECT_LT(::lgetxattr(QFile::encodeName(target).constData(), "user.palu.origin", value, sizeof value), 0);
}

TEST(ReplacingFile, NothingIsWrittenThroughWhatWasPlantedAtThePartsName)
{
    enum Plant { SymLink, HardLink };
    for (const Plant plant : {SymLink, HardLink}) {
        for (const bool resume : {false, true}) {
            SCOPED_TRACE(int(plant) * 10 + int(resume));
            QTemporaryDir dir;
            const QString target = dir.filePath(QStringLiteral("a.bin"));
            const QString elsewhere = dir.filePath(QStringLiteral("elsewhere"));
            const QString part = ReplacingFile::partPath(target);
            write_file(elsewhere, "not yours");
            const QByteArray from = QFile::encodeName(elsewhere), to = QFile::encodeName(part);
            ASSERT_EQ(plant == SymLink ? ::symlink(from.constData(), to.constData()) : ::link(from.constData(), to.constData()), 0);
            ReplacingFile f(target);
            qint64 length = -1;
            // A new start removes what was there; a resume refuses it and leaves it.
            ASSERT_EQ(resume ? f.openToResume(&length) : f.open(QIODevice::WriteOnly | QIODevice::Unbuffered), !resume);
            EXPECT_EQ(length, -1);
            if (!resume) {
                ASSERT_EQ(f.write("new"), 3);
                ASSERT_TRUE(f.commit());
                EXPECT_EQ(read_file(target), QByteArray("new"));
            }
            EXPECT_EQ(read_file(elsewhere), QByteArray("not yours"));
            EXPECT_EQ(QFileInfo(part).isSymLink(), resume && plant == SymLink);
            EXPECT_EQ(QFileInfo::exists(part), resume);
        }
    }
}

TEST(ReplacingFile, ThePartsNameIsTheSameForTheSameTargetAndFitsBesideIt)
{
    QTemporaryDir dir;
    const QString longName(85, u'あ');   // 255 bytes in UTF-8
    const QString names[] = {QStringLiteral("a.bin"), QStringLiteral("b.bin"), longName};
    QStringList parts;
    for (const QString& name : names) {
        const QString target = dir.filePath(name);
        const QString part = ReplacingFile::partPath(target);
        EXPECT_EQ(QFileInfo(part).absolutePath(), QFileInfo(target).absolutePath());
        EXPECT_EQ(QFileInfo(part).fileName().toUtf8().size(), 14);
        parts << part;
        // The part is written where partPath() says, and a link finds the same part.
        write_file(target, "old");
        ReplacingFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        EXPECT_EQ(f.temporaryPath(), part);
        const QString link = dir.filePath(QStringLiteral("link"));
        ASSERT_TRUE(QFile::link(target, link));
        EXPECT_EQ(ReplacingFile::partPath(link), part);
        QFile::remove(link);
    }
    parts.removeDuplicates();
    EXPECT_EQ(parts.size(), 3);
}

} // namespace
