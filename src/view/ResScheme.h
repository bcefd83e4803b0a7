#pragma once
// The program's own resources as the browser sees them: the skeleton of the listing page, its
// images and the page of the HTML dialog, at addresses like res://quillory/130. Nothing else is
// served, and a profile made here lets no request of its pages leave the program.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlSchemeHandler>
#include <atomic>
#include <functional>

class QWebEngineProfile;

inline constexpr const char* kResScheme = "res";
inline constexpr const char* kResHost = "quillory";
inline constexpr int kListingPageId = 130;
inline constexpr int kDialogPageId = 103;

// Registers the "res" scheme with the browser. Must run before the QApplication is created.
void RegisterResScheme();

// res://quillory/<id>
[[nodiscard]] QUrl ResourcePageUrl(int id);

// The bytes and type of a resource named by a res address; false when it is none of ours.
[[nodiscard]] bool LoadResource(const QUrl& url, QByteArray& data, QByteArray& mimeType);

// Answers a page's question for data (res://quillory/NAME?QUERY): true and the JSON answer in data
// when NAME is one it answers.
using PageQuestionAnswerer = std::function<bool(const QString& name, const QByteArray& query, QByteArray& data)>;

// Serves LoadResource's answers, and the answerer's to questions our own pages ask; everything
// else fails as not found.
class CResSchemeHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT
public:
    explicit CResSchemeHandler(QObject* parent = nullptr, PageQuestionAnswerer answerer = {});
    void requestStarted(QWebEngineUrlRequestJob* job) override;

private:
    PageQuestionAnswerer m_answerer;
};

// Lets through the requests of the given schemes and blocks every other one, counting them: the
// pages shown hold stored mail, and a remote picture fetched would tell its sender that the mail
// was read.
class CSchemeGate : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT
public:
    CSchemeGate(QStringList allowed, QObject* parent);
    void interceptRequest(QWebEngineUrlRequestInfo& info) override;
    [[nodiscard]] int BlockedCount() const { return m_nBlocked.load(); }

private:
    const QStringList m_allowed;
    std::atomic<int> m_nBlocked{0};
};

// A profile that keeps nothing on disk, serves our resources (and the answerer's answers) and lets
// no other request through. The caller owns it and must delete it after every page made with it.
[[nodiscard]] QWebEngineProfile* CreateResProfile(CSchemeGate** ppGate = nullptr,
                                                  PageQuestionAnswerer answerer = {});
