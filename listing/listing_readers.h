// The readers of listing lines, one per family of layouts servers send, and
// the pieces they share. Each reader takes one decoded line and says what it
// holds, or that the line is not of its layout; ListingParser tries them in
// a fixed order.
#pragma once
#include <QString>
#include <QStringView>

// What a reader found in one line, before it becomes the texts of the list.
struct ReadEntry {
    enum class Type { File, Folder, Link };
    Type type = Type::File;
    QStringView name;
    bool hidden = false;        // read, but nothing to show (MLSD's cdir and pdir)
    bool hasSize = false;
    quint64 size = 0;           // bytes
    // The date; month 0: the line gives none. year -1: the line gives no
    // year (this year's or last year's). hour -1: no time of day.
    int year = -1;
    int month = 0;
    int day = 0;
    int hour = -1;
    int minute = 0;
    int second = 0;
    bool utc = false;           // the time is UTC and shown in local time
    QStringView attributes;     // the attribute text as the line holds it
    QString builtAttributes;    // or one made from the line (MLSD's UNIX.mode); wins when set
};

namespace listing_readers {

// Unix `ls -l` lines in any locale and time style; the date is found where
// it stands, the size is the number before it and the name all after it.
bool read_unix(QStringView line, ReadEntry& out);
// MLSD / MLST facts, a space and the name (RFC 3659).
bool read_mlsd(QStringView line, ReadEntry& out);
// Windows / IIS "MM-DD-YY  HH:MMAM  <DIR>|size  name".
bool read_windows(QStringView line, ReadEntry& out);
// EPLF: "+facts,<TAB>name".
bool read_eplf(QStringView line, ReadEntry& out);
// VMS: "NAME.EXT;n  used/alloc  D-MMM-YYYY HH:MM:SS [owner] (protection)".
bool read_vms(QStringView line, ReadEntry& out);
// OS/2: "size  [attributes]  MM-DD-YY  HH:MM  name".
bool read_os2(QStringView line, ReadEntry& out);
// NetWare: "d [RWCEAFMS] owner  size  Mon DD HH:MM  name".
bool read_netware(QStringView line, ReadEntry& out);
// AS/400 (IBM i): "owner  size MM/DD/YY HH:MM:SS *TYPE  name".
bool read_as400(QStringView line, ReadEntry& out);
// MVS data sets ("Volume Unit Referred ... Dsorg Dsname") and members of a
// partitioned data set ("Name VV.MM Created Changed Size ...").
bool read_mvs(QStringView line, ReadEntry& out);

// A header or summary line of some system ("total 8", "合計 8", "Directory
// ...", "Total of ...", "Volume Unit ..."): never an entry.
bool is_header_line(QStringView line);
// A VMS name alone on its line: the rest of its entry is on the next one.
bool is_vms_name_only(QStringView line);

// 1 to 12 for a month name of a locale servers send ("Jan", "mar", "Mär",
// "déc.", "szept", "12月", "1월"), else 0.
int month_of(QStringView word);

} // namespace listing_readers
