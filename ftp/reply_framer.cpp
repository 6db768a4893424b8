#include "ftp/reply_framer.h"

namespace {
bool starts_with_code(const QString& line)
{
    return line.size() >= 3 && line.at(0).isDigit() && line.at(1).isDigit() && line.at(2).isDigit();
}
} // namespace

ReplyFramer::ReplyFramer(const QByteArray& codepage) : decoder_(codepage) {}

void ReplyFramer::reset()
{
    decoder_.reset();
    partialLine_.clear();
    lines_.clear();
    openCode_.clear();
    pendingLength_ = 0;
}

void ReplyFramer::takeLine(const QString& line, QStringList& out)
{
    if (openCode_.isEmpty()) {
        if (starts_with_code(line) && line.size() >= 4 && line.at(3) == u'-') {
            openCode_ = line.left(3);
            lines_ = {line};
            pendingLength_ = line.size();
            return;
        }
        out << line + QStringLiteral("\r\n");
        return;
    }
    lines_ << line;
    pendingLength_ += line.size() + 2;
    const bool last = line.startsWith(openCode_) && (line.size() == 3 || line.at(3) == u' ');
    if (last || pendingLength_ > MaxReplyLength) {
        out << lines_.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
        lines_.clear();
        openCode_.clear();
        pendingLength_ = 0;
    }
}

ReplyFramer::Result ReplyFramer::feed(const QByteArray& bytes)
{
    Result r;
    r.text = decoder_.decode(bytes);
    QString buffer = partialLine_ + r.text;
    partialLine_.clear();
    qsizetype start = 0;
    for (qsizetype i = 0; i < buffer.size(); ++i) {
        if (buffer.at(i) != u'\n')
            continue;
        qsizetype end = i;
        if (end > start && buffer.at(end - 1) == u'\r')
            --end;
        takeLine(buffer.mid(start, end - start), r.replies);
        start = i + 1;
    }
    partialLine_ = buffer.mid(start);
    // A line with no end in sight is taken as it stands.
    if (partialLine_.size() > MaxReplyLength) {
        takeLine(partialLine_, r.replies);
        partialLine_.clear();
    }
    return r;
}
