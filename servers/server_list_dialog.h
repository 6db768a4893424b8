// The server list manager: picks the registered server to connect to and
// registers, edits or deletes servers.
#pragma once
#include <QDialog>

class QPushButton;
class ListView;
class form1;
class Form5;

class Form4 : public QDialog {
    Q_OBJECT
public:
    explicit Form4(form1* main, QWidget* parent = nullptr);

    // The chosen server entry; its settings section holds the record.
    static inline QString 接続サーバー;
    QString L_server;     // the entry the editor is editing
    qint16 Edit = 0;      // 1 while the editor edits an existing entry

    ListView* ListView1 = nullptr;
    QPushButton *Command1 = nullptr, *Command3 = nullptr, *Command4 = nullptr, *Item_del = nullptr,
                *Command2 = nullptr;

    void Server_load();                 // the list from server.lst
    void showList(const QStringList& names);
    void selectEntry(const QString& name);    // that row current and selected, if listed
    void Command1_Click();              // connect
    void Command3_Click();              // new
    void Command4_Click();              // edit
    void Item_del_Click();              // delete
    Form5* editor();

private:
    bool checkSelection();
    QString selectedName() const;
    form1* main_;
    Form5* editor_ = nullptr;
    quint64 editRequest_ = 0;   // the latest opening of the editor for an entry
};
