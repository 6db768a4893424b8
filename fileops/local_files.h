// File-system steps of the local file operations, on native paths. None of
// them follows a symbolic link: a link is deleted or renamed as itself.
#pragma once
#include <QList>
#include <QString>

namespace local_files {

// Something that could not be done, and why (empty when the system gave no
// reason).
struct Failure {
    QString path;
    QString reason;
};

// A name the user typed for a new entry: not empty, no '\' (the drive view
// cannot express it) and no '/' (it would reach into another folder).
bool is_plain_name(const QString& name);

// An entry of any kind exists at path, a dangling link included.
bool entry_exists(const QString& path);

// Read-only: a file (not a link) whose owner lacks write permission.
bool is_read_only(const QString& path);
// Gives the owner write permission back; false when that was refused.
bool clear_read_only(const QString& path);

// Deletes a file or a link (never a folder). Empty reason on success.
bool remove_file(const QString& path, QString* reason);

enum class MakeResult { Made, Exists, Failed };
MakeResult make_folder(const QString& path);

enum class RenameResult { Renamed, TargetExists, Failed };
// Renames from to to; an existing entry at to is never replaced. A new name
// that leads to the entry itself (another letter case on a file system that
// ignores case) is not another entry: the rename goes ahead.
RenameResult rename_entry(const QString& from, const QString& to, QString* reason);

// Removes the folder at path with everything below it, at any depth. Links
// inside are removed as links; what they point to is left alone. A link at
// path itself is removed as a link. Every folder is entered by a handle
// opened from its parent's handle without following links, so a folder
// swapped for a link meanwhile is removed as that link and nothing outside
// the folder is ever reached. Folders are made writable by their owner first
// so that read-only folders go too. Returns what could not be removed
// (a folder that still holds such an entry is not listed again).
QList<Failure> remove_tree(const QString& path);

// The files at any depth below the folder at path (links counted as files,
// never followed).
int count_files(const QString& path);

// Moves the entry at path to the desktop's Trash, as itself (a link as a
// link). False, with the reason, where no Trash can take it (another file
// system without a trash folder, no permission).
bool move_to_trash(const QString& path, QString* reason);

// "header\npath (reason)\n..." with at most limit entries and the number of
// the ones left out.
QString failure_text(const QString& header, const QList<Failure>& failures, int limit = 20);

} // namespace local_files
