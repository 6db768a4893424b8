// Lists folder after folder on the server, from the folders of a selection
// down, and hands back what each holds. A link is handed back as it is and
// never entered: a server can build loops out of links.
#pragma once
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

#include "listing/remote_listing.h"

class RemoteFolderWalk {
public:
    struct Found {
        QString path;          // relative to the base folder
        ListingEntry entry;
    };
    // base: the server folder the selection was made in ("/" at the root).
    explicit RemoteFolderWalk(const QString& base);
    void add(const QString& relative);   // a folder to list, and all below it

    // Full server path of the next folder to list; "" once all are listed.
    QString nextToList();
    QString listingPath() const { return listing_; }   // relative path of that folder
    // What it holds; its folders are listed after those already waiting,
    // unless they lie deeper than MaxDepth below the base.
    QList<Found> listed(const QList<ListingEntry>& entries);
    static constexpr int MaxDepth = 64;
    QStringList takeTooDeep() { return std::exchange(tooDeep_, {}); }   // folders left out since last asked
    bool returning = false;              // all listed; going back to the base folder
    bool entered() const { return entered_; }   // a folder was listed: the server is elsewhere now
    // Which of the folders found are listed too; unset: all.
    std::function<bool(const QString&)> enters;
    const QString& base() const { return base_; }
    QString fullPath(const QString& relative) const;

private:
    QString base_;
    QStringList toList_;
    QString listing_;
    bool entered_ = false;
    QStringList tooDeep_;
};

// The entries of a listing file written in the code page cp.
QList<ListingEntry> read_listing_file(const QString& path, const QByteArray& cp);
