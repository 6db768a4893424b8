// Small pure pieces of the control conversation: the PORT line and the path
// of a "257" reply.
#pragma once
#include <QString>
#include <optional>

// "PORT a,b,c,d,H,L" and CR LF for a dotted IPv4 address and a port; empty
// when the address is not four dotted numbers of plain digits up to 255 or
// the port is out of range.
QString port_line(const QString& ipv4, int port);

// The path between the first double quote and the next single one; a
// doubled quote inside stands for one quote. Empty when there is no opening
// quote or no closing one on the same line.
std::optional<QString> path_of_257(const QString& reply);

// A reply's first line, bounded, for a message box.
QString first_line(const QString& reply);
