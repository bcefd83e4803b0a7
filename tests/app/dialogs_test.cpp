// The real dialogs behind the seams, driven the way a person would: each case finds the dialog
// once it is open, checks what it shows and answers it.

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "WindowHarness.h"
#include "app/AboutDialog.h"
#include "app/FrameIds.h"
#include "app/HtmlPageDialog.h"
#include "view/HtmlDialogView.h"
#include "app/QtSeams.h"

namespace {

// Calls act with the first visible top-level widget of type T each time the event loop turns
// (inside the dialog's own loop), until act returns true.
template <class T>
void WhenShown(std::function<bool(T*)> act)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<T*>(widget);
            if (dialog && dialog->isVisible()) {
                if (act(dialog)) {
                    timer->stop();
                    timer->deleteLater();
                }
                return;
            }
        }
    });
    timer->start();
}

class DialogTest : public ::testing::Test {
protected:
    TempDir m_tmp;
};

} // namespace

TEST_F(DialogTest, SaveFilterBecomesThreeChoicesWithTheirExtensions)
{
    const SaveDialogRequest request;
    const SaveFilters filters = ParseSaveFilter(request.strFilter, request.strDefaultExt);
    EXPECT_EQ(filters.names, (QStringList{"Mail message (*.eml)", "Raw mail (*.msg)", "All Files (*.*)"}));
    // A name typed under "All Files" gets the default extension.
    EXPECT_EQ(filters.suffixes, (QStringList{"eml", "msg", "eml"}));
}

TEST_F(DialogTest, SaveDialogStartsWhereAskedAndCompletesTheName)
{
    const std::string dir = m_tmp.MakeDir("saves");
    SaveDialogRequest request;
    request.strInitialDir = dir + "/";
    request.strInitialName = "Msg00003";

    const struct {
        int nFilter;
        const char* typed;
        const char* expected;
    } cases[] = {
        {0, "", "Msg00003.eml"},
        {1, "raw", "raw.msg"},
        {0, "kept.txt", "kept.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        QString shownName;
        QString shownDir;
        WhenShown<QFileDialog>([&](QFileDialog* dialog) {
            EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
            EXPECT_FALSE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
            EXPECT_EQ(dialog->nameFilters().size(), 3);
            shownDir = dialog->directory().absolutePath();
            shownName = dialog->findChild<QLineEdit*>("fileNameEdit")->text();
            dialog->selectNameFilter(dialog->nameFilters().at(c.nFilter));
            if (*c.typed)
                dialog->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromLatin1(c.typed));
            QMetaObject::invokeMethod(dialog, "accept");
            return true;
        });
        CQtSaveDialog saveDialog;
        const std::optional<std::string> path = saveDialog.AskSavePath(request);
        EXPECT_EQ(shownDir.toStdString(), dir);
        EXPECT_EQ(shownName, QStringLiteral("Msg00003"));
        EXPECT_EQ(path, dir + "/" + c.expected);
    }

    WhenShown<QFileDialog>([](QFileDialog* dialog) {
        dialog->reject();
        return true;
    });
    CQtSaveDialog saveDialog;
    EXPECT_EQ(saveDialog.AskSavePath(request), std::nullopt);
}

TEST_F(DialogTest, FolderDialogOffersTheInitialDirectoryAndReportsTheChoice)
{
    const std::string dir = m_tmp.MakeDir("pick/me");

    WhenShown<QFileDialog>([&](QFileDialog* dialog) {
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Looking for base directory"));
        EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
        EXPECT_EQ(dialog->selectedFiles().value(0).toStdString(), dir);
        QMetaObject::invokeMethod(dialog, "accept");
        return true;
    });
    CFolderChooser chooser;
    std::string chosen;
    EXPECT_EQ(chooser.ChooseFolder("Looking for base directory", dir, nullptr, chosen), IDOK);
    EXPECT_EQ(chosen, dir);

    // A typed name that is no directory keeps the dialog open; then the user gives up.
    int step = 0;
    WhenShown<QFileDialog>([&](QFileDialog* dialog) {
        if (step++ == 0) {
            dialog->selectFile(QString::fromStdString(m_tmp.Sub("missing")));
            QMetaObject::invokeMethod(dialog, "accept");
            return false;
        }
        EXPECT_TRUE(dialog->isVisible());
        dialog->reject();
        return true;
    });
    CFolderDialog dialog("Looking for base directory", dir, nullptr, BIF_RETURNONLYFSDIRS);
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(dialog.GetChosenPath(), "");
}

