#include "app/HtmlPageDialog.h"

#include <QVBoxLayout>

#include "app/StringTable.h"
#include "view/HtmlDialogView.h"

CHtmlPageDialog::CHtmlPageDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(ResourceString(QStringLiteral("htmldialog.caption")));
    m_pView = new CHtmlDialogView(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_pView);
    resize(340, 200);
    connect(m_pView, &CHtmlDialogView::finished, this,
            [this](bool bAccepted) { bAccepted ? accept() : reject(); });
}
