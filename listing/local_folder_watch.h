// Tells when another program changes the local folder shown (a file made,
// removed or renamed), at most once every half second however many changes
// come, so a folder being filled is not listed anew for every file.
#pragma once
#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

class LocalFolderWatch : public QObject {
    Q_OBJECT
public:
    static constexpr int PaceMs = 500;

    explicit LocalFolderWatch(QObject* parent = nullptr);
    // The folder to watch from now on; empty: none.
    void watch(const QString& nativeFolder);

signals:
    void changed();

private:
    QFileSystemWatcher watcher_;
    QTimer pace_;
};
