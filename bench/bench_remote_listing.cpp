// Time to turn a 100,000-line listing file into the sorted, shown remote
// list: the first listing of a window, a listing that replaces a full list,
// and the share spent parsing. Prints medians of several runs in ms.
//
//   palu_bench_listing layouts runs=N
// lists 100,000 entries written in the IIS, ISO, Japanese and MLSD layouts,
// each against the same entries in the Unix layout in the same run, and
// prints per run and layout "run layouts LAYOUT_MS UNIX_MS layout=NAME".
//
//   palu_bench_listing million port=PORT entries=N runs=N
// lists a server's folder of a million entries over and over (bench/suite.py
// serves it) and prints, per run, "run million-list STALL_MS PEAK_MB ...":
// the longest the window went without answering from the listing's PWD to
// the sorted list shown, and the process's peak memory.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

#include "app/form1.h"
#include "listing/remote_listing.h"
#include "platform/app_clock.h"
#include "platform/codepage.h"
#include "platform/list_view.h"
#include "platform/program_folder.h"
#include "platform/prompts.h"
#include "platform/settings_store.h"
#include "platform/winsock.h"
#include "servers/server_list_dialog.h"
#include "bench/process_memory.h"

namespace {

constexpr int kLines = 100000;
constexpr int kRuns = 5;

// A listing as a large server directory looks: mostly files of all sizes,
// some folders and links, times and years, names in no particular order,
// a few of them Japanese or with spaces.
QByteArray make_listing()
{
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    QString text = QStringLiteral("total 123456\r\n");
    text.reserve(kLines * 72);
    quint32 seed = 12345;
    const auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) & 0xFFFFFF;
    };
    for (int i = 0; i < kLines; ++i) {
        const quint32 r = next();
        const int kind = int(r % 50);
        const QString month = QLatin1String(months[next() % 12]);
        const QString day = QString::number(next() % 28 + 1).rightJustified(2, u' ');
        const QChar zero(u'0');
        const QString when = next() % 2
            ? QStringLiteral("%1:%2").arg(next() % 24, 2, 10, zero).arg(next() % 60, 2, 10, zero)
            : QStringLiteral(" %1").arg(2000 + next() % 25);
        const QString name = QStringLiteral("%1_%2").arg(next() % 1000000, 6, 10, QChar(u'0')).arg(i);
        QString line;
        if (kind == 0)
            line = QStringLiteral("drwxr-xr-x   2 ftp      ftp          4096 ") + month + u' ' + day + u' ' + when
                + QStringLiteral(" dir_") + name;
        else if (kind == 1)
            line = QStringLiteral("lrwxrwxrwx   1 ftp      ftp            12 ") + month + u' ' + day + u' ' + when
                + QStringLiteral(" link_") + name + QStringLiteral(" -> ../target/") + name;
        else
            line = QStringLiteral("-rw-r--r--   1 ftp      ftp   ") + QString::number(quint64(next()) * (next() % 1000))
                .rightJustified(11, u' ') + u' ' + month + u' ' + day + u' ' + when
                + (kind == 2 ? QStringLiteral(" 資料 ") : QStringLiteral(" file ")) + name + QStringLiteral(".dat");
        text += line;
        text += QStringLiteral("\r\n");
    }
    return codepage::from_text(text);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Wall time and the CPU time of this thread: on a busy machine the wall time
// includes waiting for a core, the CPU time does not.
class Stopwatch {
public:
    Stopwatch() : cpu_(cpu_ms()) { wall_.start(); }
    void stop(std::vector<double>& wall, std::vector<double>& cpu) const
    {
        wall.push_back(double(wall_.nsecsElapsed()) / 1e6);
        cpu.push_back(cpu_ms() - cpu_);
    }

private:
    static double cpu_ms()
    {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
    }
    double cpu_;
    QElapsedTimer wall_;
};

struct Timings {
    std::vector<double> wall, cpu;
};

void print(const char* what, const Timings& t)
{
    std::printf("%-44s %8.1f ms wall %8.1f ms CPU\n", what, median(t.wall), median(t.cpu));
}

