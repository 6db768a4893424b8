// Servers that answer "226" at once, before the data connection is made or
// before its data: the listing, the text view and the upload still end only
// once their data are in, in both data modes.
#include "platform/launcher.h"
#include "platform/list_view.h"
#include "servers/settings_keys.h"
#include "tests/fake_tree.h"
#include "tests/ftp_fixture.h"

namespace {

enum class Transfer { Listing, TextView, Upload };
struct Case {
    Transfer transfer;
    FakeTree::Reply at;
    bool passive;
};

class EarlyReply : public FtpFixture, public ::testing::WithParamInterface<Case> {
protected:
    void SetUp() override
    {
        FtpFixture::SetUp();
        tree = std::make_unique<FakeTree>(
            server, QMap<QString, QByteArray>{{"/", listing_line('-', 6, "a.txt") + listing_line('d', 0, "sub")},
                                              {"/sub", listing_line('-', 1, "s1") + listing_line('-', 1, "s2") +
                                                           listing_line('-', 1, "s3")}});
        tree->files.insert(QStringLiteral("/a.txt"), "remote");
        server.scriptPassive();
        record(keys::Pasv, GetParam().passive ? QStringLiteral("1") : QStringLiteral("0"));
        tree->replyAt = [] { return GetParam().at; };
        launcher::set_recorder([this](launcher::Kind, const QString& path) {
            QFile f(path);
            opened << (f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("?"));
        });
    }
    void TearDown() override { launcher::set_recorder({}); }
    void select(ListView* list, const QString& name)
    {
        for (int i = 0; i < list->count(); ++i)
            list->setSelected(i, list->text(i) == name);
    }
    QStringList shown() const
    {
        QStringList out;
        for (int i = 0; i < w->ListView1->count(); ++i)
            out << w->ListView1->text(i);
        return out;
    }

    std::unique_ptr<FakeTree> tree;
    QList<QByteArray> opened;
};

TEST_P(EarlyReply, TheTransferEndsOnlyOnceItsDataAreIn)
{
    QFile local(env.scratch() + QStringLiteral("/u.txt"));
    ASSERT_TRUE(local.open(QIODevice::WriteOnly));
    local.write("uploaded bytes");
    local.close();
    connectToFake();
    // The log-in's own listing answered early.
    ASSERT_TRUE(wait_until([&] { return !w->busy() && w->ListView1->count() == 2; })) << log().toStdString();
    const int listed = tree->listings();
    switch (GetParam().transfer) {
    case Transfer::Listing:
        w->activateList(true);
        for (int i = 0; i < w->ListView1->count(); ++i)
            if (w->ListView1->text(i) == QStringLiteral("sub"))
                w->ListView1->setCurrentRow(i, true);
        w->ListView1_DblClick();
        ASSERT_TRUE(wait_until([&] { return !w->busy() && tree->listings() > listed; }));
        EXPECT_EQ(shown(), (QStringList{"s1", "s2", "s3"})) << log().toStdString();
        EXPECT_EQ(w->サーバーパス, QStringLiteral("/sub"));
        break;
    case Transfer::TextView:
        w->activateList(true);
        select(w->ListView1, QStringLiteral("a.txt"));
        w->Mtextview->trigger();
        ASSERT_TRUE(wait_until([&] { return !w->busy() && !opened.isEmpty(); })) << log().toStdString();
        EXPECT_EQ(opened, QList<QByteArray>{"remote"});
        break;
    case Transfer::Upload:
        select(w->ListView2, QStringLiteral("u.txt"));
        w->Mupload->trigger();
        ASSERT_TRUE(wait_until([&] { return !w->busy() && tree->listings() > listed; })) << log().toStdString();
        EXPECT_EQ(tree->files.value(QStringLiteral("/u.txt")), QByteArray("uploaded bytes"));
        break;
    }
    EXPECT_EQ(prompts.count(), 0);
    EXPECT_FALSE(log().contains(QStringLiteral("応答がありませんでした"))) << log().toStdString();
}

const Case Cases[] = {
    {Transfer::Listing, FakeTree::Reply::BeforeConnect, false}, {Transfer::Listing, FakeTree::Reply::BeforeData, false},
    {Transfer::Listing, FakeTree::Reply::BeforeConnect, true},  {Transfer::Listing, FakeTree::Reply::BeforeData, true},
    {Transfer::TextView, FakeTree::Reply::BeforeConnect, false}, {Transfer::TextView, FakeTree::Reply::BeforeData, false},
    {Transfer::TextView, FakeTree::Reply::BeforeConnect, true},  {Transfer::TextView, FakeTree::Reply::BeforeData, true},
    {Transfer::Upload, FakeTree::Reply::BeforeConnect, false},  {Transfer::Upload, FakeTree::Reply::BeforeData, false},
    {Transfer::Upload, FakeTree::Reply::BeforeConnect, true},   {Transfer::Upload, FakeTree::Reply::BeforeData, true},
};

std::string case_name(const ::testing::TestParamInfo<Case>& info)
{
    static const char* const transfer[] = {"Listing", "TextView", "Upload"};
    return std::string(transfer[int(info.param.transfer)]) +
           (info.param.at == FakeTree::Reply::BeforeConnect ? "_226BeforeConnect" : "_226BeforeData") +
           (info.param.passive ? "_Passive" : "_Active");
}

INSTANTIATE_TEST_SUITE_P(EveryOrder, EarlyReply, ::testing::ValuesIn(Cases), case_name);

// The other order: the data came whole, the reply never does.
class ListingWithoutReply : public FtpFixture {};

TEST_F(ListingWithoutReply, IsShownAfterABoundedWaitAndSaidSo)
{
    server.scriptLogin();
    server.onCommand(QStringLiteral("LIST"), [](FakeFtpServer& s, const QString&) {
        s.reply("150 Here comes the listing.\r\n");
        if (s.connectData())
            s.sendData(listing_line('-', 5, "a.txt"));
    });
    w->downloadEndWaitMs = 300;
    connectToFake();
    ASSERT_TRUE(server.waitForCommand(QStringLiteral("LIST")));
    ASSERT_TRUE(server.waitDataClosed());
    // Still the log-in's: the server has not answered LIST yet.
    EXPECT_TRUE(w->busy());
    ASSERT_TRUE(wait_until([&] { return !w->busy() && w->ListView1->count() == 1; })) << log().toStdString();
    EXPECT_TRUE(log().contains(QStringLiteral("(ｻｰﾊﾞｰから転送完了の応答がありませんでした。)")));
}

} // namespace
