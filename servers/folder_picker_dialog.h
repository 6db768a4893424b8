// The local folder picker of the server entry editor: a drive list and a
// folder list over the drive-letter view. What it hands back is the folder
// list's current folder, never a folder that is merely highlighted.
#pragma once
#include <QChar>
#include <QDialog>
#include <QString>
#include <QStringList>

class QComboBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace folder_picker {

// Names of the folders directly inside a native folder, sorted ignoring
// case. Hidden (dot) folders and names holding '\' (which a drive path
// cannot express) are left out. *readable is false when the folder cannot
// be listed at all.
QStringList subfolders(const QString& native, bool* readable = nullptr);
// Whether a drive path names a folder the picker can open and list.
bool can_open(const QString& drive_path);
// "c:\a\b" -> {"c:\", "c:\a", "c:\a\b"}.
QStringList chain(const QString& drive_path);
// "c:\" + "x" -> "c:\x"; "c:\a" + "x" -> "c:\a\x".
QString join(const QString& drive_path, const QString& name);
// A drive's current folder: the working folder when it lies on that drive,
// else the drive's root ("d:\").
QString drive_current_folder(QChar letter);
// The current drive: the one holding the working folder, else c.
QChar current_drive();

} // namespace folder_picker

class Form10 : public QDialog {
    Q_OBJECT
public:
    // target receives the picked folder on confirm.
    explicit Form10(QLineEdit* target, QWidget* parent = nullptr);

    QComboBox* Drive1 = nullptr;
    QTreeWidget* Dir1 = nullptr;
    QPushButton *Command1 = nullptr, *Command2 = nullptr;   // pick, cancel

    // The folder list's current folder as a drive path ("c:\", "c:\ftp").
    QString path() const { return path_; }
    // Makes drive_path the current folder; false (and nothing changes) when
    // it cannot be opened.
    bool setPath(const QString& drive_path);
    void Drive1_Change();
    // Opens the highlighted folder of the list (double-click, Enter).
    void Dir1_Open();
    void Command1_Click();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fillDrives();
    void showDriveOf(const QString& drive_path);
    void fillList();
    void openFolder(const QString& drive_path);
    QLineEdit* target_;
    QString path_;
};
