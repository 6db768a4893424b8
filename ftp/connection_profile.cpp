#include "ftp/connection_profile.h"

#include "platform/settings_store.h"
#include "servers/settings_keys.h"

namespace {
ConnectionProfile::Tls tls_of(const QString& value)
{
    if (value == keys::TlsIfOffered)
        return ConnectionProfile::Tls::IfOffered;
    if (value == keys::TlsRequired)
        return ConnectionProfile::Tls::Required;
    return ConnectionProfile::Tls::None;
}

// Any value the choice does not offer reads as automatic, as the box shows it.
QByteArray codepage_of(const QString& value)
{
    for (const char* cp : {"UTF-8", "CP932", "EUC-JP"})
        if (value == QLatin1String(cp))
            return cp;
    return {};
}

ConnectionProfile read(const QString& section, const QString& tlsDefault)
{
    ConnectionProfile p;
    p.passive = settings::get(section, keys::Pasv, keys::PasvDefault) == keys::PasvOn;
    p.tls = tls_of(settings::get(section, keys::Tls, tlsDefault));
    p.codepage = codepage_of(settings::get(section, keys::Codepage, keys::CodepageAuto));
    return p;
}
} // namespace

QString ConnectionProfile::serverOf(const QString& host, int port) { return host + u':' + QString::number(port); }

ConnectionProfile ConnectionProfile::ofEntry(const QString& section, const QString& host, int port)
{
    // A record saved before encryption could be chosen stays unencrypted.
    ConnectionProfile p = read(section, keys::TlsNone);
    p.trustSection = section;
    p.trustKey = keys::TlsFp;
    p.trustServer = serverOf(host, port);
    // A fingerprint kept without its server (written before trust was tied to
    // one) is not used: the address may have been changed since, and taking
    // it for today's would trust a certificate for a server the user never
    // saw it from. The question comes once more and keeps the answer tied.
    if (settings::get(section, keys::TlsFpServer) == p.trustServer)
        p.trustedFingerprint = settings::get(p.trustSection, p.trustKey);
    return p;
}

ConnectionProfile ConnectionProfile::ofQuickConnection(const QString& host, int port)
{
    ConnectionProfile p = read(keys::Options, keys::TlsIfOffered);
    p.trustSection = keys::TlsTrust;
    p.trustKey = serverOf(host, port);
    p.trustedFingerprint = settings::get(p.trustSection, p.trustKey);
    return p;
}

void ConnectionProfile::rememberTrust(const QString& fp)
{
    settings::save(trustSection, trustKey, fp);
    if (!trustServer.isEmpty())
        settings::save(trustSection, keys::TlsFpServer, trustServer);
    trustedFingerprint = fp;
}
