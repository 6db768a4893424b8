#include "platform/codepage_detect.h"

#include <algorithm>

#include "platform/codepage.h"

namespace codepage {

namespace {

bool in(uchar b, uchar lo, uchar hi)
{
    return b >= lo && b <= hi;
}

// Well-formed UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF,
// no character cut off at the end.
bool valid_utf8(QByteArrayView bytes)
{
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const uchar b = uchar(bytes[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        int trail = 0;
        uchar lo = 0x80, hi = 0xBF;   // bounds of the first trail byte
        if (in(b, 0xC2, 0xDF)) {
            trail = 1;
        } else if (in(b, 0xE0, 0xEF)) {
            trail = 2;
            lo = b == 0xE0 ? 0xA0 : 0x80;
            hi = b == 0xED ? 0x9F : 0xBF;
        } else if (in(b, 0xF0, 0xF4)) {
            trail = 3;
            lo = b == 0xF0 ? 0x90 : 0x80;
            hi = b == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (n - i - 1 < trail || !in(uchar(bytes[i + 1]), lo, hi))
            return false;
        for (int k = 2; k <= trail; ++k)
            if (!in(uchar(bytes[i + k]), 0x80, 0xBF))
                return false;
        i += trail + 1;
    }
    return true;
}

// The byte layout of CP932: single bytes (ASCII, half-width katakana
// 0xA1-0xDF) and two-byte characters.
bool cp932_shape(QByteArrayView bytes)
{
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        const uchar b = uchar(bytes[i]);
        if (b < 0x80 || in(b, 0xA1, 0xDF))
            continue;
        if (!in(b, 0x81, 0x9F) && !in(b, 0xE0, 0xFC))
            return false;
        if (++i == n)
            return false;
        const uchar t = uchar(bytes[i]);
        if (!in(t, 0x40, 0x7E) && !in(t, 0x80, 0xFC))
            return false;
    }
    return true;
}

// The byte layout of EUC-JP: two-byte characters, half-width katakana after
// 0x8E and three-byte characters after 0x8F.
bool eucjp_shape(QByteArrayView bytes)
{
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        const uchar b = uchar(bytes[i]);
        if (b < 0x80)
            continue;
        const int trail = b == 0x8F ? 2 : (b == 0x8E || in(b, 0xA1, 0xFE)) ? 1 : 0;
        if (trail == 0 || n - i - 1 < trail)
            return false;
        for (int k = 1; k <= trail; ++k)
            if (!in(uchar(bytes[i + k]), 0xA1, b == 0x8E ? 0xDF : 0xFE))
                return false;
        i += trail;
    }
    return true;
}

struct Reading {
    bool valid = false;
    int oddities = 0;   // half-width katakana and private-use characters
};

// Bytes read in a Japanese code page: valid when the layout fits and every
// character is one the code page assigns.
Reading read(QByteArrayView bytes, const QByteArray& cp)
{
    Reading r;
    if (!(cp == "CP932" ? cp932_shape(bytes) : eucjp_shape(bytes)))
        return r;
    const QString text = to_text(bytes.toByteArray(), cp);
    for (const QChar c : text) {
        if (c == QChar(0xFFFD))
            return r;
        const char16_t u = c.unicode();
        if ((u >= 0xFF61 && u <= 0xFF9F) || (u >= 0xE000 && u <= 0xF8FF))
            ++r.oddities;
    }
    r.valid = true;
    return r;
}

} // namespace

bool is_ascii(QByteArrayView bytes)
{
    for (const char c : bytes)
        if (uchar(c) >= 0x80)
            return false;
    return true;
}

QByteArray detect(QByteArrayView bytes)
{
    if (is_ascii(bytes))
        return {};
    if (valid_utf8(bytes))
        return "UTF-8";
    const Reading sjis = read(bytes, "CP932");
    const Reading euc = read(bytes, "EUC-JP");
    if (sjis.valid && euc.valid)
        return euc.oddities < sjis.oddities ? "EUC-JP" : "CP932";
    if (sjis.valid)
        return "CP932";
    if (euc.valid)
        return "EUC-JP";
    // Names written in more than one code page: the one that holds the most
    // lines, in the order above on a tie, as long as it holds most of them
    // (a few short lines of noise fit some code page by chance).
    int held[3] = {0, 0, 0};
    int lines = 0;
    for (qsizetype start = 0; start < bytes.size();) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0)
            end = bytes.size();
        const QByteArrayView line = bytes.sliced(start, end - start);
        start = end + 1;
        if (is_ascii(line))
            continue;
        ++lines;
        held[0] += valid_utf8(line);
        held[1] += read(line, "CP932").valid;
        held[2] += read(line, "EUC-JP").valid;
    }
    const int best = std::max({held[0], held[1], held[2]});
    if (best * 2 <= lines)
        return {};
    return held[0] == best ? "UTF-8" : held[1] == best ? "CP932" : "EUC-JP";
}

} // namespace codepage
