// Why a connection attempt failed, in the user's words: the usual causes
// named with the host and port, the system's own text for the rest.
#pragma once
#include <QString>

QString connect_failure_cause(int socketError, const QString& systemText, const QString& host, int port);
