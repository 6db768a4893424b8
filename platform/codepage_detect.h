// Which of the Japanese code pages a server's names and replies are in, for
// a connection that leaves the choice to the program.
#pragma once
#include <QByteArray>
#include <QByteArrayView>

namespace codepage {

// Nothing but ASCII: such bytes read the same in every code page.
bool is_ascii(QByteArrayView bytes);

// The code page of whole lines the server sent ("UTF-8", "CP932" or
// "EUC-JP"), or empty while they tell nothing (plain ASCII, or bytes no code
// page holds). Valid UTF-8 is UTF-8. Otherwise the one of CP932 and EUC-JP
// that holds the bytes; when both do, the one whose reading has fewer
// half-width katakana and private-use characters (EUC-JP kana read as CP932
// come out as runs of half-width katakana), CP932 on a tie. Lines from more
// than one code page: the one that holds most of them.
QByteArray detect(QByteArrayView bytes);

} // namespace codepage
