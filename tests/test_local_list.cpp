// The local list: what a folder shows, sorting by column, navigation and the
// drive selector.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>

#include "app/form1.h"
#include "listing/size_text.h"
#include "platform/click_label.h"
#include "platform/drive_view.h"
#include "platform/list_view.h"
#include "platform/program_folder.h"
#include "tests/prompt_script.h"
#include "tests/test_support.h"

namespace {

TEST(LocalSizeText, KilobytesOf1000BytesPaddedTo10)
{
    EXPECT_EQ(local_size_text(0), QStringLiteral("         0"));
    EXPECT_EQ(local_size_text(1), QStringLiteral("       1KB"));
    EXPECT_EQ(local_size_text(999), QStringLiteral("       1KB"));
    EXPECT_EQ(local_size_text(1000), QStringLiteral("       1KB"));
    EXPECT_EQ(local_size_text(1999), QStringLiteral("       1KB"));
    EXPECT_EQ(local_size_text(2000), QStringLiteral("       2KB"));
    // Files past 2 GB keep their true size.
    EXPECT_EQ(local_size_text(3'000'000'000LL), QStringLiteral(" 3000000KB"));
    EXPECT_EQ(local_size_text(5'000'000'000'000LL), QStringLiteral("5000000000KB"));
}

void write_file(const QString& path, qint64 size)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_TRUE(f.resize(size));
}

class LocalList : public ::testing::Test {
protected:
    void SetUp() override
    {
        QFile list(program_folder::file(QStringLiteral("server.lst")));
        ASSERT_TRUE(list.open(QIODevice::WriteOnly));
        root = env.scratch();
        QDir d(root);
        ASSERT_TRUE(d.mkpath(QStringLiteral("work/inner")));
        ASSERT_TRUE(d.mkpath(QStringLiteral("Apps")));
        ASSERT_TRUE(d.mkpath(QStringLiteral(".hidden_dir")));
        write_file(root + QStringLiteral("/b.txt"), 1999);
        write_file(root + QStringLiteral("/A.bin"), 0);
        write_file(root + QStringLiteral("/c.iso"), 3'000'000'000LL);   // sparse
        write_file(root + QStringLiteral("/.profile"), 10);
        write_file(root + QStringLiteral("/ro.txt"), 5);
        QFile::setPermissions(root + QStringLiteral("/ro.txt"), QFile::ReadOwner);
        w = std::make_unique<form1>();
        w->Form_Load();
        w->show();
    }
    // Opens the scratch folder the way a user would reach it.
    void openScratch()
    {
        const QString drivePath = drives::from_native(root);
        ASSERT_TRUE(drivePath.startsWith(QStringLiteral("c:\\")));
        w->現在のローカルパス = drivePath.mid(2);
        w->Local_list();
    }
    QStringList names(ListView* l) const
    {
        QStringList out;
        for (int i = 0; i < l->count(); ++i)
            out << l->text(i);
        return out;
    }
    TestEnv env;
    PromptScript prompts;
    QString root;
    std::unique_ptr<form1> w;
};

TEST_F(LocalList, FoldersFirstThenFilesHiddenLeftOut)
{
    openScratch();
    EXPECT_EQ(names(w->ListView2), (QStringList{"Apps", "work", "A.bin", "b.txt", "c.iso", "ro.txt"}));
    ListView* l = w->ListView2;
    EXPECT_EQ(l->subItem(0, 1), QString());
    EXPECT_EQ(l->subItem(0, 3), QStringLiteral("0"));
    EXPECT_EQ(l->smallIcon(0), 1);
    EXPECT_EQ(l->subItem(2, 1), QStringLiteral("         0"));
    EXPECT_EQ(l->subItem(3, 1), QStringLiteral("       1KB"));
    EXPECT_EQ(l->subItem(4, 1), QStringLiteral(" 3000000KB"));
    EXPECT_EQ(l->subItem(4, 3), QStringLiteral("1"));
    EXPECT_EQ(l->smallIcon(4), 2);
    // The date sorts as text: year first.
    EXPECT_TRUE(QDateTime::fromString(l->subItem(3, 2), QStringLiteral("yyyy/MM/dd HH:mm:ss")).isValid());
    // The first entry is current but not selected.
    EXPECT_EQ(l->currentRow(), 0);
    EXPECT_TRUE(l->selectedRows().isEmpty());
    EXPECT_EQ(w->Local_Dir, drives::from_native(root) + QStringLiteral("\\"));
    EXPECT_EQ(w->Label4->text(), QStringLiteral("ﾛｰｶﾙﾊﾟｽ:") + w->Local_Dir);
    EXPECT_TRUE(w->Command2->isEnabled());
}

TEST_F(LocalList, EmptyFolderAndTheRoot)
{
    root += QStringLiteral("/Apps");
    openScratch();
    EXPECT_EQ(w->ListView2->count(), 0);
    w->現在のローカルパス.clear();
    w->Local_list();
    EXPECT_EQ(w->Local_Dir, w->currentDrive() + QStringLiteral("\\"));
    EXPECT_FALSE(w->Command2->isEnabled());
    EXPECT_FALSE(names(w->ListView2).contains(QStringLiteral("..")));
    EXPECT_FALSE(names(w->ListView2).contains(QStringLiteral(".")));
}

TEST_F(LocalList, NamesWithABackslashAreLeftOut)
{
    write_file(root + QStringLiteral("/a\\b.txt"), 1);
    openScratch();
    EXPECT_FALSE(names(w->ListView2).contains(QStringLiteral("a\\b.txt")));
    EXPECT_TRUE(names(w->ListView2).contains(QStringLiteral("b.txt")));
}

TEST_F(LocalList, NameHeaderTogglesDirectionAndKeepsFoldersGrouped)
{
    openScratch();
    w->sortByHeader(w->ListView2, 0);
    // Descending also turns the kind order round: files come first.
    EXPECT_EQ(names(w->ListView2), (QStringList{"ro.txt", "c.iso", "b.txt", "A.bin", "work", "Apps"}));
    EXPECT_EQ(w->colum_click, 1);
    w->sortByHeader(w->ListView2, 0);
    EXPECT_EQ(names(w->ListView2), (QStringList{"Apps", "work", "A.bin", "b.txt", "c.iso", "ro.txt"}));
    EXPECT_EQ(w->colum_click, 0);
}

TEST_F(LocalList, SizeAndDateHeadersAndTheToggleSharedWithTheRemoteList)
{
    openScratch();
    // Size order with the toggle at 0: folders (blank size) first, then by value.
    w->sortByHeader(w->ListView2, 1);
    EXPECT_EQ(names(w->ListView2), (QStringList{"Apps", "work", "A.bin", "b.txt", "ro.txt", "c.iso"}));
    EXPECT_EQ(w->colum_click, 1);
    // A header click in the remote list now takes the "back to names" branch.
    ListView* r = w->ListView1;
    r->addItem(QStringLiteral("z"), 2, {QStringLiteral("     1KB"), QString(), QStringLiteral("1"), QString()});
    r->addItem(QStringLiteral("a"), 2, {QStringLiteral("     9KB"), QString(), QStringLiteral("1"), QString()});
    r->addItem(QStringLiteral("dir"), 1, {QString(), QString(), QStringLiteral("0"), QString()});
    w->sortByHeader(r, 1);
    EXPECT_EQ(names(r), (QStringList{"dir", "a", "z"}));
    EXPECT_EQ(w->colum_click, 0);
    // Attribute and hidden headers do nothing.
    w->sortByHeader(r, 4);
    w->sortByHeader(r, 3);
    EXPECT_EQ(w->colum_click, 0);
    EXPECT_EQ(names(r), (QStringList{"dir", "a", "z"}));
}

TEST_F(LocalList, NavigateDownAndUpToTheRoot)
{
    openScratch();
    const QString start = w->現在のローカルパス;
    const int work = int(names(w->ListView2).indexOf(QStringLiteral("work")));
    w->ListView2->setCurrentRow(work, true);
    w->ListView2_DblClick();
    EXPECT_EQ(w->現在のローカルパス, start + QStringLiteral("\\work"));
    EXPECT_EQ(names(w->ListView2), QStringList{"inner"});
    // A double-click on a file does nothing.
    w->ListView2->setCurrentRow(0, true);
    w->ListView2_DblClick();   // "inner" is a folder: enter it
    EXPECT_EQ(names(w->ListView2), QStringList());
    w->ListView2_DblClick();   // empty list: nothing happens
    EXPECT_TRUE(w->現在のローカルパス.endsWith(QStringLiteral("\\work\\inner")));
    w->Command2_Click();
    w->Command2_Click();
    EXPECT_EQ(w->現在のローカルパス, start);
    const int file = int(names(w->ListView2).indexOf(QStringLiteral("b.txt")));
    w->ListView2->setCurrentRow(file, true);
    w->ListView2_DblClick();
    EXPECT_EQ(w->現在のローカルパス, start);
    for (int i = 0; i < 64 && w->Command2->isEnabled(); ++i)
        w->Command2_Click();
    EXPECT_TRUE(w->現在のローカルパス.isEmpty());
    EXPECT_FALSE(w->Command2->isEnabled());
}

TEST_F(LocalList, UnreadableFolderFallsBackWithAMessage)
{
    w->現在のローカルパス = drives::from_native(root).mid(2) + QStringLiteral("\\gone");
    prompts.expect(QStringLiteral("指定されフォルダーが読めません"));
    w->Local_list();
    EXPECT_TRUE(prompts.allUsed());
    EXPECT_EQ(prompts.seen().at(0).icon, prompts::vbCritical);
    // The program folder's drive is c:, so its root is listed.
    EXPECT_TRUE(w->現在のローカルパス.isEmpty());
    EXPECT_EQ(w->Local_Dir, QStringLiteral("c:\\"));
    EXPECT_GT(w->ListView2->count(), 0);
}

TEST_F(LocalList, ActivatingAListMarksItAndDeselectsTheOther)
{
    openScratch();
    w->ListView1->addItem(QStringLiteral("r"), 2, {QStringLiteral("     1KB"), QString(), QStringLiteral("1")});
    w->ListView1->setCurrentRow(0, true);
    w->Label4->clicked();
    EXPECT_EQ(w->Select_view, 0);
    EXPECT_FALSE(w->ListView1->isSelected(0));
    EXPECT_TRUE(w->mlist[0]->isChecked());
    w->ListView2->setCurrentRow(1, true);
    w->Label1->clicked();
    EXPECT_EQ(w->Select_view, 1);
    EXPECT_EQ(w->Label1->backColor(), QColor(255, 255, 128));
    EXPECT_EQ(w->Label4->backColor(), QColor(255, 255, 255));
    EXPECT_TRUE(w->mlist[1]->isChecked());
    EXPECT_FALSE(w->mlist[0]->isChecked());
    EXPECT_FALSE(w->ListView2->isSelected(1));
}

TEST_F(LocalList, ViewMenuSwitchesOnlyTheActiveList)
{
    openScratch();
    w->Mview[1]->trigger();
    EXPECT_EQ(w->ListView2->view(), 2);
    EXPECT_EQ(w->ListView1->view(), 3);
    EXPECT_TRUE(w->Mview[1]->isChecked());
    EXPECT_FALSE(w->Mview[0]->isChecked());
    // Clicking the checked item swaps the marks too.
    w->Mview[1]->trigger();
    EXPECT_EQ(w->ListView2->view(), 3);
    EXPECT_TRUE(w->Mview[0]->isChecked());
    EXPECT_FALSE(w->Mview[1]->isChecked());
}

class Drives : public LocalList {};

TEST_F(Drives, DriveChangeListsTheNewRootUnlessTheProgramCausedIt)
{
    const QString second = env.scratch() + QStringLiteral("/mnt_usb");
    ASSERT_TRUE(QDir().mkpath(second + QStringLiteral("/photos")));
    drives::set_mount_table_override("nas:/export " + second.toUtf8() + " nfs4 rw 0 0\n");
    w->fillDriveList();
    ASSERT_EQ(w->Drive1->count(), 2);
    openScratch();
    w->Drive1->setCurrentIndex(1);
    EXPECT_TRUE(w->現在のローカルパス.isEmpty());
    EXPECT_EQ(w->Local_Dir, QStringLiteral("d:\\"));
    EXPECT_EQ(names(w->ListView2), QStringList{"photos"});

    // Set by the program: the change is ignored once, then honoured.
    w->Q_mode = -1;
    w->現在のローカルパス = QStringLiteral("\\photos");
    w->Drive1->setCurrentIndex(0);
    EXPECT_EQ(w->Q_mode, 0);
    EXPECT_EQ(w->現在のローカルパス, QStringLiteral("\\photos"));
    // Selecting the drive already shown raises no change.
    EXPECT_FALSE(w->selectDrive(QStringLiteral("C:")));
    EXPECT_TRUE(w->selectDrive(QStringLiteral("D:")));
    drives::clear_mount_table_override();
}

} // namespace
