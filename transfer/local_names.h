// Whether a name from the server can be used as a file name in the current
// local folder: nothing may be written anywhere else.
#pragma once
#include <QString>

bool is_plain_local_name(const QString& name);
