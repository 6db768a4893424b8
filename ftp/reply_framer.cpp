#include "ftp/reply_framer.h"

namespace {
// ASCII digits only: other scripts' digits (full-width "２２０") are no code.
bool is_digit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool starts_with_code(QStringView line)
{
    return line.size() >= 3 && is_digit(line.at(0)) && is_digit(line.at(1)) && is_digit(line.at(2));
}
} // namespace

ReplyFramer::ReplyFramer(const QByteArray& codepage) : decoder_(codepage) {}

void ReplyFramer::reset()
{
    decoder_.reset();
    partialLine_.clear();
    skippingLine_ = false;
    lineWasCut_ = false;
    lines_.clear();
    openCode_.clear();
    pendingLength_ = 0;
    replyWasCut_ = false;
}

void ReplyFramer::takeLine(QStringView line, Result& out)
{
    if (openCode_.isEmpty()) {
        if (starts_with_code(line) && line.size() >= 4 && line.at(3) == u'-') {
            openCode_ = line.left(3).toString();
            lines_ = {line.toString()};
            pendingLength_ = line.size();
            replyWasCut_ = lineWasCut_;
            return;
        }
        out.replies << line.toString() + QStringLiteral("\r\n");
        if (lineWasCut_)
            ++out.cut;
        return;
    }
    const bool last = line.startsWith(openCode_) && (line.size() == 3 || line.at(3) == u' ');
    // Past the limit only the last line is looked for and kept; the lines in
    // between are dropped, so the reply still ends where the server ends it.
    if (!replyWasCut_ && !last) {
        const qsizetype room = MaxReplyLength - pendingLength_ - 2;
        if (line.size() > room || lineWasCut_) {
            replyWasCut_ = true;
            if (room > 0)
                lines_ << line.left(room).toString();
        } else {
            lines_ << line.toString();
        }
        pendingLength_ += line.size() + 2;
    }
    if (!last)
        return;
    lines_ << line.toString();
    out.replies << lines_.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
    if (replyWasCut_ || lineWasCut_)
        ++out.cut;
    lines_.clear();
    openCode_.clear();
    pendingLength_ = 0;
    replyWasCut_ = false;
}

void ReplyFramer::endLine(QStringView piece, Result& out)
{
    // piece is the rest of the line, up to (not including) its LF.
    QString line = std::exchange(partialLine_, QString());
    const bool cr = piece.isEmpty() ? line.endsWith(u'\r') : piece.back() == u'\r';
    const qsizetype length = line.size() + piece.size() - (cr ? 1 : 0);
    if (length > MaxReplyLength) {
        line += piece.left(std::max<qsizetype>(0, MaxReplyLength - line.size()));
        line.truncate(MaxReplyLength);
        lineWasCut_ = true;
    } else {
        line += piece;
        if (cr)
            line.chop(1);
    }
    takeLine(line, out);
    lineWasCut_ = false;
}

ReplyFramer::Result ReplyFramer::feed(const QByteArray& bytes)
{
    Result r;
    r.text = decoder_.decode(bytes);
    const QStringView text(r.text);
    qsizetype start = 0;
    while (start < text.size()) {
        const qsizetype nl = text.indexOf(u'\n', start);
        if (skippingLine_) {
            if (nl < 0)
                break;
            skippingLine_ = false;
            start = nl + 1;
            continue;
        }
        if (nl >= 0) {
            endLine(text.sliced(start, nl - start), r);
            start = nl + 1;
            continue;
        }
        const QStringView rest = text.sliced(start);
        // One character more than the limit may wait: it can be the CR of
        // a line that is exactly as long as allowed.
        const qsizetype room = MaxReplyLength + 1 - partialLine_.size();
        if (rest.size() <= room) {
            partialLine_ += rest;
            break;
        }
        // A line with no end in sight is taken as far as the limit; the rest
        // of it, whenever it comes, is dropped.
        partialLine_ += rest.left(room);
        partialLine_.truncate(MaxReplyLength);
        lineWasCut_ = true;
        takeLine(std::exchange(partialLine_, QString()), r);
        lineWasCut_ = false;
        skippingLine_ = true;
        break;
    }
    return r;
}
