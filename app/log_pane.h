// The log pane. It keeps the conversation as the exact text that was
// appended (CR LF line ends), so trimming and tests work on what was
// received and sent, not on the widget's paragraph form.
#pragma once
#include <QPlainTextEdit>

class LogPane : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit LogPane(QWidget* parent = nullptr);
    const QString& text() const { return log_; }
    void setText(const QString& text);
    // Inserts at the end and leaves the caret and the view at the end.
    void appendAtEnd(const QString& text);

private:
    static QString forDisplay(const QString& text);
    QString log_;
    bool pendingCr_ = false;   // a CR that may be the first half of a CR LF
};
