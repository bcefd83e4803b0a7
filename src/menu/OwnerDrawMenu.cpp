#include "menu/OwnerDrawMenu.h"

#include "menu/MenuTemplate.h"
#include "menu/OwnerDrawStyle.h"

#include <QAction>
#include <QFile>
#include <QFontMetrics>
#include <QMenu>

#include <algorithm>
#include <unordered_map>

int g_nShellKind = GetShellKind();
std::vector<QMenu*> g_arrMenuHandles;

int GetShellKind()
{
    return 3;
}

namespace {

const char* const kCommandProperty = "quilloryCommand";

std::unordered_map<const QMenu*, COwnerDrawMenu*>& PermanentMenus()
{
    static std::unordered_map<const QMenu*, COwnerDrawMenu*> menus;
    return menus;
}

void RemoveHandle(std::vector<QMenu*>& handles, const QMenu* hMenu)
{
    for (auto it = handles.size(); it-- > 0;) {
        if (handles[it] == hMenu)
            handles.erase(handles.begin() + std::ptrdiff_t(it));
    }
}

// The label Qt sees: the text before the first tab. QMenu reads its mnemonic from there and would
// widen the popup for any text after a tab, which this menu measures itself.
QString ActionLabel(const QString& strText)
{
    const qsizetype tab = strText.indexOf(u'\t');
    return tab < 0 ? strText : strText.left(tab);
}

} // namespace

std::string CMenuItemData::GetText() const
{
    return m_pszText.isNull() ? std::string() : m_pszText.toLocal8Bit().toStdString();
}

void CMenuItemData::SetText(const std::string& strText)
{
    m_pszText = QString::fromLocal8Bit(strText.data(), qsizetype(strText.size()));
}

unsigned CommandIdOf(const QAction* pAction)
{
    return pAction ? pAction->property(kCommandProperty).toUInt() : 0;
}

QString MenuResourcePath(const QString& strName)
{
    QString name = strName;
    if (name.startsWith(u'#'))
        name.remove(0, 1);
    return QStringLiteral(":/menu/MENU/") + name;
}

const ToolBarResource* FindToolBarResource(unsigned nID)
{
    // Toolbar 128: Open, Print and About, then the four listing orders; 0 marks a separator.
    static const ToolBarResource kToolBar128{16, 15, {57601, 0, 57607, 57664, 0, 32774, 32775, 32776, 32777}};
    return nID == 128 ? &kToolBar128 : nullptr;
}

COwnerDrawMenu::~COwnerDrawMenu()
{
    DestroyMenu();
}

COwnerDrawMenu* COwnerDrawMenu::FromHandlePermanent(const QMenu* hMenu)
{
    const auto& menus = PermanentMenus();
    const auto it = menus.find(hMenu);
    return it == menus.end() ? nullptr : it->second;
}

bool COwnerDrawMenu::Attach(QMenu* hMenu)
{
    if (!hMenu || m_hMenu || FromHandlePermanent(hMenu))
        return false;
    m_hMenu = hMenu;
    PermanentMenus()[hMenu] = this;
    return true;
}

QMenu* COwnerDrawMenu::Detach()
{
    QMenu* hMenu = m_hMenu.data();
    if (hMenu)
        PermanentMenus().erase(hMenu);
    m_hMenu = nullptr;
    return hMenu;
}

CMenuItemData* COwnerDrawMenu::GetItemData(int nPosition) const
{
    if (nPosition < 0 || nPosition >= GetItemCount())
        return nullptr;
    return m_arrItems[size_t(nPosition)].get();
}

CMenuItemData* COwnerDrawMenu::RecordOf(const QAction* pAction) const
{
    if (!pAction)
        return nullptr;
    const auto* pRecord = reinterpret_cast<const CMenuItemData*>(pAction->data().value<quintptr>());
    for (const auto& item : m_arrItems) {
        if (item.get() == pRecord)
            return item.get();
    }
    return nullptr;
}

QAction* COwnerDrawMenu::ActionAt(int nPosition) const
{
    if (!m_hMenu)
        return nullptr;
    const QList<QAction*> actions = m_hMenu->actions();
    return nPosition >= 0 && nPosition < actions.size() ? actions[nPosition] : nullptr;
}

