// Code page conversion of control-connection text, server.lst and listings,
// in UTF-8 and CP932, including characters split across network reads.
#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "platform/codepage_detect.h"

namespace {

// "サーバー ｻｰﾊﾞｰ 表示 ～" in CP932: full-width katakana, half-width
// katakana (single bytes 0xA1-0xDF), a kanji whose second byte is '\' (0x5C)
// and the full-width tilde.
const QByteArray kSjis = "\x83\x54\x81\x5b\x83\x6f\x81\x5b \xbb\xb0\xca\xde\xb0 \x95\x5c\x8e\xa6 \x81\x60";
const QString kText = QStringLiteral("サーバー ｻｰﾊﾞｰ 表示 ～");

} // namespace

TEST(Codepage, NamesNormalised)
{
    EXPECT_EQ(codepage::normalise_name("UTF-8"), QByteArray("UTF-8"));
    EXPECT_EQ(codepage::normalise_name("utf8"), QByteArray("UTF-8"));
    EXPECT_EQ(codepage::normalise_name("SHIFT_JIS"), QByteArray("CP932"));
    EXPECT_EQ(codepage::normalise_name("Shift-JIS"), QByteArray("CP932"));
    EXPECT_EQ(codepage::normalise_name("SJIS"), QByteArray("CP932"));
    EXPECT_EQ(codepage::normalise_name("cp932"), QByteArray("CP932"));
    EXPECT_EQ(codepage::normalise_name("WINDOWS-31J"), QByteArray("CP932"));
    EXPECT_EQ(codepage::normalise_name("EUC-JP"), QByteArray("EUC-JP"));
    EXPECT_EQ(codepage::normalise_name("eucJP"), QByteArray("EUC-JP"));
    // C/POSIX locale and single-byte sets cannot hold Japanese.
    EXPECT_EQ(codepage::normalise_name("ANSI_X3.4-1968"), QByteArray("UTF-8"));
    EXPECT_EQ(codepage::normalise_name("ISO-8859-1"), QByteArray("UTF-8"));
    EXPECT_EQ(codepage::normalise_name(""), QByteArray("UTF-8"));

    const QByteArray sys = codepage::system_name();
    EXPECT_TRUE(sys == "UTF-8" || sys == "CP932" || sys == "EUC-JP") << sys.constData();
}

TEST(Codepage, Cp932RoundTrip)
{
    EXPECT_EQ(codepage::to_text(kSjis, "CP932"), kText);
    EXPECT_EQ(codepage::from_text(kText, "CP932"), kSjis);
    EXPECT_EQ(codepage::to_text(kSjis, "Shift_JIS"), kText);
    EXPECT_TRUE(codepage::encodable(kText, "CP932"));
    // Plain ASCII stays ASCII (FTP commands).
    EXPECT_EQ(codepage::from_text(QStringLiteral("RETR a.txt\r\n"), "CP932"), QByteArray("RETR a.txt\r\n"));
}

TEST(Codepage, AsciiIncludingControlsIsUnchanged)
{
    // FTP commands and replies are ASCII; no code page may remap any of it.
    QByteArray bytes;
    QString text;
    for (int i = 1; i < 128; ++i) {
        bytes += char(i);
        text += QChar(i);
    }
    for (const QByteArray& cp : {QByteArray("CP932"), QByteArray("Shift_JIS"), QByteArray("EUC-JP"),
                                QByteArray("UTF-8")}) {
        EXPECT_EQ(codepage::to_text(bytes, cp), text) << cp.constData();
        EXPECT_EQ(codepage::from_text(text, cp), bytes) << cp.constData();
        EXPECT_TRUE(codepage::encodable(text, cp)) << cp.constData();
        codepage::StreamDecoder d(cp);
        EXPECT_EQ(d.decode(bytes), text) << cp.constData();
    }
}

TEST(Codepage, Utf8RoundTrip)
{
    const QByteArray utf8 = kText.toUtf8();
    EXPECT_EQ(codepage::to_text(utf8, "UTF-8"), kText);
    EXPECT_EQ(codepage::from_text(kText, "UTF-8"), utf8);
    EXPECT_TRUE(codepage::encodable(QStringLiteral("😀 ｻｰﾊﾞｰ"), "UTF-8"));
}

