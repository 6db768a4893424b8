// Splitting a listing line into its space-separated words and reading the
// numbers and dates they hold; shared by the readers of listing_readers.h.
#pragma once
#include <QStringView>

#include <optional>

namespace listing_tokens {

struct Word {
    qsizetype from = 0;   // position in the line
    qsizetype to = 0;     // one past its last character
};

// The first words of a line; only spaces part them (a tab is part of a
// word). Words past the capacity are not split off: no layout puts what
// matters that far in.
struct Words {
    static constexpr int Capacity = 24;
    Word at[Capacity];
    int count = 0;
    QStringView line;

    explicit Words(QStringView l) : line(l)
    {
        qsizetype i = 0;
        const qsizetype n = l.size();
        while (count < Capacity) {
            while (i < n && l[i] == u' ')
                ++i;
            if (i >= n)
                break;
            const qsizetype from = i;
            while (i < n && l[i] != u' ')
                ++i;
            at[count++] = {from, i};
        }
    }
    QStringView text(int k) const { return line.sliced(at[k].from, at[k].to - at[k].from); }
    // All of the line after word k and the one space that ends it.
    QStringView after(int k) const
    {
        const qsizetype from = at[k].to + 1;
        return from <= line.size() ? line.sliced(from) : QStringView();
    }
    // All of the line after word k, leading spaces dropped.
    QStringView afterSpaces(int k) const
    {
        qsizetype from = at[k].to;
        while (from < line.size() && line[from] == u' ')
            ++from;
        return line.sliced(from);
    }
};

inline bool is_digit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

inline bool all_digits(QStringView s)
{
    if (s.isEmpty())
        return false;
    for (const QChar c : s)
        if (!is_digit(c))
            return false;
    return true;
}

// A whole number of 1 to max digits; nothing else in s.
inline std::optional<int> small_number(QStringView s, int maxDigits)
{
    if (s.isEmpty() || s.size() > maxDigits)
        return std::nullopt;
    int v = 0;
    for (const QChar c : s) {
        if (!is_digit(c))
            return std::nullopt;
        v = v * 10 + (c.unicode() - u'0');
    }
    return v;
}

// A byte count: digits, optionally grouped by "," or "." every three
// (Windows writes "9,730"). Held at the largest 64-bit count.
inline std::optional<quint64> byte_count(QStringView s, bool grouped = false)
{
    if (s.isEmpty() || !is_digit(s.front()) || !is_digit(s.back()))
        return std::nullopt;
    quint64 v = 0;
    bool saturated = false;
    qsizetype sinceGroup = 0;
    bool sawGroup = false;
    for (const QChar c : s) {
        if (is_digit(c)) {
            const unsigned d = c.unicode() - u'0';
            if (v > (~quint64(0) - d) / 10)
                saturated = true;
            else
                v = v * 10 + d;
            ++sinceGroup;
        } else if (grouped && (c == u',' || c == u'.') && (!sawGroup || sinceGroup == 3)) {
            sawGroup = true;
            sinceGroup = 0;
        } else {
            return std::nullopt;
        }
    }
    if (sawGroup && sinceGroup != 3)
        return std::nullopt;
    return saturated ? ~quint64(0) : v;
}

// "HH:MM", "H:MM", "HH:MM:SS" and "HH:MM:SS.fraction"; the hour up to 23.
inline bool read_clock(QStringView s, int& hour, int& minute, int& second)
{
    const qsizetype colon = s.indexOf(u':');
    if (colon < 1 || colon > 2 || s.size() < colon + 3)
        return false;
    const auto h = small_number(s.first(colon), 2);
    const auto m = small_number(s.sliced(colon + 1, 2), 2);
    if (!h || !m || *h > 23 || *m > 59)
        return false;
    QStringView rest = s.sliced(colon + 3);
    int sec = 0;
    if (!rest.isEmpty()) {
        if (rest.size() < 3 || rest[0] != u':')
            return false;
        const auto ss = small_number(rest.sliced(1, 2), 2);
        if (!ss || *ss > 60)
            return false;
        sec = *ss;
        rest = rest.sliced(3);
        if (!rest.isEmpty() && (rest[0] != u'.' || !all_digits(rest.sliced(1))))
            return false;
    }
    hour = *h;
    minute = *m;
    second = sec;
    return true;
}

inline bool valid_date(int month, int day)
{
    return month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

} // namespace listing_tokens
