// What this connection and its server have settled between them: whether
// and how far it is encrypted, and how its folders are listed. Each new
// connection starts from a fresh one.
#pragma once
#include <QStringList>

struct SessionState {
    bool tlsStarting = false;       // "234" came; the handshake runs
    bool tlsAccepted = false;       // "234" came: nothing more goes out in clear
    bool certificateAsked = false;  // the certificate question is open; the log-in waits for it
    bool dataProtected = false;     // "PROT P" accepted: data connections are TLS clients
    bool clearAgreed = false;       // it goes on without the TLS its profile asks for
    bool listsWithMlsd = false;     // FEAT listed MLST: folders are listed with MLSD, not LIST
    bool featAnswered = false;      // FEAT was asked and answered "211"
    QStringList features;           // its feature lines, trimmed, upper case ("REST STREAM", "MDTM")

    // Whether FEAT listed the feature (a line that is it, or starts with it and a space).
    bool lists(const QString& feature) const
    {
        for (const QString& f : features)
            if (f == feature || f.startsWith(feature + u' '))
                return true;
        return false;
    }
    // A restart may be tried: FEAT listed it, or the server was never asked.
    bool mayRestart() const { return !featAnswered || lists(QStringLiteral("REST STREAM")); }
};
