// Text on the control connection, in server.lst and in the listing file is in
// the system's multibyte code page; these convert it to and from QString.
#pragma once
#include <QByteArray>
#include <QString>
#include <QStringDecoder>

namespace codepage {

// The locale's character set when it is a multibyte set holding Japanese
// ("UTF-8", "CP932", "EUC-JP"), else "UTF-8".
QByteArray system_name();
// The same choice for a given nl_langinfo(CODESET) name.
QByteArray normalise_name(const QByteArray& codeset);

// Bytes in code page cp to text; bytes that are not valid (and a character
// cut off at the end) become U+FFFD. An unknown code page name is taken as
// UTF-8.
QString to_text(const QByteArray& bytes, const QByteArray& cp = system_name());
// Text to bytes in code page cp; a character the code page lacks becomes '?'.
QByteArray from_text(const QString& text, const QByteArray& cp = system_name());
// True when from_text keeps every character of text.
bool encodable(const QString& text, const QByteArray& cp = system_name());

// Decodes a byte stream chunk by chunk: a character split across two network
// reads comes out whole.
class StreamDecoder {
public:
    explicit StreamDecoder(const QByteArray& cp = system_name());
    QString decode(const QByteArray& chunk);
    // Forgets a partial character (a new connection starts clean).
    void reset();

private:
    enum class Mode { Qt, Utf8, JapaneseIcu };
    QByteArray cp_;
    Mode mode_;
    QStringDecoder dec_;
    QByteArray pending_; // bytes of a character not yet complete (UTF-8, CP932, EUC-JP)
};

} // namespace codepage