bool COwnerDrawMenu::LoadMenu(unsigned nIDResource)
{
    return LoadMenu(QStringLiteral("#%1").arg(nIDResource));
}

bool COwnerDrawMenu::LoadMenu(const QString& strName)
{
    QFile resource(MenuResourcePath(strName));
    if (!resource.open(QIODevice::ReadOnly))
        return false;
    return LoadMenuIndirect(resource.readAll());
}

bool COwnerDrawMenu::LoadMenuIndirect(QByteArrayView data)
{
    const std::optional<std::vector<MenuTemplateItem>> items = ParseMenuTemplate(data);
    if (!items || m_hMenu)
        return false;
    if (!Attach(new QMenu))
        return false;

    std::vector<COwnerDrawMenu*> stack{this};
    std::vector<bool> ended{false};
    for (const MenuTemplateItem& item : *items) {
        COwnerDrawMenu* top = stack.back();
        const unsigned flags = item.nFlags & ~MF_END;
        if (item.nFlags & MF_POPUP) {
            if (item.nFlags & MF_END)
                ended.back() = true;
            auto* pPopup = new COwnerDrawMenu;
            pPopup->Attach(new QMenu);
            pPopup->GetSafeHmenu()->setStyle(OwnerDrawStyle());
            top->AppendOwnerDrawItem(item.strText, flags, reinterpret_cast<MenuItemId>(pPopup->GetSafeHmenu()));
            stack.push_back(pPopup);
            ended.push_back(false);
            continue;
        }
        top->AppendOwnerDrawItem(item.strText, flags, item.nID);
        if (item.nFlags & MF_END)
            ended.back() = true;
        while (!stack.empty() && ended.back()) {
            stack.back()->AlignAccelerators();
            stack.pop_back();
            ended.pop_back();
        }
    }

    // The menu bar's own items are plain: text and popup only, whatever else the template said.
    for (int i = 0; i < GetItemCount(); ++i) {
        CMenuItemData* pRecord = GetItemData(i);
        QAction* pAction = ActionAt(i);
        const bool bPopup = pRecord->m_nFlags & MF_POPUP;
        pRecord->m_nFlags = bPopup ? (MF_BYPOSITION | MF_POPUP) : MF_BYPOSITION;
        if (pAction) {
            pAction->setText(QString::fromLocal8Bit(pRecord->GetText()));
            pAction->setSeparator(false);
            pAction->setEnabled(true);
            pAction->setChecked(false);
            pAction->setCheckable(false);
        }
    }
    return true;
}

bool COwnerDrawMenu::AppendOwnerDrawItem(const QString& strText, unsigned nFlags, MenuItemId nID)
{
    if (!m_hMenu)
        return false;
    if (nID == 0)
        nFlags = (nFlags & MF_BYPOSITION) ? (MF_SEPARATOR | MF_OWNERDRAW | MF_BYPOSITION) : (MF_SEPARATOR | MF_OWNERDRAW);
    else
        nFlags |= MF_OWNERDRAW;

    QMenu* pPopup = nullptr;
    if (nFlags & MF_POPUP) {
        pPopup = reinterpret_cast<QMenu*>(nID);
        g_arrMenuHandles.push_back(pPopup);
        m_arrSubMenus.push_back(pPopup);
    }

    auto record = std::make_unique<CMenuItemData>();
    record->SetWideText(strText);
    record->m_nImageSource = -1;
    record->m_nImageIndex = -1;
    record->m_nFlags = nFlags;
    record->m_nID = nID;

    QAction* pAction = nullptr;
    if (pPopup) {
        pAction = pPopup->menuAction();
        m_hMenu->addAction(pAction);
    } else {
        pAction = new QAction(m_hMenu);
        pAction->setProperty(kCommandProperty, unsigned(nID));
        pAction->setSeparator(nFlags & MF_SEPARATOR);
        m_hMenu->addAction(pAction);
    }
    pAction->setText(ActionLabel(strText));
    pAction->setData(QVariant::fromValue(reinterpret_cast<quintptr>(record.get())));
    if (nFlags & (MF_GRAYED | MF_DISABLED))
        pAction->setEnabled(false);
    if (nFlags & MF_CHECKED) {
        pAction->setCheckable(true);
        pAction->setChecked(true);
    }
    m_arrItems.push_back(std::move(record));
    return true;
}

