// Deleting remote folders with everything in them: each folder is listed
// once (links are deleted as themselves, never followed), the user is asked
// about the folders that are not empty, then the files go and the folders
// deepest first. What the server refuses on the way is kept for the end.
#pragma once
#include <QList>
#include <QString>
#include <QStringList>

#include "transfer/remote_folder_walk.h"

class RemoteTreeDelete {
public:
    enum class Phase { Walking, ReturningHome, Deleting };
    struct Step {
        QString verb;   // "DELE" or "RMD"
        QString path;   // full path on the server
    };
    struct Refusal {
        QString path;
        QString reply;   // the server's first reply line
    };
    struct Top {
        QString path;
        QStringList files;     // every file and link below it, full paths
        QStringList folders;   // every folder below it, full paths
    };

    // parent: the folder the selection was made in ("/" at the root).
    explicit RemoteTreeDelete(const QString& parent);
    void addFile(const QString& name);     // a selected file or link
    void addFolder(const QString& name);   // a selected folder, to be walked

    Phase phase() const { return phase_; }
    // The next folder to list while walking; empty once all are listed.
    QString nextToList();
    // What the listing of the last nextToList held. A folder that lies too
    // deep is not listed: it stays, and its deletion is refused.
    void listed(const QList<ListingEntry>& entries);
    // The folder could not be entered or listed: the selected folder it is in stays whole.
    void refuseListing(const QString& reply);
    const QList<Top>& tops() const { return tops_; }
    void keep(const QString& topPath);     // the user chose not to delete this folder

    void startReturning() { phase_ = Phase::ReturningHome; }
    // The commands, in order: the files, then the folders deepest first.
    void startDeleting();
    // The next command; empty verb when all have gone.
    Step next();
    void refuse(const QString& reply);     // the last command was refused
    const QList<Refusal>& refusals() const { return refusals_; }

private:
    QString pathOf(const QString& name) const;
    Top* topOf(const QString& path);

    QString parent_;
    Phase phase_ = Phase::Walking;
    QStringList files_;            // selected files
    QList<Top> tops_;
    RemoteFolderWalk walk_;        // the folders still to list
    QString listing_;              // the folder being listed, full path
    QList<Step> steps_;
    Step current_;
    QList<Refusal> refusals_;
};
