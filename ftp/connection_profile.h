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
    QString trustServer;   // an entry's "host:port" the fingerprint is kept for; empty for quick connections

    // host and port are the ones connected to: a fingerprint trusted for
    // another server is not used.
    static ConnectionProfile ofEntry(const QString& section, const QString& host, int port);
    static ConnectionProfile ofQuickConnection(const QString& host, int port);
    static QString serverOf(const QString& host, int port);
    // Keeps fp as the certificate always trusted for this server.
    void rememberTrust(const QString& fp);
};
