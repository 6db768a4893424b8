// The commands between a successful log-in and the first listing that set
// up the session (protection of the data connections, the code page), each
// answered before the next; then the start folder.
#include "app/form1.h"
#include "platform/winsock.h"

namespace {
// PBSZ and PROT are answered with the rest of the encryption (tlsReply).
const QStringList SessionVerbs{QStringLiteral("FEAT"), QStringLiteral("OPTS")};
}

void form1::startSession()
{
    sessionSteps_.clear();
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
    if (verb == QStringLiteral("FEAT"))
        featReply(code, reply);
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
