// The program side of the benchmark table, measured side by side with its
// peer: the main window (offscreen) talks to a real FTP server on 127.0.0.1
// through its own sockets and writes real files; between two runs of the
// program the peer command does the same work against the same server.
//
//   palu_bench MODE key=value ...
//   MODE download   host port user pass remote=/pub/xfer file=big.bin local=DIR server_dir=DIR runs=N
//   MODE upload     host port user pass remote=/pub/xfer file=upload.bin local=DIR server_dir=DIR runs=N
//   MODE remote-list host port user pass remote=/pub/many local=DIR entries=N runs=N
//   MODE local-list dir=DIR entries=N runs=N
//   MODE tree-download host port user pass remote=/pub/treedown tree=NAME local=DIR peer_local=DIR server_dir=DIR runs=N
//     (the folder NAME in remote, downloaded whole into local; lftp's mirror
//     into peer_local)
//   MODE tree-upload host port user pass remote=/pub/treeup tree=NAME local=DIR server_dir=DIR runs=N
//     (the folder NAME in local, uploaded whole into remote; lftp's mirror -R
//     to peer_NAME beside it)
//   MODE upload-floor host port user pass remote=/pub/xfer file=upload.bin local=DIR server_dir=DIR runs=N
//     (no program code: the cheapest sender that keeps the upload's rule,
//     one 1024-byte block read only after the system took the last, for
//     what the rule costs)
//   download and upload also take tls=2 fp=HEX cacert=PEM: the entry requires
//     TLS and trusts the server's certificate by its fingerprint; curl runs
//     with --ssl-reqd and checks the same certificate
//
// Each run prints one line "run FIGURE PROGRAM PEER [EXTRA]"; the suite
// script takes the medians.
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <map>

#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "app/form1.h"
#include "app/log_pane.h"
#include "platform/app_clock.h"
#include "platform/drive_view.h"
#include "platform/list_view.h"
#include "platform/program_folder.h"
#include "platform/prompts.h"
#include "platform/settings_store.h"
#include "platform/winsock.h"
#include "servers/server_list_dialog.h"
#include "bench/process_memory.h"

namespace {

std::map<QString, QString> args;

QString arg(const char* key, const QString& def = QString())
{
    const auto it = args.find(QString::fromLatin1(key));
    return it == args.end() ? def : it->second;
}

[[noreturn]] void die(const QString& why)
{
    std::fprintf(stderr, "palu_bench: %s\n", qPrintable(why));
    std::fflush(stdout);
    std::_Exit(2);
}

// Pumps the event loop until pred() holds, checking every millisecond; the
// check itself costs next to nothing, so it does not slow what it waits on.
bool wait_for(const std::function<bool()>& pred, int ms)
{
    if (pred())
        return true;
    QEventLoop loop;
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    QElapsedTimer clock;
    clock.start();
    bool ok = false;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (pred()) {
            ok = true;
            loop.quit();
        } else if (clock.elapsed() > ms) {
            loop.quit();
        }
    });
    poll.start(1);
    loop.exec();
    return ok;
}

// CPU seconds this thread has used: on a shared machine the wall time also
// counts waiting for a core.
double cpu_seconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// Written data the system still holds go to the disk before a timed
// transfer, so that neither side pays for what the other wrote.
void settle_disk()
{
    ::sync();
}

// Runs a peer command to its end; its wall time in seconds (stdout to
// `out` when given, else to /dev/null).
double run_peer(const QString& program, const QStringList& arguments, QByteArray* out = nullptr)
{
    QProcess p;
    if (!out)
        p.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    p.start(program, arguments);
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        die(program + QStringLiteral(" failed: ") + QString::fromLocal8Bit(p.readAllStandardError()));
    const double seconds = double(t.nsecsElapsed()) / 1e9;
    if (out)
        *out = p.readAllStandardOutput();
    return seconds;
}