TEST(Codepage, EucJpRoundTrip)
{
    const QByteArray euc = codepage::from_text(kText, "EUC-JP");
    EXPECT_NE(euc, kSjis);
    EXPECT_NE(euc, kText.toUtf8());
    EXPECT_EQ(codepage::to_text(euc, "EUC-JP"), kText);
}

TEST(Codepage, UnknownNameIsUtf8)
{
    EXPECT_EQ(codepage::to_text(kText.toUtf8(), "NO-SUCH-CODEPAGE"), kText);
    EXPECT_EQ(codepage::from_text(kText, "NO-SUCH-CODEPAGE"), kText.toUtf8());
}

TEST(Codepage, InvalidBytesBecomeReplacementCharacter)
{
    const QChar fffd(0xFFFD);
    // A lead byte followed by a byte that cannot trail it, bytes that lead
    // nothing, and a lead byte cut off at the end.
    EXPECT_EQ(codepage::to_text(QByteArray("a\x81\x20" "b\xff\x80\xa0\x83", 8), "CP932"),
              QStringLiteral("a") + fffd + QStringLiteral(" b") + QString(4, fffd));
    // A real Ctrl-Z byte is kept, also right after a cut-off character.
    EXPECT_EQ(codepage::to_text(QByteArray("\x1a\x95\x1a", 3), "CP932"),
              QChar(0x1A) + QString(fffd) + QChar(0x1A));

    const QString u = codepage::to_text(QByteArray("x\xff\xc3y\xe3\x81", 6), "UTF-8");
    EXPECT_TRUE(u.startsWith(QStringLiteral("x") + fffd)) << qPrintable(u);
    EXPECT_TRUE(u.contains(QLatin1Char('y')));
    EXPECT_TRUE(u.endsWith(fffd)) << "cut-off last character dropped";

    // Bad bytes in a stream: same marks, chunk by chunk.
    codepage::StreamDecoder d("CP932");
    QString s = d.decode(QByteArray("550 \x81\x20", 6));
    s += d.decode(QByteArray("\x1a\r\n", 3));
    EXPECT_EQ(s, QStringLiteral("550 ") + fffd + QStringLiteral(" ") + QChar(0x1A) + QStringLiteral("\r\n"));
}

TEST(Codepage, EncodableFalseForWhatCp932Lacks)
{
    EXPECT_FALSE(codepage::encodable(QStringLiteral("file😀.txt"), "CP932"));
    EXPECT_FALSE(codepage::encodable(QStringLiteral("한국어"), "CP932"));
    EXPECT_FALSE(codepage::encodable(QStringLiteral("€"), "CP932"));
    EXPECT_TRUE(codepage::encodable(QString(), "CP932"));
    EXPECT_TRUE(codepage::encodable(QStringLiteral("①髙﨑"), "CP932")); // CP932 extensions
    // What is sent instead is a plain question mark, not some other character.
    EXPECT_EQ(codepage::from_text(QStringLiteral("a😀€b.txt"), "CP932"), QByteArray("a??b.txt"));
    EXPECT_EQ(codepage::from_text(QStringLiteral("表😀"), "CP932"), QByteArray("\x95\x5c?"));
}

TEST(Codepage, StreamKeepsCp932CharacterSplitAcrossReads)
{
    codepage::StreamDecoder d("CP932");
    // "150 表示" split between the lead and trail byte of 表 (0x95 0x5C).
    QString got = d.decode(QByteArray("150 \x95", 5));
    got += d.decode(QByteArray("\x5c\x8e", 2));
    got += d.decode(QByteArray("\xa6\r\n", 3));
    EXPECT_EQ(got, QStringLiteral("150 表示\r\n"));

    // Byte by byte, the whole text.
    codepage::StreamDecoder b("CP932");
    QString all;
    for (char c : kSjis)
        all += b.decode(QByteArray(1, c));
    EXPECT_EQ(all, kText);
}

TEST(Codepage, StreamKeepsUtf8CharacterSplitAcrossReads)
{
    const QByteArray bytes = QStringLiteral("226 転送完了").toUtf8();
    // Cut inside the 3-byte 転 after one byte, and inside 完 after two.
    const qsizetype cut1 = 5, cut2 = 4 + 3 + 3 + 2;
    codepage::StreamDecoder d("UTF-8");
    QString got = d.decode(bytes.left(cut1));
    EXPECT_EQ(got, QStringLiteral("226 "));
    got += d.decode(bytes.mid(cut1, cut2 - cut1));
    got += d.decode(bytes.mid(cut2));
    EXPECT_EQ(got, QStringLiteral("226 転送完了"));
}

