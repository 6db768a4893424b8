// The commands whose answer comes over a data connection, by command word.
#pragma once
#include <QString>

inline bool is_listing_command(const QString& verb) { return verb == u"LIST" || verb == u"MLSD"; }
inline bool is_data_command(const QString& verb)
{
    return is_listing_command(verb) || verb == u"RETR" || verb == u"STOR" || verb == u"APPE";
}
