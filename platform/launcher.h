// Opening files in other programs: the text editor, a file's associated
// program, the help page. Tests install a recorder instead.
#pragma once
#include <QString>
#include <QStringList>
#include <functional>

namespace launcher {

enum class Kind { TextEditor, Document, Help };

// Each returns false when the desktop could not be asked to open the file.
// open_text uses the desktop's application for plain text whatever the
// file's name says, so a page or a script is shown as text, not run.
bool open_text(const QString& path);
bool open_document(const QString& path);
bool show_help(const QString& path);

void set_recorder(std::function<void(Kind, const QString& path)> recorder);

// Replaces the start of the outside program (program and arguments, started
// detached) while set; the recorder above, when set, comes first.
void set_process_starter(std::function<bool(const QString& program, const QStringList& args)> starter);

// The command line of a desktop entry's Exec value for one local file: the
// field codes resolved, quoting undone. Empty when the value holds no program.
QStringList desktop_command(const QString& exec, const QString& file, const QString& icon = QString(),
                            const QString& name = QString(), const QString& entryPath = QString());

} // namespace launcher
