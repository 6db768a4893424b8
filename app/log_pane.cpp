#include "app/log_pane.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

namespace {
// Text kept after a trim: a little under the limit, so that a steady stream
// moves the kept text only now and then instead of on every arrival.
constexpr qsizetype KeptAfterTrim = LogPane::MaxLength - LogPane::MaxLength / 8;

// The last n characters of text, never starting with the second half of a
// character that needs two.
QString last_chars(QStringView text, qsizetype n)
{
    QStringView tail = text.right(n);
    if (!tail.isEmpty() && tail.front().isLowSurrogate())
        tail = tail.sliced(1);
    return tail.toString();
}

void keep_tail(QString& text, qsizetype keep)
{
    qsizetype drop = text.size() - keep;
    if (drop <= 0)
        return;
    if (drop < text.size() && text.at(drop).isLowSurrogate())
        ++drop;
    text.remove(0, drop);
}
} // namespace

LogPane::LogPane(QWidget* parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    refresh_.setSingleShot(true);
    refresh_.setInterval(RefreshMs);
    connect(&refresh_, &QTimer::timeout, this, &LogPane::refreshDisplay);
}

QString LogPane::forDisplay(QStringView text)
{
    // Line ends of any kind become the widget's own; other control
    // characters from a server are shown as visible symbols.
    QString out;
    out.reserve(text.size() + text.size() / DisplayLine + 1);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
                continue;
            out += u'\n';
            column_ = 0;
            continue;
        }
        if (column_ >= DisplayLine && !c.isLowSurrogate()) {
            out += u'\n';
            column_ = 0;
        }
        out += (c == u'\t' || c.unicode() >= 0x20) ? c : QChar(0x2400 + c.unicode());
        ++column_;
    }
    return out;
}

void LogPane::setText(const QString& text)
{
    log_ = text.size() > MaxLength ? last_chars(text, KeptAfterTrim) : text;
    unshown_ = log_;
    rebuild_ = true;
    // Laid out with the next refresh: the log is cut back to its last part
    // before every command, and laying that out each time would cost more
    // than the command.
    if (!refresh_.isActive())
        refresh_.start();
}

void LogPane::appendAtEnd(const QString& text)
{
    if (text.isEmpty())
        return;
    if (text.size() >= KeptAfterTrim) {
        log_ = last_chars(text, KeptAfterTrim);
    } else {
        log_ += text;
        if (log_.size() > MaxLength)
            keep_tail(log_, KeptAfterTrim);
    }
    if (unshown_.size() + text.size() > MaxLength) {
        // More than the pane can show came since the last refresh: the
        // widget starts again from what the log now holds.
        unshown_ = log_;
        rebuild_ = true;
    } else {
        unshown_ += text;
    }
    if (!refresh_.isActive())
        refresh_.start();
}

void LogPane::refreshDisplay()
{
    refresh_.stop();
    if (unshown_.isEmpty() && !rebuild_)
        return;
    QString shown = std::exchange(unshown_, QString());
    if (rebuild_) {
        pendingCr_ = false;
        column_ = 0;
    }
    // A CR at the end of the previous piece was held back: it is a line end of
    // its own unless this piece starts with the LF that completes it.
    if (pendingCr_ && !shown.startsWith(u'\n'))
        shown.prepend(u'\r');
    pendingCr_ = shown.endsWith(u'\r');
    if (pendingCr_)
        shown.chop(1);
    const QString display = forDisplay(shown);
    if (rebuild_) {
        rebuild_ = false;
        setPlainText(display);
    } else {
        QTextCursor cursor(document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(display);
    }
    trimDocument();
    moveCursor(QTextCursor::End);
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void LogPane::trimDocument()
{
    // Whole lines leave from the top; no line is longer than DisplayLine.
    const int over = document()->characterCount() - int(MaxLength);
    if (over <= 0)
        return;
    const QTextBlock first = document()->findBlock(over);
    const QTextBlock keep = first.next();
    if (!keep.isValid())
        return;
    QTextCursor cursor(document());
    cursor.setPosition(0);
    cursor.setPosition(keep.position(), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}
