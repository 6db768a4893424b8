// A download or upload batch: the files still to go, one after the other,
// with the folders to make before them, and the figures of the batch's
// progress panel. Paths are relative to the folder the batch was started in,
// with '/' between names ("site/css/a.css").
#pragma once
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

struct BatchFile {
    QString path;
    qint64 size = -1;          // exact bytes where known (the listing, the local file), else -1
    qint64 roughSize = 0;      // what the progress goes by: the exact size, or the size column's
    QString dateText;          // the server's date as its listing shows it ("" unknown)
    qint64 modified = -1;      // exact modification time, seconds since 1970 UTC; -1 unknown
    bool link = false;         // a link on the server: downloaded as the file it leads to
    bool onServer = false;     // an upload's file that the server has already
    qint64 remoteSize = -1;    // and its size there, where known
    qint64 resumeFrom = 0;     // bytes the other side has: the transfer goes on after them
    bool restSent = false;     // REST for resumeFrom has gone out
    bool restRefused = false;  // and was refused: an upload appends instead
    bool timeAsked = false;    // MDTM or MFMT has gone out for it
    bool sizeAsked = false;    // SIZE has gone out for it
};

class TransferBatch {
public:
    void addFolder(const QString& path);   // parents before their children
    void addFile(const BatchFile& file);
    // A batch that walks folders: what fails on the way is noted and the
    // rest goes on; a batch of selected files keeps its one-file rules.
    bool walksFolders() const { return !folders_.isEmpty(); }
    const QStringList& folders() const { return folders_; }
    // What an upload's folders on the server hold already.
    void foundOnServer(const QString& path, bool folder, qint64 bytes);
    // The next of an upload's folders that the server lacks; "" when none is left.
    QString nextFolderToMake();
    bool hasFolder(const QString& path) const { return folderSet_.contains(path); }

    int remaining() const { return int(queue_.size()) - next_; }
    bool binary = false;                   // TYPE I holds: the next file goes straight to its data connection
    BatchFile* takeNext();                 // null when none is left
    BatchFile* current() { return next_ > 0 ? &queue_[next_ - 1] : nullptr; }
    QString nextPath() const { return next_ < queue_.size() ? queue_.at(next_).path : QString(); }

    // Progress: bytes as they move, each file as it arrives whole.
    void start(qint64 nowMs);
    void moved(qint64 bytes) { bytesDone_ += bytes; }
    void fileDone() { ++filesDone_; }
    int fileCount() const { return int(queue_.size()); }
    int percent() const;
    // "12/340 ファイル  48.2 MB / 1.3 GB  11.6 MB/秒  残り 1:52"
    QString panelText(qint64 nowMs) const;
    // Whether the panel is to be drawn again now: a frame (33 ms) after it
    // was last, or once the last file is done.
    bool panelDue(qint64 nowMs);

    // What was skipped or failed, with why: listed when the batch ends.
    void note(const QString& path, const QString& why);
    const QStringList& problems() const { return problems_; }

private:
    QStringList folders_;
    QSet<QString> foldersOnServer_;
    QSet<QString> folderSet_;
    QList<BatchFile> queue_;
    QHash<QString, qsizetype> byPath_;
    qsizetype foldersMade_ = 0;
    int next_ = 0;
    qint64 bytesTotal_ = 0;
    qint64 bytesDone_ = 0;
    int filesDone_ = 0;
    qint64 startMs_ = 0;
    qint64 panelMs_ = -1;
    QStringList problems_;
};

// What a download's part file is kept with: the server's file as it was
// listed when the part was written. A part of another version is never
// continued.
QByteArray part_origin(const QString& serverFolder, const BatchFile& file);

// "999 B", "48.2 KB", "1.3 GB": bytes in units of 1000.
QString batch_bytes_text(double bytes);
