// Download and upload batches against the fake server, and the same-name
// question.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/stat.h>

#include "platform/drive_view.h"
#include "platform/launcher.h"
#include "platform/list_view.h"
#include "tests/fake_tree.h"
#include "tests/ftp_fixture.h"
#include "transfer/local_names.h"
#include "transfer/progress_text.h"
#include "platform/replacing_file.h"
#include "transfer/remote_folder_walk.h"
#include "transfer/same_name_dialog.h"
#include "transfer/transfer_batch.h"

namespace {

QByteArray pattern(qint64 size)
{
    QByteArray b(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        b[i] = char((i * 131 + i / 7) & 0xff);
    return b;
}

QByteArray read_file(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

class Transfers : public FtpFixture {
protected:
    void start(const QByteArray& listing) { startTree({{QStringLiteral("/"), listing}}); }
    void startTree(const QMap<QString, QByteArray>& listings)
    {
        tree = std::make_unique<FakeTree>(server, listings);
        local = env.scratch();
        // The entry opens the scratch folder on the local side.
        record(QStringLiteral("s_local_path"), drives::from_native(local));
        connectToFake();
        ASSERT_EQ(w->Local_Dir, drives::from_native(local) + QStringLiteral("\\"));
        ASSERT_TRUE(wait_until([&] { return tree->listings() >= 1 && w->ListView1->count() > 0; }));
    }
    void selectRemote(const QStringList& names)
    {
        w->ListView1->clearSelection();
        for (int i = 0; i < w->ListView1->count(); ++i)
            if (names.contains(w->ListView1->text(i)))
                w->ListView1->setSelected(i, true);
    }
    void selectLocal(const QStringList& names)
    {
        w->ListView2->clearSelection();
        for (int i = 0; i < w->ListView2->count(); ++i)
            if (names.contains(w->ListView2->text(i)))
                w->ListView2->setSelected(i, true);
    }
    void writeLocal(const QString& name, const QByteArray& bytes)
    {
        QFile f(local + u'/' + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    bool idle() { return w->ループ回数 == 0 && w->Winsock2->State() == Winsock::sckListening; }
    Form13* dialog() { return w->findChild<Form13*>(); }

    std::unique_ptr<FakeTree> tree;
    QString local;
};

// Every file is checked against the size its listing gives.
QByteArray three_files(qint64 size = 3000)
{
    return listing_line('-', size, "A.txt") + listing_line('-', size, "B.txt") + listing_line('-', size, "C.txt") +
           listing_line('d', 0, "dir") + listing_line('-', 0, "empty.bin");
}

TEST_F(Transfers, ThreeFilesAreFetchedLastSelectedFirst)
{
    start(three_files());
    for (const char* n : {"A.txt", "B.txt", "C.txt"})
        tree->files.insert(QStringLiteral("/") + QString::fromLatin1(n), pattern(2995) + n);
    selectRemote({"A.txt", "B.txt", "C.txt"});
    w->MDOWN_Click();
    ASSERT_TRUE(wait_until([&] { return tree->retrieved.size() == 3 && w->Down_Count == 0 && idle(); }));
    EXPECT_EQ(tree->retrieved, (QStringList{"/C.txt", "/B.txt", "/A.txt"}));
    for (const char* n : {"A.txt", "B.txt", "C.txt"})
        EXPECT_EQ(read_file(local + u'/' + QString::fromLatin1(n)), pattern(2995) + n) << n;
    EXPECT_TRUE(server.commands().contains(QStringLiteral("TYPE I")));
    ASSERT_TRUE(wait_until([&] { return w->statusText() == QStringLiteral("転送終了しました。"); }));
    EXPECT_EQ(log().count(QStringLiteral("転送終了しました。\r\n")), 3);
    // The batch ended normally: its list is gone, the local list shows the files.
    EXPECT_EQ(settings::get(QStringLiteral("FILE_SENTAKU"), QStringLiteral("1"), QStringLiteral("none")),
              QStringLiteral("none"));
    EXPECT_GE(w->ListView2->count(), 3);
    EXPECT_TRUE(w->toolbarButton(6)->isEnabled());
}

// The progress text is put on the status line at most once a frame, but the
// latest figures always get there while the data keep coming, and a frame
// that falls due after the end never covers the end's own text.
TEST_F(Transfers, DownloadProgressReachesTheStatusLineAndTheEndTextStays)
{
    start(listing_line('-', 300000, "big.bin"));
    const QByteArray content = pattern(300000);
    server.onCommand(QStringLiteral("RETR"), [&](FakeFtpServer& s, const QString&) {
        s.reply("150 Opening BINARY mode data connection.\r\n");
        ASSERT_TRUE(s.connectData());
        s.sendData(content.left(100000), false);
        ASSERT_TRUE(wait_until([&] { return w->statusText().contains(QStringLiteral("' ダウンロード   ")); }));
        // Two more arrivals within one frame: the second's figures still show.
        s.sendData(content.mid(100000, 100000), false);
        ASSERT_TRUE(wait_until([&] { return w->F_total >= 200; }));
        s.sendData(content.mid(200000, 50000), false);
        ASSERT_TRUE(wait_until([&] { return w->statusText().contains(QStringLiteral("250KB / 300KB  83% 受信")); }))
            << w->statusText().toStdString();
        s.sendData(content.mid(250000));
        s.waitDataClosed();
        s.reply("226 Transfer complete.\r\n");
    });
    selectRemote({"big.bin"});
    w->MDOWN_Click();
    ASSERT_TRUE(wait_until([&] { return w->statusText() == QStringLiteral("転送終了しました。") && idle(); }));
    EXPECT_EQ(read_file(local + QStringLiteral("/big.bin")), content);
    // A frame still pending from the last arrival puts nothing over the end.
    ASSERT_TRUE(w->statusPace_);
    ASSERT_TRUE(wait_until([&] { return !w->statusPace_->isActive(); }));
    EXPECT_EQ(w->statusText(), QStringLiteral("転送終了しました。"));
}

// A folder comes down whole: its folders (the empty one too) are made, each
// file lands in its place, a link is fetched as a file and never entered,
// and the server is back in the folder the list shows.
TEST_F(Transfers, AFolderComesDownWholeAndALinkIsNeverEntered)
{
    const QByteArray japanese = QStringLiteral("日本語.txt").toUtf8();
    startTree({{"/", listing_line('d', 0, "site") + listing_line('-', 3, "top.txt")},
               {"/site", listing_line('-', 3, "a b.txt") + listing_line('d', 0, "sub") + listing_line('d', 0, "empty") +
                             listing_line('l', 0, "loop")},
               {"/site/sub", listing_line('-', 6, japanese)},
               {"/site/empty", QByteArray()}});
    tree->files.insert(QStringLiteral("/top.txt"), "top");
    tree->files.insert(QStringLiteral("/site/a b.txt"), "a b");
    tree->files.insert(QStringLiteral("/site/sub/日本語.txt"), "日本");
    w->Local_list();
    selectRemote({"site", "top.txt"});
    prompts.expect(QStringLiteral("次のファイルやフォルダーは転送できませんでした。\nsite/loop（フォルダーへのリンク"));
    w->MDOWN_Click();
    ASSERT_TRUE(wait_until([&] { return !w->busy() && prompts.allUsed(); })) << log().toStdString();
    EXPECT_EQ(read_file(local + QStringLiteral("/top.txt")), QByteArray("top"));
    EXPECT_EQ(read_file(local + QStringLiteral("/site/a b.txt")), QByteArray("a b"));
    EXPECT_EQ(read_file(local + QStringLiteral("/site/sub/日本語.txt")), QByteArray("日本"));
    EXPECT_TRUE(QFileInfo(local + QStringLiteral("/site/empty")).isDir());
    EXPECT_FALSE(server.commands().contains(QStringLiteral("CWD /site/loop")));
    EXPECT_EQ(tree->cwd(), QStringLiteral("/"));
    EXPECT_EQ(log().count(QStringLiteral("転送終了しました。\r\n")), 1);
    EXPECT_EQ(w->ListView1->count(), 2);
}

// A server whose folders go on without end: the walk stops at its depth and
// says where, and the batch ends.
QMap<QString, QByteArray> endless_folder()
{
    QMap<QString, QByteArray> listings{{"/", listing_line('d', 0, "d")}};
    for (QString path = QStringLiteral("/d"); path.size() < 2 * 80; path += QStringLiteral("/d"))
        listings.insert(path, listing_line('d', 0, "d"));
    return listings;
}

TEST_F(Transfers, AFolderWithoutEndIsWalkedOnlySoDeep)
{
    startTree(endless_folder());
    selectRemote({"d"});
    prompts.expect(QStringLiteral("（フォルダーの階層が深すぎるため、この中は転送しませんでした。）"));
    w->MDOWN_Click();
    ASSERT_TRUE(wait_until([&] { return !w->busy() && prompts.allUsed(); }, 20000)) << log().right(500).toStdString();
    const QString deepest = local + QString(QStringLiteral("/d")).repeated(RemoteFolderWalk::MaxDepth);
    EXPECT_TRUE(QFileInfo(deepest).isDir());
    EXPECT_FALSE(QFileInfo::exists(deepest + QStringLiteral("/d/d")));
    EXPECT_EQ(tree->cwd(), QStringLiteral("/"));
}

// 中断 while the walk is deep down: the server goes back to the folder the
// list shows before it is listed again.
TEST_F(Transfers, AnAbortedWalkComesBackToTheFolderShown)
{
    startTree(endless_folder());
    selectRemote({"d"});
    w->MDOWN_Click();
    ASSERT_TRUE(wait_until([&] { return tree->cwd().size() > 10; }));
    w->Mabore_Click();
    ASSERT_TRUE(wait_until([&] { return !w->busy() && tree->cwd() == QStringLiteral("/"); })) << log().right(500).toStdString();
    EXPECT_EQ(w->サーバーパス, QStringLiteral("/"));
    EXPECT_EQ(w->ListView1->count(), 1);
}

// A file that arrives shorter than listed is an error; what came stays as a
// part beside the old copy, and the next download goes on from there.
TEST_F(Transfers, AShortFileStaysAPartAndTheNextDownloadGoesOnFromIt)
{
    const QByteArray whole = pattern(5000);
    start(listing_line('-', 5000, "big.bin"));
    writeLocal(QStringLiteral("big.bin"), "old");
    tree->files.insert(QStringLiteral("/big.bin"), whole.left(3000));
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        if (round == 0)
            prompts.expect(QStringLiteral("big.bin（サイズが違います（ｻｰﾊﾞｰ 5000 バイト、受信 3000 バイト））"));
        selectRemote({"big.bin"});
        w->MDOWN_Click();
        ASSERT_TRUE(wait_until([&] { return dialog() && dialog()->isVisible(); }));
        dialog()->Command1->click();
        ASSERT_TRUE(wait_until([&] { return !w->busy() && prompts.allUsed(); })) << log().toStdString();
        tree->files.insert(QStringLiteral("/big.bin"), whole);
    }
    EXPECT_TRUE(server.commands().contains(QStringLiteral("REST 3000")));
    EXPECT_TRUE(log().contains(QStringLiteral("続きから再開します（3000 バイト）。")));
    EXPECT_EQ(read_file(local + QStringLiteral("/big.bin")), whole);
    EXPECT_EQ(ReplacingFile::partLength(local + QStringLiteral("/big.bin")), -1);
}

// A folder goes up whole: MKD for each folder the server lacks, never one
// for a link to a folder; a file the server holds less of goes on after it.
TEST_F(Transfers, AFolderGoesUpWholeAndAShorterCopyThereIsContinued)
{
    startTree({{"/", listing_line('d', 0, "site")}, {"/site", listing_line('-', 4, "a.txt")}});
    tree->files.insert(QStringLiteral("/site/a.txt"), "0123");
    for (const char* folder : {"site/sub", "site/empty"})
        ASSERT_TRUE(QDir(local).mkpath(QString::fromLatin1(folder)));
    writeLocal(QStringLiteral("site/a.txt"), "0123456789");
    writeLocal(QStringLiteral("site/sub/b c.txt"), "b");
    ASSERT_TRUE(QFile::link(local + QStringLiteral("/site"), local + QStringLiteral("/site/loop")));
    w->Local_list();
    selectLocal({"site"});
    prompts.expect(QStringLiteral("site/loop（フォルダーへのリンクのため"));
    w->Mupload_Click();
    ASSERT_TRUE(wait_until([&] { return dialog() && dialog()->isVisible(); })) << log().toStdString();
    EXPECT_EQ(dialog()->Label2->text(), QStringLiteral("site/a.txt"));
    ASSERT_TRUE(dialog()->Command5->isVisible());
    dialog()->Command5->click();
    ASSERT_TRUE(wait_until([&] { return !w->busy() && prompts.allUsed(); })) << log().toStdString();
    EXPECT_EQ(tree->files.value(QStringLiteral("/site/a.txt")), QByteArray("0123456789"));
    EXPECT_EQ(tree->files.value(QStringLiteral("/site/sub/b c.txt")), QByteArray("b"));
    EXPECT_EQ(tree->made, (QStringList{"/site/empty", "/site/sub"}));
    EXPECT_TRUE(server.commands().contains(QStringLiteral("REST 4")));
}

TEST_F(Transfers, NothingSelectedAndNotConnectedAreRefused)
{
    start(three_files());
    w->ListView1->clearSelection();
    prompts.expect(QStringLiteral("ファイルが選択されていません"));
    w->MDOWN_Click();
    EXPECT_TRUE(prompts.allUsed());
}

TEST_F(Transfers, AnEmptyRemoteFileBecomesAnEmptyLocalFile)
{
    start(three_files());
    tree->files.insert(QStringLiteral("/empty.bin"), QByteArray());
    writeLocal(QStringLiteral("other"), "x");
    selectRemote({"empty.bin"});
    w->MDOWN_Click();
    ASSERT_TRUE(wait_until([&] { return tree->retrieved.size() == 1 && idle(); }));
    ASSERT_TRUE(wait_until([&] { return QFileInfo::exists(local + QStringLiteral("/empty.bin")); }));
    EXPECT_EQ(QFileInfo(local + QStringLiteral("/empty.bin")).size(), 0);
}

TEST_F(Transfers, OverwriteAllCoversTheBatchAndTheNextBatchAsksAgain)
{
    start(three_files(9));
    for (const char* n : {"A.txt", "B.txt", "C.txt"}) {
        tree->files.insert(QStringLiteral("/") + QString::fromLatin1(n), QByteArray("new ") + n);
        writeLocal(QString::fromLatin1(n), "old");
    }
    selectRemote({"A.txt", "B.txt", "C.txt"});
    w->MDOWN_Click();
    ASSERT_TRUE(wait_until([&] { return dialog() && dialog()->isVisible(); }));
    EXPECT_EQ(dialog()->Label2->text(), QStringLiteral("C.txt"));
    EXPECT_EQ(dialog()->Label1->text(), QStringLiteral("は、転送先に同一名のファイルが存在します。"));
    EXPECT_EQ(dialog()->windowTitle(), QStringLiteral("問い合わせ"));
    dialog()->Command2->click();
    ASSERT_TRUE(wait_until([&] { return tree->retrieved.size() == 3 && idle() && w->Down_Count == 0; }));
    for (const char* n : {"A.txt", "B.txt", "C.txt"})
        EXPECT_EQ(read_file(local + u'/' + QString::fromLatin1(n)), QByteArray("new ") + n);
    EXPECT_FALSE(Form13::Over_write);

    selectRemote({"A.txt"});
    w->MDOWN_Click();
    ASSERT_TRUE(wait_until([&] { return dialog()->isVisible(); }));
    dialog()->Command3->click();
}

TEST_F(Transfers, SkipTheMiddleFileFetchesTheOtherTwo)
{
    start(three_files(9));
    for (const char* n : {"A.txt", "B.txt", "C.txt"})
        tree->files.insert(QStringLiteral("/") + QString::fromLatin1(n), QByteArray("new ") + n);
    writeLocal(QStringLiteral("B.txt"), "keep me");
    selectRemote({"A.txt", "B.txt", "C.txt"});
    w->MDOWN_Click();
    ASSERT_TRUE(wait_until([&] { return dialog() && dialog()->isVisible(); }));
    EXPECT_EQ(dialog()->Label2->text(), QStringLiteral("B.txt"));
    dialog()->Command4->click();
    ASSERT_TRUE(wait_until([&] { return tree->retrieved.size() == 2 && idle() && w->Down_Count == 0; }));
    EXPECT_EQ(tree->retrieved, (QStringList{"/C.txt", "/A.txt"}));
    EXPECT_EQ(read_file(local + QStringLiteral("/B.txt")), QByteArray("keep me"));
}

TEST_F(Transfers, CancelEndsTheWholeBatch)
{
    start(three_files());
    writeLocal(QStringLiteral("C.txt"), "old");
    selectRemote({"A.txt", "B.txt", "C.txt"});
    w->MDOWN_Click();
    ASSERT_TRUE(wait_until([&] { return dialog() && dialog()->isVisible(); }));
    dialog()->Command3->click();
    EXPECT_FALSE(dialog()->isVisible());
    // The batch is over: nothing of it is left to be picked up later.
    EXPECT_EQ(w->Down_Count, 0);
    EXPECT_EQ(w->ループ回数, 0);
    EXPECT_FALSE(w->busy());
    EXPECT_TRUE(settings::get(QStringLiteral("FILE_SENTAKU"), QStringLiteral("1")).isEmpty());
    EXPECT_TRUE(tree->retrieved.isEmpty());
    EXPECT_EQ(read_file(local + QStringLiteral("/C.txt")), QByteArray("old"));
    EXPECT_TRUE(w->toolbarButton(6)->isEnabled());
}

TEST_F(Transfers, TextViewUsesTypeAAndNeverAsks)
{
    start(three_files());
    tree->files.insert(QStringLiteral("/A.txt"), "hello\r\n");
    writeLocal(QStringLiteral("A.txt"), "local copy");
    QStringList opened;
    launcher::set_recorder([&](launcher::Kind, const QString& p) { opened << p; });
    selectRemote({"A.txt"});
    w->Y_Count = -1;
    w->MDOWN_Click();
    ASSERT_TRUE(wait_until([&] { return opened.size() == 1; }));
    launcher::set_recorder({});
    EXPECT_TRUE(server.commands().contains(QStringLiteral("TYPE A")));
    EXPECT_FALSE(server.commands().contains(QStringLiteral("TYPE I")));
    EXPECT_EQ(opened.at(0), program_folder::file(QStringLiteral("text.txt")));
    EXPECT_EQ(read_file(opened.at(0)), QByteArray("hello\r\n"));
    EXPECT_EQ(read_file(local + QStringLiteral("/A.txt")), QByteArray("local copy"));
    EXPECT_EQ(w->Y_Count, 0);
    EXPECT_FALSE(dialog() && dialog()->isVisible());
}

TEST_F(Transfers, ALinkWhereTheFileWouldLandIsAskedAboutAndNeverWrittenThrough)
{
    start(three_files(15));
    tree->files.insert(QStringLiteral("/A.txt"), "from the server");
    // Leads out of the folder, to nothing.
    QTemporaryDir outside;
    const QString missing = outside.filePath(QStringLiteral("missing.txt"));
    ASSERT_TRUE(QFile::link(missing, local + QStringLiteral("/A.txt")));
    selectRemote({"A.txt"});
    w->MDOWN_Click();
    ASSERT_TRUE(wait_until([&] { return dialog() && dialog()->isVisible(); }));
    EXPECT_EQ(dialog()->Label2->text(), QStringLiteral("A.txt"));
    dialog()->Command1->click();
    ASSERT_TRUE(wait_until([&] { return tree->retrieved.size() == 1 && idle() && w->Down_Count == 0; }));
    EXPECT_FALSE(QFileInfo(local + QStringLiteral("/A.txt")).isSymLink());
    EXPECT_EQ(read_file(local + QStringLiteral("/A.txt")), QByteArray("from the server"));
    EXPECT_FALSE(QFileInfo::exists(missing));
}

TEST_F(Transfers, TheListingAndTextViewFilesAreReadableByTheirOwnerOnly)
{
    // An older text.txt open to all is not kept as it was.
    const QString textFile = program_folder::file(QStringLiteral("text.txt"));
    {
        QFile old(textFile);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    }
    ASSERT_EQ(::chmod(QFile::encodeName(textFile).constData(), 0644), 0);
    start(three_files());
    tree->files.insert(QStringLiteral("/A.txt"), "hello\r\n");
    launcher::set_recorder([](launcher::Kind, const QString&) {});
    selectRemote({"A.txt"});
    w->Y_Count = -1;
    w->MDOWN_Click();
    const bool viewed = wait_until([&] { return tree->retrieved.size() == 1 && idle() && w->Y_Count == 0; });
    launcher::set_recorder({});
    ASSERT_TRUE(viewed);
    for (const QString& name : {QStringLiteral("temp.s"), QStringLiteral("text.txt")}) {
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(program_folder::file(name)).constData(), &st), 0) << name.toStdString();
        EXPECT_EQ(st.st_mode & 0777, 0600u) << name.toStdString();
    }
}

TEST(LocalNames, OnlyPlainNamesInsideTheFolder)
{
    for (const char* bad : {"", ".", "..", "../x", "a/b", "a\\b", "/etc/passwd"})
        EXPECT_FALSE(is_plain_local_name(QString::fromUtf8(bad))) << bad;
    EXPECT_FALSE(is_plain_local_name(QString(300, u'x')));
    for (const char* good : {"a.txt", "..a", "日本語.txt", " lead", "a b"})
        EXPECT_TRUE(is_plain_local_name(QString::fromUtf8(good))) << good;
}

TEST_F(Transfers, ANameThatWouldLeaveTheFolderIsRefusedAndTheBatchGoesOn)
{
    start(listing_line('-', 10, "../escape.txt") + listing_line('-', 4, "fine.txt"));
    tree->files.insert(QStringLiteral("/fine.txt"), "fine");
    tree->files.insert(QStringLiteral("/../escape.txt"), "evil");
    // The listing parser drops names with '/': put one in the list by hand.
    w->ListView1->addItem(QStringLiteral("../escape.txt"), 2, {QStringLiteral("     1KB"), QString(), QStringLiteral("1")});
    selectRemote({"fine.txt", "../escape.txt"});
    prompts.expect(QStringLiteral("「../escape.txt」はこのコンピューターのファイル名として使えないため"));
    w->MDOWN_Click();
    ASSERT_TRUE(wait_until([&] { return tree->retrieved.size() == 1 && idle() && w->Down_Count == 0; }));
    EXPECT_TRUE(prompts.allUsed());
    EXPECT_EQ(tree->retrieved, QStringList{"/fine.txt"});
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(local).dir().filePath(QStringLiteral("escape.txt"))));
}

