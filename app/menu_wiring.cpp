// The toolbar, the menu bar and the two list popups, each item to its
// command. (The list selectors, the view modes and the listing-file item are
// wired with the lists; the delete, folder, rename and text-view items with
// the file operations.)
#include <QAction>
#include <QToolBar>

#include "app/form1.h"
#include "platform/errors.h"

void form1::wireShellAndMenus()
{
    if (shellWired_)
        return;   // twice would run every command twice
    shellWired_ = true;

    QObject::connect(Toolbar1, &QToolBar::actionTriggered, this, &form1::Toolbar1_ButtonClick);

    const auto on = [this](QAction* item, void (form1::*handler)()) {
        QObject::connect(item, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    };
    on(Mconect1, &form1::Mconect1_Click);
    on(connect, &form1::connect_Click);
    on(Mserver_list, &form1::Mserver_list_Click);
    on(Mabore, &form1::Mabore_Click);
    on(disconnect, &form1::disconnect_Click);
    on(Mend, &form1::Mend_Click);
    on(MDOWN, &form1::MDOWN_Click);
    on(Mupload, &form1::Mupload_Click);
    on(Mnew, &form1::Mnew_Click);
    on(Msend, &form1::Msend_Click);
    on(Moption, &form1::Moption_Click);
    on(Msetumei, &form1::Msetumei_Click);
    on(Mabout, &form1::Mabout_Click);
    on(Mup, &form1::Mupload_Click);
    on(M_shell, &form1::M_shell_Click);
    on(MDOWN2, &form1::MDOWN_Click);
}

void form1::Toolbar1_ButtonClick(QAction* button)
{
    errors::trap(QStringLiteral("エラー"), [this, button] {
        if (!button || button->isSeparator())
            return;
        const QString caption = button->text();
        if (caption == QStringLiteral("接続"))
            Mconect1_Click();
        else if (caption == QStringLiteral("切断"))
            Send_quit();
        else if (caption == QStringLiteral("ｱｯﾌﾟﾛｰﾄﾞ"))
            Mupload_Click();
        else if (caption == QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞ"))
            MDOWN_Click();
        else if (caption == QStringLiteral("中断"))
            Mabore_Click();
        else if (caption == QStringLiteral("終了"))
            Mend_Click();
    });
}
