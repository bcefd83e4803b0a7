#pragma once
// A modal dialog whose whole face is the HTML dialog page of the program's resources; the page's
// "OK" and "Annulla" buttons end it as accepted and rejected.

#include <QDialog>

class CHtmlDialogView;

class CHtmlPageDialog : public QDialog {
    Q_OBJECT
public:
    explicit CHtmlPageDialog(QWidget* parent = nullptr);

    // The view showing the page, for tests that press its buttons.
    [[nodiscard]] CHtmlDialogView* View() const { return m_pView; }

private:
    CHtmlDialogView* m_pView = nullptr;
};
