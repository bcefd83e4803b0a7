#include "app/AboutDialog.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/StringTable.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(ResourceString(QStringLiteral("about.caption")));
    setObjectName(QStringLiteral("AboutBox"));

    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/app/quillory.png")).pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);
    auto* version = new QLabel(ResourceString(QStringLiteral("about.version")), this);
    version->setObjectName(QStringLiteral("Version"));
    auto* close = new QPushButton(ResourceString(QStringLiteral("about.close")), this);
    close->setObjectName(QStringLiteral("Close"));
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addSpacing(12);
    top->addWidget(version, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(300, 110)));
}
