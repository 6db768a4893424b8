// Lines of a server's LIST reply (the Unix long-listing layout: type and
// permissions, link count, owner, group, size, month, day, time or year,
// name) turned into the entries of the remote list.
#pragma once
#include <QDate>
#include <QString>
#include <QStringList>
#include <QStringView>

struct ListingEntry {
    QString name;
    int icon = 2;          // small icon: 1 folder, 2 file, 4 symbolic link
    QString sizeText;      // remote_size_text(); empty for folders and links
    QString dateText;      // "YY/MM/DD hh:mm"
    QString kind;          // "0" folders and links, "1" files: the second sort key
    QString attributes;    // the first 10 characters of the line
};

enum class LineResult {
    Entry,      // out holds the entry to show
    Skipped,    // nothing to show: empty, "total", too few fields, ".", "..", a name with '/'
    Malformed,  // a line the layout cannot hold: a link without " -> ", no name after the date
};

// Parses one line (without its line end). today decides the year of entries
// that show a time instead of a year. out is only meaningful for Entry.
LineResult parse_listing_line(const QString& line, const QDate& today, ListingEntry& out);

// The same for whole listings: today's texts are worked out once, and
// attribute texts that repeat share one string.
class ListingParser {
public:
    explicit ListingParser(const QDate& today);
    LineResult parse(QStringView line, ListingEntry& out);

private:
    QString attributes(QStringView text);

    QString year_;       // two-digit year of today
    QString lastYear_;   // the year before, two digits ("00" -> "99")
    QString monthDay_;   // today as "MM/DD"
    QString recentAttributes_[4];
    int nextAttributes_ = 0;
};

// The lines of a listing: a line ends at CR LF, at a lone CR or at a lone LF.
// A last line without a line end counts; no empty line follows a final end.
QStringList split_listing_lines(const QString& text);
// The same lines as views into text, which must outlive them.
QList<QStringView> listing_line_views(QStringView text);

// Size text of the remote list: whole KB of 1000 bytes ("1KB" for 1 to 999
// bytes, "0B" for an empty file), right-aligned in 8 characters; a longer
// text stays whole.
QString remote_size_text(double bytes);
