// The firewall proxy as the options dialog stores it, checked before a
// connection goes through it.
#pragma once
#include <QString>

namespace proxy_options {

struct Proxy {
    QString host;      // as stored
    int port = 0;      // 1 to 65535 when problem is empty
    QString problem;   // what is wrong, in the options dialog's words; empty when usable
};

// Reads "PROXYSERVER" and "PROXYPORT" of the options.
Proxy read();

} // namespace proxy_options