// Runs the event loop until done() holds; the longest turn of the loop it
// saw, in ms (a timer every 10 ms: how long a click would have waited), or
// -1 when done() did not come within the bound.
qint64 longest_stall_until(const std::function<bool()>& done, int boundMs)
{
    QEventLoop loop;
    QTimer tick;
    QElapsedTimer clock, total;
    qint64 worst = 0;
    bool ok = false;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        worst = std::max(worst, clock.restart());
        if (done()) {
            ok = true;
            loop.quit();
        } else if (total.elapsed() > boundMs) {
            loop.quit();
        }
    });
    clock.start();
    total.start();
    tick.start(10);
    loop.exec();
    return ok ? worst : -1;
}

int million(const QStringList& args)
{
    const auto arg = [&args](const QString& key) {
        for (const QString& a : args)
            if (a.startsWith(key + u'='))
                return a.mid(key.size() + 1);
        return QString();
    };
    const int entries = arg(QStringLiteral("entries")).toInt();
    const int runs = std::max(1, arg(QStringLiteral("runs")).toInt());
    QFile list(program_folder::file(QStringLiteral("server.lst")));
    if (!list.open(QIODevice::WriteOnly) || list.write("bench\r\n") < 0)
        return 1;
    list.close();
    const auto rec = [](const char* key, const QString& value) {
        settings::save(QStringLiteral("bench"), QString::fromUtf8(key), value);
    };
    rec("s_adress", QStringLiteral("127.0.0.1"));
    rec("ポートNo", arg(QStringLiteral("port")));
    rec("s_user", QStringLiteral("bench"));
    rec("s_pass", QStringLiteral("bench"));
    form1 w;
    w.Form_Load();
    w.show();
    QApplication::processEvents();
    Form4::接続サーバー = QStringLiteral("bench");
    const auto shown = [&] {
        return !w.busy() && w.ListView1->count() == entries && w.Winsock1->State() == Winsock::sckConnected;
    };
    w.Connect_server();
    if (longest_stall_until(shown, 600000) < 0) {
        std::fprintf(stderr, "no list of %d entries after login (%d)\n", entries, w.ListView1->count());
        return 1;
    }
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer t;
        t.start();
        bool emptied = false;
        w.Send_pwd();
        // The old list goes first; then the new one must come.
        const qint64 stall = longest_stall_until([&] {
            emptied = emptied || w.ListView1->count() == 0;
            return emptied && shown();
        }, 600000);
        if (stall < 0) {
            std::fprintf(stderr, "the list was not listed again\n");
            return 1;
        }
        std::printf("run million-list %lld %.1f total_ms=%lld rss_kb=%ld\n", qlonglong(stall),
                    double(status_kb("VmHWM")) / 1024, qlonglong(t.elapsed()), status_kb("VmRSS"));
        // Each run's own peak.
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        if (clear.open(QIODevice::WriteOnly))
            clear.write("5");
        std::fflush(stdout);
    }
    return 0;
}

enum class Layout { Unix, Iis, Iso, Japanese, Mlsd };

