// The data connection's address as the commands and replies write it:
// PORT and EPRT out, "227" and "229" in. Plain functions, no sockets.
#pragma once
#include <QString>
#include <optional>

namespace data_address {

struct Target {
    QString host;   // dotted IPv4 from a "227"; empty from a "229" (the control peer's)
    int port = 0;   // 1 to 65535
};

// "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)", with or without the
// parentheses and with blanks after the commas; nullopt when six numbers
// of 0 to 255 are not there or the port is 0.
std::optional<Target> parse_227(const QString& reply);
// "229 Entering Extended Passive Mode (|||port|)"; any one delimiter.
std::optional<Target> parse_229(const QString& reply);
// "EPRT |2|address|port|" CR LF for an IPv6 address (|1| for IPv4); empty
// when the address is not one.
QString eprt_line(const QString& address, int port);

} // namespace data_address
