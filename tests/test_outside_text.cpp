// What a server sends, and file names, are shown exactly as they are: never
// taken for markup, whatever they look like.
#include <QElapsedTimer>
#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <QWindow>

#include "platform/click_label.h"
#include "platform/list_view.h"
#include "platform/outside_text.h"
#include "tests/fake_tree.h"
#include "tests/ftp_fixture.h"
#include "tests/list_helpers.h"

namespace {

// Every label of the window that shows text holds it as plain text.
void expect_plain_wherever_shown(QWidget* window, const QString& text, int atLeast)
{
    int shown = 0;
    for (const QLabel* label : window->findChildren<QLabel*>()) {
        if (!label->text().contains(text))
            continue;
        ++shown;
        EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->text().toStdString();
    }
    EXPECT_GE(shown, atLeast);
}

} // namespace

class OutsideText : public FtpFixture, public ::testing::WithParamInterface<const char*> {};

TEST_P(OutsideText, ServerTextsAndNamesShowAsTheyAreAndTheWindowStaysResponsive)
{
    const QString text = QString::fromUtf8(GetParam());
    // A name cannot hold '/': the listing leaves such lines out.
    const QString name = QString(text).remove(u'/');
    server.setGreeting("220 " + text.toUtf8() + "\r\n");
    FakeTree tree(server, {{QStringLiteral("/"), listing_line('-', 5, name.toUtf8()) +
                                                     listing_line('-', 5, "refused.txt")}});
    tree.files.insert(u'/' + name, "hello");
    tree.fault = [&](FakeFtpServer& s, const QString& line) {
        if (line != QStringLiteral("RETR refused.txt"))
            return false;
        s.replyLine(QStringLiteral("451 ") + text);
        return true;
    };
    server.onCommand(QStringLiteral("PWD"), [&](FakeFtpServer& s, const QString&) {
        s.replyLine(QStringLiteral("257 \"") + text + QStringLiteral("\" is current"));
    });
    connectToFake();
    ASSERT_TRUE(wait_until([&] { return tree.listings() >= 1 && w->ListView1->count() == 2 && !w->busy(); }))
        << server.commands().join(u'|').toStdString();
    EXPECT_TRUE(log().contains(QStringLiteral("220 ") + text)) << log().toStdString();
    EXPECT_TRUE(w->Label1->text().endsWith(text)) << w->Label1->text().toStdString();
    EXPECT_TRUE(list_names(w->ListView1).contains(name));

    // The name is fetched under itself, into the folder.
    select_by_name(w->ListView1, {name});
    w->MDOWN_Click();
    ASSERT_TRUE(wait_until([&] { return tree.retrieved.size() == 1 && !w->busy(); }));
    QFile landed(env.scratch() + u'/' + name);
    ASSERT_TRUE(landed.open(QIODevice::ReadOnly)) << landed.fileName().toStdString();
    EXPECT_EQ(landed.readAll(), QByteArray("hello"));

    // A refusal quoted to the user.
    prompts.expect(QStringLiteral("451 ") + text);
    select_by_name(w->ListView1, {QStringLiteral("refused.txt")});
    w->MDOWN_Click();
    ASSERT_TRUE(wait_until([&] { return prompts.allUsed() && !w->busy(); }));

    expect_plain_wherever_shown(w.get(), text, 1);
    EXPECT_EQ(w->StatusPanel1->textFormat(), Qt::PlainText);
    // Drawing every label comes back at once: none reads a file it names.
    QElapsedTimer drawing;
    drawing.start();
    EXPECT_FALSE(w->grab().isNull());
    EXPECT_LT(drawing.elapsed(), 5000);
}

INSTANTIATE_TEST_SUITE_P(Markup, OutsideText, ::testing::Values("<b>x</b>", "<img src=/dev/zero>", "&#47;"),
                         [](const auto& info) { return std::to_string(info.index); });

// The real boxes, each closed by the test once it is up.
TEST(OutsideTextBoxes, MessageChoiceAndInputBoxesShowTheirTextAndTitleAsTheyAre)
{
    const QString text = QStringLiteral("<img src=/dev/zero> <b>x</b> &#47;");
    const QString title = QStringLiteral("[*] <b>t</b>");
    const std::pair<const char*, std::function<void()>> boxes[] = {
        {"message", [&] { prompts::Msg_box(text, title); }},
        {"choice", [&] { prompts::Choose(text, title, prompts::vbNoIcon, {QStringLiteral("a"), QStringLiteral("b")}, 1); }},
        {"input", [&] { prompts::Input_box(text, title); }},
    };
    ASSERT_FALSE(prompts::scripted());
    for (const auto& [kind, ask] : boxes) {
        SCOPED_TRACE(kind);
        bool seen = false;
        QTimer poll;
        poll.setInterval(10);
        QElapsedTimer waited;
        waited.start();
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!box) {
                EXPECT_LT(waited.elapsed(), 5000) << "the box never showed";
                return;
            }
            poll.stop();
            seen = true;
            expect_plain_wherever_shown(box, text, 1);
            ASSERT_TRUE(box->windowHandle());
            EXPECT_EQ(box->windowHandle()->title(), title);
            box->reject();
        });
        poll.start();
        ask();
        EXPECT_TRUE(seen);
    }
}
