#include "WindowHarness.h"

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <cstdlib>

#include "platform/SettingsStore.h"
#include "view/QuilloryView.h"

int ScriptedChooser::ChooseFolder(const QString& title, const std::string& initialPath, QWidget*,
                                  std::string& chosen)
{
    titles.push_back(title);
    initialPaths.push_back(initialPath);
    if (answers.empty()) {
        ADD_FAILURE() << "the folder chooser was asked and the test had no answer";
        return IDCANCEL;
    }
    const std::optional<std::string> answer = answers.front();
    answers.pop_front();
    if (!answer)
        return IDCANCEL;
    chosen = *answer;
    return IDOK;
}

std::optional<std::string> ScriptedSaveDialog::AskSavePath(const SaveDialogRequest& request)
{
    requests.push_back(request);
    if (answers.empty()) {
        ADD_FAILURE() << "the save dialog was asked and the test had no answer";
        return std::nullopt;
    }
    const std::optional<std::string> answer = answers.front();
    answers.pop_front();
    return answer;
}

namespace {

void PutU32(std::string& bytes, std::size_t at, std::uint32_t value)
{
    if (bytes.size() < at + 4)
        bytes.resize(at + 4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

} // namespace

std::string MailFolderBytes(const std::vector<std::string>& messages, std::size_t blockSize)
{
    // Header, one index node, then for each message its record and its chain of blocks.
    constexpr std::uint32_t kNode = 0x200;
    std::string bytes(kNode + 636 + 636, '\0');  // the node, and an empty one that ends the index
    PutU32(bytes, 0x30, kNode);
    PutU32(bytes, 0xC4, static_cast<std::uint32_t>(messages.size()));
    PutU32(bytes, kNode + 0x00, kNode);
    PutU32(bytes, kNode + 0x0C, kNode);  // the index mark
    bytes[kNode + 0x11] = static_cast<char>(messages.size());

    for (std::size_t m = 0; m < messages.size(); ++m) {
        const auto record = static_cast<std::uint32_t>(bytes.size());
        PutU32(bytes, kNode + 0x18 + 12 * m, record);
        PutU32(bytes, record, record);
        bytes.resize(record + 16, '\0');
        bytes[record + 0x0A] = 1;                 // one attribute slot
        const auto first = static_cast<std::uint32_t>(bytes.size());
        bytes[record + 0x0C] = static_cast<char>(0x80 | 4);  // attribute 4, direct
        bytes[record + 0x0D] = static_cast<char>(first & 0xFF);
        bytes[record + 0x0E] = static_cast<char>((first >> 8) & 0xFF);
        bytes[record + 0x0F] = static_cast<char>((first >> 16) & 0xFF);

        const std::string& text = messages[m];
        std::size_t done = 0;
        do {
            const std::size_t count = std::min(blockSize, text.size() - done);
            const auto block = static_cast<std::uint32_t>(bytes.size());
            PutU32(bytes, block + 0x00, block);  // a block names its own offset
            PutU32(bytes, block + 0x04, static_cast<std::uint32_t>(blockSize));  // and what it can hold
            PutU32(bytes, block + 0x08, static_cast<std::uint32_t>(count));
            PutU32(bytes, block + 0x0C, 0);
            bytes.append(text, done, count);
            done += count;
            if (done < text.size())
                PutU32(bytes, block + 0x0C, static_cast<std::uint32_t>(bytes.size()));
        } while (done < text.size());
    }
    return bytes;
}

std::string MessageText(const std::string& from, const std::string& to, const std::string& subject,
                        const std::string& body)
{
    std::string text;
    if (!from.empty())
        text += "From: " + from + "\r\n";
    if (!to.empty())
        text += "To: " + to + "\r\n";
    if (!subject.empty())
        text += "Subject: " + subject + "\r\n";
    text += "Date: Mon, 3 Apr 2006 10:00:00 +0200\r\n\r\n" + body;
    return text;
}

void WindowTest::SetUp()
{
    m_strConfig = m_tmp.MakeDir("config");
    ::setenv("XDG_CONFIG_HOME", m_strConfig.c_str(), 1);
}

void WindowTest::TearDown()
{
    Stop();
    ::unsetenv("XDG_CONFIG_HOME");
}

bool WindowTest::Start(const std::optional<std::string>& dir, const std::string& startPath)
{
    m_chooser.answers.push_back(dir);
    m_pApp = std::make_unique<CQuilloryApp>();
    WindowSeams seams;
    seams.pFolderChooser = &m_chooser;
    seams.pMessageBox = &m_messages;
    seams.pSaveDialog = &m_saveDialog;
    seams.bSplash = false;
    m_pWindow = std::make_unique<CWindowApp>(*m_pApp, seams);
    m_nFills = 0;
    if (!m_pWindow->InitInstance(startPath))
        return false;
    QObject::connect(&View(), &CQuilloryView::tableFilled, &View(), [this] { ++m_nFills; });
    const bool filled = RefillAfter([] {});
    return filled;
}

void WindowTest::Stop()
{
    m_pWindow.reset();
    m_pApp.reset();
    // Let the browser finish tearing the page down before the next case builds another.
    QApplication::processEvents();
}

bool WindowTest::RefillAfter(const std::function<void()>& action)
{
    const int before = m_nFills;
    action();
    if (!m_pWindow || !m_pWindow->MainFrame())
        return false;
    const bool done = SpinUntil([&] {
        return m_nFills > before && m_pApp->m_bRebuildPending == 0 && m_pApp->m_bPageReady == 1;
    });
    if (!done)
        ADD_FAILURE() << "no refill: fills " << m_nFills - before << ", page ready " << m_pApp->m_bPageReady
                      << ", rebuild pending " << m_pApp->m_bRebuildPending << ", listing "
                      << m_pApp->m_strCurrentDir;
    return done;
}

CQuilloryView& WindowTest::View() const { return *Frame().View(); }

QJsonArray WindowTest::Rows() const
{
    const QVariant json = View().RunJavaScriptSync(QStringLiteral(R"(
        JSON.stringify(Array.from(document.getElementById('puntozero').rows).map(function (r) {
            return Array.from(r.cells).map(function (c) {
                return { cls: c.className, html: c.innerHTML, title: c.title,
                         colspan: c.getAttribute('colspan') || '', text: c.innerText };
            });
        }))
    )"));
    return QJsonDocument::fromJson(json.toString().toUtf8()).array();
}

std::vector<std::string> WindowTest::Names() const
{
    std::vector<std::string> names;
    for (const QJsonValue& row : Rows())
        names.push_back(row.toArray().at(1).toObject().value("text").toString().trimmed().toStdString());
    return names;
}

std::string WindowTest::HeaderPath() const
{
    return View()
        .RunJavaScriptSync(QStringLiteral("document.getElementById('cartellacorrente').innerText"))
        .toString()
        .toStdString();
}

bool WindowTest::ClickEntry(const std::string& name)
{
    const QString script = QStringLiteral(R"(
        (function (name) {
            var links = document.querySelectorAll('#puntozero a');
            for (var i = 0; i < links.length; ++i)
                if (links[i].innerText.trim() === name) { links[i].click(); return true; }
            return false;
        })(%1)
    )").arg(QString::fromUtf8(QJsonDocument(QJsonArray{QString::fromStdString(name)}).toJson(QJsonDocument::Compact)).mid(1).chopped(1));
    return View().RunJavaScriptSync(script).toBool();
}

void WindowTest::ClickGoUp()
{
    View().RunJavaScriptSync(QStringLiteral("document.getElementById('salisopra').click(); true"));
}

void WindowTest::PressKey(int key, Qt::KeyboardModifiers modifiers)
{
    QWidget* target = View().focusProxy();
    ASSERT_NE(target, nullptr);
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QCoreApplication::sendEvent(target, &press);
    QCoreApplication::sendEvent(target, &release);
}

std::optional<std::string> WindowTest::Setting(const std::string& name) const
{
    SettingsStore store(m_strConfig + "/Quillory");
    return store.QueryValue(name);
}
