// Servers that misbehave on purpose: floods, endless lines, broken codes,
// hostile names, connections that drop at every step, data connections that
// end early, come from elsewhere or never come. Whatever the server does,
// the program stays up and responsive, keeps its memory bounded, writes
// nothing outside the current local folder, says what failed, and can go on
// working.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTcpSocket>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>

#include "ftp/reply_framer.h"
#include "platform/click_label.h"
#include "platform/launcher.h"
#include "platform/list_view.h"
#include "platform/replacing_file.h"
#include "tests/fake_tree.h"
#include "tests/ftp_fixture.h"
#include "transfer/same_name_dialog.h"

namespace {

// Resident memory of this process in MB: now, and the peak since reset_peak().
qint64 status_mb(const char* key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').first().toLongLong() / 1024;
    return -1;
}
qint64 rss_mb() { return status_mb("VmRSS:"); }
qint64 peak_mb() { return status_mb("VmHWM:"); }
void reset_peak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

// Cheap reproducible noise: one xorshift step per eight bytes.
class RandomBytes {
public:
    explicit RandomBytes(quint64 seed) : state_(seed) {}
    QByteArray next(qsizetype n)
    {
        QByteArray b(n, Qt::Uninitialized);
        char* p = b.data();
        for (qsizetype i = 0; i + 8 <= n; i += 8) {
            state_ ^= state_ << 13;
            state_ ^= state_ >> 7;
            state_ ^= state_ << 17;
            memcpy(p + i, &state_, 8);
        }
        return b;
    }

private:
    quint64 state_;
};

// The longest the event loop went without turning: how long a user would
// have waited for the window to react.
class Stall {
public:
    Stall()
    {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] { worst_ = std::max(worst_, clock_.restart()); });
        clock_.start();
        timer_.start();
    }
    // The gap still open counts too: a handler that blocked until just now
    // has had no tick after it yet.
    qint64 worstMs() const { return std::max(worst_, clock_.elapsed()); }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 worst_ = 0;
};

