#include "platform/launcher.h"

#include <QProcess>

namespace launcher {

namespace {
std::function<void(Kind, const QString&)>& recorder()
{
    static std::function<void(Kind, const QString&)> r;
    return r;
}

bool start(Kind kind, const QString& path)
{
    if (recorder()) {
        recorder()(kind, path);
        return true;
    }
    // xdg-open picks the user's own editor, viewer or browser for the file.
    return QProcess::startDetached(QStringLiteral("xdg-open"), {path});
}
} // namespace

bool open_text(const QString& path) { return start(Kind::TextEditor, path); }
bool open_document(const QString& path) { return start(Kind::Document, path); }
bool show_help(const QString& path) { return start(Kind::Help, path); }

void set_recorder(std::function<void(Kind, const QString&)> r) { recorder() = std::move(r); }

} // namespace launcher
