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
        int cut = 0;           // how many of them were cut at MaxReplyLength
    };
    Result feed(const QByteArray& bytes);
    void reset();
    // The stream is in code page cp from here on (the connection's, once known).
    void setCodepage(const QByteArray& cp) { decoder_ = codepage::StreamDecoder(cp); }
    bool hasPartialReply() const { return !lines_.isEmpty() || !partialLine_.isEmpty() || skippingLine_; }
    // The rest of a cut line is still being dropped.
    bool skippingLine() const { return skippingLine_; }

    // Longest line or multi-line reply kept while waiting for its end; a
    // server that sends more is cut off there so it cannot exhaust memory.
    // The rest of a cut line is skipped up to its line end; the further lines
    // of a cut multi-line reply are skipped up to its last line.
    static constexpr qsizetype MaxReplyLength = 64 * 1024;

private:
    void takeLine(QStringView line, Result& out);
    void endLine(QStringView piece, Result& out);
    codepage::StreamDecoder decoder_;
    QString partialLine_;      // text after the last line end (at most MaxReplyLength)
    bool skippingLine_ = false; // the current line was cut: drop the rest of it
    bool lineWasCut_ = false;  // the line being completed lost its end
    QStringList lines_;        // lines of an unfinished multi-line reply
    QString openCode_;         // "nnn" of that reply
    qsizetype pendingLength_ = 0;
    bool replyWasCut_ = false; // that reply has grown past MaxReplyLength
};
