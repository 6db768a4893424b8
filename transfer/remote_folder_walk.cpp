#include "transfer/remote_folder_walk.h"

#include <QFile>

#include "platform/app_clock.h"

RemoteFolderWalk::RemoteFolderWalk(const QString& base) : base_(base.isEmpty() ? QStringLiteral("/") : base) {}

void RemoteFolderWalk::add(const QString& relative)
{
    toList_ << relative;
}

QString RemoteFolderWalk::fullPath(const QString& relative) const
{
    return (base_.endsWith(u'/') ? base_ : base_ + u'/') + relative;
}

QString RemoteFolderWalk::nextToList()
{
    listing_ = toList_.isEmpty() ? QString() : toList_.takeFirst();
    entered_ |= !listing_.isEmpty();
    return listing_.isEmpty() ? QString() : fullPath(listing_);
}

QList<RemoteFolderWalk::Found> RemoteFolderWalk::listed(const QList<ListingEntry>& entries)
{
    QList<Found> found;
    for (const ListingEntry& e : entries) {
        const QString path = listing_ + u'/' + e.name;
        if (e.icon == 1 && path.count(u'/') >= MaxDepth)
            tooDeep_ << path;
        else if (e.icon == 1 && (!enters || enters(path)))
            toList_ << path;
        found.append({path, e});
    }
    return found;
}

QList<ListingEntry> read_listing_file(const QString& path, const QByteArray& cp)
{
    QList<ListingEntry> entries;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    ListingLines lines(file, cp);
    ListingParser parser(app_clock::today());
    ListingEntry entry;
    QStringView line;
    while (lines.next(line))
        if (parser.parse(line, entry) == LineResult::Entry)
            entries.append(entry);
    return entries;
}