QByteArray read_file(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void write_file(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray pattern(qint64 size)
{
    QByteArray b(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        b[i] = char((i * 131 + i / 7) & 0xff);
    return b;
}

const QString Finished = QStringLiteral("転送終了しました。");
const QString ABinUnfinished = QStringLiteral("「a.bin」のダウンロードは完了しませんでした。");

class HostileServer : public FtpFixture {
protected:
    void SetUp() override
    {
        FtpFixture::SetUp();
        // Waits are bounded in the program; tests need not sit through them.
        // Long enough never to run out while the fake server does its part
        // on a loaded machine; tests of the waits shorten them.
        w->dataConnectionWaitMs = 5000;
        w->downloadEndWaitMs = 5000;
    }
    void TearDown() override { Form13::Over_write = false; }

    QByteArray defaultListing() const
    {
        return listing_line('-', 60000, "a.bin") + listing_line('-', 3, "b.txt");
    }
    void serveTree(const QByteArray& listing)
    {
        tree = std::make_unique<FakeTree>(server, QMap<QString, QByteArray>{{QStringLiteral("/"), listing}});
        tree->files.insert(QStringLiteral("/a.bin"), content);
        tree->files.insert(QStringLiteral("/b.txt"), "bbb");
    }
    void loginAndList(const QByteArray& listing = {})
    {
        serveTree(listing.isEmpty() ? defaultListing() : listing);
        local = env.scratch();
        connectToFake();
        ASSERT_TRUE(wait_until([&] { return tree->listings() >= 1 && w->ListView1->count() > 0 && usable(); }))
            << server.commands().join(u'|').toStdString();
    }
    void selectRemote(const QStringList& names)
    {
        w->ListView1->clearSelection();
        for (int i = 0; i < w->ListView1->count(); ++i)
            if (names.contains(w->ListView1->text(i)))
                w->ListView1->setSelected(i, true);
    }
    // Downloads a.bin over an existing local copy (overwrite already agreed).
    void startDownloadOverOldCopy()
    {
        write_file(local + QStringLiteral("/a.bin"), "old local copy");
        Form13::Over_write = true;
        selectRemote({"a.bin"});
        w->MDOWN_Click();
    }
    // Every file in the local folder, part files included.
    QStringList localNames() const { return QDir(local).entryList(QDir::Files | QDir::Hidden | QDir::System); }
    // A download of a.bin that did not finish: the old copy as it was, and
    // at most a part holding the start of the file, for the next download
    // to continue.
    void expectOldCopyAndAtMostAPart() const
    {
        EXPECT_EQ(read_file(local + QStringLiteral("/a.bin")), QByteArray("old local copy"));
        const QString part = ReplacingFile::partPath(local + QStringLiteral("/a.bin"));
        QStringList names = localNames();
        if (names.removeAll(QFileInfo(part).fileName()) > 0) {
            EXPECT_GT(QFileInfo(part).size(), 0);
            EXPECT_TRUE(content.startsWith(read_file(part)));
        }
        EXPECT_EQ(names, QStringList{"a.bin"});
    }

    // The program is idle, connected and ready for the user's next command.
    bool usable()
    {
        return w->Winsock1->State() == Winsock::sckConnected && w->ループ回数 == 0 &&
               w->Winsock2->State() == Winsock::sckListening && w->toolbarButton(6)->isEnabled();
    }
    // A fresh listing runs through: the conversation is still in step.
    void expectListingWorks()
    {
        const int before = tree->listings();
        w->Send_pwd();
        EXPECT_TRUE(wait_until([&] { return tree->listings() > before && usable(); }))
            << server.commands().join(u'|').toStdString();
    }
    // A whole download now runs as it should.
    void expectDownloadWorks()
    {
        serveTree(defaultListing());
        QFile::remove(local + QStringLiteral("/a.bin"));
        const qsizetype before = log().count(Finished);
        selectRemote({"a.bin"});
        w->MDOWN_Click();
        ASSERT_TRUE(wait_until([&] { return log().count(Finished) > before && usable(); }))
            << server.commands().join(u'|').toStdString();
        EXPECT_EQ(read_file(local + QStringLiteral("/a.bin")), content);
    }

    std::unique_ptr<FakeTree> tree;
    QString local;
    const QByteArray content = pattern(60000);
};

// ------------------------------------------------------------ floods

TEST_F(HostileServer, TwoHundredMegabytesOfRandomBytesKeepTheLogBoundedAndTheWindowResponsive)
{
    loginAndList();
    const QStringList commandsBefore = server.commands();
    constexpr qint64 total = 200LL << 20;
    constexpr qsizetype piece = 1 << 20;
    const QByteArray marker = "\r\nEND OF FLOOD\r\n";
    RandomBytes random(0x5eed1234abcdULL);
    qint64 sent = 0;
    bool markerSent = false;
    server.streamControl([&]() -> QByteArray {
        if (sent < total) {
            sent += piece;
            return random.next(piece);
        }
        return std::exchange(markerSent, true) ? QByteArray() : marker;
    });
    const qint64 rssBefore = rss_mb();
    reset_peak();
    QElapsedTimer took;
    took.start();
    Stall stall;
    ASSERT_TRUE(wait_until([&] { return log().endsWith(QString::fromLatin1(marker)); }, 90000))
        << "received " << server.streamed() << " bytes";
    const qint64 peakGrowth = peak_mb() - rssBefore;
    std::printf("[ info ] 200 MB flood: %lld ms, longest stall %lld ms, peak memory growth %lld MB\n",
                (long long)took.elapsed(), (long long)stall.worstMs(), (long long)peakGrowth);
    // The log holds at most its last megabyte, and so does the widget.
    EXPECT_LE(log().size(), LogPane::MaxLength);
    w->Text1->refreshDisplay();
    EXPECT_LE(w->Text1->document()->characterCount(), LogPane::MaxLength + 1);
    EXPECT_TRUE(w->Text1->document()->toPlainText().endsWith(QStringLiteral("END OF FLOOD\n")));
    EXPECT_LT(peakGrowth, 150);
    EXPECT_LT(stall.worstMs(), 2000);
    // Nothing in the noise was taken for a reply: no command went out.
    EXPECT_EQ(server.commands(), commandsBefore);
    expectListingWorks();
}

TEST_F(HostileServer, TenMegabyteLineIsCutAndWhatFollowsTheCutIsNoReply)
{
    loginAndList();
    const QStringList commandsBefore = server.commands();
    // Replies the program would act on, all over a line that never ends: the
    // first 64 KB are one reply, the rest is not read as replies at all.
    const QByteArray unit = "221 Goodbye. 226 Transfer complete. 421 Closing. ";
    qint64 left = 10LL << 20;
    bool first = true, ended = false;
    server.streamControl([&]() -> QByteArray {
        if (left <= 0)
            return std::exchange(ended, true) ? QByteArray() : QByteArray("\r\n211 still here\r\n");
        QByteArray piece = std::exchange(first, false) ? "150 " : "";
        while (piece.size() < (256 << 10))
            piece += unit;
        left -= piece.size();
        return piece;
    });
    Stall stall;
    ASSERT_TRUE(wait_until([&] { return log().contains(QStringLiteral("211 still here\r\n")); }, 30000));
    EXPECT_LT(stall.worstMs(), 2000);
    EXPECT_EQ(log().count(QStringLiteral("(ｻｰﾊﾞｰからの応答が64KBを超えたため、超えた部分を読み捨てました。)")), 1);
    EXPECT_LE(log().size(), LogPane::MaxLength);
    EXPECT_NE(w->windowTitle(), QStringLiteral("Palu_FTP   未接続"));
    EXPECT_EQ(server.commands(), commandsBefore);
    expectListingWorks();
}

TEST(HostileReplyFramer, LongLinesAndRepliesAreCutWhereverTheReadsEnd)
{
    constexpr qsizetype max = ReplyFramer::MaxReplyLength;
    for (const int read : {1000, 65536, 65537, 300000}) {
        ReplyFramer f("UTF-8");
        const QByteArray line = "226 " + QByteArray(max + 100000, 'x') + "221 bye\r\n" + "250 next\r\n";
        QStringList replies;
        int cut = 0;
        for (qsizetype at = 0; at < line.size(); at += read) {
            const ReplyFramer::Result r = f.feed(line.mid(at, read));
            replies += r.replies;
            cut += r.cut;
        }
        ASSERT_EQ(replies.size(), 2) << read;
        EXPECT_EQ(replies[0].size(), max + 2) << read;
        EXPECT_TRUE(replies[0].startsWith(QStringLiteral("226 xxx")));
        EXPECT_EQ(replies[1], QStringLiteral("250 next\r\n"));
        EXPECT_EQ(cut, 1);
        EXPECT_FALSE(f.hasPartialReply());
    }
    // A line exactly as long as allowed is whole, even with its CR alone in
    // the next read.
    ReplyFramer f("UTF-8");
    const QByteArray exact = "200 " + QByteArray(max - 4, 'y');
    EXPECT_TRUE(f.feed(exact).replies.isEmpty());
    EXPECT_TRUE(f.feed("\r").replies.isEmpty());
    const ReplyFramer::Result r = f.feed("\n");
    EXPECT_EQ(r.replies, QStringList{QString::fromLatin1(exact) + QStringLiteral("\r\n")});
    EXPECT_EQ(r.cut, 0);
    // A multi-line reply past the limit keeps its beginning and its last
    // line; the lines in between are dropped, none becomes a reply.
    QByteArray multi = "230-welcome\r\n";
    for (int i = 0; i < 5000; ++i)
        multi += "226 inner line that is not the end " + QByteArray::number(i) + "\r\n";
    multi += "230 done\r\n";
    const ReplyFramer::Result m = f.feed(multi);
    ASSERT_EQ(m.replies.size(), 1);
    EXPECT_EQ(m.cut, 1);
    EXPECT_TRUE(m.replies[0].startsWith(QStringLiteral("230-welcome\r\n226 inner line")));
    EXPECT_TRUE(m.replies[0].endsWith(QStringLiteral("\r\n230 done\r\n")));
    EXPECT_LE(m.replies[0].size(), max + 12);
}

TEST(HostileLogPane, KeepsExactlyTheLastTextUpToAMegabyteWhateverThePieces)
{
    LogPane pane;
    QString all;
    // Pieces of every size, with characters that need two code units and
    // line ends split between pieces.
    const QString unit = QStringLiteral("ab\r\n日本😀x\r");
    for (int size : {1, 7, 1000, 70000, 3 << 20, 13, 500000}) {
        QString piece;
        while (piece.size() < size)
            piece += unit;
        piece.truncate(size);
        all += piece;
        pane.appendAtEnd(piece);
        const QString& kept = pane.text();
        ASSERT_LE(kept.size(), LogPane::MaxLength);
        ASSERT_TRUE(all.endsWith(kept));
        ASSERT_TRUE(kept.size() == all.size() || kept.size() >= LogPane::MaxLength * 7 / 8 - 1) << kept.size();
        ASSERT_FALSE(kept.front().isLowSurrogate());
    }
    pane.refreshDisplay();
    EXPECT_LE(pane.document()->characterCount(), LogPane::MaxLength + 1);
    // No paragraph of the widget is longer than its display line.
    for (QTextBlock b = pane.document()->begin(); b.isValid(); b = b.next())
        ASSERT_LE(b.length(), LogPane::DisplayLine + 2);
    // One line of 10 MB without an end, as a server may send it.
    pane.setText(QString());
    pane.appendAtEnd(QString(10 << 20, u'z'));
    EXPECT_LE(pane.text().size(), LogPane::MaxLength);
    pane.refreshDisplay();
    EXPECT_LE(pane.document()->characterCount(), LogPane::MaxLength + 1);
    EXPECT_GT(pane.document()->blockCount(), 100);
}

// ------------------------------------------------------------ malformed replies

TEST_F(HostileServer, LinesWithoutAThreeDigitCodeAreIgnoredAndNotedOnce)
{
    server.setGreeting("22 short\r\n2200 four digits\r\nabc\r\n\xef\xbc\x92\xef\xbc\x92\xef\xbc\x90 full width\r\n"
                       "-220 dash\r\n220 real greeting\r\n");
    loginAndList();
    EXPECT_EQ(server.commands().filter(QStringLiteral("USER")).size(), 1);
    EXPECT_EQ(log().count(QStringLiteral("(応答コードのない行を受信しました。無視します。)")), 1);
}

TEST_F(HostileServer, NoCodeLinesInTheMiddleOfADownloadNeitherStopNorRepeatIt)
{
    loginAndList();
    server.onCommand(QStringLiteral("RETR"), [&](FakeFtpServer& s, const QString&) {
        s.reply("150 Opening BINARY mode data connection.\r\n");
        ASSERT_TRUE(s.connectData());
        s.sendData(content.left(20000), false);
        // A refusal needs a code of three digits; neither these nor a stray
        // "200" may end the download or send RETR again.
        s.reply("4ab not a refusal\r\n5 nor this\r\n4260 nor this\r\n\xef\xbc\x94\xef\xbc\x92\xef\xbc\x96 nor this\r\n"
                "200 stray\r\n");
        ASSERT_TRUE(wait_until([&] { return log().contains(QStringLiteral("200 stray")); }));
        s.sendData(content.mid(20000));
        s.waitDataClosed();
        s.reply("226 Transfer complete.\r\n");
    });
    selectRemote({"a.bin"});
    w->MDOWN_Click();
    ASSERT_TRUE(wait_until([&] { return log().contains(Finished) && usable(); }));
    EXPECT_EQ(read_file(local + QStringLiteral("/a.bin")), content);
    EXPECT_EQ(server.commands().filter(QStringLiteral("RETR")).size(), 1);
    EXPECT_EQ(log().count(QStringLiteral("(応答コードのない行を受信しました。無視します。)")), 1);
}

TEST_F(HostileServer, PathWithAHundredThousandQuotesIsCutAndShownWithoutStalling)
{
    loginAndList();
    server.onCommand(QStringLiteral("PWD"), [](FakeFtpServer& s, const QString&) {
        s.reply("257 " + QByteArray(100000, '"') + "\r\n");
    });
    const int width = w->width();
    Stall stall;
    expectListingWorks();
    EXPECT_LT(stall.worstMs(), 2000);
    // The reply was cut at 64 KB: "257 " and 65532 quotes, an opening one and
    // 32765 doubled ones, and a closing one.
    EXPECT_TRUE(log().contains(QStringLiteral("(ｻｰﾊﾞｰからの応答が64KBを超えたため、超えた部分を読み捨てました。)")));
    EXPECT_EQ(w->サーバーパス, QString(32765, u'"'));
    EXPECT_EQ(w->Label1->text(), QStringLiteral("ｻｰﾊﾞｰﾊﾟｽ: ") + QString(32765, u'"'));
    EXPECT_EQ(w->width(), width);
    EXPECT_EQ(w->ListView1->count(), 2);
}

// ------------------------------------------------------------ listings and names

TEST_F(HostileServer, AMillionLineListingIsShownAndTheListStaysUsable)
{
    loginAndList();
    constexpr int lines = 1'000'000;
    int made = 0;
    server.onCommand(QStringLiteral("LIST"), [&](FakeFtpServer& s, const QString&) {
        s.reply("150 Here comes the listing.\r\n");
        if (!s.connectData())
            return;
        s.streamData([&]() -> QByteArray {
            QByteArray piece;
            for (int i = 0; i < 20000 && made < lines; ++i, ++made)
                piece += listing_line(made % 100 == 0 ? 'd' : '-', made,
                                      "f" + QByteArray::number(made).rightJustified(7, '0'));
            return piece;
        });
    });
    const qint64 rssBefore = rss_mb();
    reset_peak();
    QElapsedTimer took;
    took.start();
    Stall stall;
    w->Send_pwd();
    ASSERT_TRUE(wait_until([&] { return w->ListView1->count() == lines && usable(); }, 100000))
        << w->ListView1->count();
    const qint64 peakGrowth = peak_mb() - rssBefore;
    std::printf("[ info ] 1,000,000-line listing (%lld bytes): %lld ms, longest stall %lld ms, "
                "peak memory growth %lld MB, kept %lld MB\n",
                (long long)QFileInfo(program_folder::file(QStringLiteral("temp.s"))).size(),
                (long long)took.elapsed(), (long long)stall.worstMs(), (long long)peakGrowth,
                (long long)(rss_mb() - rssBefore));
    EXPECT_LT(peakGrowth, 400);
    // Received, parsed and sorted in short steps. Unoptimised code takes
    // longer per step that cannot be cut, but parsing or sorting all of it in
    // one go takes seconds.
#ifdef NDEBUG
    EXPECT_LT(stall.worstMs(), 250);
#else
    EXPECT_LT(stall.worstMs(), 1500);
#endif
    // Folders first, each group by name; the last file can be fetched.
    EXPECT_EQ(w->ListView1->text(0), QStringLiteral("f0000000"));
    EXPECT_EQ(w->ListView1->text(lines / 100), QStringLiteral("f0000001"));
    EXPECT_EQ(w->ListView1->text(lines - 1), QStringLiteral("f0999999"));
    tree->files.insert(QStringLiteral("/f0999999"), QByteArray(999999, 'l'));
    w->ListView1->clearSelection();
    w->ListView1->setSelected(lines - 1, true);
    w->MDOWN_Click();
    ASSERT_TRUE(wait_until([&] { return log().contains(Finished) && w->ループ回数 == 0; }, 30000))
        << log().right(600).toStdString() << "\n" << server.commands().join(u'|').right(300).toStdString();
    EXPECT_EQ(read_file(local + QStringLiteral("/f0999999")), QByteArray(999999, 'l'));
}

TEST_F(HostileServer, HostileNamesAreShownOrDroppedButNothingLandsOutsideTheFolder)
{
    const QFileInfo passwd(QStringLiteral("/etc/passwd"));
    const QByteArray passwdBefore = read_file(passwd.filePath());
    // The local folder is one level down, so anything that escapes it lands
    // where the test can see it.
    const QString outside = env.scratch();
    local = outside + QStringLiteral("/inner");
    ASSERT_TRUE(QDir().mkpath(local));
    record(QStringLiteral("s_local_path"), drives::from_native(local));
    const QByteArray longName(10000, 'n');
    // Ten bytes each, the size every line lists.
    const auto served = [](const char* name) { return QByteArray(name).rightJustified(10, '.', true); };
    QByteArray listing = listing_line('-', 10, "../up.txt") + listing_line('-', 10, "/etc/passwd") +
                         listing_line('-', 10, "a\\b") + listing_line('-', 10, "..\\..\\win.ini") +
                         listing_line('-', 10, "cr\rDELE victim") + listing_line('-', 10, "lf\nDELE victim") +
                         listing_line('-', 10, "bad\xff\xfe.txt") + listing_line('-', 10, longName) +
                         listing_line('-', 10, "fine.txt");
    serveTree(listing);
    for (const char* name : {"/fine.txt", "/cr", "/lf", "/a\\b", "/..\\..\\win.ini"})
        tree->files.insert(QString::fromLatin1(name), served(name));
    prompts.allowAny(true);
    connectToFake();
    ASSERT_TRUE(wait_until([&] { return tree->listings() >= 1 && w->ListView1->count() > 0 && usable(); }));
    // Names with '/' are left out; the rest are shown as they are, the parts
    // after a line end were lines of their own.
    QStringList shown;
    for (int i = 0; i < w->ListView1->count(); ++i)
        shown << w->ListView1->text(i);
    EXPECT_EQ(shown.size(), 7) << shown.join(u'|').toStdString();
    for (const QString& name : {QStringLiteral("a\\b"), QStringLiteral("cr"), QStringLiteral("lf"),
                                QStringLiteral("fine.txt"), QString::fromLatin1(longName)})
        EXPECT_TRUE(shown.contains(name)) << name.left(40).toStdString();
    EXPECT_FALSE(shown.contains(QStringLiteral("../up.txt")));
    // Names that could come from elsewhere, put in the list by hand.
    for (const QString& name : {QStringLiteral("../up.txt"), QStringLiteral("/etc/passwd"), QStringLiteral(".."),
                                QStringLiteral("x\r\nDELE victim")})
        w->ListView1->addItem(name, 2, {QStringLiteral("     1KB"), QString(), QStringLiteral("1")});
    const int seenBefore = prompts.count();

    w->ListView1->clearSelection();
    for (int i = 0; i < w->ListView1->count(); ++i)
        w->ListView1->setSelected(i, true);
    w->MDOWN_Click();
    ASSERT_TRUE(wait_until([&] { return w->Down_Count == 0 && usable() && tree->retrieved.size() == 3; }))
        << server.commands().join(u'|').toStdString();

    // Only the three plain names were fetched, into the folder, nothing else.
    EXPECT_EQ(QSet<QString>(tree->retrieved.begin(), tree->retrieved.end()),
              (QSet<QString>{"/fine.txt", "/cr", "/lf"}));
    const QStringList landed = localNames();
    EXPECT_EQ(QSet<QString>(landed.begin(), landed.end()), (QSet<QString>{"fine.txt", "cr", "lf"}));
    EXPECT_EQ(read_file(local + QStringLiteral("/cr")), served("/cr"));
    for (const QString& c : server.commands())
        EXPECT_FALSE(c.startsWith(QStringLiteral("DELE"))) << c.toStdString();
    // Each refused name was named to the user.
    QStringList refused;
    for (int i = seenBefore; i < prompts.count(); ++i)
        refused << prompts.seen()[i].text;
    EXPECT_EQ(refused.size(), 8) << refused.join(u'|').toStdString();
    for (const QString& part : {QStringLiteral("「a\\b」"), QStringLiteral("「..\\..\\win.ini」"),
                                QStringLiteral("「../up.txt」"), QStringLiteral("「/etc/passwd」"),
                                QStringLiteral("「..」"), QStringLiteral("「bad") + QString(2, QChar::ReplacementCharacter) + QStringLiteral(".txt」"),
                                QStringLiteral("「x\r\nDELE victim」"), QStringLiteral("「nnnnnnnn")})
        EXPECT_EQ(refused.filter(part).size(), 1) << part.toStdString();
    EXPECT_EQ(read_file(passwd.filePath()), passwdBefore);
    EXPECT_EQ(QDir(outside).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{"inner"});
}

// ------------------------------------------------------------ control connection lost

// Where the server drops the control connection, and how.
struct Drop {
    const char* name;
    enum Phase { Login, Download, Upload } phase;
    enum Step { Greeting, User, Pass, Pwd, Type, Port, Preliminary, MidData, AfterData } step;
    QString unfinished;      // the file line of the message, empty when nothing was under way
    bool reset = false;      // a reset (RST) instead of an orderly close
};

void PrintTo(const Drop& d, std::ostream* os) { *os << d.name; }

class ControlDrops : public HostileServer, public ::testing::WithParamInterface<Drop> {
protected:
    void drop(FakeFtpServer& s)
    {
        dropped = true;
        if (GetParam().reset)
            s.resetControl();
        else
            s.dropControl();
    }
    // Replaces one step of the server's script by a drop.
    void installDrop()
    {
        const Drop& d = GetParam();
        const auto dropOn = [&](const char* command) {
            server.onCommand(QString::fromLatin1(command), [this](FakeFtpServer& s, const QString&) { drop(s); });
        };
        const QString type = d.phase == Drop::Login ? QStringLiteral("TYPE A") : QStringLiteral("TYPE I");
        const char* dataCommand = d.phase == Drop::Login ? "LIST" : d.phase == Drop::Download ? "RETR" : "STOR";
        switch (d.step) {
        case Drop::Greeting:
            server.setGreeting(QByteArray());
            server.onCommand(QStringLiteral("USER"), [](FakeFtpServer&, const QString&) {});
            break;
        case Drop::User: dropOn("USER"); break;
        case Drop::Pass: dropOn("PASS"); break;
        case Drop::Pwd: dropOn("PWD"); break;
        case Drop::Type:
            server.onCommand(QStringLiteral("TYPE"), [this, type](FakeFtpServer& s, const QString& line) {
                line == type ? drop(s) : s.reply("200 Type set.\r\n");
            });
            break;
        case Drop::Port:
            server.onCommand(QStringLiteral("PORT"), [this, type](FakeFtpServer& s, const QString&) {
                server.commands().filter(QStringLiteral("TYPE")).last() == type
                    ? drop(s)
                    : s.reply("200 PORT command successful.\r\n");
            });
            break;
        case Drop::Preliminary:
            server.onCommand(QString::fromLatin1(dataCommand), [this](FakeFtpServer& s, const QString&) {
                s.reply("150 Opening data connection.\r\n");
                drop(s);
            });
            break;
        case Drop::MidData:
        case Drop::AfterData:
            server.onCommand(QString::fromLatin1(dataCommand), [this](FakeFtpServer& s, const QString&) {
                const Drop& d = GetParam();
                const bool whole = d.step == Drop::AfterData;
                s.reply("150 Opening data connection.\r\n");
                ASSERT_TRUE(s.connectData());
                if (d.phase == Drop::Upload) {
                    if (whole)
                        s.waitDataClosed(20000);
                    else
                        ASSERT_TRUE(wait_until([&] { return s.receivedData().size() >= 8192; }));
                } else {
                    const QByteArray bytes = d.phase == Drop::Login ? defaultListing() : content;
                    s.sendData(whole ? bytes : bytes.left(bytes.size() / 2), whole);
                    if (whole)
                        s.waitDataClosed();
                    else
                        ASSERT_TRUE(wait_until([&] { return w->fCount > 1 || w->Dcount != 0; }));
                }
                drop(s);   // and no "226"
            });
            break;
        }
    }
    void selectUpload()
    {
        w->Local_list();
        w->ListView2->clearSelection();
        for (int i = 0; i < w->ListView2->count(); ++i)
            w->ListView2->setSelected(i, w->ListView2->text(i) == QStringLiteral("up.txt"));
    }
    bool dropped = false;
};

TEST_P(ControlDrops, TheUserIsToldNothingHalfDoneIsKeptAndTheNextConnectionWorks)
{
    const Drop& d = GetParam();
    // Large enough that the upload is still running when the drop is noticed.
    const QByteArray upload = pattern(64 << 20);
    if (d.phase == Drop::Login) {
        serveTree(defaultListing());
        local = env.scratch();
        installDrop();
        connectToFake();
        if (d.step == Drop::Greeting) {
            ASSERT_TRUE(wait_until([&] { return server.controlConnected(); }));
            server.reply("220 Hello\r\n");
            ASSERT_TRUE(server.waitForCommand(QStringLiteral("USER")));
            drop(server);
        }
    } else {
        loginAndList();
        installDrop();
        if (d.phase == Drop::Download) {
            startDownloadOverOldCopy();
        } else {
            write_file(local + QStringLiteral("/up.txt"), upload);
            selectUpload();
            w->Mupload_Click();
        }
    }
    // A reset is an end of the connection like any other.
    if (!d.unfinished.isEmpty())
        prompts.expect(QStringLiteral("ｻｰﾊﾞｰとの接続が切れました。\n") + d.unfinished);
    ASSERT_TRUE(wait_until([&] { return dropped && w->windowTitle() == QStringLiteral("Palu_FTP   未接続"); }))
        << server.commands().join(u'|').toStdString();
    ASSERT_TRUE(wait_until([&] { return prompts.allUsed(); }));
    EXPECT_TRUE(log().contains(QStringLiteral("ｻｰﾊﾞｰから切断しました。\r\n")));
    if (!d.unfinished.isEmpty()) {
        EXPECT_TRUE(log().endsWith(d.unfinished + QStringLiteral("\r\n")));
    }
    EXPECT_EQ(w->Winsock1->State(), Winsock::sckClosed);
    EXPECT_EQ(w->Winsock2->State(), Winsock::sckClosed);
    // A data connection still open on the server's side is cut as well, and
    // what it carried went nowhere.
    EXPECT_TRUE(server.waitDataClosed());
    EXPECT_FALSE(w->downloadFile);
    EXPECT_FALSE(log().contains(Finished));
    if (d.phase == Drop::Download)
        expectOldCopyAndAtMostAPart();

    // Connect again: the login, a listing and the transfer all work.
    Form13::Over_write = false;
    serveTree(defaultListing());
    server.setGreeting("220 Welcome back\r\n");
    connectToFake();
    ASSERT_TRUE(wait_until([&] { return tree->listings() >= 1 && w->ListView1->count() == 2 && usable(); }))
        << server.commands().join(u'|').toStdString();
    if (d.phase == Drop::Upload) {
        selectUpload();
        w->Mupload_Click();
        ASSERT_TRUE(wait_until([&] { return tree->stored.size() == 1 && usable(); }, 20000));
        EXPECT_EQ(tree->files.value(QStringLiteral("/up.txt")), upload);
    } else {
        expectDownloadWorks();
    }
}

const QString UpUnfinished = QStringLiteral("「up.txt」のアップロードは完了しませんでした。");

INSTANTIATE_TEST_SUITE_P(
    EveryStep, ControlDrops,
    ::testing::Values(
        Drop{"login_after_greeting", Drop::Login, Drop::Greeting, {}},
        Drop{"login_USER", Drop::Login, Drop::User, {}}, Drop{"login_PASS", Drop::Login, Drop::Pass, {}},
        Drop{"login_PASS_reset", Drop::Login, Drop::Pass, {}, true},
        Drop{"login_PWD", Drop::Login, Drop::Pwd, {}}, Drop{"login_TYPE", Drop::Login, Drop::Type, {}},
        Drop{"login_PORT", Drop::Login, Drop::Port, {}}, Drop{"list_150", Drop::Login, Drop::Preliminary, {}},
        Drop{"list_mid_data", Drop::Login, Drop::MidData, {}},
        Drop{"list_after_data", Drop::Login, Drop::AfterData, {}},
        Drop{"download_TYPE", Drop::Download, Drop::Type, ABinUnfinished},
        Drop{"download_PORT", Drop::Download, Drop::Port, ABinUnfinished},
        Drop{"download_150", Drop::Download, Drop::Preliminary, ABinUnfinished},
        Drop{"download_mid_data", Drop::Download, Drop::MidData, ABinUnfinished},
        Drop{"download_mid_data_reset", Drop::Download, Drop::MidData, ABinUnfinished, true},
        Drop{"download_after_data", Drop::Download, Drop::AfterData, ABinUnfinished},
        Drop{"upload_TYPE", Drop::Upload, Drop::Type, UpUnfinished},
        Drop{"upload_PORT", Drop::Upload, Drop::Port, UpUnfinished},
        Drop{"upload_150", Drop::Upload, Drop::Preliminary, UpUnfinished},
        Drop{"upload_mid_data", Drop::Upload, Drop::MidData, UpUnfinished},
        Drop{"upload_after_data", Drop::Upload, Drop::AfterData,
             QStringLiteral("「up.txt」のアップロードが完了したかどうか確認できませんでした。")}),
    [](const ::testing::TestParamInfo<Drop>& info) { return std::string(info.param.name); });

// ------------------------------------------------------------ the end of a download

// How the server ends a download it does not complete.
struct EarlyEnd {
    const char* name;
    std::function<void(FakeFtpServer&, const QByteArray&)> retr;
    QString why;   // the second line of the message
};

void PrintTo(const EarlyEnd& e, std::ostream* os) { *os << e.name; }

// The window under test, for server scripts that wait on it.
form1* g_window = nullptr;

class EarlyEnds : public HostileServer, public ::testing::WithParamInterface<EarlyEnd> {
protected:
    void SetUp() override
    {
        HostileServer::SetUp();
        g_window = w.get();
        w->downloadEndWaitMs = 300;
    }
    void TearDown() override
    {
        g_window = nullptr;
        HostileServer::TearDown();
    }
};

TEST_P(EarlyEnds, ADownloadThatEndsEarlyIsDroppedAndSaysSo)
{
    loginAndList();
    server.onCommand(QStringLiteral("RETR"), [&](FakeFtpServer& s, const QString&) {
        s.reply("150 Opening BINARY mode data connection.\r\n");
        GetParam().retr(s, content);
    });
    prompts.expect(ABinUnfinished + u'\n' + GetParam().why);
    startDownloadOverOldCopy();
    ASSERT_TRUE(wait_until([&] { return prompts.allUsed() && usable(); }))
        << log().right(300).toStdString();
    EXPECT_EQ(prompts.seen().last().title, QStringLiteral("転送エラー"));
    EXPECT_TRUE(log().endsWith(ABinUnfinished + QStringLiteral("\r\n")) ||
                log().contains(ABinUnfinished + QStringLiteral("\r\n")));
    EXPECT_FALSE(log().contains(Finished));
    EXPECT_NE(w->statusText(), Finished);
    expectOldCopyAndAtMostAPart();
    // A late word from the server about the dropped file changes nothing.
    const qsizetype replies = log().count(QStringLiteral("226 Transfer complete."));
    server.reply("226 Transfer complete.\r\n");
    ASSERT_TRUE(wait_until([&] { return log().count(QStringLiteral("226 Transfer complete.")) > replies; }));
    EXPECT_TRUE(usable());
    EXPECT_EQ(read_file(local + QStringLiteral("/a.bin")), QByteArray("old local copy"));
    expectDownloadWorks();
}

INSTANTIATE_TEST_SUITE_P(
    Server, EarlyEnds,
    ::testing::Values(
        EarlyEnd{"closed_then_426",
                 [](FakeFtpServer& s, const QByteArray& c) {
                     ASSERT_TRUE(s.connectData());
                     s.sendData(c.left(20000));
                     s.waitDataClosed();
                     s.reply("426 Connection closed; transfer aborted.\r\n");
                 },
                 QStringLiteral("ｻｰﾊﾞｰの応答: 426 Connection closed; transfer aborted.")},
        EarlyEnd{"451_then_closed",
                 [](FakeFtpServer& s, const QByteArray& c) {
                     ASSERT_TRUE(s.connectData());
                     s.sendData(c.left(20000), false);
                     s.reply("451 Local error in processing.\r\n");
                     s.closeData();
                 },
                 QStringLiteral("ｻｰﾊﾞｰの応答: 451 Local error in processing.")},
        EarlyEnd{"closed_then_silence",
                 [](FakeFtpServer& s, const QByteArray& c) {
                     ASSERT_TRUE(s.connectData());
                     s.sendData(c.left(20000));
                     s.waitDataClosed();
                 },
                 QStringLiteral("データー接続が閉じられましたが、ｻｰﾊﾞｰから転送完了の応答がありませんでした。")},
        EarlyEnd{"226_then_data_never_ends",
                 [](FakeFtpServer& s, const QByteArray& c) {
                     ASSERT_TRUE(s.connectData());
                     s.sendData(c.left(20000), false);
                     s.reply("226 Transfer complete.\r\n");
                 },
                 QStringLiteral("ｻｰﾊﾞｰが転送完了と応答した後、データーが届き終わりませんでした。")},
        EarlyEnd{"data_reset",
                 [](FakeFtpServer& s, const QByteArray& c) {
                     ASSERT_TRUE(s.connectData());
                     s.sendData(c.left(20000), false);
                     ASSERT_TRUE(wait_until([] { return g_window && g_window->fCount > 1; }));
                     s.resetData();
                     s.reply("426 Connection reset.\r\n");
                 },
                 QStringLiteral("ｻｰﾊﾞｰの応答: 426 Connection reset.")},
        EarlyEnd{"226_without_connecting",
                 [](FakeFtpServer& s, const QByteArray&) { s.reply("226 Transfer complete.\r\n"); },
                 QStringLiteral("ｻｰﾊﾞｰは転送完了と応答しましたが、データーが届きませんでした。")}),
    [](const ::testing::TestParamInfo<EarlyEnd>& info) { return std::string(info.param.name); });

TEST_F(HostileServer, TheReplyMayComeBeforeTheDataEndAndTheFileIsStillWhole)
{
    loginAndList();
    server.onCommand(QStringLiteral("RETR"), [&](FakeFtpServer& s, const QString&) {
        s.reply("150 Opening BINARY mode data connection.\r\n");
        ASSERT_TRUE(s.connectData());
        s.sendData(content.left(10000), false);
        s.reply("226 Transfer complete.\r\n");
        ASSERT_TRUE(wait_until([&] { return log().contains(QStringLiteral("226 Transfer complete.")); }));
        s.sendData(content.mid(10000));
    });
    startDownloadOverOldCopy();
    ASSERT_TRUE(wait_until([&] { return log().contains(Finished) && usable(); }));
    EXPECT_EQ(read_file(local + QStringLiteral("/a.bin")), content);
    EXPECT_EQ(w->statusText(), Finished);
}

TEST_F(HostileServer, AnEmptyFileInTheTextViewNeverTouchesTheLocalFileOfTheSameName)
{
    loginAndList();
    tree->files.insert(QStringLiteral("/b.txt"), QByteArray());
    write_file(local + QStringLiteral("/b.txt"), "the user's own text");
    QStringList opened;
    launcher::set_recorder([&](launcher::Kind, const QString& p) { opened << p; });
    selectRemote({"b.txt"});
    w->Y_Count = -1;
    w->MDOWN_Click();
    const bool shown = wait_until([&] { return opened.size() == 1 && usable(); });
    launcher::set_recorder({});
    ASSERT_TRUE(shown);
    EXPECT_EQ(opened[0], program_folder::file(QStringLiteral("text.txt")));
    EXPECT_EQ(read_file(opened[0]), QByteArray());
    EXPECT_EQ(read_file(local + QStringLiteral("/b.txt")), QByteArray("the user's own text"));
    EXPECT_EQ(w->Y_Count, 0);
}

// ------------------------------------------------------------ data connections

TEST_F(HostileServer, AConnectionFromAnotherAddressCannotSlipInADownload)
{
    loginAndList();
    server.onCommand(QStringLiteral("RETR"), [&](FakeFtpServer& s, const QString&) {
        s.reply("150 Opening BINARY mode data connection.\r\n");
        // Someone else races the server to the announced port.
        QTcpSocket intruder;
        ASSERT_TRUE(intruder.bind(QHostAddress(QStringLiteral("127.0.0.2"))));
        intruder.connectToHost(s.dataHost(), s.dataPort());
        intruder.write("evil contents");
        ASSERT_TRUE(wait_until([&] { return log().contains(QStringLiteral("ｻｰﾊﾞｰ以外(127.0.0.2)")); }));
        ASSERT_TRUE(wait_until([&] { return intruder.state() == QAbstractSocket::UnconnectedState; }));
        ASSERT_TRUE(s.connectData());
        s.sendData(content);
        s.waitDataClosed();
        s.reply("226 Transfer complete.\r\n");
    });
    startDownloadOverOldCopy();
    ASSERT_TRUE(wait_until([&] { return log().contains(Finished) && usable(); }));
    EXPECT_EQ(read_file(local + QStringLiteral("/a.bin")), content);
}

TEST_F(HostileServer, AServerThatNeverConnectsIsAskedAboutAndAbortingLeavesAllUsable)
{
    loginAndList();
    server.onCommand(QStringLiteral("RETR"), [](FakeFtpServer& s, const QString&) {
        s.reply("150 Opening BINARY mode data connection.\r\n");   // and nothing more
    });
    server.onCommand(QStringLiteral("ABOR"), [](FakeFtpServer& s, const QString&) {
        s.reply("225 No transfer to abort.\r\n");
    });
    w->dataConnectionWaitMs = 300;
    // "No" waits on; the question comes again and "Yes" aborts.
    prompts.expect(QStringLiteral("ｻｰﾊﾞｰからのデーター接続が"), prompts::vbNo);
    prompts.expect(QStringLiteral("ｻｰﾊﾞｰからのデーター接続が"), prompts::vbYes);
    startDownloadOverOldCopy();
    ASSERT_TRUE(wait_until([&] { return prompts.allUsed() && w->statusText() == QStringLiteral("中断しました。"); }));
    EXPECT_EQ(prompts.seen()[0].buttons, prompts::vbYesNo);
    EXPECT_TRUE(server.waitForCommand(QStringLiteral("ABOR")));
    ASSERT_TRUE(wait_until([&] { return usable() && tree->listings() >= 2; }));
    EXPECT_EQ(read_file(local + QStringLiteral("/a.bin")), QByteArray("old local copy"));
    EXPECT_FALSE(log().contains(Finished));
    expectDownloadWorks();
}

TEST_F(HostileServer, AServerThatConnectsAfterTheUserChoseToWaitStillDelivers)
{
    loginAndList();
    bool asked = false;
    server.onCommand(QStringLiteral("RETR"), [](FakeFtpServer& s, const QString&) {
        s.reply("150 Opening BINARY mode data connection.\r\n");
    });
    w->dataConnectionWaitMs = 300;
    prompts.expect(QStringLiteral("ｻｰﾊﾞｰからのデーター接続が"), prompts::vbNo);
    startDownloadOverOldCopy();
    ASSERT_TRUE(wait_until([&] { return prompts.allUsed(); }));
    asked = true;
    ASSERT_TRUE(server.connectData());
    server.sendData(content);
    server.waitDataClosed();
    server.reply("226 Transfer complete.\r\n");
    ASSERT_TRUE(wait_until([&] { return log().contains(Finished) && usable(); }));
    EXPECT_TRUE(asked);
    EXPECT_EQ(read_file(local + QStringLiteral("/a.bin")), content);
}

TEST_F(HostileServer, TheUserCanAbortAListingThatNeverComes)
{
    loginAndList();
    w->dataConnectionWaitMs = 60000;   // the user does not wait for the question
    server.onCommand(QStringLiteral("LIST"), [](FakeFtpServer& s, const QString&) {
        s.reply("150 Here comes the listing.\r\n");
    });
    w->Send_pwd();
    ASSERT_TRUE(wait_until([&] { return server.commands().count(QStringLiteral("LIST")) == 2; }));
    w->Mabore_Click();
    EXPECT_EQ(w->statusText(), QStringLiteral("中断しました。"));
    serveTree(defaultListing());
    ASSERT_TRUE(wait_until([&] { return tree->listings() >= 1 && usable(); }));
    expectDownloadWorks();
}

} // namespace
