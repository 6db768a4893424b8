// Filling the remote list from the listing file the data channel wrote. A
// listing of a million lines takes seconds to parse and sort: the work runs
// as a chain of short steps, so the window keeps answering, and the listing's
// operation ends only once the list is complete and sorted.
#include <QFile>
#include <QPushButton>
#include <QTimer>

#include "app/form1.h"
#include "fileops/remote_tree_delete.h"
#include "fileops/remote_delete.h"
#include "transfer/remote_folder_walk.h"
#include "transfer/folder_batch.h"
#include "listing/remote_listing.h"
#include "platform/app_clock.h"
#include "platform/click_label.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/list_view.h"
#include "platform/mouse_pointer.h"
#include "platform/outside_text.h"
#include "platform/program_folder.h"
#include "platform/prompts.h"

namespace {
constexpr int SortByName = 0;
constexpr int SortByKind = 3;
// Work per step: long enough that the steps cost little, short enough that
// input and painting never wait noticeably.
constexpr int StepMs = 20;

void report_unreadable()
{
    prompts::Msg_box(QStringLiteral("サポートされていないリストタイプの為表示出来ません"),
                     QStringLiteral("リストタイプエラー"), prompts::vbInformation);
    prompts::Msg_box(QStringLiteral("エラー番号") + QString::number(errors::PathFileAccess) + QStringLiteral("のエラーです。"),
                     QStringLiteral("エラー"), prompts::vbInformation);
}

} // namespace

struct RemoteListJob {
    explicit RemoteListJob(const QString& path) : file(path), parser(app_clock::today()) {}
    QFile file;
    std::unique_ptr<ListingLines> lines;   // null once the file is read
    ListingParser parser;
    quint64 operation = 0;                 // operationId_ when it began
    qint64 unreadLines = 0;                // lines no layout reads
    bool unreadable = false;

    // Entries side by side often show the same size, date, kind and
    // attributes: they share one list of those texts.
    QStringList subItems(const ListingEntry& e)
    {
        for (const QStringList& r : recent)
            if (r.size() == 4 && r[0] == e.sizeText && r[1] == e.dateText && r[2] == e.kind && r[3] == e.attributes)
                return r;
        QStringList fresh{e.sizeText, e.dateText, e.kind, e.attributes};
        recent[next] = fresh;
        next = (next + 1) % int(std::size(recent));
        return fresh;
    }
    QStringList recent[4];
    int next = 0;
};

bool form1::remoteListRunning() const
{
    return remoteListJob_ && remoteListJob_->operation == operationId_;
}

void form1::Remote_list()
{
    // A folder listed to be deleted is not shown: its names go to the deletion.
    if (treeDelete_ && treeDelete_->phase() == RemoteTreeDelete::Phase::Walking) {
        tree_delete::listed(*this);
        return;
    }
    // Nor is a folder listed for a batch: its entries join the batch.
    if (folderWalk_ && !folderWalk_->returning) {
        folder_batch::walk_listed(*this);
        return;
    }
    // A list of an operation that has ended, whose next step is still
    // queued, gives way: its rows are dropped, not shown.
    if (remoteListJob_) {
        remoteListJob_.reset();
        ListView1->dropStaged();
    }
    outside_text::set(Label1, QStringLiteral("ｻｰﾊﾞｰﾊﾟｽ: ") + サーバーパス);
    ListView1->hide();
    ListView1->clear();
    // The direction stays as the user last chose it with the name header.
    ListView1->setSorted(true);
    ListView1->setSortKey(SortByName);
    // Going up is one more server command: it waits for the list.
    CDUP->setEnabled(サーバーパス != QStringLiteral("/") && !busy());

    auto job = std::make_shared<RemoteListJob>(program_folder::file(QStringLiteral("temp.s")));
    job->operation = operationId_;
    remoteListJob_ = job;
    if (!job->file.open(QIODevice::ReadOnly)) {
        remoteListJob_.reset();
        report_unreadable();
        ListView1->show();
        mouse_pointer::set(mouse_pointer::Default);
        if (busy() && operationId_ == job->operation)
            endOperation();
        return;
    }
    decideFromListing();
    job->lines = std::make_unique<ListingLines>(job->file, wireCodepage());
    remoteListStep();
}

void form1::remoteListStep()
{
    const std::shared_ptr<RemoteListJob> job = remoteListJob_;
    if (!job)
        return;
    if (job->operation != operationId_) {
        // Aborted, or a new connection: what was read is dropped.
        remoteListJob_.reset();
        ListView1->dropStaged();
        ListView1->show();
        return;
    }
    const QDeadlineTimer until(StepMs);
    const auto later = [this] { QTimer::singleShot(0, this, &form1::remoteListStep); };
    if (job->lines) {
        ListingEntry entry;
        QStringView line;
        unsigned tick = 0;
        for (;;) {
            if (++tick % 64 == 0 && until.hasExpired())
                return later();
            if (!job->lines->next(line))
                break;
            switch (job->parser.parse(line, entry)) {
            case LineResult::Entry:
                ListView1->stageItem(entry.name, entry.icon, job->subItems(entry), {entry.bytes, entry.modifiedUtc});
                break;
            case LineResult::Unreadable:
                // Told once after the list is shown; the other lines still count.
                ++job->unreadLines;
                break;
            case LineResult::Skipped:
                break;
            }
        }
        job->unreadable = job->file.error() != QFileDevice::NoError;
        job->lines.reset();
        job->file.close();
    }
    // Names first, then the kind: both sorts are stable, so folders and
    // links end up grouped apart from files, each group ordered by name.
    if (!ListView1->sortStaged(SortByName, SortByKind, until))
        return later();

    remoteListJob_.reset();
    ListView1->showStaged();
    if (ListView1->count() > 0)
        ListView1->setCurrentRow(0, false);
    ListView1->show();
    mouse_pointer::set(mouse_pointer::Default);
    CDUP->setEnabled(サーバーパス != QStringLiteral("/"));
    if (job->unreadLines > 0) {
        Newtext = QStringLiteral("一覧の ") + QString::number(job->unreadLines)
            + QStringLiteral(" 行を読めなかったため、表示していません。\r\n");
        Text_plus();
    }
    if (job->unreadable)
        report_unreadable();
    // A message box lets the user abort meanwhile: that ended it already.
    if (busy() && operationId_ == job->operation)
        endOperation();
}