void COwnerDrawMenu::AlignAccelerators()
{
    const QFontMetrics metrics(CreateMenuFont());
    int max = -1;
    for (const auto& item : m_arrItems) {
        const QString text = item->GetWideText();
        const QString label = ActionLabel(text) + u' ';
        max = std::max(max, metrics.horizontalAdvance(label));
    }
    for (int i = 0; i < GetItemCount(); ++i) {
        CMenuItemData* pRecord = GetItemData(i);
        const QString text = pRecord->GetWideText();
        const qsizetype tab = text.indexOf(u'\t');
        if (tab < 0)
            continue;
        QString label = text.left(tab);
        while (metrics.horizontalAdvance(label) < max)
            label += u' ';
        pRecord->SetWideText(label + text.mid(tab));
        if (QAction* pAction = ActionAt(i); pAction && RecordOf(pAction) == pRecord)
            pAction->setText(label);
    }
}

COwnerDrawMenu* COwnerDrawMenu::FindCommandItem(MenuItemId nID, int& nPosition)
{
    return FindCommandItemImpl(nID, nPosition, nullptr, nullptr);
}

COwnerDrawMenu* COwnerDrawMenu::FindNextCommandItem(MenuItemId nID, int& nPosition,
                                                    const std::vector<COwnerDrawMenu*>& visitedMenus,
                                                    const std::vector<int>& visitedPositions)
{
    return FindCommandItemImpl(nID, nPosition, &visitedMenus, &visitedPositions);
}

COwnerDrawMenu* COwnerDrawMenu::FindCommandItemImpl(MenuItemId nID, int& nPosition,
                                                    const std::vector<COwnerDrawMenu*>* pVisitedMenus,
                                                    const std::vector<int>* pVisitedPositions)
{
    const auto visited = [&](int position) {
        if (!pVisitedMenus)
            return false;
        for (size_t i = 0; i < pVisitedMenus->size() && i < pVisitedPositions->size(); ++i) {
            if ((*pVisitedMenus)[i] == this && (*pVisitedPositions)[i] == position)
                return true;
        }
        return false;
    };
    for (int i = 0; i < GetItemCount(); ++i) {
        const CMenuItemData* pRecord = GetItemData(i);
        if (pRecord->m_nFlags & MF_POPUP) {
            COwnerDrawMenu* pPopup = FromHandlePermanent(reinterpret_cast<QMenu*>(pRecord->m_nID));
            if (pPopup) {
                if (COwnerDrawMenu* pFound = pPopup->FindCommandItemImpl(nID, nPosition, pVisitedMenus, pVisitedPositions))
                    return pFound;
            }
            continue;
        }
        if (pRecord->m_nID == nID && !visited(i)) {
            nPosition = i;
            return this;
        }
    }
    nPosition = -1;
    return nullptr;
}

