// A file that takes the place of its target only when it is complete. It is
// written as a part file under a short hidden name in the target's folder (a
// name that fits beside any target name, and the same each time for the same
// target, so that the part can be found again), and commit() moves it over
// the target once its data are on disk. Until then the target stays as it
// was. What arrived stays in the part when the file is dropped without
// commit(), when a write fails or when commit() fails, so that a later
// download can continue it (openToResume()); an empty part is removed, and
// cancelWriting() removes the part whatever it holds.
//
// While it is written, the system is asked every few megabytes to start
// writing what has arrived to the disk, so that commit() has little left to
// wait for.
#pragma once

#include <QByteArray>
#include <QFile>

class ReplacingFile : public QFile {
    Q_OBJECT
public:
    explicit ReplacingFile(const QString& target, QObject* parent = nullptr);
    ~ReplacingFile() override;

    // Starts a new part (write-only; other modes are refused): a part
    // left from before is removed first (a link there is removed itself,
    // never followed). An existing target must be a writable file; its
    // permissions are kept. A link to a file stands for that file; a link
    // to nothing is replaced itself. A target that did not exist is
    // created by commit() only if its name is still free: nothing that
    // appears meanwhile, a link included, is written through or replaced.
    bool open(OpenMode mode) override;
    // Continues the part left from before: written at its end, *length
    // set to the bytes it holds. Only a plain file of the user's own, not
    // a link; the target is checked as by open(). false when there is
    // none or it cannot be used, and then nothing is changed.
    bool openToResume(qint64* length);
    // Tags the open part with where its data came from, so that a later
    // download can tell whether it continues the same file. Without
    // extended attributes on the disk the tag is lost and originOf() gives
    // "" (the download then starts again from zero).
    void setOrigin(const QByteArray& origin);

    // The target's name (links followed), not the part's.
    QString fileName() const override;
    // The part's full path while this file holds it, else "".
    QString temporaryPath() const { return temp_; }
    // A new file (one that replaces nothing) is not forced to the disk by
    // commit(): the batch it belongs to calls syncAll() once at its end.
    void setSyncLater(bool on) { syncLater_ = on; }
    // Everything written to the file system that holds folder, to the disk.
    static void syncAll(const QString& folder);
    // Data to disk, then the part renamed over the target.
    bool commit();
    // Drops what was written, the part included; the target stays as it was.
    void cancelWriting();

    // Where the part of this target is written: ".palu-" and eight
    // letters or digits taken from the target's name (links followed).
    static QString partPath(const QString& target);
    // The bytes the target's part holds; -1 when it has no part that is a
    // plain file.
    static qint64 partLength(const QString& target);
    // The tag setOrigin() gave the target's part; "" when there is none.
    static QByteArray originOf(const QString& target);

    // Bytes between two requests to start writing to the disk.
    static constexpr qint64 WriteBackStep = 8 << 20;

protected:
    qint64 writeData(const char* data, qint64 len) override;

private:
    bool fail(int error);
    bool checkTarget();
    bool start(int fd, OpenMode mode, qint64 length);
    void release(bool keepData);

    QString target_;     // as given
    QString final_;      // the target with links followed
    QString temp_;       // the part while this file holds it
    bool replaces_ = false; // something had the final name when opened
    bool syncLater_ = false; // a new file is synced with its batch, at its end
    int keptMode_ = -1;  // the permissions of the file replaced; -1 when none
    qint64 end_ = 0;     // bytes in the part
    qint64 started_ = 0; // bytes the system has been asked to write to the disk
};