// passive=1: both sides connect to the server for data (curl's default),
// else both let the server connect back (active mode).
bool passive() { return arg("passive") == QStringLiteral("1"); }

// curl against the same server in the same data mode; the transfer time curl
// measures itself (connect to end, process start-up left out), in seconds.
double run_curl(const QStringList& extra, const QString& url)
{
    QStringList a = {QStringLiteral("-sS"), QStringLiteral("--user"), arg("user") + u':' + arg("pass"),
                     QStringLiteral("-w"), QStringLiteral("%{time_total}")};
    if (!passive())
        a << QStringLiteral("-P") << QStringLiteral("127.0.0.1");
    if (!arg("tls").isEmpty())
        a << QStringLiteral("--ssl-reqd") << QStringLiteral("--cacert") << arg("cacert");
    a += extra;
    a << url;
    QByteArray out;
    run_peer(QStringLiteral("curl"), a, &out);
    bool ok = false;
    const double seconds = out.trimmed().toDouble(&ok);
    if (!ok)
        die(QStringLiteral("curl printed no time: ") + QString::fromLatin1(out));
    return seconds;
}

QString url_of(const QString& remotePath)
{
    return QStringLiteral("ftp://127.0.0.1:%1%2").arg(arg("port"), remotePath);
}

bool same_bytes(const QString& a, const QString& b)
{
    QFile fa(a), fb(b);
    if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly) || fa.size() != fb.size())
        return false;
    while (!fa.atEnd())
        if (fa.read(1 << 20) != fb.read(1 << 20))
            return false;
    return true;
}

// lftp against the same server in the same data mode, plain FTP as the
// program's entry; the wall time of the whole process (start-up and log-in
// included), in seconds.
double run_lftp(const QString& command)
{
    const QString script = QStringLiteral("set ftp:passive-mode %1; set ftp:ssl-allow no; set net:max-retries 1; "
                                          "open -u \"%2,%3\" ftp://127.0.0.1:%4; %5")
                               .arg(passive() ? QStringLiteral("on") : QStringLiteral("off"), arg("user"), arg("pass"),
                                    arg("port"), command);
    return run_peer(QStringLiteral("lftp"), {QStringLiteral("-c"), script});
}

// Every folder ("a/b/") and file ("a/b/c.dat") under root, relative and
// sorted; hidden ones too, so that a left-over part file counts.
QStringList tree_entries(const QString& root)
{
    QStringList out;
    const QDir base(root);
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo fi = it.nextFileInfo();
        out << base.relativeFilePath(fi.filePath()) + (fi.isDir() ? QStringLiteral("/") : QString());
    }
    out.sort();
    return out;
}

// Empty when copy holds the same folders and files as original, each file
// byte for byte; else the first difference.
QString tree_difference(const QString& original, const QString& copy)
{
    if (!QFileInfo(copy).isDir())
        return copy + QStringLiteral(" is not a folder");
    const QStringList want = tree_entries(original), got = tree_entries(copy);
    for (const QString& e : want)
        if (!got.contains(e))
            return QStringLiteral("missing ") + e;
    for (const QString& e : got)
        if (!want.contains(e))
            return QStringLiteral("extra ") + e;
    for (const QString& e : want)
        if (!e.endsWith(u'/') && !same_bytes(original + u'/' + e, copy + u'/' + e))
            return QStringLiteral("different bytes in ") + e;
    return {};
}

void remove_tree(const QString& path)
{
    if (QFileInfo::exists(path) && !QDir(path).removeRecursively())
        die(QStringLiteral("cannot remove ") + path);
}

class Bench {
public:
    Bench()
    {
        QFile list(program_folder::file(QStringLiteral("server.lst")));
        if (!list.open(QIODevice::WriteOnly))
            die(QStringLiteral("cannot write server.lst"));
        list.write("bench\r\n");
        list.close();
        w.Form_Load();
        w.show();
        QApplication::processEvents();
        // Counts each time the remote list is filled anew.
        QObject::connect(w.ListView1->reportView()->model(), &QAbstractItemModel::rowsInserted, &w,
                         [this] { ++remoteFills; });
    }

