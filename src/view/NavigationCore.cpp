#include "view/NavigationCore.h"

#include <limits>

#include "core/Navigation.h"
#include "core/QuilloryApp.h"
#include "mime/ListingDecode.h"
#include "model/TextSearch.h"
#include "model/listax.h"

namespace {

void GoToFolder(CQuilloryApp& app)
{
    if (app.m_pMainFrame)
        app.m_pMainFrame->GoToFolder(false);
}

} // namespace

std::string_view LastSegment(std::string_view address)
{
    const std::size_t slash = address.rfind('/');
    return slash == std::string_view::npos ? address : address.substr(slash + 1);
}

std::int32_t ReadSerial(std::string_view segment)
{
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    std::int64_t value = 0;
    for (char c : segment) {
        if (c < '0' || c > '9')
            break;
        value = value * 10 + (c - '0');
        if (value > kMax)
            return static_cast<std::int32_t>(kMax);
    }
    return static_cast<std::int32_t>(value);
}

void HandleBeforeNavigate(CQuilloryApp& app, std::string_view address, bool& bCancel)
{
    const std::string_view segment = LastSegment(address);
    if (segment == kGoUpSegment) {
        bCancel = true;
        std::string parent = CQuilloryApp::ParentPath(app.m_strCurrentDir);
        if (!app.m_bPageReady)
            return;
        app.m_strTargetDir = std::move(parent);
        app.m_bRebuildPending = 1;
        app.m_pCurrentEntry = nullptr;
        GoToFolder(app);
        return;
    }
    // The skeleton's own loads must pass, also while a rebuild waits for them.
    if (StartsWithNoCase(address, "res:"))
        return;
    if (!app.m_bPageReady) {
        bCancel = true;
        return;
    }
    if (address.find('/') == std::string_view::npos)
        return;

    listaf* entry = app.FindEntry(ReadSerial(segment));
    app.m_pCurrentEntry = entry;
    if (!entry)
        return;
    switch (entry->m_nKind) {
    case KIND_DIRECTORY:
        app.m_bRebuildPending = 1;
        bCancel = true;
        GoToFolder(app);
        break;
    case KIND_MAIL_FOLDER:
        app.m_strCurrentDir = entry->m_strPath;
        app.m_bRebuildPending = 1;
        bCancel = true;
        GoToFolder(app);
        break;
    case KIND_FOLDER_MESSAGE:
        app.SaveFolderMessage(entry);
        bCancel = true;
        break;
    case KIND_MESSAGE_FILE:
        app.SaveMessageFile(entry);
        bCancel = true;
        break;
    default:
        app.m_bPageReady = 1;
        bCancel = true;
        break;
    }
}

void HandleDocumentComplete(CQuilloryApp& app, std::string_view /*address*/)
{
    if (app.m_bRebuildPending == 1) {
        app.m_bPageReady = 0;
        app.m_bRebuildPending = 0;
        if (app.m_pView)
            app.m_pView->CheckPage();
        const listaf* current = app.m_pCurrentEntry;
        if (!current) {
            app.m_strCurrentDir = app.m_strTargetDir;
            app.ScanDirectory();
        } else if (current->m_nKind == KIND_DIRECTORY) {
            app.ScanDirectory();
        } else if (current->m_nKind == KIND_MAIL_FOLDER) {
            app.ListMailFolder();
        }
        // Before the fill sorts them: the order follows what the cells show.
        if (app.m_bDecodedHeaders)
            DecodeListingHeaders(app);
        // The rebuild has emptied the list and with it the current entry: from here on a null
        // current entry means "the place in m_strTargetDir", which must then be the listed place,
        // or the Open command would start from (and a cancel relist) a place left long ago.
        app.m_strTargetDir = app.m_strCurrentDir;
    }
    app.m_bPageReady = 1;
    if (app.m_pView)
        app.m_pView->FillTable();
}
