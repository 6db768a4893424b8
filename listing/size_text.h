// Size texts of the two file lists: whole kilobytes of 1000 bytes, padded
// with leading spaces so that the size column also sorts as text.
#pragma once
#include <QString>

QString local_size_text(qint64 bytes);   // "0" for an empty file, 10 wide