    void login(const QString& remote, const QString& localFolder)
    {
        const auto rec = [](const char* key, const QString& value) {
            settings::save(QStringLiteral("bench"), QString::fromUtf8(key), value);
        };
        rec("s_adress", arg("host", QStringLiteral("127.0.0.1")));
        rec("ポートNo", arg("port"));
        rec("s_user", arg("user"));
        rec("s_pass", arg("pass"));
        rec("s_local_path", drives::from_native(localFolder));
        rec("Server_name_path", remote);
        rec("PASV", passive() ? QStringLiteral("1") : QStringLiteral("0"));
        // As an entry set to require TLS whose certificate the user chose to
        // trust always: no question is asked.
        if (!arg("tls").isEmpty()) {
            rec("TLS", arg("tls"));
            rec("TLS_FP", arg("fp"));
            rec("TLS_FP_SERVER", arg("host", QStringLiteral("127.0.0.1")) + u':' + arg("port"));
        }
        Form4::接続サーバー = QStringLiteral("bench");
        const int before = remoteFills;
        w.Connect_server();
        if (!wait_for([&] { return idle() && remoteFills != before && w.サーバーパス == remote; }, 60000))
            die(QStringLiteral("no listing of ") + remote + QStringLiteral(" after login:\n") + w.Text1->text());
    }

    bool idle() const
    {
        // The operation over too: a download's last step may be asking
        // the server for the file's time.
        return !w.busy() && w.ループ回数 == 0 && w.Gcount == 0 && w.Winsock2->State() == Winsock::sckListening &&
               w.Winsock1->State() == Winsock::sckConnected;
    }

    // Lists the remote folder again and waits for the new list.
    void relist()
    {
        const int before = remoteFills;
        w.Send_pwd();
        if (!wait_for([&] { return idle() && remoteFills != before; }, 120000))
            die(QStringLiteral("the remote list was not refreshed"));
    }

    int row_of(ListView* list, const QString& name) const
    {
        for (int i = 0; i < list->count(); ++i)
            if (list->text(i) == name)
                return i;
        return -1;
    }

    // Selects the one row named name in list, or dies naming what is there.
    void select_only(ListView* list, const QString& name)
    {
        const int row = row_of(list, name);
        if (row < 0) {
            QStringList names;
            for (int i = 0; i < list->count(); ++i)
                names << list->text(i);
            die(name + QStringLiteral(" is not in the list: ") + names.join(QStringLiteral(", ")));
        }
        list->clearSelection();
        list->setSelected(row, true);
    }

    // Runs one transfer command to the end of its operation; its wall time in
    // seconds. Dies when the command does not start an operation or the
    // operation ends without "転送終了しました。".
    double timed_transfer(const std::function<void()>& command, const QString& what)
    {
        const QString done = QStringLiteral("転送終了しました。");
        settle_disk();
        QElapsedTimer t;
        t.start();
        command();
        if (!w.busy())
            die(what + QStringLiteral(" did not start: ") + w.statusText());
        // Ended: no operation, the connection idle. An end with another
        // status (an error) is given a few seconds to show its own text.
        QElapsedTimer endedAt;
        bool failed = false;
        if (!wait_for([&] {
                if (w.busy() || !idle()) {
                    endedAt.invalidate();
                    return false;
                }
                if (w.statusText() == done)
                    return true;
                if (!endedAt.isValid())
                    endedAt.start();
                failed = endedAt.elapsed() > 5000;
                return failed;
            }, 600000))
            die(what + QStringLiteral(" did not end in 600 s: ") + w.statusText());
        if (failed)
            die(what + QStringLiteral(" ended with: ") + w.statusText() + u'\n' + w.Text1->text().right(2000));
        return double(t.nsecsElapsed()) / 1e9;
    }

