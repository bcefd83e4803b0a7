#include "menu/MenuInstall.h"

#include "menu/OwnerDrawMenu.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

QMenu* BuildOwnerDrawMenu(COwnerDrawMenu& menu)
{
    menu.LoadMenu(128u);
    menu.LoadToolBarImages(128);
    return menu.Detach();
}

namespace {

// Each command's own action reports it, whichever way its popup was opened, and exactly once
// (the menus' triggered signals would repeat it in every popup of the chain).
void ConnectPopups(QMenu* hMenu, QMenuBar* pBar, const MenuCommandHooks& hooks)
{
    for (QAction* pAction : hMenu->actions()) {
        QMenu* pPopup = pAction->menu();
        if (!pPopup) {
            const unsigned nID = CommandIdOf(pAction);
            if (nID == 0)
                continue;
            if (hooks.onCommand)
                QObject::connect(pAction, &QAction::triggered, pBar, [nID, onCommand = hooks.onCommand] { onCommand(nID); });
            continue;
        }
        if (hooks.onUpdate) {
            QObject::connect(pPopup, &QMenu::aboutToShow, pBar, [pPopup, onUpdate = hooks.onUpdate] {
                for (QAction* pItem : pPopup->actions()) {
                    if (const unsigned nID = CommandIdOf(pItem))
                        onUpdate(nID, pItem);
                }
            });
        }
        ConnectPopups(pPopup, pBar, hooks);
    }
}

} // namespace

QMenuBar* InstallOwnerDrawMenu(QMainWindow* pWindow, QMenu* hMenu, MenuCommandHooks hooks)
{
    if (!pWindow || !hMenu)
        return nullptr;
    auto* pBar = new QMenuBar(pWindow);
    for (QAction* pAction : hMenu->actions())
        pBar->addAction(pAction);
    // The bar's items belong to hMenu; it goes with the bar, never shown itself.
    hMenu->setParent(pBar, hMenu->windowFlags());
    ConnectPopups(hMenu, pBar, hooks);
    pWindow->setMenuBar(pBar);
    return pBar;
}
