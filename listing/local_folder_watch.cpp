#include "listing/local_folder_watch.h"

LocalFolderWatch::LocalFolderWatch(QObject* parent) : QObject(parent)
{
    pace_.setSingleShot(true);
    pace_.setInterval(PaceMs);
    QObject::connect(&pace_, &QTimer::timeout, this, &LocalFolderWatch::changed);
    QObject::connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] {
        if (!pace_.isActive())
            pace_.start();
    });
}

void LocalFolderWatch::watch(const QString& nativeFolder)
{
    const QStringList watched = watcher_.directories();
    if (watched.size() == 1 && watched.first() == nativeFolder)
        return;
    if (!watched.isEmpty())
        watcher_.removePaths(watched);
    // A change seen in the folder left behind is not this one's.
    pace_.stop();
    if (!nativeFolder.isEmpty())
        watcher_.addPath(nativeFolder);
}
