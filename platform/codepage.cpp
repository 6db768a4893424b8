#include "platform/codepage.h"

#include <QStringEncoder>

#include <clocale>
#include <langinfo.h>

namespace codepage {

namespace {

// Qt's own converters (UTF-8 and friends) mark bad bytes with U+FFFD; the
// ones it takes from ICU (CP932, EUC-JP) use U+001A instead.
bool is_icu(const QByteArray& cp)
{
    // Asked for every line of a listing, nearly always for the same name.
    static QByteArray last_name;
    static bool have = false, last = false;
    if (!have || cp != last_name) {
        last = !QStringConverter::encodingForName(cp.constData()).has_value()
            && QStringDecoder(cp.constData()).isValid();
        last_name = cp;
        have = true;
    }
    return last;
}

// ICU's tables for the Japanese code pages also swap three control codes the
// IBM way (byte 0x1A is U+001C, 0x1C is U+007F, 0x7F is U+001A) where the
// code page itself keeps ASCII as it is. These three bytes are never part of
// a multibyte character there, so they are passed through by hand.
bool japanese_icu(const QByteArray& cp)
{
    if (!is_icu(cp))
        return false;
    const QByteArray n = normalise_name(cp);
    return n == "CP932" || n == "EUC-JP";
}

bool passed_through(char16_t c)
{
    return c == 0x1A || c == 0x1C || c == 0x7F;
}

QStringDecoder make_decoder(const QByteArray& cp, QStringConverter::Flags flags = QStringConverter::Flag::Default)
{
    QStringDecoder d(cp.constData(), flags);
    if (!d.isValid())
        d = QStringDecoder(QStringConverter::Utf8, flags);
    return d;
}

bool is_utf8(const QByteArray& cp)
{
    const auto e = QStringConverter::encodingForName(cp.constData());
    return e ? *e == QStringConverter::Utf8 : !QStringDecoder(cp.constData()).isValid();
}

// Length of an unfinished UTF-8 character at the end of bytes (0 when the
// last character is complete or the bytes are not the start of one).
qsizetype utf8_unfinished_tail(const QByteArray& bytes)
{
    for (qsizetype k = 1; k <= 3 && k <= bytes.size(); ++k) {
        const uchar b = uchar(bytes[bytes.size() - k]);
        if ((b & 0xC0) == 0x80)
            continue; // continuation byte: look further back for the lead
        const qsizetype need = (b >= 0xC2 && b <= 0xDF) ? 2 : (b >= 0xE0 && b <= 0xEF) ? 3
            : (b >= 0xF0 && b <= 0xF4) ? 4 : 0;
        return need > k ? k : 0;
    }
    return 0;
}

QStringEncoder make_encoder(const QByteArray& cp)
{
    QStringEncoder e(cp.constData());
    if (!e.isValid())
        e = QStringEncoder(QStringConverter::Utf8);
    return e;
}

QString mark_bad(QString s)
{
    return s.replace(QChar(0x1A), QChar(0xFFFD));
}

// What a cut-off character pending in d comes out as: two line ends push it
// out and are taken off again. Two, not one: Qt gives ICU room for twice the
// bytes it hands over, and when ICU still holds the first two bytes of a
// three-byte EUC-JP character, their two bad characters and the single
// byte's own do not fit; the last would be lost.
QString flush_pending(QStringDecoder& d, bool jp)
{
    QString z = d.decode(QByteArrayView("\n\n", 2));
    z.chop(2);
    return jp ? mark_bad(z) : z;
}

// Decodes bytes through d. For the Japanese ICU converters each control byte
// of passed_through() is taken by hand: a character cut off in front of it
// is pushed out as a bad character first.
QString decode_fixed(QStringDecoder& d, bool jp, const QByteArray& bytes)
{
    if (!jp)
        return d.decode(bytes);
    QString out;
    qsizetype from = 0;
    for (qsizetype i = 0; i <= bytes.size(); ++i) {
        if (i < bytes.size() && !passed_through(uchar(bytes[i])))
            continue;
        out += mark_bad(d.decode(QByteArrayView(bytes.constData() + from, i - from)));
        if (i < bytes.size()) {
            out += flush_pending(d, true);
            out += QChar(uchar(bytes[i]));
        }
        from = i + 1;
    }
    return out;
}

// Length of an unfinished character at the end of bytes in CP932 or EUC-JP
// (a lead byte followed by fewer trail bytes than it takes), scanning from a
// character start at the beginning of bytes. A broken two-byte start of a
// three-byte EUC-JP character right in front of it stays with it: ICU holds
// those two bytes until it sees the byte that breaks them, and must then be
// handed at least two bytes (see flush_pending).
qsizetype japanese_unfinished_tail(const QByteArray& bytes, bool eucjp)
{
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    qsizetype brokenThreeByteStart = -1; // where such a start begins, when it ends at i
    while (i < n) {
        const uchar b = uchar(bytes[i]);
        // Trail bytes the lead takes, as ICU's converters wait for them:
        // EUC-JP 0xA1-0xFE, CP932 0x40-0x7E and 0x80-0xFC.
        int need = 0;
        uchar lo = 0xA1, hi = 0xFE;
        if (eucjp) {
            need = b == 0x8F ? 2 : (b == 0x8E || (b >= 0xA1 && b <= 0xFE)) ? 1 : 0;
        } else {
            need = ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) ? 1 : 0;
            lo = 0x40;
            hi = 0xFC;
        }
        qsizetype j = i + 1;
        while (need > 0 && j < n) {
            const uchar c = uchar(bytes[j]);
            if (c < lo || c > hi || (!eucjp && c == 0x7F))
                break;
            ++j;
            --need;
        }
        if (need > 0 && j == n)
            return n - (brokenThreeByteStart >= 0 ? brokenThreeByteStart : i);
        brokenThreeByteStart = (eucjp && b == 0x8F && need == 1) ? i : -1;
        i = j; // complete, or cut short by a byte that starts the next one
    }
    return 0;
}

QByteArray encode_fixed(QStringEncoder& e, bool jp, QStringView text)
{
    if (!jp)
        return e.encode(text);
    QByteArray out;
    qsizetype from = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !passed_through(text[i].unicode()))
            continue;
        out += e.encode(text.mid(from, i - from));
        if (i < text.size())
            out += char(text[i].unicode());
        from = i + 1;
    }
    return out;
}

} // namespace