    form1 w;
    int remoteFills = 0;
};

void print_run(const char* figure, double program, double peer, const QString& extra = QString())
{
    std::printf("run %s %.6f %.6f %s\n", figure, program, peer, qPrintable(extra));
    std::fflush(stdout);
}

int download(Bench& b)
{
    const QString name = arg("file"), local = arg("local"), remote = arg("remote");
    const QString serverFile = arg("server_dir") + u'/' + name;
    const qint64 size = QFileInfo(serverFile).size();
    if (size <= 0)
        die(QStringLiteral("no file to download: ") + serverFile);
    b.login(remote, local);
    const QString target = local + u'/' + name;
    const QString peerTarget = local + QStringLiteral("/peer_") + name;
    const int runs = arg("runs", QStringLiteral("5")).toInt();
    double cpu = 0;
    const auto timeProgram = [&](int run) {
        QFile::remove(target);
        const int row = b.row_of(b.w.ListView1, name);
        if (row < 0)
            die(name + QStringLiteral(" is not in the remote list"));
        b.w.ListView1->setCurrentRow(row, true);
        settle_disk();
        bool started = false;
        QElapsedTimer t;
        t.start();
        const double cpu0 = cpu_seconds();
        b.w.MDOWN_Click();
        if (!wait_for([&] {
                started = started || b.w.ループ回数 != 0;
                return started && b.idle() && b.w.Down_Count == 0;
            }, 600000))
            die(QStringLiteral("the download did not end: ") + b.w.statusText());
        const double seconds = double(t.nsecsElapsed()) / 1e9;
        cpu = cpu_seconds() - cpu0;
        if (QFileInfo(target).size() != size || (run == 0 && !same_bytes(target, serverFile)))
            die(QStringLiteral("the downloaded file differs from the server's"));
        QFile::remove(target);
        return seconds;
    };
    const auto timePeer = [&] {
        QFile::remove(peerTarget);
        settle_disk();
        const double seconds = run_curl({QStringLiteral("-o"), peerTarget}, url_of(remote + u'/' + name));
        if (QFileInfo(peerTarget).size() != size)
            die(QStringLiteral("curl's download has the wrong size"));
        QFile::remove(peerTarget);
        return seconds;
    };
    for (int run = 0; run < runs; ++run) {
        // Every other run the peer goes first, so that neither side always
        // inherits the state the other leaves in the page cache.
        double program = 0, peer = 0;
        if (run % 2 == 0) {
            program = timeProgram(run);
            peer = timePeer();
        } else {
            peer = timePeer();
            program = timeProgram(run);
        }
        print_run("download", double(size) / 1e6 / program, double(size) / 1e6 / peer,
                  QStringLiteral("cpu_s=%1").arg(cpu));
    }
    return 0;
}

