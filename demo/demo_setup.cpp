// Registers one FTP server entry in the profile the environment names
// (PALU_FTP_HOME for server.lst, XDG_CONFIG_HOME for the settings), written
// through the same store and list file the program reads, so the entry shows
// in the server list exactly like one made with the entry editor.
//   palu_demo_setup <name> <host> <port> <user> <password> <local folder>
#include <QCoreApplication>
#include <QDir>
#include <cstdio>

#include "platform/drive_view.h"
#include "platform/errors.h"
#include "platform/settings_store.h"
#include "servers/server_list_file.h"
#include "servers/settings_keys.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("PALU_FTP"));
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 7) {
        std::fprintf(stderr, "usage: palu_demo_setup <name> <host> <port> <user> <password> <local folder>\n");
        return 2;
    }
    const QString& name = args.at(1);
    // The entry keeps its local folder as a drive path (c:\tmp\...).
    const QString local = drives::from_native(QDir(args.at(6)).absolutePath());
    if (local.isEmpty()) {
        std::fprintf(stderr, "palu_demo_setup: %s cannot be written as a drive path\n", qPrintable(args.at(6)));
        return 1;
    }
    try {
        if (server_list::read().contains(name)) {
            std::fprintf(stderr, "palu_demo_setup: an entry named %s already exists\n", qPrintable(name));
            return 1;
        }
    } catch (const errors::RunError&) {
        // No server.lst yet: append() creates it.
    }
    settings::save(name, keys::SAdress, args.at(2));
    settings::save(name, keys::PortNo, args.at(3));
    settings::save(name, keys::SUser, args.at(4));
    settings::save(name, keys::SPass, args.at(5));
    settings::save(name, keys::SLocalPath, local);
    settings::save(name, keys::ServerNamePath, QString());
    settings::save(name, keys::RetryCount, keys::RetryCountDefault);
    settings::save(name, keys::RetryInterval, keys::RetryIntervalDefault);
    settings::save(name, keys::AnonyName, keys::FlagDefault);
    settings::save(name, keys::AnonyMail, keys::FlagDefault);
    // A window large enough to show both lists and the log comfortably.
    settings::save(QStringLiteral("Form_Size"), QStringLiteral("Height"), QStringLiteral("9300"));
    settings::save(QStringLiteral("Form_Size"), QStringLiteral("Width"), QStringLiteral("13500"));
    settings::flush();
    try {
        server_list::append(name);
    } catch (const errors::RunError& e) {
        std::fprintf(stderr, "palu_demo_setup: %s\n", e.what());
        return 1;
    }
    std::printf("%s\n", qPrintable(local));
    return 0;
}
