#include "fileops/remote_tree_delete.h"

#include <algorithm>

RemoteTreeDelete::RemoteTreeDelete(const QString& parent) : parent_(parent), walk_(parent) {}

QString RemoteTreeDelete::pathOf(const QString& name) const
{
    return (parent_.endsWith(u'/') ? parent_ : parent_ + u'/') + name;
}

void RemoteTreeDelete::addFile(const QString& name) { files_ << pathOf(name); }

void RemoteTreeDelete::addFolder(const QString& name)
{
    tops_.append({pathOf(name), {}, {}});
    walk_.add(name);
}

RemoteTreeDelete::Top* RemoteTreeDelete::topOf(const QString& path)
{
    for (Top& t : tops_)
        if (path == t.path || path.startsWith(t.path + u'/'))
            return &t;
    return nullptr;
}

QString RemoteTreeDelete::nextToList()
{
    listing_ = walk_.nextToList();
    return listing_;
}

void RemoteTreeDelete::listed(const QList<ListingEntry>& entries)
{
    Top* top = topOf(listing_);
    // A link is deleted as itself: what it points to is not entered.
    for (const RemoteFolderWalk::Found& f : walk_.listed(entries))
        if (top)
            (f.entry.icon == 1 ? top->folders : top->files) << walk_.fullPath(f.path);
}

void RemoteTreeDelete::refuseListing(const QString& reply)
{
    refusals_.append({listing_, reply});
    // What cannot be seen into is not emptied: the whole selected folder stays.
    if (const Top* top = topOf(listing_))
        keep(top->path);
}

void RemoteTreeDelete::keep(const QString& topPath)
{
    tops_.erase(std::remove_if(tops_.begin(), tops_.end(), [&](const Top& t) { return t.path == topPath; }),
                tops_.end());
}

void RemoteTreeDelete::startDeleting()
{
    phase_ = Phase::Deleting;
    steps_.clear();
    QStringList folders;
    for (const QString& f : files_)
        steps_.append({QStringLiteral("DELE"), f});
    for (const Top& t : tops_) {
        for (const QString& f : t.files)
            steps_.append({QStringLiteral("DELE"), f});
        folders << t.folders;
        if (!t.path.isEmpty())
            folders << t.path;
    }
    // Deepest first: a folder goes only after everything in it.
    std::stable_sort(folders.begin(), folders.end(),
                     [](const QString& a, const QString& b) { return a.count(u'/') > b.count(u'/'); });
    for (const QString& f : folders)
        steps_.append({QStringLiteral("RMD"), f});
}

RemoteTreeDelete::Step RemoteTreeDelete::next()
{
    current_ = steps_.isEmpty() ? Step{} : steps_.takeFirst();
    return current_;
}

void RemoteTreeDelete::refuse(const QString& reply)
{
    // A folder whose file stayed is refused too, and listed with it.
    refusals_.append({current_.path, reply});
}