int upload(Bench& b)
{
    const QString name = arg("file"), local = arg("local"), remote = arg("remote");
    const QString source = local + u'/' + name;
    const qint64 size = QFileInfo(source).size();
    if (size <= 0)
        die(QStringLiteral("no file to upload: ") + source);
    const QString stored = arg("server_dir") + u'/' + name;
    const QString peerName = QStringLiteral("peer_") + name;
    const QString peerStored = arg("server_dir") + u'/' + peerName;
    QFile::remove(stored);
    b.login(remote, local);
    const int runs = arg("runs", QStringLiteral("5")).toInt();
    for (int run = 0; run < runs; ++run) {
        const int row = b.row_of(b.w.ListView2, name);
        if (row < 0)
            die(name + QStringLiteral(" is not in the local list"));
        b.w.ListView2->setCurrentRow(row, true);
        settle_disk();
        bool started = false;
        QElapsedTimer t;
        t.start();
        const double cpu0 = cpu_seconds();
        b.w.Mupload_Click();
        // Done when the server has confirmed the file ("226"); the listing
        // that follows is not part of the transfer.
        if (!wait_for([&] {
                started = started || b.w.Gcount != 0;
                return started && b.w.Gcount == 0;
            }, 600000))
            die(QStringLiteral("the upload did not end: ") + b.w.statusText());
        const double program = double(t.nsecsElapsed()) / 1e9;
        const double cpu = cpu_seconds() - cpu0;
        if (!wait_for([&] { return b.idle() && b.row_of(b.w.ListView1, name) >= 0; }, 120000))
            die(QStringLiteral("no listing after the upload"));
        if (QFileInfo(stored).size() != size || (run == 0 && !same_bytes(stored, source)))
            die(QStringLiteral("the uploaded file differs from the local one"));
        QFile::remove(stored);
        b.relist();   // the next run must not find a file of the same name

        QFile::remove(peerStored);
        settle_disk();
        const double peer = run_curl({QStringLiteral("-T"), source}, url_of(remote + u'/' + peerName));
        if (QFileInfo(peerStored).size() != size)
            die(QStringLiteral("curl's upload has the wrong size"));
        QFile::remove(peerStored);
        print_run("upload", double(size) / 1e6 / program, double(size) / 1e6 / peer,
                  QStringLiteral("cpu_us_per_block=%1").arg(cpu * 1e6 / double((size + 1023) / 1024)));
    }
    return 0;
}

// Files, folders (the top one included) and bytes in a tree, for the run line.
QString tree_extra(const QString& root)
{
    qint64 bytes = 0;
    int files = 0, folders = 1;
    for (const QString& e : tree_entries(root)) {
        if (e.endsWith(u'/')) {
            ++folders;
        } else {
            ++files;
            bytes += QFileInfo(root + u'/' + e).size();
        }
    }
    return QStringLiteral("files=%1 folders=%2 bytes=%3").arg(files).arg(folders).arg(bytes);
}

// The copy must hold the original's tree byte for byte, else the run stops.
void expect_same_tree(const QString& original, const QString& copy, const QString& whose)
{
    const QString diff = tree_difference(original, copy);
    if (!diff.isEmpty())
        die(whose + QStringLiteral(" differs from the original: ") + diff);
}

// Each run times both sides, the peer first every other run (as for the
// single file), and prints the program's processor time with it.
void alternate_runs(const char* figure, Bench& b, const QString& extra, const std::function<void()>& command,
                    const std::function<void()>& checkProgram, const std::function<double()>& timePeer)
{
    const int runs = arg("runs", QStringLiteral("5")).toInt();
    double cpu = 0;
    const auto timeProgram = [&] {
        const double cpu0 = cpu_seconds();
        const double seconds = b.timed_transfer(command, QString::fromLatin1(figure));
        cpu = cpu_seconds() - cpu0;
        checkProgram();
        return seconds;
    };
    for (int run = 0; run < runs; ++run) {
        double program = 0, peer = 0;
        if (run % 2 == 0) {
            program = timeProgram();
            peer = timePeer();
        } else {
            peer = timePeer();
            program = timeProgram();
        }
        print_run(figure, program, peer, extra + QStringLiteral(" cpu_s=%1").arg(cpu, 0, 'f', 2));
    }
}

int tree_download(Bench& b)
{
    const QString name = arg("tree"), local = arg("local"), remote = arg("remote");
    const QString original = arg("server_dir") + u'/' + name;
    if (tree_entries(original).isEmpty())
        die(QStringLiteral("no tree to download: ") + original);
    const QString target = local + u'/' + name;
    const QString peerTarget = arg("peer_local") + u'/' + name;
    remove_tree(target);
    b.login(remote, local);
    alternate_runs(
        "tree-download", b, tree_extra(original),
        [&] {
            b.select_only(b.w.ListView1, name);
            b.w.MDOWN_Click();
        },
        [&] {
            expect_same_tree(original, target, QStringLiteral("the downloaded tree"));
            remove_tree(target);
            b.w.Local_list();   // the next run must not find a folder of the same name
        },
        [&] {
            remove_tree(peerTarget);
            settle_disk();
            const double seconds = run_lftp(QStringLiteral("mirror \"%1/%2\" \"%3\"").arg(remote, name, peerTarget));
            expect_same_tree(original, peerTarget, QStringLiteral("lftp's copy of the tree"));
            remove_tree(peerTarget);
            return seconds;
        });
    return 0;
}

