// Opening files in other programs: the text editor, a file's associated
// program, the help page. Tests install a recorder instead.
#pragma once
#include <QString>
#include <functional>

namespace launcher {

enum class Kind { TextEditor, Document, Help };

// Each returns false when the desktop could not be asked to open the file.
bool open_text(const QString& path);
bool open_document(const QString& path);
bool show_help(const QString& path);

void set_recorder(std::function<void(Kind, const QString& path)> recorder);

} // namespace launcher
