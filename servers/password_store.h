// The passwords of the registered servers and of quick connect: in the
// desktop's keyring (a Secret Service such as GNOME Keyring or KWallet,
// service "palu_ftp", one item per entry named like the entry) when there is
// one, else in the settings file as before. Nothing else reads "s_pass".
//
// The keyring answers asynchronously (it may ask the user to unlock it), so
// every reading and writing here takes a continuation and the window's
// thread never waits. A password is never taken from one place before it is
// in the other.
#pragma once
#include <QString>

#include <functional>
#include <optional>

class QObject;

namespace passwords {

// Where new passwords go for the rest of the run.
enum class Store { SettingsFile, Probing, Keyring };
Store store();

// The item of quick connect: a name no entry can have (it is a section the
// program keeps for itself).
QString quick_item();

// Starts using the keyring, once per run: a first reading tells whether the
// desktop has one; then every password still in the settings file is moved
// into it. Without one (or when writing to it is refused) passwords stay in
// the settings file, and log hears so once. Before this has run, and in
// programs that never run it, passwords are kept in the settings file.
void start_up(const std::function<void(const QString&)>& log);

// The password, or nullopt when it could not be read (the user has been
// told why, except for quick connect).
using Got = std::function<void(std::optional<QString>)>;

// An entry's password. got is called right away when the password is in the
// settings file or was read earlier in this run, else when the keyring
// answers, and not at all once context is gone.
void read(const QString& entry, QObject* context, const Got& got);

// For connecting: the entry's password when it is at hand; otherwise
// nullopt, and again() is called once the keyring has answered with it.
// Only the latest caller waiting is continued.
std::optional<QString> at_hand(const QString& entry, QObject* context, const std::function<void()>& again);
// A connection started otherwise: nobody waits for a password any more.
void stop_waiting();

// Keeps the entry's password and marks in its record where it is, then
// calls done with the reason the settings file could not be written (empty
// when it was). The record's section must exist.
void save(const QString& entry, const QString& password, QObject* context,
          const std::function<void(const QString&)>& done);
// The keyring item of an entry whose record is gone or renamed.
void forget(const QString& entry);

// Quick connect's remembered password ("password" when none was ever kept).
void read_quick(QObject* context, const Got& got);
// Writes to the settings file at once when the keyring is not in use;
// settings::commit() then reports the outcome.
void save_quick(const QString& password);

} // namespace passwords