QByteArray normalise_name(const QByteArray& codeset)
{
    QByteArray key = codeset.toUpper();
    key.replace('-', QByteArray()).replace('_', QByteArray());
    if (key == "UTF8")
        return "UTF-8";
    if (key == "SHIFTJIS" || key == "SJIS" || key == "CP932" || key == "WINDOWS31J" || key == "MSKANJI")
        return "CP932";
    if (key == "EUCJP")
        return "EUC-JP";
    // ASCII (a C or POSIX locale) and single-byte sets cannot hold the
    // program's own texts.
    return "UTF-8";
}

QByteArray system_name()
{
    static const QByteArray name = [] {
        std::setlocale(LC_ALL, "");
        return normalise_name(QByteArray(nl_langinfo(CODESET)));
    }();
    return name;
}

QString to_text(const QByteArray& bytes, const QByteArray& cp)
{
    if (!is_icu(cp)) {
        // Qt's own converters finish a cut-off last character when stateless.
        QStringDecoder d = make_decoder(cp, QStringConverter::Flag::Stateless);
        return d.decode(bytes);
    }
    QStringDecoder d = make_decoder(cp);
    const bool jp = japanese_icu(cp);
    QString out = decode_fixed(d, jp, bytes);
    // ICU's converters keep a cut-off last character for a next call that
    // never comes: push it out as a bad character.
    return out + flush_pending(d, jp);
}

QByteArray from_text(const QString& text, const QByteArray& cp)
{
    const bool jp = japanese_icu(cp);
    QStringEncoder e = make_encoder(cp);
    QByteArray out = encode_fixed(e, jp, text);
    if (!e.hasError())
        return out;
    // Some character is missing from the code page: spell it '?', one
    // character (surrogate pair included) at a time.
    out.clear();
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype n =
            (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) ? 2 : 1;
        QStringEncoder one = make_encoder(cp);
        const QByteArray b = encode_fixed(one, jp, QStringView(text).mid(i, n));
        out += one.hasError() ? QByteArray("?") : b;
        i += n;
    }
    return out;
}

bool encodable(const QString& text, const QByteArray& cp)
{
    QStringEncoder e = make_encoder(cp);
    const QByteArray bytes = encode_fixed(e, japanese_icu(cp), text);
    if (e.hasError())
        return false;
    // A character may also come out as a look-alike without an error:
    // compare the way back.
    return to_text(bytes, cp) == text;
}

StreamDecoder::StreamDecoder(const QByteArray& cp)
    : cp_(cp),
      mode_(is_utf8(cp) ? Mode::Utf8 : japanese_icu(cp) ? Mode::JapaneseIcu : Mode::Qt),
      dec_(make_decoder(cp, mode_ == Mode::Utf8 ? QStringConverter::Flag::Stateless
                                                : QStringConverter::Flag::Default))
{
}

QString StreamDecoder::decode(const QByteArray& chunk)
{
    switch (mode_) {
    case Mode::Utf8: {
        // Qt's stateful UTF-8 decoder loses the byte after a carried-over
        // character that turns out bad (the '\r' of a line end), so the
        // unfinished tail is carried here and whole characters decoded.
        QByteArray bytes = pending_ + chunk;
        const qsizetype tail = utf8_unfinished_tail(bytes);
        pending_ = bytes.right(tail);
        bytes.chop(tail);
        return dec_.decode(bytes);
    }
    case Mode::JapaneseIcu: {
        // An unfinished character waits here for the rest of it, so that a
        // read of a single byte never meets two bytes held inside ICU.
        QByteArray bytes = pending_ + chunk;
        const qsizetype tail = japanese_unfinished_tail(bytes, normalise_name(cp_) == "EUC-JP");
        pending_ = bytes.right(tail);
        bytes.chop(tail);
        return decode_fixed(dec_, true, bytes);
    }
    case Mode::Qt:
        break;
    }
    return dec_.decode(chunk);
}

void StreamDecoder::reset()
{
    pending_.clear();
    dec_ = make_decoder(cp_, mode_ == Mode::Utf8 ? QStringConverter::Flag::Stateless
                                                 : QStringConverter::Flag::Default);
}

} // namespace codepage
