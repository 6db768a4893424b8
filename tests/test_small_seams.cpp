// The small seams: error traps, screen units, the gothic font, the launcher,
// the clock and modal windows under a script.
#include <gtest/gtest.h>

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QFontInfo>
#include <QFontMetrics>
#include <stdexcept>

#include "platform/app_clock.h"
#include "platform/errors.h"
#include "platform/launcher.h"
#include "platform/prompts.h"
#include "platform/screen_units.h"
#include "tests/prompt_script.h"

namespace {

TEST(ErrorTraps, InputFailuresReportAndGoOnProgramFaultsEnd)
{
    PromptScript prompts;
    int ended = -1;
    errors::set_end_hook([&](int code) { ended = code; });
    prompts.expect(QStringLiteral("ファイルが見つかりません。\n/tmp/none"));
    EXPECT_FALSE(errors::trap(QStringLiteral("読み込みエラー"), [] {
        errors::raise(errors::FileNotFound, QStringLiteral("/tmp/none"));
    }));
    EXPECT_EQ(ended, -1);
    EXPECT_EQ(prompts.seen().at(0).title, QStringLiteral("読み込みエラー"));
    EXPECT_EQ(prompts.seen().at(0).icon, prompts::vbExclamation);

    prompts.expect(QStringLiteral("51のエラーが発生しました。終了します。"));
    EXPECT_FALSE(errors::trap(QStringLiteral("Form_Loadエラー"), [] { throw std::logic_error("bug"); }));
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(prompts.seen().at(1).icon, prompts::vbCritical);
    EXPECT_TRUE(errors::trap(QStringLiteral("x"), [] {}));
    errors::set_end_hook({});
    EXPECT_EQ(errors::fatal_text(6), QStringLiteral("6のエラーが発生しました。終了します。"));
}

TEST(ScreenUnits, TwipsAndPixelsRoundTrip)
{
    const double tpp = screen_units::twips_per_pixel();
    ASSERT_GT(tpp, 0);
    EXPECT_EQ(screen_units::to_px(1440), qRound(1440 / tpp));   // one inch
    for (int px : {0, 1, 7, 466, 1920})
        EXPECT_EQ(screen_units::to_px(screen_units::to_twips(px)), px);
}

TEST(GothicFont, JapaneseTextHasGlyphs)
{
    const QFont font = gothic_font(9);
    EXPECT_EQ(font.families().value(0), QStringLiteral("ＭＳ ゴシック"));
    const QFontMetrics metrics(font);
    for (char32_t c : {U'日', U'ｻ', U'ー', U'接', U'　'})
        EXPECT_TRUE(metrics.inFontUcs4(c)) << QFontInfo(font).family().toStdString() << " lacks U+"
                                           << std::hex << unsigned(c);
}

TEST(Launcher, RecorderSeesEveryKind)
{
    QList<QPair<launcher::Kind, QString>> seen;
    launcher::set_recorder([&](launcher::Kind k, const QString& p) { seen.append({k, p}); });
    launcher::open_text(QStringLiteral("/a b/text.txt"));
    launcher::open_document(QStringLiteral("/x.pdf"));
    launcher::show_help(QStringLiteral("/h.html"));
    launcher::set_recorder({});
    ASSERT_EQ(seen.size(), 3);
    EXPECT_EQ(seen.at(0).first, launcher::Kind::TextEditor);
    EXPECT_EQ(seen.at(0).second, QStringLiteral("/a b/text.txt"));
    EXPECT_EQ(seen.at(1).first, launcher::Kind::Document);
    EXPECT_EQ(seen.at(2).first, launcher::Kind::Help);
}

// Environment variables set (or, with a null value, removed) for one scope.
class ScopedEnv {
public:
    explicit ScopedEnv(const QList<QPair<const char*, QByteArray>>& vars)
    {
        for (const auto& [name, value] : vars) {
            saved_.append({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
            if (value.isNull())
                qunsetenv(name);
            else
                qputenv(name, value);
        }
    }
    ~ScopedEnv()
    {
        for (const Saved& s : saved_) {
            if (s.wasSet)
                qputenv(s.name, s.value);
            else
                qunsetenv(s.name);
        }
    }

private:
    struct Saved {
        const char* name;
        QByteArray value;
        bool wasSet;
    };
    QList<Saved> saved_;
};

void write_text(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
}

TEST(Launcher, TextViewUsesTheDesktopsTextEditorWhateverTheFileIsCalled)
{
    // A desktop whose application for plain text is a test editor.
    QTemporaryDir data, config;
    const QByteArray none;
    ScopedEnv env({{"XDG_DATA_HOME", data.path().toLocal8Bit()}, {"XDG_DATA_DIRS", data.path().toLocal8Bit()},
                   {"XDG_CONFIG_HOME", config.path().toLocal8Bit()}, {"XDG_CONFIG_DIRS", config.path().toLocal8Bit()},
                   {"XDG_CURRENT_DESKTOP", none}, {"DESKTOP_SESSION", none}, {"KDE_FULL_SESSION", none},
                   {"GNOME_DESKTOP_SESSION_ID", none}, {"DISPLAY", none}});
    // The desktop only names an editor that is installed.
    const QString editor = data.path() + QStringLiteral("/bin/test-editor");
    write_text(editor, "#!/bin/sh\n");
    ASSERT_TRUE(QFile::setPermissions(editor, QFile::ReadOwner | QFile::ExeOwner));
    write_text(data.path() + QStringLiteral("/applications/palu-test-editor.desktop"),
               "[Desktop Entry]\nType=Application\nName=Test Editor\nExec=" + editor.toUtf8() +
                   " --new-window %F\n");
    write_text(config.path() + QStringLiteral("/mimeapps.list"),
               "[Default Applications]\ntext/plain=palu-test-editor.desktop\n");
    QList<QPair<QString, QStringList>> started;
    launcher::set_process_starter([&](const QString& program, const QStringList& args) {
        started.append({program, args});
        return true;
    });
    const QString page = QStringLiteral("/srv/my site/index.html");
    EXPECT_TRUE(launcher::open_text(page));
    EXPECT_TRUE(launcher::open_document(page));
    launcher::set_process_starter({});
    ASSERT_EQ(started.size(), 2);
    EXPECT_EQ(started.at(0).first, editor);
    EXPECT_EQ(started.at(0).second, (QStringList{QStringLiteral("--new-window"), page}));
    // Opening keeps the file's own program.
    EXPECT_EQ(started.at(1).first, QStringLiteral("xdg-open"));
}

TEST(Launcher, DesktopEntryCommandLines)
{
    const QString f = QStringLiteral("/a b/c.txt");
    const struct {
        const char* exec;
        QStringList want;
    } cases[] = {
        {R"("/opt/My Editor/ed" %f)", {"/opt/My Editor/ed", f}},
        {"vim", {"vim", f}},
        {"kate -b %U %i %c %%", {"kate", "-b", f, "--icon", "kate", "Kate", "%"}},
        {R"(sh -c "exec ed \\"\\$1\\"" %F)", {"sh", "-c", R"(exec ed "$1")", f}},
        {"", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(launcher::desktop_command(QString::fromUtf8(c.exec), f, QStringLiteral("kate"), QStringLiteral("Kate")),
                  c.want) << c.exec;
}

TEST(AppClock, FixedTimeAndBackToTheRealOne)
{
    const QDateTime fixed(QDate(1998, 1, 4), QTime(10, 0));
    app_clock::set_fixed(fixed);
    EXPECT_EQ(app_clock::now(), fixed);
    EXPECT_EQ(app_clock::today(), QDate(1998, 1, 4));
    app_clock::clear_fixed();
    EXPECT_GE(app_clock::today().year(), 2024);
}

TEST(AppClock, TimeZoneIsPinnedOnlyWhenUnset)
{
    const QByteArray before = qgetenv("TZ");
    const bool wasSet = qEnvironmentVariableIsSet("TZ");
    qunsetenv("TZ");
    app_clock::pin_time_zone();
    EXPECT_EQ(qgetenv("TZ"), QByteArray(":/etc/localtime"));
    // Empty means UTC and a named zone is the user's choice: both are kept.
    for (const QByteArray& chosen : {QByteArray(""), QByteArray("Asia/Tokyo")}) {
        qputenv("TZ", chosen);
        app_clock::pin_time_zone();
        EXPECT_EQ(qgetenv("TZ"), chosen);
        EXPECT_TRUE(qEnvironmentVariableIsSet("TZ"));
    }
    if (wasSet)
        qputenv("TZ", before);
    else
        qunsetenv("TZ");
}

TEST(ModalWindows, ShownWithoutBlockingUnderAScript)
{
    PromptScript prompts;
    QDialog dialog;
    prompts::show_modal(&dialog);   // would block in exec() without the script
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(dialog.isModal());
    prompts.expect(QStringLiteral("名前"), prompts::vbOK, QStringLiteral("typed"));
    EXPECT_EQ(prompts::Input_box(QStringLiteral("名前を入力"), QStringLiteral("入力"), QStringLiteral("d")),
              QStringLiteral("typed"));
    EXPECT_EQ(prompts.seen().at(0).defaultText, QStringLiteral("d"));
}

} // namespace