int tree_upload(Bench& b)
{
    const QString name = arg("tree"), local = arg("local"), remote = arg("remote");
    const QString original = local + u'/' + name;
    if (tree_entries(original).isEmpty())
        die(QStringLiteral("no tree to upload: ") + original);
    const QString stored = arg("server_dir") + u'/' + name;
    const QString peerName = QStringLiteral("peer_") + name;
    const QString peerStored = arg("server_dir") + u'/' + peerName;
    remove_tree(stored);
    remove_tree(peerStored);
    b.login(remote, local);
    alternate_runs(
        "tree-upload", b, tree_extra(original),
        [&] {
            b.select_only(b.w.ListView2, name);
            b.w.Mupload_Click();
        },
        [&] {
            expect_same_tree(original, stored, QStringLiteral("the uploaded tree"));
            remove_tree(stored);
            b.relist();   // the next run must not find a folder of the same name
        },
        [&] {
            remove_tree(peerStored);
            settle_disk();
            const double seconds =
                run_lftp(QStringLiteral("mirror -R \"%1\" \"%2/%3\"").arg(original, remote, peerName));
            expect_same_tree(original, peerStored, QStringLiteral("lftp's upload of the tree"));
            remove_tree(peerStored);
            return seconds;
        });
    return 0;
}

int remote_list(Bench& b)
{
    const QString remote = arg("remote");
    const int entries = arg("entries").toInt();
    const QString local = arg("local");
    b.login(remote, local);
    if (b.w.ListView1->count() != entries)
        die(QStringLiteral("the remote list holds %1 entries, not %2").arg(b.w.ListView1->count()).arg(entries));
    const QString peerFile = local + QStringLiteral("/peer_listing.txt");
    const int runs = arg("runs", QStringLiteral("5")).toInt();
    // The moment LIST has been handed to the system: its send-progress
    // event, which comes after the command was written to the log.
    QElapsedTimer t;
    qint64 listSentNs = -1;
    QObject::connect(b.w.Winsock1, &Winsock::SendProgress, &b.w, [&] {
        if (listSentNs < 0 && b.w.Text1->text().endsWith(QStringLiteral(">LIST\r\n")))
            listSentNs = t.nsecsElapsed();
    });
    for (int run = 0; run < runs; ++run) {
        const int before = b.remoteFills;
        listSentNs = -1;
        t.start();
        const double cpu0 = cpu_seconds();
        // The refresh: PWD, TYPE A, PORT, LIST, the listing, parsed, sorted.
        b.w.Send_pwd();
        if (!wait_for([&] { return b.idle() && b.remoteFills != before; }, 120000))
            die(QStringLiteral("the remote list was not refreshed"));
        QApplication::processEvents();
        b.w.ListView1->repaint();
        const qint64 shownNs = t.nsecsElapsed();
        if (listSentNs < 0)
            die(QStringLiteral("LIST was not seen going out"));
        const double program = double(shownNs - listSentNs) / 1e6;
        const double refresh = double(shownNs) / 1e6;
        const double cpu = (cpu_seconds() - cpu0) * 1e3;
        if (b.w.ListView1->count() != entries)
            die(QStringLiteral("the remote list holds %1 entries").arg(b.w.ListView1->count()));
        const long rss = status_kb("VmRSS"), peak = status_kb("VmHWM");

        const double peer = run_curl({QStringLiteral("-o"), peerFile}, url_of(remote + u'/')) * 1e3;
        QFile::remove(peerFile);
        print_run("remote-list", program, peer, QStringLiteral("rss_kb=%1 hwm_kb=%2 cpu_ms=%3 refresh_ms=%4").arg(rss).arg(peak).arg(cpu).arg(refresh));
    }
    return 0;
}

