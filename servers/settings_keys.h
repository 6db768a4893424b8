// The names of every section and key the program keeps in the settings
// store, and the built-in values read when a key is absent. Writers and
// readers in different folders meet here, so one spelling serves them all.
#pragma once
#include <QString>

namespace keys {

// ---- options: anonymous mail address and the user@host firewall proxy ----
inline const QString Options = QStringLiteral("OPTIONS");
inline const QString Mail = QStringLiteral("MAIL");                 // default: empty (see PrimaryMail)
inline const QString ProxyServer = QStringLiteral("PROXYSERVER");   // default: empty
inline const QString ProxyPort = QStringLiteral("PROXYPORT");       // default: empty
inline const QString ProxyOn = QStringLiteral("PROXYON");           // "1" on, "0" off; default "0"
inline const QString ProxyOnDefault = QStringLiteral("0");
// The local folder shown at the last exit (a drive path), shown at the next
// start; absent or gone: the user's home folder.
inline const QString LastLocal = QStringLiteral("LAST_LOCAL");
// Data mode of quick connections; the same key names a registered server's
// mode in its record. "1" passive; any other value active, so a record
// saved before the key existed keeps active mode.
inline const QString Pasv = QStringLiteral("PASV");
inline const QString PasvOn = QStringLiteral("1");
inline const QString PasvDefault = QStringLiteral("0");
// Encryption, in the record and (for quick connections) in OPTIONS: "0"
// none, "1" TLS when the server offers it, "2" TLS required. An absent key
// reads as none in a record (as before the choice existed) and as "1" for
// quick connections; a new entry starts at "1".
inline const QString Tls = QStringLiteral("TLS");
inline const QString TlsNone = QStringLiteral("0");
inline const QString TlsIfOffered = QStringLiteral("1");
inline const QString TlsRequired = QStringLiteral("2");
// Code page of the server's names and replies, in the record and in
// OPTIONS: "0" found automatically (also when absent), "UTF-8", "CP932",
// "EUC-JP".
inline const QString Codepage = QStringLiteral("CODEPAGE");
inline const QString CodepageAuto = QStringLiteral("0");

// The mail address sent as the anonymous password when none is set (or the
// one set is blank), and the one the entry editor offers first.
inline const QString PrimaryMail = QStringLiteral("palu_ftp@example.jp");
inline const QString SecondaryMail = QStringLiteral("guest@example.jp");

// ---- quick connect: one section per value, the key named like its section ----
inline const QString QuickHost = QStringLiteral("ホスト名");
inline const QString QuickUser = QStringLiteral("ユーザー名");
inline const QString QuickPass = QStringLiteral("パスワード");
inline const QString QuickHostDefault = QStringLiteral("192.168.0.1");
inline const QString QuickUserDefault = QStringLiteral("anonymous");
inline const QString QuickPassDefault = QStringLiteral("password");   // eight characters

// ---- main window size in twips, written at shutdown ----
inline const QString FormSize = QStringLiteral("Form_Size");
inline const QString Height = QStringLiteral("Height");
inline const QString Width = QStringLiteral("Width");
inline const QString HeightDefault = QStringLiteral("5000");
inline const QString WidthDefault = QStringLiteral("7000");

// ---- batches: keys "1", "2", ... in selection order; default empty ----
inline const QString FileSentaku = QStringLiteral("FILE_SENTAKU");   // queued file names
inline const QString FileSize = QStringLiteral("FILE_SIZE");         // expected download sizes

// ---- the server record: section = the server's display name ----
inline const QString SAdress = QStringLiteral("s_adress");
inline const QString SUser = QStringLiteral("s_user");
// The password of a record kept in the settings file; read and written only
// by the password store (servers/password_store.h).
inline const QString SPass = QStringLiteral("s_pass");
// Where the record's password is: "keyring" in the desktop's Secret Service
// (s_pass then empty); absent (or anything else) in s_pass. Quick connect's
// password carries the same key in its section.
inline const QString PassStore = QStringLiteral("PASS_STORE");
inline const QString PassStoreKeyring = QStringLiteral("keyring");
inline const QString SLocalPath = QStringLiteral("s_local_path");
inline const QString ServerNamePath = QStringLiteral("Server_name_path");
inline const QString PortNo = QStringLiteral("ポートNo");
inline const QString RetryCount = QStringLiteral("リトライ回数");
inline const QString RetryInterval = QStringLiteral("リトライ間隔");
inline const QString AnonyName = QStringLiteral("Anony_Name");
inline const QString AnonyMail = QStringLiteral("Anony_Mail");
// Pasv (above), "1" passive, "0" active; absent reads as PasvDefault.
// Tls and Codepage (above).
// The certificate the user chose to trust always: SHA-256 of its DER bytes
// as 64 lower-case hex digits, with the "host:port" it was presented by in
// TLS_FP_SERVER. It holds for that server only: after the entry's address or
// port changes (or for a fingerprint kept without its server) the question
// is asked again. Deleting the entry forgets it; renaming moves it.
inline const QString TlsFp = QStringLiteral("TLS_FP");
inline const QString TlsFpServer = QStringLiteral("TLS_FP_SERVER");
// ---- certificates trusted for quick connections: key "host:port", value as TLS_FP ----
inline const QString TlsTrust = QStringLiteral("TLS_TRUST");
// Defaults of the record. The editor shows LocalPathDefault for an entry
// without a folder; connection set-up reads an absent folder as empty.
inline const QString LocalPathDefault = QStringLiteral("c:\\");
inline const QString PortNoDefault = QStringLiteral("21");
inline const QString RetryCountDefault = QStringLiteral("1");
inline const QString RetryIntervalDefault = QStringLiteral("10");
inline const QString FlagDefault = QStringLiteral("0");

} // namespace keys
