// The log pane. It keeps the conversation as the exact text that was
// appended (CR LF line ends), so trimming and tests work on what was
// received and sent, not on the widget's paragraph form.
//
// A server may send without end: the pane keeps only its last MaxLength
// characters, and the widget catches up with what was appended at most once
// per RefreshMs, showing no more than the same last MaxLength characters.
// However fast the text comes, each arrival costs its own length and each
// refresh at most MaxLength.
#pragma once
#include <QPlainTextEdit>
#include <QTimer>

class LogPane : public QPlainTextEdit {
    Q_OBJECT
public:
    // Most characters the log keeps (1 MB of text).
    static constexpr qsizetype MaxLength = 1024 * 1024;
    // The widget breaks a longer line for display, so no paragraph it lays
    // out is ever large; the kept text is not changed by it.
    static constexpr qsizetype DisplayLine = 1024;
    static constexpr int RefreshMs = 50;

    explicit LogPane(QWidget* parent = nullptr);
    const QString& text() const { return log_; }
    void setText(const QString& text);
    // Inserts at the end and leaves the caret and the view at the end.
    void appendAtEnd(const QString& text);
    // Brings the widget up to date now (otherwise it follows within RefreshMs).
    void refreshDisplay();

private:
    QString forDisplay(QStringView text);
    void trimDocument();
    QString log_;
    QString unshown_;          // appended since the widget was last brought up to date
    bool rebuild_ = false;     // unshown_ lost its front: the widget starts afresh
    bool pendingCr_ = false;   // a CR that may be the first half of a CR LF
    qsizetype column_ = 0;     // characters in the widget's last line
    QTimer refresh_;
};
