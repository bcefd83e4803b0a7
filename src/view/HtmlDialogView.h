#pragma once
// The page of the HTML dialog (resource 103) in a browser view of its own. The page's two buttons
// end the dialog; the frame puts this view into a dialog and closes it on finished().

#include <QWebEnginePage>
#include <QWebEngineView>

class QWebEngineProfile;

class CHtmlDialogPage : public QWebEnginePage {
    Q_OBJECT
public:
    CHtmlDialogPage(QWebEngineProfile* profile, QObject* parent);

signals:
    // true for "OK" (ButtonOK), false for "Annulla" (ButtonCancel).
    void finished(bool bAccepted);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    void javaScriptAlert(const QUrl&, const QString&) override {}
};

class CHtmlDialogView : public QWebEngineView {
    Q_OBJECT
public:
    explicit CHtmlDialogView(QWidget* parent = nullptr);
    ~CHtmlDialogView() override;

signals:
    void finished(bool bAccepted);

private:
    QWebEngineProfile* m_pProfile;
    CHtmlDialogPage* m_pPage;
};
