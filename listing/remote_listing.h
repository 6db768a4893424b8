// Lines of a server's LIST or MLSD reply, in whatever layout the server
// writes (see listing_readers.h), turned into the entries of the remote list.
#pragma once
#include <QDate>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QStringView>

#include "platform/codepage.h"

class QIODevice;

struct ListingEntry {
    QString name;
    int icon = 2;          // small icon: 1 folder, 2 file, 4 symbolic link
    QString sizeText;      // remote_size_text(); empty for folders and links
    QString dateText;      // "YY/MM/DD hh:mm"
    QString kind;          // "0" folders and links, "1" files: the second sort key
    QString attributes;    // Unix: the first 10 characters of the line; others: their own attribute text
    qint64 bytes = -1;     // a file's exact size; -1 when the line gives none
    qint64 modifiedUtc = -1;  // seconds since 1970 UTC where the line gives the exact time (MLSD); else -1
};

enum class LineResult {
    Entry,       // out holds the entry to show
    Skipped,     // nothing to show: empty, a header or total line, ".", "..", a name with '/'
    Unreadable,  // no layout reads the line: not shown, and counted for the log
};

struct ReadEntry;

// Parses one line (without its line end). today decides the year of entries
// whose date has none. out is only meaningful for Entry.
LineResult parse_listing_line(const QString& line, const QDate& today, ListingEntry& out);

// The detector for whole listings: each line goes to the readers in a fixed
// order (Unix first, so a line two readers could take keeps its Unix
// reading), the first that takes it decides. Today's texts are worked out
// once, and attribute, size and date texts that repeat share one string, so
// that a list of a million entries holds each such text once.
class ListingParser {
public:
    explicit ListingParser(const QDate& today);
    LineResult parse(QStringView line, ListingEntry& out);
    // A VMS name was alone on the last line: its entry ends on the next one.
    bool holding() const { return !heldName_.isEmpty(); }

private:
    LineResult read(QStringView line, ListingEntry& out);
    LineResult entry(ReadEntry& e, ListingEntry& out);
    QString dateText(const ReadEntry& e);
    QString attributes(QStringView text);
    QString shared(QString text);

    QDate today_;
    int lastMonthDay_ = 1232;   // month * 100 + day of tomorrow; later ones are last year's
    QString recentAttributes_[4];
    int nextAttributes_ = 0;
    QSet<QString> texts_;       // size and date texts seen lately
    QString heldName_;          // a VMS name whose entry goes on on the next line
    QHash<qint64, qint64> utcOffsets_;   // seconds from UTC to local time by hour since 1970
};

// The lines of a listing, read a block at a time so that a listing of any
// size costs one block and one line of memory besides the list itself. A
// line ends at CR LF, at a lone CR or at a lone LF; a last line without a
// line end counts, and no empty line follows a final end. A line longer than
// maxLine characters is cut there and the rest of it dropped.
class ListingLines {
public:
    static constexpr qsizetype DefaultBlock = 1 << 20;
    static constexpr qsizetype DefaultMaxLine = 64 * 1024;

    // A listing file, read in blocks of `block` bytes and decoded with the
    // code page cp.
    explicit ListingLines(QIODevice& file, const QByteArray& cp = codepage::system_name(),
                          qsizetype block = DefaultBlock, qsizetype maxLine = DefaultMaxLine);
    // A listing already decoded, taken `block` characters at a time.
    explicit ListingLines(QStringView text, qsizetype block = DefaultBlock, qsizetype maxLine = DefaultMaxLine);

    // The next line as a view that holds until the next call; false at the end.
    bool next(QStringView& line);

private:
    bool more(QString& piece);
    void fill();

    QIODevice* file_ = nullptr;
    codepage::StreamDecoder decoder_;
    QStringView source_;
    qsizetype block_;
    qsizetype maxLine_;
    QString text_;            // what has been read and not yet handed out
    qsizetype pos_ = 0;       // start of the next line in text_
    qsizetype scanned_ = 0;   // text_ up to here holds no line end of that line
    bool atEnd_ = false;
    bool dropping_ = false;   // dropping the rest of a cut line up to its end
};

// All lines of a decoded listing, as ListingLines gives them.
QStringList split_listing_lines(QStringView text, qsizetype maxLine = ListingLines::DefaultMaxLine);

// Size text of the remote list: whole KB of 1000 bytes ("1KB" for 1 to 999
// bytes, "0B" for an empty file), right-aligned in 8 characters; a longer
// text stays whole.
QString remote_size_text(double bytes);
