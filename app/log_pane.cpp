#include "app/log_pane.h"

#include <QScrollBar>
#include <QTextCursor>

LogPane::LogPane(QWidget* parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
}

QString LogPane::forDisplay(const QString& text)
{
    // Line ends of any kind become the widget's own; other control
    // characters from a server are shown as visible symbols.
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r') {
            if (i + 1 < text.size() && text.at(i + 1) == u'\n')
                continue;
            out += u'\n';
        } else if (c == u'\n' || c == u'\t' || c.unicode() >= 0x20) {
            out += c;
        } else {
            out += QChar(0x2400 + c.unicode());
        }
    }
    return out;
}

void LogPane::setText(const QString& text)
{
    log_ = text;
    pendingCr_ = false;
    setPlainText(forDisplay(text));
    moveCursor(QTextCursor::End);
}

void LogPane::appendAtEnd(const QString& text)
{
    if (text.isEmpty())
        return;
    log_ += text;
    QString shown = text;
    // A CR at the end of the previous piece was held back: it is a line end of
    // its own unless this piece starts with the LF that completes it.
    if (pendingCr_ && !shown.startsWith(u'\n'))
        shown.prepend(u'\r');
    pendingCr_ = shown.endsWith(u'\r');
    if (pendingCr_)
        shown.chop(1);
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(forDisplay(shown));
    moveCursor(QTextCursor::End);
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}
