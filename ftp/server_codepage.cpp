// The code page of the connection: the one the entry or the options chose,
// or, left to the program, UTF-8 when FEAT lists UTF8 and otherwise the one
// the first reply or listing beyond ASCII is written in. Until then the
// system's code page stands in.
#include <QTimer>

#include "app/form1.h"
#include "platform/codepage.h"
#include "platform/codepage_detect.h"
#include "platform/prompts.h"
#include "platform/winsock.h"
#include "servers/connection_choices.h"

namespace {
// A reply line held back for the decision that grows past this is passed
// on as it is: the reply framer cuts such lines anyway.
constexpr qsizetype HeldMax = ReplyFramer::MaxReplyLength;
// Lines of a listing looked at for the decision, at most.
constexpr qsizetype SampleMax = 64 * 1024;

// A feature line of a FEAT reply is a space and the feature.
bool lists_utf8(const QString& reply)
{
    for (const QString& line : reply.split(QStringLiteral("\r\n")))
        if (line.startsWith(u' ') && line.trimmed().compare(QStringLiteral("UTF8"), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// As the choice boxes show it: "Shift_JIS" for CP932.
QString label_of(const QByteArray& cp)
{
    for (const choices::Choice& c : choices::codepages())
        if (c.value == QLatin1String(cp))
            return c.label;
    return QString::fromLatin1(cp);
}

bool line_end(char c)
{
    return c == '\n' || c == '\r';
}
} // namespace

void form1::startCodepage()
{
    codepage_ = profile_.codepage;
    heldControlBytes_.clear();
    listingSample_.clear();
    listingTail_.clear();
    listedWith_.clear();
    replyFramer_.setCodepage(wireCodepage());
}

QByteArray form1::wireCodepage() const
{
    // Not yet found on this connection: what the last one found, else the system's.
    if (!codepage_.isEmpty())
        return codepage_;
    return profile_.foundCodepage.isEmpty() ? codepage::system_name() : profile_.foundCodepage;
}

QByteArray form1::controlBytes(const QByteArray& bytes)
{
    // A line held back when a listing decided goes out ahead of the arrival.
    if (!codepage_.isEmpty())
        return heldControlBytes_.isEmpty() ? bytes : std::exchange(heldControlBytes_, QByteArray()) + bytes;
    // Only whole lines decide: a character cut by a network read would
    // make any code page look wrong.
    heldControlBytes_ += bytes;
    const qsizetype end = heldControlBytes_.lastIndexOf('\n') + 1;
    if (end == 0 && heldControlBytes_.size() <= HeldMax)
        return {};
    const qsizetype whole = end > 0 ? end : heldControlBytes_.size();
    QByteArray out = heldControlBytes_.left(whole);
    heldControlBytes_.remove(0, whole);
    if (end > 0)
        decideCodepage(codepage::detect(out));
    if (!codepage_.isEmpty())
        out += std::exchange(heldControlBytes_, QByteArray());
    return out;
}

void form1::featReply(const QString& code, const QString& reply)
{
    if (!codepage_.isEmpty() || code != QStringLiteral("211") || !lists_utf8(reply))
        return;
    // Some servers speak UTF-8 only once asked; the names are UTF-8 either way.
    sessionSteps_.prepend(QStringLiteral("OPTS UTF8 ON"));
    decideCodepage("UTF-8");
}

void form1::noteListingBytes(const QByteArray& bytes, bool first)
{
    if (first) {
        listingSample_.clear();
        listingTail_.clear();
    }
    if (!codepage_.isEmpty() || listingSample_.size() >= SampleMax)
        return;
    const QByteArray data = listingTail_.isEmpty() ? bytes : listingTail_ + bytes;
    qsizetype end = data.size();
    while (end > 0 && !line_end(data[end - 1]))
        --end;
    // The lines that hold a byte beyond ASCII, each whole.
    for (qsizetype i = 0; i < end && listingSample_.size() < SampleMax; ++i) {
        if (uchar(data[i]) < 0x80)
            continue;
        qsizetype from = i;
        while (from > 0 && !line_end(data[from - 1]))
            --from;
        qsizetype to = i;
        while (to < end && !line_end(data[to]))
            ++to;
        listingSample_ += QByteArrayView(data).sliced(from, to - from);
        listingSample_ += '\n';
        i = to;
    }
    // A line that never ends is left out past the sample's size.
    listingTail_ = data.size() - end <= SampleMax ? data.mid(end) : QByteArray();
}

void form1::decideFromListing()
{
    listedWith_.clear();   // the list read now replaces the one on screen
    if (codepage_.isEmpty()) {
        listingSample_ += std::exchange(listingTail_, QByteArray());
        decideCodepage(codepage::detect(listingSample_));
        // Bytes that fit no code page are read in the system's for now, and
        // again once some reply tells.
        if (codepage_.isEmpty() && !codepage::is_ascii(listingSample_))
            listedWith_ = wireCodepage();
    }
    listingSample_.clear();
    listingTail_.clear();
}

void form1::decideCodepage(const QByteArray& cp)
{
    if (cp.isEmpty() || !codepage_.isEmpty())
        return;
    codepage_ = cp;
    replyFramer_.setCodepage(cp);
    profile_.rememberFoundCodepage(cp);
    Newtext = QStringLiteral("文字コードを ") + label_of(cp) + QStringLiteral(" と判断しました。\r\n");
    Text_plus();
    // The list on screen was read before the code page was known: it is
    // read again from the listing file once nothing runs that could end
    // with it (a listing that runs reads it in the new code page anyway).
    const QByteArray shownIn = std::exchange(listedWith_, QByteArray());
    if (shownIn.isEmpty() || shownIn == cp)
        return;
    const quint64 operation = operationId_;
    QTimer::singleShot(0, this, [this, operation] {
        if (operationId_ == operation && !busy() && !remoteListJob_ && Winsock1->State() == Winsock::sckConnected)
            Remote_list();
    });
}

bool form1::refuseUnsendable(const QString& name, const QString& refusal, const QString& title)
{
    const QByteArray cp = wireCodepage();
    if (codepage::encodable(name, cp))
        return false;
    prompts::Msg_box(QStringLiteral("「") + name + QStringLiteral("」にはサーバーの文字コード（") + label_of(cp) +
                         QStringLiteral("）で表せない文字が含まれているため、") + refusal,
                     title, prompts::vbExclamation);
    return true;
}