int local_list(Bench& b)
{
    const QString dir = QDir(arg("dir")).absolutePath();
    const int entries = arg("entries").toInt();
    const QString drivePath = drives::from_native(dir);
    if (drivePath.size() < 3)
        die(QStringLiteral("not a drive path: ") + dir);
    const int runs = arg("runs", QStringLiteral("5")).toInt();
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer t;
        t.start();
        const double cpu0 = cpu_seconds();
        b.w.現在のローカルパス = drivePath.mid(2);
        b.w.Local_list();
        QApplication::processEvents();
        b.w.ListView2->repaint();
        const double program = double(t.nsecsElapsed()) / 1e6;
        const double cpu = (cpu_seconds() - cpu0) * 1e3;
        if (b.w.ListView2->count() != entries)
            die(QStringLiteral("the local list holds %1 entries, not %2").arg(b.w.ListView2->count()).arg(entries));
        const double peer = run_peer(QStringLiteral("ls"), {QStringLiteral("-l"), dir}) * 1e3;
        print_run("local-list", program, peer, QStringLiteral("cpu_ms=%1").arg(cpu));
    }
    return 0;
}

// One FTP reply on a blocking control socket; its code ("" on a timeout).
QByteArray ftp_reply(QTcpSocket& control)
{
    for (;;) {
        while (!control.canReadLine())
            if (!control.waitForReadyRead(30000))
                return {};
        const QByteArray line = control.readLine();
        // The last line of a reply: three digits and a space.
        if (line.size() >= 4 && line[3] == ' ' && std::isdigit(uchar(line[0])))
            return line.left(3);
    }
}

QByteArray ftp_command(QTcpSocket& control, const QByteArray& line)
{
    control.write(line + "\r\n");
    control.waitForBytesWritten(30000);
    return ftp_reply(control);
}

// STOR of one file with the least work per block that the one-block rule
// allows, and no window: each 1024 bytes are read only after the system has
// taken the whole block before, sent with the same socket options as the
// program, and the sender waits only when the socket is full. Seconds taken
// from STOR to the server's "226".
double floor_upload(const QString& source, const QString& remoteName, double* cpuOut)
{
    QTcpSocket control;
    control.connectToHost(QStringLiteral("127.0.0.1"), quint16(arg("port").toInt()));
    if (!control.waitForConnected(30000) || ftp_reply(control) != "220")
        die(QStringLiteral("floor: no greeting"));
    QByteArray code = ftp_command(control, "USER " + arg("user").toUtf8());
    if (code == "331")
        code = ftp_command(control, "PASS " + arg("pass").toUtf8());
    if (code != "230" || ftp_command(control, "CWD " + arg("remote").toUtf8()) != "250" ||
        ftp_command(control, "TYPE I") != "200")
        die(QStringLiteral("floor: login failed"));
    QTcpServer listener;
    if (!listener.listen(QHostAddress::LocalHost, 0))
        die(QStringLiteral("floor: cannot listen"));
    const int port = listener.serverPort();
    if (ftp_command(control, QStringLiteral("PORT 127,0,0,1,%1,%2").arg(port / 256).arg(port % 256).toUtf8()) != "200")
        die(QStringLiteral("floor: PORT refused"));
    QFile file(source);
    if (!file.open(QIODevice::ReadOnly))
        die(QStringLiteral("floor: cannot read ") + source);
    QElapsedTimer t;
    t.start();
    const double cpu0 = cpu_seconds();
    control.write("STOR " + remoteName.toUtf8() + "\r\n");
    control.waitForBytesWritten(30000);
    if (!listener.waitForNewConnection(30000))
        die(QStringLiteral("floor: no data connection"));
    QTcpSocket* data = listener.nextPendingConnection();
    const int fd = int(data->socketDescriptor());
    int cork = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_CORK, &cork, sizeof cork);
    char block[1024];
    qint64 got;
    while ((got = file.read(block, sizeof block)) > 0) {
        for (qint64 at = 0; at < got;) {
            const ssize_t n = ::send(fd, block + at, size_t(got - at), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                at += n;
            } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                pollfd p{fd, POLLOUT, 0};
                ::poll(&p, 1, 30000);
            } else if (!(n < 0 && errno == EINTR)) {
                die(QStringLiteral("floor: send failed"));
            }
        }
    }
    cork = 0;
    ::setsockopt(fd, IPPROTO_TCP, TCP_CORK, &cork, sizeof cork);
    data->disconnectFromHost();
    // "150" came first; "226" once the server has the whole file.
    QByteArray last;
    for (int i = 0; i < 3 && last != "226"; ++i)
        last = ftp_reply(control);
    const double seconds = double(t.nsecsElapsed()) / 1e9;
    if (cpuOut)
        *cpuOut = cpu_seconds() - cpu0;
    if (last != "226")
        die(QStringLiteral("floor: no 226 after STOR"));
    ftp_command(control, "QUIT");
    return seconds;
}