TEST_F(DialogTest, MessageBoxShowsTheExactTextAndAnswersWithTheButton)
{
    const struct {
        unsigned flags;
        QMessageBox::StandardButton press;
        int answer;
    } cases[] = {
        {MB_OK, QMessageBox::Ok, IDOK},
        {MB_OKCANCEL, QMessageBox::Cancel, IDCANCEL},
        {MB_YESNO | MB_ICONEXCLAMATION, QMessageBox::Yes, IDYES},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        WhenShown<QMessageBox>([&](QMessageBox* box) {
            EXPECT_EQ(box->windowTitle(), QStringLiteral("Quillory"));
            EXPECT_EQ(box->text(), QStringLiteral("No registry access. \nRegistration impossible!!!"));
            box->button(c.press)->click();
            return true;
        });
        CQtMessageBox messageBox;
        EXPECT_EQ(messageBox.MessageBox("No registry access. \nRegistration impossible!!!", "Quillory",
                                        c.flags),
                  c.answer);
    }
    // Text that is not UTF-8 is shown byte for byte rather than lost.
    EXPECT_EQ(TextFromBytes("Error on opening file /tmp/caf\xe9"), QStringLiteral("Error on opening file /tmp/caf\u00e9"));
    EXPECT_EQ(TextFromBytes("/tmp/caf\xc3\xa9"), QStringLiteral("/tmp/caf\u00e9"));
}

TEST_F(WindowTest, AboutPrintAndHtmlDialogOpenFromTheirCommandsAndClose)
{
    ASSERT_TRUE(Start(m_tmp.MakeDir("empty")));

    QString title, version, button;
    WhenShown<CAboutDlg>([&](CAboutDlg* about) {
        title = about->windowTitle();
        version = about->findChild<QLabel*>("Version")->text();
        auto* close = about->findChild<QPushButton*>("Close");
        button = close->text();
        close->click();
        return true;
    });
    EXPECT_TRUE(Frame().OnCommand(ID_APP_ABOUT));
    EXPECT_EQ(title, QStringLiteral("About Quillory"));
    EXPECT_EQ(version, QStringLiteral("Quillory Version " QUILLORY_VERSION));
    // The credit bar names the same version.
    EXPECT_TRUE(Frame().DialogBar()->findChild<QLabel*>("Credit")->text().startsWith(
        QStringLiteral("Quillory " QUILLORY_VERSION " \u00b7 ")));
    EXPECT_EQ(button, QStringLiteral("CLOSE"));

    // Print asks for a printer first; giving up prints nothing.
    bool askedForPrinter = false;
    WhenShown<QPrintDialog>([&](QPrintDialog* dialog) {
        askedForPrinter = true;
        dialog->reject();
        return true;
    });
    EXPECT_TRUE(Frame().OnCommand(ID_FILE_PRINT));
    EXPECT_TRUE(askedForPrinter);

    // The HTML dialog's "Annulla" button ends it; the page is pressed once it has loaded.
    QString labels;
    bool asking = false;
    WhenShown<CHtmlPageDialog>([&](CHtmlPageDialog* dialog) {
        QWebEnginePage* page = dialog->View()->page();
        if (!labels.isEmpty()) {
            page->runJavaScript("document.getElementById('ButtonCancel').click()");
            return true;
        }
        if (!asking) {
            asking = true;
            page->runJavaScript(
                "(function () { var ok = document.getElementById('ButtonOK'),"
                " no = document.getElementById('ButtonCancel');"
                " return ok && no ? (ok.value || ok.innerText) + '|' + (no.value || no.innerText) : ''; })()",
                [&](const QVariant& result) {
                    asking = false;
                    labels = result.toString();
                });
        }
        return false;
    });
    EXPECT_TRUE(Frame().OnCommand(ID_SHOW_HTML_DIALOG));
    EXPECT_EQ(labels, QStringLiteral("OK|Annulla"));
}