// The same 100,000 entries (names, sizes, dates, folders and links) in one
// layout; links are files where the layout has none.
QByteArray make_layout_listing(Layout layout)
{
    QString text;
    text.reserve(kLines * 80);
    if (layout == Layout::Unix || layout == Layout::Iso)
        text += QStringLiteral("total 123456\r\n");
    else if (layout == Layout::Japanese)
        text += QStringLiteral("合計 123456\r\n");
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    quint32 seed = 6789;
    const auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) & 0xFFFFFF;
    };
    const QChar zero(u'0');
    for (int i = 0; i < kLines; ++i) {
        const int kind = int(next() % 50);
        const int month = int(next() % 12) + 1;
        const int day = int(next() % 28) + 1;
        const int hour = int(next() % 24);
        const int minute = int(next() % 60);
        const bool withYear = next() % 2;
        const int year = 2000 + int(next() % 25);
        const quint64 size = quint64(next()) * (next() % 1000);
        const QString name = QStringLiteral("%1_%2").arg(next() % 1000000, 6, 10, zero).arg(i)
            + (kind == 2 ? QStringLiteral(" 資料.dat") : QStringLiteral(".dat"));
        const QString mode = kind == 0 ? QStringLiteral("drwxr-xr-x   2 ftp      ftp   ")
            : kind == 1               ? QStringLiteral("lrwxrwxrwx   1 ftp      ftp   ")
                                      : QStringLiteral("-rw-r--r--   1 ftp      ftp   ");
        const QString sizeField = QString::number(kind == 0 ? 4096 : kind == 1 ? 12 : size).rightJustified(11, u' ');
        const QString target = kind == 1 ? QStringLiteral(" -> ../target/") + name : QString();
        const QString clock = QStringLiteral("%1:%2").arg(hour, 2, 10, zero).arg(minute, 2, 10, zero);
        QString line;
        switch (layout) {
        case Layout::Unix:
            line = mode + sizeField + u' ' + QLatin1String(months[month - 1]) + u' '
                + QString::number(day).rightJustified(2, u' ') + u' '
                + (withYear ? u' ' + QString::number(year) : clock) + u' ' + name + target;
            break;
        case Layout::Iso:
            line = mode + sizeField + QStringLiteral(" %1-%2-%3 ").arg(year).arg(month, 2, 10, zero).arg(day, 2, 10, zero)
                + clock + u' ' + name + target;
            break;
        case Layout::Japanese:
            line = mode + sizeField + u' ' + QString::number(month).rightJustified(2, u' ') + QStringLiteral("月 ")
                + QString::number(day).rightJustified(2, u' ') + u' '
                + (withYear ? u' ' + QString::number(year) : clock) + u' ' + name + target;
            break;
        case Layout::Iis: {
            const int h12 = hour % 12 == 0 ? 12 : hour % 12;
            line = QStringLiteral("%1-%2-%3  %4:%5%6 ")
                       .arg(month, 2, 10, zero).arg(day, 2, 10, zero).arg(year % 100, 2, 10, zero)
                       .arg(h12, 2, 10, zero).arg(minute, 2, 10, zero)
                       .arg(hour < 12 ? QStringLiteral("AM") : QStringLiteral("PM"))
                + (kind == 0 ? QStringLiteral("      <DIR>          ") : QString::number(size).rightJustified(20, u' ') + u' ')
                + name;
            break;
        }
        case Layout::Mlsd:
            line = (kind == 0 ? QStringLiteral("type=dir;")
                    : kind == 1 ? QStringLiteral("type=OS.unix=symlink;")
                                : QStringLiteral("type=file;size=%1;").arg(size))
                + QStringLiteral("modify=%1%2%3%4%500;UNIX.mode=%6; ")
                      .arg(year).arg(month, 2, 10, zero).arg(day, 2, 10, zero).arg(hour, 2, 10, zero)
                      .arg(minute, 2, 10, zero).arg(kind == 0 ? QStringLiteral("0755") : QStringLiteral("0644"))
                + name;
            break;
        }
        text += line;
        text += QStringLiteral("\r\n");
    }
    return codepage::from_text(text);
}

// The list is filled in steps that keep the window answering: the listing
// is done once the last of them has run.
void list_and_wait(form1& w)
{
    w.Remote_list();
    while (w.remoteListJob_)
        QApplication::processEvents();
}

bool write_listing_file(const QByteArray& listing)
{
    QFile f(program_folder::file(QStringLiteral("temp.s")));
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(listing) == listing.size();
}

// Remote_list of the listing file into a fresh window's empty list, until
// it is sorted and shown: ms of wall time, and the entries listed.
double time_first_listing(int& entries)
{
    form1 w;
    w.Form_Load();
    w.show();
    w.サーバーパス = QStringLiteral("/pub/mirror");
    QApplication::processEvents();
    QElapsedTimer t;
    t.start();
    list_and_wait(w);
    w.ListView1->repaint();
    entries = w.ListView1->count();
    return double(t.nsecsElapsed()) / 1e6;
}

