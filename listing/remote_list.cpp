// Filling the remote list from the listing file the data channel wrote.
#include <QFile>
#include <QPushButton>

#include "app/form1.h"
#include "listing/remote_listing.h"
#include "platform/app_clock.h"
#include "platform/click_label.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/list_view.h"
#include "platform/mouse_pointer.h"
#include "platform/program_folder.h"
#include "platform/prompts.h"

namespace {
constexpr int SortByName = 0;
constexpr int SortByKind = 3;

void report_error_number(int number)
{
    prompts::Msg_box(QStringLiteral("エラー番号") + QString::number(number) + QStringLiteral("のエラーです。"),
                     QStringLiteral("エラー"), prompts::vbInformation);
}

} // namespace

void form1::Remote_list()
{
    Label1->setText(QStringLiteral("ｻｰﾊﾞｰﾊﾟｽ: ") + サーバーパス);
    ListView1->hide();
    ListView1->clear();
    // The direction stays as the user last chose it with the name header.
    ListView1->setSorted(true);
    ListView1->setSortKey(SortByName);
    CDUP->setEnabled(サーバーパス != QStringLiteral("/"));

    QFile file(program_folder::file(QStringLiteral("temp.s")));
    if (!file.open(QIODevice::ReadOnly)) {
        prompts::Msg_box(QStringLiteral("サポートされていないリストタイプの為表示出来ません"),
                         QStringLiteral("リストタイプエラー"), prompts::vbInformation);
        report_error_number(errors::PathFileAccess);
        ListView1->show();
        mouse_pointer::set(mouse_pointer::Default);
        return;
    }

    ListingLines lines(file);
    ListingParser parser(app_clock::today());
    bool malformed = false;
    ListingEntry entry;
    QStringList subItems;
    QStringView line;
    while (lines.next(line)) {
        switch (parser.parse(line, entry)) {
        case LineResult::Entry:
            subItems = {entry.sizeText, entry.dateText, entry.kind, entry.attributes};
            ListView1->addItem(entry.name, entry.icon, subItems);
            break;
        case LineResult::Malformed:
            // Told once after the list is shown; the other lines still count.
            malformed = true;
            break;
        case LineResult::Skipped:
            break;
        }
    }

    const bool unreadable = file.error() != QFileDevice::NoError;
    if (ListView1->count() > 0)
        ListView1->setCurrentRow(0, false);
    ListView1->show();
    mouse_pointer::set(mouse_pointer::Default);
    // Names first, then the kind: both sorts are stable, so folders and
    // links end up grouped apart from files, each group ordered by name.
    ListView1->setSortKey(SortByName);
    ListView1->setSortKey(SortByKind);
    if (ListView1->count() > 0)
        ListView1->setCurrentRow(0, false);
    CDUP->setEnabled(サーバーパス != QStringLiteral("/"));

    if (unreadable) {
        prompts::Msg_box(QStringLiteral("サポートされていないリストタイプの為表示出来ません"),
                         QStringLiteral("リストタイプエラー"), prompts::vbInformation);
        report_error_number(errors::PathFileAccess);
    } else if (malformed) {
        report_error_number(errors::InvalidArgument);
    }
}