int upload_floor()
{
    const QString source = arg("local") + u'/' + arg("file");
    const qint64 size = QFileInfo(source).size();
    const QString name = QStringLiteral("floor_") + arg("file");
    const QString stored = arg("server_dir") + u'/' + name;
    const QString peerName = QStringLiteral("peer_") + arg("file");
    const QString peerStored = arg("server_dir") + u'/' + peerName;
    const int runs = arg("runs", QStringLiteral("5")).toInt();
    for (int run = 0; run < runs; ++run) {
        QFile::remove(stored);
        settle_disk();
        double cpu = 0;
        const double floor = floor_upload(source, name, &cpu);
        if (QFileInfo(stored).size() != size)
            die(QStringLiteral("floor: the stored file has the wrong size"));
        QFile::remove(stored);
        QFile::remove(peerStored);
        settle_disk();
        const double peer = run_curl({QStringLiteral("-T"), source}, url_of(arg("remote") + u'/' + peerName));
        QFile::remove(peerStored);
        print_run("upload-floor", double(size) / 1e6 / floor, double(size) / 1e6 / peer,
                  QStringLiteral("cpu_us_per_block=%1").arg(cpu * 1e6 / double((size + 1023) / 1024)));
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        die(QStringLiteral("usage: palu_bench MODE key=value ..."));
    const QString mode = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        const qsizetype eq = a.indexOf(u'=');
        if (eq > 0)
            args[a.left(eq)] = a.mid(eq + 1);
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Private program and settings folders: the user's own are never touched.
    QTemporaryDir home, config;
    qputenv("PALU_FTP_HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    app_clock::pin_time_zone();   // as the program does at start-up
    QApplication app(argc, argv);
    prompts::set_script([](const prompts::Prompt& p) -> prompts::Reply {
        die(QStringLiteral("unexpected message: ") + p.title + QStringLiteral(": ") + p.text);
    });

    if (mode == QStringLiteral("upload-floor"))
        return upload_floor();
    Bench b;
    if (mode == QStringLiteral("download"))
        return download(b);
    if (mode == QStringLiteral("upload"))
        return upload(b);
    if (mode == QStringLiteral("tree-download"))
        return tree_download(b);
    if (mode == QStringLiteral("tree-upload"))
        return tree_upload(b);
    if (mode == QStringLiteral("remote-list"))
        return remote_list(b);
    if (mode == QStringLiteral("local-list"))
        return local_list(b);
    die(QStringLiteral("unknown mode ") + mode);
}