TEST(Codepage, StreamBadByteBeforeLineEndKeepsLineEnd)
{
    // A Latin-1 name in a UTF-8 session, cut right after the bad byte: the
    // line end of the next read must come through whole (reply framing).
    for (const QByteArray& first : {QByteArray("550 caf\xe9"), QByteArray("550 \xe3\x81")}) {
        codepage::StreamDecoder d("UTF-8");
        QString got = d.decode(first);
        got += d.decode(QByteArray("\r\n226 ok\r\n"));
        EXPECT_TRUE(got.endsWith(QStringLiteral("\r\n226 ok\r\n"))) << qPrintable(got);
        EXPECT_TRUE(got.contains(QChar(0xFFFD))) << qPrintable(got);
    }
    codepage::StreamDecoder s("CP932");
    QString got = s.decode(QByteArray("550 \x95"));
    got += s.decode(QByteArray("\r\n"));
    EXPECT_EQ(got, QStringLiteral("550 ") + QChar(0xFFFD) + QStringLiteral("\r\n"));
}

TEST(Codepage, StreamResetDropsPartialCharacter)
{
    codepage::StreamDecoder d("UTF-8");
    d.decode(QByteArray("\xe8\xbb", 2)); // a cut-off character from a closed connection
    d.reset();
    EXPECT_EQ(d.decode(QByteArray("220 ok")), QStringLiteral("220 ok"));

    codepage::StreamDecoder s("CP932");
    s.decode(QByteArray("\x95", 1));
    s.reset();
    EXPECT_EQ(s.decode(QByteArray("\\x")), QStringLiteral("\\x"));
}

TEST(CodepageDetect, JapaneseNamesRoundTripAndTellTheirCodePage)
{
    // "表" ends in a backslash byte (0x5C) in CP932; EUC-JP kana and kanji read as
    // CP932 come out as half-width katakana, which must not win.
    const QStringList names{QStringLiteral("日本語フォルダ"), QStringLiteral("テスト.txt"), QStringLiteral("表示.txt"),
                            QStringLiteral("ひらがな カタカナ 漢字")};
    for (const QByteArray& cp : {QByteArray("UTF-8"), QByteArray("CP932"), QByteArray("EUC-JP")}) {
        for (const QString& name : names) {
            const QByteArray bytes = codepage::from_text(name, cp);
            EXPECT_EQ(codepage::to_text(bytes, cp), name) << cp.constData();
            EXPECT_EQ(codepage::detect(bytes), cp) << cp.constData() << " " << qPrintable(name);
        }
    }
}

TEST(CodepageDetect, MixedAndAmbiguousBytes)
{
    const QByteArray sjis1 = codepage::from_text(QStringLiteral("-rw-r--r-- 1 u g 5 Jan 12 12:34 資料.txt\r\n"), "CP932");
    const QByteArray sjis2 = codepage::from_text(QStringLiteral("-rw-r--r-- 1 u g 5 Jan 12 12:34 報告書.txt\r\n"), "CP932");
    const QByteArray utf8 = QStringLiteral("-rw-r--r-- 1 u g 5 Jan 12 12:34 あ.txt\r\n").toUtf8();
    const struct {
        const char* what;
        QByteArray bytes;
        QByteArray cp;
    } cases[] = {
        {"ASCII tells nothing", "257 \"/pub\" is the current directory.\r\n", ""},
        {"ASCII lines around one name", "150 ok\r\n" + sjis1 + "226 done\r\n", "CP932"},
        // Half-width katakana of odd length cannot be EUC-JP.
        {"half-width katakana", "\xc3\xbd\xc4.txt", "CP932"},
        {"names in two code pages: the most lines", sjis1 + utf8 + sjis2, "CP932"},
        {"names in two code pages, UTF-8 in most", utf8 + sjis1 + utf8, "UTF-8"},
        {"bytes no code page holds", "550 \xff\xfe\x80.txt\r\n", ""},
        {"noise that some code page fits by chance", "\x95\x5c\n\xff\n\x80\xfe\n", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(codepage::detect(c.bytes), c.cp) << c.what;
}
