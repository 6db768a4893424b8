#include "servers/entry_checks.h"

#include <QStringList>

#include "servers/settings_keys.h"

namespace entry_checks {

namespace {
bool has_control(const QString& text)
{
    for (const QChar ch : text)
        if (ch.category() == QChar::Other_Control)
            return true;
    return false;
}

// The characters of text (each once) that code page cp cannot hold.
QString lost_characters(const QString& text, const QByteArray& cp)
{
    QString lost;
    for (const char32_t c : text.toUcs4()) {
        const QString one = QString::fromUcs4(&c, 1);
        if (!codepage::encodable(one, cp) && !lost.contains(one))
            lost += one;
    }
    return lost;
}
} // namespace

bool is_fixed_section(const QString& name)
{
    // INI sections are documented as case-insensitive (and are on the
    // classic store): "options" must not share the options' section either.
    for (const QString& fixed : {keys::Options, keys::QuickHost, keys::QuickUser, keys::QuickPass, keys::FormSize,
                                 keys::FileSentaku, keys::FileSize})
        if (name.compare(fixed, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QString problem(const QString& name, const QString& host, const QString& user, const QByteArray& cp)
{
    // A line break would split the name into two lines of server.lst.
    const struct {
        const QString& text;
        const char* label;
    } boxes[] = {{name, "ｻｰﾊﾞｰ名"}, {host, "ｻｰﾊﾞｰｱﾄﾞﾚｽ"}, {user, "ﾕｰｻﾞｰ名"}};
    for (const auto& box : boxes)
        if (has_control(box.text))
            return QStringLiteral("「") + QString::fromUtf8(box.label) +
                   QStringLiteral("」に改行やタブなどの制御文字が含まれています。取り除いてから登録してください。");
    if (is_fixed_section(name))
        return QStringLiteral("「") + name +
               QStringLiteral("」はﾌﾟﾛｸﾞﾗﾑが設定の保存に使う名前のため、ｻｰﾊﾞｰ名に使えません。別の名前を指定してください。");
    const QString lost = lost_characters(name, cp);
    if (!lost.isEmpty())
        return QStringLiteral("ｻｰﾊﾞｰ名の「") + lost + QStringLiteral("」はサーバーリスト（server.lst）の文字コード（") +
               QString::fromLatin1(cp) + QStringLiteral("）で保存できない文字です。別の名前を指定してください。");
    return QString();
}

} // namespace entry_checks