bool COwnerDrawMenu::SetItemImage(const QString& strText, MenuItemId nID, const CImageList* pImageList, int nImageIndex)
{
    std::vector<COwnerDrawMenu*> visitedMenus;
    std::vector<int> visitedPositions;
    int position = -1;
    bool bFound = false;
    for (COwnerDrawMenu* pMenu = FindCommandItem(nID, position); pMenu;
         pMenu = FindNextCommandItem(nID, position, visitedMenus, visitedPositions)) {
        CMenuItemData* pRecord = pMenu->GetItemData(position);
        if (!strText.isNull())
            pRecord->SetWideText(strText);
        if (pImageList) {
            pRecord->m_nImageSource = 0;
            pRecord->m_nImageIndex = 0;
            if (pRecord->m_pImageList)
                pRecord->m_pImageList->DeleteImageList();
            else
                pRecord->m_pImageList = std::make_unique<CImageList>();
            if (!CopyImageToList(pImageList, nImageIndex, pRecord->m_pImageList.get())) {
                // Nothing to show: the item stays without an image rather than pointing at none.
                pRecord->m_pImageList.reset();
                pRecord->m_nImageSource = pRecord->m_nImageIndex = -1;
            }
        } else {
            pRecord->m_nImageSource = -1;
            pRecord->m_nImageIndex = -1;
        }
        pRecord->m_nFlags = (pRecord->m_nFlags & ~MF_BYPOSITION) | MF_OWNERDRAW;
        pRecord->m_nID = nID;
        // Each item keeps its own record, so every copy of the command paints from the record of
        // the menu it stands in.
        if (QAction* pAction = pMenu->ActionAt(position)) {
            pAction->setData(QVariant::fromValue(reinterpret_cast<quintptr>(pRecord)));
            if (!strText.isNull())
                pAction->setText(ActionLabel(strText));
        }
        visitedMenus.push_back(pMenu);
        visitedPositions.push_back(position);
        bFound = true;
    }
    return bFound;
}

bool COwnerDrawMenu::LoadToolBarImages(unsigned nIDToolBar)
{
    const ToolBarResource* pToolBar = FindToolBarResource(nIDToolBar);
    if (!pToolBar)
        return false;
    CImageList images;
    images.Create(m_cxImage, m_cyImage, ILC_COLORDDB | ILC_MASK, 1, 1);
    if (!AppendBitmapImages(images, nIDToolBar, MenuPalette()))
        return false;
    int nImage = 0;
    for (size_t i = 0; i < pToolBar->buttons.size(); ++i) {
        const unsigned nID = pToolBar->buttons[i];
        if (nID == 0)
            continue;
        // A button's image number counts the buttons before it, separators left out; image 0
        // keeps the button's own index, as the toolbar reports it.
        const int nImageOfButton = nImage++;
        int position = -1;
        if (!FindCommandItem(nID, position))
            continue;
        const int nIndex = nImageOfButton > 0 ? nImageOfButton : int(i);
        SetItemImage(QString(), nID, &images, nIndex);
    }
    return true;
}

void COwnerDrawMenu::MeasureItem(MEASUREITEMSTRUCT& mis)
{
    const CMenuItemData* pRecord = mis.itemData;
    if (!pRecord)
        return;
    if (pRecord->m_nFlags & MF_SEPARATOR) {
        mis.itemWidth = 0;
        mis.itemHeight = unsigned(GetSystemMetrics(SM_CYMENU) >> 1);
        return;
    }
    const QFontMetrics metrics(CreateMenuFont());
    const QString text = pRecord->GetWideText();
    unsigned width = unsigned(std::max(0, metrics.horizontalAdvance(text)));
    if (g_nShellKind == 0) {
        const QRect rc = metrics.boundingRect(QRect(), Qt::TextSingleLine | Qt::AlignVCenter, text);
        width = unsigned(rc.width() + 3);
        // The classic shell widens by three average characters; an empty label adds nothing.
        if (!text.isEmpty())
            width += 3 * (width / unsigned(text.size()));
    }
    mis.itemWidth = width + 2 * unsigned(m_cxImage) + 1;
    mis.itemHeight = unsigned(std::max(GetSystemMetrics(SM_CYMENU), m_cyImage + 4));
}

bool COwnerDrawMenu::DestroyMenu()
{
    QMenu* hMenu = m_hMenu.data();
    if (hMenu)
        RemoveHandle(g_arrMenuHandles, hMenu);
    for (auto it = m_arrSubMenus.size(); it-- > 0;) {
        QMenu* hSub = m_arrSubMenus[it];
        RemoveHandle(g_arrMenuHandles, hSub);
        delete FromHandlePermanent(hSub);
    }
    m_arrSubMenus.clear();
    m_arrItems.clear();
    // The handle may have gone with its window already; forget it either way.
    std::erase_if(PermanentMenus(), [this](const auto& entry) { return entry.second == this; });
    m_hMenu = nullptr;
    if (!hMenu)
        return false;
    delete hMenu;
    return true;
}
