// Cuts the control connection's byte stream into complete replies. TCP keeps
// no message boundaries: a reply may come in pieces, several may come at
// once, and a multi-line reply ("nnn-" ... "nnn ") counts as one.
#pragma once
#include <QStringList>

#include "platform/codepage.h"

class ReplyFramer {
public:
    explicit ReplyFramer(const QByteArray& codepage = codepage::system_name());

    struct Result {
        QString text;          // the arrival decoded, exactly as received
        QStringList replies;   // the replies completed by it, in order, lines joined by CR LF
    };
    Result feed(const QByteArray& bytes);
    void reset();
    bool hasPartialReply() const { return !lines_.isEmpty() || !partialLine_.isEmpty(); }

    // Longest line or multi-line reply kept while waiting for its end; a
    // server that sends more is cut off there so it cannot exhaust memory.
    static constexpr qsizetype MaxReplyLength = 64 * 1024;

private:
    void takeLine(const QString& line, QStringList& out);
    codepage::StreamDecoder decoder_;
    QString partialLine_;      // text after the last line end
    QStringList lines_;        // lines of an unfinished multi-line reply
    QString openCode_;         // "nnn" of that reply
    qsizetype pendingLength_ = 0;
};