class Uploads : public Transfers, public ::testing::WithParamInterface<int> {};

TEST_P(Uploads, FileArrivesWhole)
{
    const int size = GetParam();
    start(listing_line('-', 1, "remote.txt"));
    const QByteArray content = pattern(size);
    writeLocal(QStringLiteral("up.bin"), content);
    w->Local_list();
    selectLocal({"up.bin"});
    w->Mupload_Click();
    ASSERT_TRUE(wait_until([&] { return tree->stored.size() == 1 && idle(); }, 20000));
    EXPECT_EQ(tree->files.value(QStringLiteral("/up.bin")), content);
    ASSERT_TRUE(wait_until([&] { return log().contains(QStringLiteral("ｱｯﾌﾟﾛｰﾄﾞ終了しました。\r\n")); }));
    // "226" re-armed the listener and asked for a fresh listing.
    ASSERT_TRUE(wait_until([&] { return tree->listings() >= 2; }));
    EXPECT_EQ(w->Gcount, 0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, Uploads, ::testing::Values(0, 1, 1023, 1024, 1025, 1 << 20));

// The file is read ahead only as far as the socket's own queue counts as
// taken: when the server stops reading, what was read is what was reported
// sent plus the queue, which holds at most 256 KB and one block.
TEST_F(Transfers, UploadReadsAheadOnlyWhatTheSocketQueueHolds)
{
    start(listing_line('-', 1, "remote.txt"));
    const QByteArray content = pattern(16 << 20);   // more than the sockets hold
    writeLocal(QStringLiteral("big.bin"), content);
    w->Local_list();
    selectLocal({"big.bin"});
    QTcpSocket peer;   // the server's end of the data connection
    tree->fault = [&](FakeFtpServer& s, const QString& line) {
        if (!line.startsWith(QStringLiteral("STOR")))
            return false;
        s.reply("150 Ok to send data.\r\n");
        peer.setReadBufferSize(1024);   // then it takes no more
        peer.connectToHost(s.dataHost(), s.dataPort());
        return true;
    };
    qint64 reported = 0;
    QObject::connect(w->Winsock2, &Winsock::SendProgress, [&](qint64 sent, qint64) { reported += sent; });
    w->Mupload_Click();
    ASSERT_TRUE(wait_until([&] {
        return w->uploadFile && w->Winsock2->BytesToSend() > 0 &&
               reported + w->Winsock2->BytesToSend() == w->uploadFile->pos();
    }, 20000)) << reported << " reported, " << w->Winsock2->BytesToSend() << " waiting";
    EXPECT_LE(w->Winsock2->BytesToSend(), 256 * 1024 + 1024);

    // Read on: the rest follows and the file arrives whole.
    QByteArray received;
    peer.setReadBufferSize(0);
    ASSERT_TRUE(wait_until([&] {
        received += peer.readAll();
        return received.size() == content.size() && w->Gcount == 3 && w->ループ回数 == 0;
    }, 20000)) << received.size();
    server.reply("226 Transfer complete.\r\n");
    ASSERT_TRUE(wait_until([&] { return idle() && w->Gcount == 0; }));
    EXPECT_TRUE(received == content);
}

// A name of 255 bytes leaves no room for a suffix: the download is written
// under a short hidden name and takes the old file's place, permissions and
// all; a new file gets the usual permissions.
TEST_F(Transfers, DownloadOverAFileWithALongNameLandsWithItsPermissions)
{
    const QString name(85, u'あ');   // 255 bytes in UTF-8
    ASSERT_EQ(name.toUtf8().size(), 255);
    start(listing_line('-', 70000, name.toUtf8()) + listing_line('-', 5, "new.bin"));
    const QByteArray content = pattern(70000);
    tree->files.insert(QStringLiteral("/") + name, content);
    tree->files.insert(QStringLiteral("/new.bin"), "fresh");
    writeLocal(name, "old");
    ASSERT_EQ(::chmod(QFile::encodeName(local + u'/' + name).constData(), 0640), 0);
    const mode_t umaskBefore = ::umask(022);
    selectRemote({name, "new.bin"});
    w->MDOWN_Click();
    ASSERT_TRUE(wait_until([&] { return dialog() && dialog()->isVisible(); }));
    dialog()->Command1->click();   // overwrite
    const bool done = wait_until([&] { return tree->retrieved.size() == 2 && w->Down_Count == 0 && idle(); });
    ::umask(umaskBefore);
    ASSERT_TRUE(done) << log().right(300).toStdString();
    EXPECT_EQ(read_file(local + u'/' + name), content);
    const auto mode = [&](const QString& n) {
        struct stat st {};
        return ::stat(QFile::encodeName(local + u'/' + n).constData(), &st) == 0 ? st.st_mode & 07777 : 0u;
    };
    EXPECT_EQ(mode(name), 0640u);
    EXPECT_EQ(mode(QStringLiteral("new.bin")), 0644u);
    EXPECT_EQ(QDir(local).entryList(QDir::Files | QDir::Hidden, QDir::Name), (QStringList{"new.bin", name}));
}

TEST_F(Transfers, AServerThatNeverConfirmsAnUploadDoesNotKeepTheWindowBusy)
{
    start(listing_line('-', 1, "remote.txt"));
    writeLocal(QStringLiteral("up.bin"), pattern(5000));
    w->Local_list();
    selectLocal({"up.bin"});
    tree->fault = [&](FakeFtpServer& s, const QString& line) {
        if (!line.startsWith(QStringLiteral("STOR")))
            return false;
        s.reply("150 Ok to send data.\r\n");
        EXPECT_TRUE(s.connectData());
        EXPECT_TRUE(s.waitDataClosed());
        return true;   // and no 226
    };
    w->uploadEndWaitMs = 300;
    prompts.expect(QStringLiteral("「up.bin」のアップロードが完了したかどうか確認できませんでした。"));
    w->Mupload_Click();
    ASSERT_TRUE(wait_until([&] { return prompts.allUsed() && !w->busy(); })) << log().toStdString();
    EXPECT_EQ(server.receivedData(), pattern(5000));
}

TEST_F(Transfers, UploadBatchSendsLastSelectedFirstAndCaseOnlyNamesDoNotAsk)
{
    start(listing_line('-', 1, "readme.txt"));
    for (const char* n : {"a.txt", "README.TXT", "c.txt"})
        writeLocal(QString::fromLatin1(n), n);
    w->Local_list();
    selectLocal({"a.txt", "README.TXT", "c.txt"});
    w->Mupload_Click();
    ASSERT_TRUE(wait_until([&] { return tree->stored.size() == 3 && idle() && w->Up_Count == 0; }));
    // List order is a.txt, c.txt, README.TXT (names sort without case).
    EXPECT_EQ(tree->stored, (QStringList{"/README.TXT", "/c.txt", "/a.txt"}));
    EXPECT_FALSE(dialog() && dialog()->isVisible());
}

// Each upload is checked against the size the server then holds, where the
// server can tell (SIZE in FEAT); a difference is named with both sizes.
TEST_F(Transfers, AnUploadTheServerHoldsShorterIsNamed)
{
    server.onCommand(QStringLiteral("FEAT"), [](FakeFtpServer& s, const QString&) {
        s.reply("211-Features:\r\n SIZE\r\n211 End\r\n");
    });
    server.onCommand(QStringLiteral("SIZE"), [](FakeFtpServer& s, const QString&) { s.reply("213 5\r\n"); });
    start(listing_line('-', 1, "x"));
    writeLocal(QStringLiteral("five.txt"), "abcde");
    writeLocal(QStringLiteral("three.txt"), "xyz");
    w->Local_list();
    selectLocal({"five.txt", "three.txt"});
    prompts.expect(QStringLiteral("\nthree.txt（サイズが違います（送信 3 バイト、ｻｰﾊﾞｰ 5 バイト））"));
    w->Mupload_Click();
    ASSERT_TRUE(wait_until([&] { return tree->stored.size() == 2 && !w->busy() && prompts.allUsed(); })) << log().toStdString();
    EXPECT_EQ(server.commands().filter(QStringLiteral("SIZE ")).size(), 2);
}

TEST_F(Transfers, UploadOverAnExistingNameAsksAndSkipGoesOn)
{
    start(listing_line('-', 1, "same.txt"));
    writeLocal(QStringLiteral("same.txt"), "s");
    writeLocal(QStringLiteral("new.txt"), "n");
    w->Local_list();
    selectLocal({"new.txt", "same.txt"});
    w->Mupload_Click();
    ASSERT_TRUE(wait_until([&] { return dialog() && dialog()->isVisible(); }));
    EXPECT_EQ(w->Douitu, 1);
    EXPECT_FALSE(dialog()->Command5->isVisible());   // the server's copy is not shorter
    dialog()->Command4->click();   // skip same.txt
    EXPECT_EQ(w->Douitu, 0);
    ASSERT_TRUE(wait_until([&] { return tree->stored == QStringList{"/new.txt"} && idle(); }));
}

TEST(BatchPanel, FilesBytesSpeedAndTimeLeft)
{
    TransferBatch batch;
    for (qint64 size : {48'200'000LL, 1'251'800'000LL})
        batch.addFile({QStringLiteral("f"), size});
    batch.start(0);
    EXPECT_EQ(batch.panelText(500), QStringLiteral("0/2 ファイル  0 B / 1.3 GB"));
    batch.moved(48'200'000);
    batch.fileDone();
    // 11.6 MB a second for the 1.25 GB left: 1:48.
    EXPECT_EQ(batch.panelText(4155), QStringLiteral("1/2 ファイル  48.2 MB / 1.3 GB  11.6 MB/秒  残り 1:48"));
    EXPECT_EQ(batch.percent(), 3);
    EXPECT_EQ(batch_bytes_text(999), QStringLiteral("999 B"));
    EXPECT_EQ(batch_bytes_text(999'960), QStringLiteral("1.0 MB"));
}

TEST(ProgressTexts, DownloadCountsRoundedKilobytesPerArrival)
{
    DownloadProgress p = download_progress(0, 1460, QStringLiteral("100000"), 0);
    EXPECT_EQ(p.kilobytes, 1);
    EXPECT_EQ(p.speedText, QString());
    p = download_progress(p.kilobytes, 8192, QStringLiteral("100000"), 2);
    EXPECT_EQ(p.kilobytes, 9);
    EXPECT_EQ(p.percent, 9);
    EXPECT_EQ(p.speedText, QStringLiteral("4.5KB/秒"));
    EXPECT_EQ(download_status_text(QStringLiteral("a.bin"), p),
              QStringLiteral(" 'a.bin' ダウンロード   9KB / 100KB  9% 受信  4.5KB/秒"));
    // Never more than the expected size; an expected size of 0 shows 0 %.
    p = download_progress(99, 5000, QStringLiteral("12345"), 1);
    EXPECT_EQ(p.kilobytes, 12);
    EXPECT_EQ(p.sizeKB, 12.3);
    EXPECT_EQ(p.percent, 97);
    EXPECT_EQ(download_progress(0, 5000, QStringLiteral("0"), 1).percent, 0);
    // Beyond 2 GB the numbers stay right.
    p = download_progress(3'000'000, 1000, QStringLiteral("4000000000"), 10);
    EXPECT_EQ(p.kilobytes, 3'000'001);
    EXPECT_EQ(p.percent, 75);
}

TEST(ProgressTexts, HostileExpectedSizesStayInBounds)
{
    const struct {
        const char* downSize;
        qint64 kilobytes;
        int percent;
    } cases[] = {
        // Beyond any 64-bit count: held at the largest one.
        {"99999999999999999999999999", 13, 0},
        // No size: nothing counts, nothing shows.
        {"-99999999999999999999999999", 0, 0},
        {"-5000", 0, 0},
        {"nan", 0, 0},
        {"-inf", 0, 0},
        // 13 KB counted of 12.6: held at the size rounded, which passes it.
        {"12600", 13, 100},
    };
    for (const auto& c : cases) {
        const DownloadProgress p = download_progress(0, 13000, QLatin1String(c.downSize), 1);
        EXPECT_EQ(p.kilobytes, c.kilobytes) << c.downSize;
        EXPECT_EQ(p.percent, c.percent) << c.downSize;
        EXPECT_TRUE(p.sizeKB >= 0 && p.sizeKB < 1e16) << c.downSize;
    }
}

TEST(ProgressTexts, UploadTextAndEmptyFile)
{
    int percent = -1;
    EXPECT_EQ(upload_status_text(QStringLiteral("u.bin"), 1024, 4096, 0, &percent),
              QStringLiteral(" 'u.bin'アップロード    1KB / 4KB  25%完了"));
    EXPECT_EQ(percent, 25);
    EXPECT_EQ(upload_status_text(QStringLiteral("u"), 5000, 10000, 2),
              QStringLiteral(" 'u'アップロード    5KB / 10KB  50%完了2.5KB/秒"));
    EXPECT_EQ(upload_status_text(QStringLiteral("u"), 100, 10000, 1),
              QStringLiteral(" 'u'アップロード    0.1KB / 10KB  1%完了100B/秒"));
    upload_status_text(QStringLiteral("e"), 0, 0, 0, &percent);
    EXPECT_EQ(percent, 100);
    upload_status_text(QStringLiteral("big"), 3'000'000'000LL, 4'000'000'000LL, 1, &percent);
    EXPECT_EQ(percent, 75);
}

} // namespace
