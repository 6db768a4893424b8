// What can be typed in quick connect's address box: a host, host:port,
// [IPv6]:port, a bare IPv6 address, or an ftp:// address with a user,
// password, port and start folder.
#pragma once
#include <QString>

struct QuickAddress {
    QString host;
    int port = 21;
    QString user, password;            // from an ftp:// address; empty otherwise
    bool hasUser = false, hasPassword = false;
    QString startFolder;               // the address's path; empty: the server's own
    QString error;                     // why the text is refused; empty when taken
};

QuickAddress parse_quick_address(const QString& typed);
