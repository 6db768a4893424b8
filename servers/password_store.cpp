#include "servers/password_store.h"

#include <QHash>
#include <QObject>
#include <QPointer>

#include <qt6keychain/keychain.h>

#include "platform/prompts.h"
#include "platform/settings_store.h"
#include "servers/settings_keys.h"

namespace passwords {

namespace {
using QKeychain::Error;

const QString Service = QStringLiteral("palu_ftp");

// Where one password lives: its section and key in the settings file and its
// item in the keyring.
struct Slot {
    QString section, key, item;
};

Slot entry_slot(const QString& entry) { return {entry, keys::SPass, entry}; }
Slot quick_slot() { return {keys::QuickPass, keys::QuickPass, quick_item()}; }

struct State {
    Store store = Store::SettingsFile;
    bool started = false;
    bool fallbackTold = false;
    std::function<void(const QString&)> log;
    // What the keyring gave or took in this run, so a retry or a second
    // connection does not ask it again.
    QHash<QString, QString> known;
    // The one connection waiting for its password.
    QString waitingEntry;
    QPointer<QObject> waitingContext;
    std::function<void()> again;
    QHash<QString, bool> reading;   // items with a reading under way
};

State& state()
{
    static State s;
    return s;
}

void say(const QString& line)
{
    if (state().log)
        state().log(line);
}

// The keyring cannot be used: passwords stay in the settings file for the
// rest of the run.
void fall_back()
{
    State& s = state();
    s.store = Store::SettingsFile;
    if (!s.fallbackTold) {
        s.fallbackTold = true;
        say(QStringLiteral("パスワードを保存できる鍵束がないため、設定ファイルに保存します。"));
    }
}

bool in_keyring(const Slot& slot) { return settings::get(slot.section, keys::PassStore) == keys::PassStoreKeyring; }

void keep_in_file(const Slot& slot, const QString& password)
{
    settings::save(slot.section, slot.key, password);
    settings::remove(slot.section, keys::PassStore);
    state().known.remove(slot.item);
}

void mark_in_keyring(const Slot& slot, const QString& password)
{
    settings::save(slot.section, slot.key, QString());
    settings::save(slot.section, keys::PassStore, keys::PassStoreKeyring);
    state().known.insert(slot.item, password);
}

template <class Job> Job* job(const QString& item)
{
    auto* j = new Job(Service);
    j->setKey(item);
    return j;   // deletes itself once finished
}

void read_item(const QString& item, const std::function<void(Error, const QString&, const QString&)>& done)
{
    auto* j = job<QKeychain::ReadPasswordJob>(item);
    QObject::connect(j, &QKeychain::Job::finished, j, [j, done] { done(j->error(), j->textData(), j->errorString()); });
    j->start();
}

void write_item(const QString& item, const QString& password, const std::function<void(Error)>& done)
{
    auto* j = job<QKeychain::WritePasswordJob>(item);
    j->setTextData(password);
    QObject::connect(j, &QKeychain::Job::finished, j, [j, done] { done(j->error()); });
    j->start();
}

// Writes the keyring first; only once the password is there does the
// settings file give it up. Refused: it stays in (or goes to) the file.
void move_to_keyring(const Slot& slot, const QString& password, const std::function<void(bool)>& then)
{
    write_item(slot.item, password, [slot, password, then](Error e) {
        if (e == QKeychain::NoError) {
            mark_in_keyring(slot, password);
        } else {
            fall_back();
            keep_in_file(slot, password);
        }
        then(e == QKeychain::NoError);
    });
}

void tell_unreadable(const QString& entry, const QString& why)
{
    prompts::Msg_box(QStringLiteral("サーバー「") + entry + QStringLiteral("」のパスワードを鍵束から読み出せませんでした。\n") + why,
                     QStringLiteral("パスワード"), prompts::vbExclamation);
}

void migrate(QList<Slot> rest, int moved)
{
    while (!rest.isEmpty() && state().store == Store::Keyring) {
        const Slot slot = rest.takeFirst();
        const QString password = settings::get(slot.section, slot.key);
        if (in_keyring(slot) || password.isEmpty())
            continue;
        write_item(slot.item, password, [slot, password, rest, moved](Error e) {
            if (e != QKeychain::NoError) {
                fall_back();
                migrate({}, moved);
                return;
            }
            // Changed while the keyring was writing: the file holds the newer one.
            const bool same = settings::get(slot.section, slot.key) == password && !in_keyring(slot);
            if (same) {
                mark_in_keyring(slot, password);
                settings::commit();
            }
            migrate(rest, moved + (same ? 1 : 0));
        });
        return;
    }
    if (moved > 0)
        say(QStringLiteral("設定ファイルにあったパスワード（") + QString::number(moved) +
            QStringLiteral("件）を鍵束に移しました。"));
}

// Every password still in the settings file: the entries' (a section left
// behind by an old rename included) and quick connect's.
QList<Slot> passwords_in_file()
{
    QList<Slot> found;
    for (const QString& section : settings::sections()) {
        const Slot slot = section == keys::QuickPass ? quick_slot() : entry_slot(section);
        if (!in_keyring(slot) && !settings::get(slot.section, slot.key).isEmpty())
            found << slot;
    }
    return found;
}
} // namespace

Store store() { return state().store; }

QString quick_item() { return keys::QuickPass; }

void start_up(const std::function<void(const QString&)>& log)
{
    State& s = state();
    if (s.started)
        return;
    s.started = true;
    s.log = log;
    s.store = Store::Probing;
    // Reading an item tells whether a Secret Service answers; a locked one
    // that stays locked is found out by the first writing.
    read_item(quick_item(), [](Error e, const QString&, const QString&) {
        if (e != QKeychain::NoError && e != QKeychain::EntryNotFound) {
            fall_back();
            return;
        }
        state().store = Store::Keyring;
        migrate(passwords_in_file(), 0);
    });
}

void read(const QString& entry, QObject* context, const Got& got)
{
    const Slot slot = entry_slot(entry);
    if (!in_keyring(slot)) {
        got(settings::get(slot.section, slot.key));
        return;
    }
    if (state().known.contains(entry)) {
        got(state().known.value(entry));
        return;
    }
    QPointer<QObject> guard(context);
    read_item(entry, [entry, guard, got](Error e, const QString& password, const QString& why) {
        if (e == QKeychain::NoError)
            state().known.insert(entry, password);
        if (!guard)
            return;
        if (e != QKeychain::NoError) {
            tell_unreadable(entry, why);
            got(std::nullopt);
            return;
        }
        got(password);
    });
}

std::optional<QString> at_hand(const QString& entry, QObject* context, const std::function<void()>& again)
{
    State& s = state();
    const Slot slot = entry_slot(entry);
    if (!in_keyring(slot))
        return settings::get(slot.section, slot.key);
    if (s.known.contains(entry))
        return s.known.value(entry);
    s.waitingEntry = entry;
    s.waitingContext = context;
    s.again = again;
    if (s.reading.value(entry))
        return std::nullopt;
    s.reading.insert(entry, true);
    read_item(entry, [entry](Error e, const QString& password, const QString& why) {
        State& s = state();
        s.reading.remove(entry);
        if (e == QKeychain::NoError)
            s.known.insert(entry, password);
        if (!s.again || s.waitingEntry != entry)
            return;
        const std::function<void()> again = std::exchange(s.again, {});
        const QPointer<QObject> context = s.waitingContext;
        s.waitingEntry.clear();
        if (!context)
            return;
        if (e != QKeychain::NoError)
            tell_unreadable(entry, why);
        else
            again();
    });
    return std::nullopt;
}

void stop_waiting()
{
    state().again = {};
    state().waitingEntry.clear();
}

void save(const QString& entry, const QString& password, QObject* context,
          const std::function<void(const QString&)>& done)
{
    const Slot slot = entry_slot(entry);
    // An empty password holds no secret: no reason to bother a keyring that
    // may ask to be unlocked. An item kept earlier under the name goes.
    if (state().store != Store::Keyring || password.isEmpty()) {
        const bool wasInKeyring = in_keyring(slot);
        keep_in_file(slot, password);
        const QString failure = settings::commit();
        if (wasInKeyring && failure.isEmpty())
            forget(entry);
        done(failure);
        return;
    }
    QPointer<QObject> guard(context);
    move_to_keyring(slot, password, [guard, done](bool) {
        const QString failure = settings::commit();
        if (guard)
            done(failure);
    });
}

void forget(const QString& entry)
{
    State& s = state();
    s.known.remove(entry);
    if (s.store == Store::SettingsFile)
        return;
    auto* j = job<QKeychain::DeletePasswordJob>(entry);
    j->start();
}

void read_quick(QObject* context, const Got& got)
{
    const Slot slot = quick_slot();
    if (!in_keyring(slot)) {
        got(settings::get(slot.section, slot.key, keys::QuickPassDefault));
        return;
    }
    if (state().known.contains(slot.item)) {
        got(state().known.value(slot.item));
        return;
    }
    QPointer<QObject> guard(context);
    read_item(slot.item, [slot, guard, got](Error e, const QString& password, const QString&) {
        if (e == QKeychain::NoError)
            state().known.insert(slot.item, password);
        if (guard)
            got(e == QKeychain::NoError ? std::optional<QString>(password) : std::nullopt);
    });
}

void save_quick(const QString& password)
{
    const Slot slot = quick_slot();
    if (state().store != Store::Keyring || password.isEmpty()) {
        keep_in_file(slot, password);
        return;
    }
    move_to_keyring(slot, password, [](bool) { settings::commit(); });
}

} // namespace passwords
