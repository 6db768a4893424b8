// What kind of drive a letter names, as the drive list's status text says it.
#pragma once
#include <QString>

// The text for the drive of letter's first character.
QString Drive_kind(const QString& letter);
// The text for a drive-type number (0 unknown .. 6 RAM disk); empty for others.
QString drive_kind_text(int type);
