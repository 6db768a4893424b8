// What a connection was opened with beyond host, user and port: the data
// mode, the encryption, the code page of the server and the certificate the
// user trusts. Read once when the connection is opened; the rest of the
// program reads it from here, never from the store.
#pragma once
#include <QByteArray>
#include <QString>

struct ConnectionProfile {
    enum class Tls { None, IfOffered, Required };
    bool passive = false;
    Tls tls = Tls::None;
    QByteArray codepage;           // "UTF-8", "CP932" or "EUC-JP"; empty: found automatically
    QString trustedFingerprint;    // SHA-256 of the trusted certificate, lower-case hex; may be empty
    QString trustSection, trustKey;  // where "always trust" keeps the fingerprint

    static ConnectionProfile ofEntry(const QString& section);
    static ConnectionProfile ofQuickConnection(const QString& host, int port);
};
