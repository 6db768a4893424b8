// The commands between a successful log-in and the first listing that set
// up the session (protection of the data connections, the code page), each
// answered before the next; then the start folder.
#include "app/form1.h"
#include "platform/winsock.h"

namespace {
// PBSZ and PROT are answered with the rest of the encryption (tlsReply).
const QStringList SessionVerbs{QStringLiteral("FEAT"), QStringLiteral("OPTS")};

// A feature line of a FEAT reply is a space and the feature, its first word
// the command ("MLST type*;size*;modify*;").
bool lists_feature(const QString& reply, QStringView feature)
{
    for (const QString& line : reply.split(QStringLiteral("\r\n"))) {
        if (!line.startsWith(u' '))
            continue;
        const QStringView word = QStringView(line).trimmed().split(u' ').value(0);
        if (word.compare(feature, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}
}

void form1::startSession()
{
    sessionSteps_.clear();
    session_.listsWithMlsd = false;
    // Data connections are protected only on an encrypted connection.
    if (Winsock1->IsEncrypted())
        sessionSteps_ << QStringLiteral("PBSZ 0") << QStringLiteral("PROT P");
    // Left to the program, the code page may be in the server's features.
    if (profile_.codepage.isEmpty())
        sessionSteps_ << QStringLiteral("FEAT");
    nextSessionStep();
}

void form1::nextSessionStep()
{
    if (sessionSteps_.isEmpty()) {
        openStartFolder();
        return;
    }
    sendLine(sessionSteps_.takeFirst());
}

bool form1::sessionReply(const QString& verb, const QString& code, const QString& reply)
{
    if (!SessionVerbs.contains(verb) || code == QStringLiteral("421"))
        return false;
    if (verb == QStringLiteral("FEAT")) {
        // MLSD's lines say the same on every server, where LIST's differ.
        session_.listsWithMlsd = code == QStringLiteral("211") && lists_feature(reply, u"MLST");
        session_.featAnswered = code == QStringLiteral("211");
        for (const QString& line : reply.split(QStringLiteral("\r\n")))
            if (session_.featAnswered && line.startsWith(u' '))
                session_.features << line.trimmed().toUpper();
        featReply(code, reply);
    }
    nextSessionStep();
    return true;
}

void form1::openStartFolder()
{
    if (Wcount == -1) {
        sendLine(QStringLiteral("CWD ") + サーバーパス);
        Wcount = 0;
        Ucount = -1;
    } else {
        Send_pwd();
    }
}
