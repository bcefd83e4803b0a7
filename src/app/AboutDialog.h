#pragma once
// The About box: the icon, the program's name and version, and a button that closes it.

#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