int layouts(const QStringList& args)
{
    int runs = kRuns;
    for (const QString& a : args)
        if (a.startsWith(QStringLiteral("runs=")))
            runs = std::max(1, a.mid(5).toInt());
    const struct {
        const char* name;
        Layout layout;
    } others[] = {{"iis", Layout::Iis}, {"iso", Layout::Iso}, {"japanese", Layout::Japanese}, {"mlsd", Layout::Mlsd}};
    const QByteArray unixListing = make_layout_listing(Layout::Unix);
    for (int run = 0; run < runs; ++run) {
        for (const auto& o : others) {
            const QByteArray listing = make_layout_listing(o.layout);
            int unixEntries = 0, entries = 0;
            if (!write_listing_file(unixListing))
                return 1;
            const double unixMs = time_first_listing(unixEntries);
            if (!write_listing_file(listing))
                return 1;
            const double ms = time_first_listing(entries);
            if (entries != kLines || unixEntries != kLines) {
                std::fprintf(stderr, "%s: %d entries listed, Unix %d, of %d\n", o.name, entries, unixEntries, kLines);
                return 1;
            }
            std::printf("run layouts %.1f %.1f layout=%s\n", ms, unixMs, o.name);
            std::fflush(stdout);
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Private program and settings folders: the user's own are never touched.
    QTemporaryDir home, config;
    qputenv("PALU_FTP_HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    app_clock::pin_time_zone();   // as the program does at start-up
    QApplication app(argc, argv);
    prompts::set_script([](const prompts::Prompt& p) {
        std::fprintf(stderr, "unexpected message: %s\n", qPrintable(p.text));
        return prompts::Reply{};
    });
    if (argc > 1 && qstrcmp(argv[1], "million") == 0)
        return million(QApplication::arguments().mid(2));
    QFile(program_folder::file(QStringLiteral("server.lst"))).open(QIODevice::WriteOnly);
    if (argc > 1 && qstrcmp(argv[1], "layouts") == 0)
        return layouts(QApplication::arguments().mid(2));

    QFile(program_folder::file(QStringLiteral("server.lst"))).open(QIODevice::WriteOnly);
    const QByteArray listing = make_listing();
    {
        QFile f(program_folder::file(QStringLiteral("temp.s")));
        if (!f.open(QIODevice::WriteOnly) || f.write(listing) != listing.size()) {
            std::fprintf(stderr, "cannot write the listing file\n");
            return 1;
        }
    }

    // Parsing alone: decoding, line splitting and the parser.
    Timings parse;
    int entries = 0;
    for (int run = 0; run < kRuns; ++run) {
        const Stopwatch t;
        ListingParser parser(app_clock::today());
        ListingEntry e;
        entries = 0;
        const QString text = codepage::to_text(listing);
        ListingLines lines(text);
        QStringView line;
        while (lines.next(line))
            entries += parser.parse(line, e) == LineResult::Entry;
        t.stop(parse.wall, parse.cpu);
    }

    // The first listing of a window: the list starts empty.
    Timings first;
    for (int run = 0; run < kRuns; ++run) {
        form1 w;
        w.Form_Load();
        w.show();
        w.サーバーパス = QStringLiteral("/pub/mirror");
        QApplication::processEvents();
        const Stopwatch t;
        list_and_wait(w);
        w.ListView1->repaint();
        t.stop(first.wall, first.cpu);
    }

    // Listing again: the 100,000 entries of the last listing go first.
    form1 w;
    w.Form_Load();
    w.show();
    w.サーバーパス = QStringLiteral("/pub/mirror");
    list_and_wait(w);
    Timings again;
    for (int run = 0; run < kRuns; ++run) {
        const Stopwatch t;
        list_and_wait(w);
        w.ListView1->repaint();
        t.stop(again.wall, again.cpu);
    }
    const ListView* list = w.ListView1;
    if (list->count() != entries) {
        std::fprintf(stderr, "list holds %d entries, parser found %d\n", list->count(), entries);
        return 1;
    }
    if (list->subItem(0, 3) != QStringLiteral("0") || list->subItem(list->count() - 1, 3) != QStringLiteral("1")) {
        std::fprintf(stderr, "the list is not grouped folders first\n");
        return 1;
    }

    std::printf("listing: %d lines, %lld bytes, %d entries; median of %d runs\n", kLines + 1,
                qlonglong(listing.size()), entries, kRuns);
    print("parse only (decode, split, parse):", parse);
    print("Remote_list into an empty list, shown:", first);
    print("Remote_list replacing a full list, shown:", again);
    return 0;
}
