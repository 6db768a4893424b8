// A file that takes the place of its target only when it is complete. It is
// written under a short hidden name in the target's folder (a name that fits
// beside any target name), and commit() moves it over the target once its
// data are on disk. Dropped without commit() — or when commit() fails — the
// hidden file is removed and the target stays as it was.
//
// While it is written, the system is asked every few megabytes to start
// writing what has arrived to the disk, so that commit() has little left to
// wait for.
#pragma once

#include <QFile>

class ReplacingFile : public QFile {
    Q_OBJECT
public:
    explicit ReplacingFile(const QString& target, QObject* parent = nullptr);
    ~ReplacingFile() override;

    // Creates the hidden file (write-only; other modes are refused). An
    // existing target must be a writable file; its permissions are kept.
    // A link to a file stands for that file; a link to nothing is replaced
    // itself. A target that did not exist is created by commit() only if
    // its name is still free: nothing that appears meanwhile, a link
    // included, is written through or replaced.
    bool open(OpenMode mode) override;
    // The target's name (links followed), not the hidden file's.
    QString fileName() const override;
    // The hidden file's full path while it exists, else "".
    QString temporaryPath() const { return temp_; }
    // Data to disk, then the hidden file renamed over the target.
    bool commit();
    // Drops what was written; the target stays as it was.
    void cancelWriting();

    // Bytes between two requests to start writing to the disk.
    static constexpr qint64 WriteBackStep = 8 << 20;

protected:
    qint64 writeData(const char* data, qint64 len) override;

private:
    bool fail(int error);
    void discard();

    QString target_;     // as given
    QString final_;      // the target with links followed
    QString temp_;       // the hidden file while it exists
    bool replaces_ = false; // something had the final name when opened
    qint64 end_ = 0;     // bytes written
    qint64 started_ = 0; // bytes the system has been asked to write to the disk
};
