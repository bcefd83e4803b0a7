#include "core/QuilloryApp.h"

#include <iostream>

#include "platform/Path.h"
#include "platform/SettingsStore.h"

namespace {

constexpr std::size_t kReadBufferSize = 512;   // a stored value must fit with its terminator
constexpr std::size_t kWriteBufferSize = 500;  // so at most 499 characters are stored

} // namespace

std::int32_t CQuilloryApp::ReadSettings()
{
    if (!m_pSettings)
        return 0;
    if (!m_pSettings->KeyExists()) {
        // A new key holds no values: nothing to read, the defaults of start-up apply.
        m_pSettings->CreateKey();
        return 0;
    }
    if (auto value = m_pSettings->QueryValue("LastDir", kReadBufferSize))
        m_strCurrentDir = *value;
    if (auto value = m_pSettings->QueryValue("SaveDir", kReadBufferSize))
        m_strSaveDir = *value;
    if (auto value = m_pSettings->QueryValue("ExportDir", kReadBufferSize))
        m_strExportDir = *value;
    if (auto value = m_pSettings->QueryValue("ExportFormat", kReadBufferSize))
        m_strExportFormat = *value;
    // Anything but the two values this program writes leaves the default.
    if (auto value = m_pSettings->QueryValue("ShowRecovered", kReadBufferSize); value == "1" || value == "0")
        m_bShowRecovered = *value == "1";
    if (auto value = m_pSettings->QueryValue("DecodedHeaders", kReadBufferSize); value == "1" || value == "0") {
        m_bDecodedHeaders = *value == "1";
        m_bKeepRawHeaders = m_bKeepRawHeaders || m_bDecodedHeaders;
    }
    return 1;
}

std::int32_t CQuilloryApp::SetShowRecovered(bool bShow)
{
    m_bShowRecovered = bShow;
    return WriteSetting("ShowRecovered", bShow ? "1" : "0");
}

std::int32_t CQuilloryApp::SetDecodedHeaders(bool bDecoded)
{
    m_bDecodedHeaders = bDecoded;
    m_bKeepRawHeaders = bDecoded;
    return WriteSetting("DecodedHeaders", bDecoded ? "1" : "0");
}

std::string RecoveredStatusText(std::int32_t nFound)
{
    if (nFound < 0)
        return {};
    if (nFound == 0)
        return "No message found outside the index";
    return std::to_string(nFound) + (nFound == 1 ? " message" : " messages") + " found outside the index";
}

std::int32_t CQuilloryApp::WriteSetting(const std::string& strName, std::string strValue)
{
    if (!m_pSettings)
        return 1;
    if (!m_pSettings->KeyExists()) {
        ShowMessage("No registry access. \nRegistration impossible!!!");
        return 0;
    }
    // The value is stored as a terminated string: it ends at its first zero byte, if any.
    const std::size_t zero = strValue.find('\0');
    if (zero != std::string::npos)
        strValue.resize(zero);
    if (strValue.size() > kWriteBufferSize - 1) {
        // Cut short it would name another directory, or none; the old value is the better guess.
        std::cerr << kAppTitle << ": " << strName << " keeps its previous value: " << strValue << " is "
                  << strValue.size() << " bytes long, longer than the " << kWriteBufferSize - 1
                  << " bytes a setting can hold.\n";
        return 0;
    }
    if (!m_pSettings->SetValue(strName, strValue)) {
        ShowMessage("Unable to write register. \nRegistration impossible!!!");
        return 0;
    }
    return 1;
}

std::string CQuilloryApp::DirectoryPart(const std::string& strPath)
{
    const PathParts parts = SplitPath(strPath);
    return parts.drive + parts.dir;
}

std::string CQuilloryApp::ParentPath(const std::string& strPath)
{
    // Trailing separators name the same directory: "/home/a/" is "/home/a".
    std::string path = strPath;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path.empty() || path == "/")
        return path.empty() ? std::string() : std::string("/");
    const PathParts parts = SplitPath(path);
    if (parts.dir.empty())
        return path;  // a bare relative name has no parent we could name; stay
    std::string parent = parts.dir;
    while (parent.size() > 1 && parent.back() == '/')
        parent.pop_back();
    return parent;
}

int CQuilloryApp::ShowMessage(const std::string& strText, unsigned flags)
{
    return m_pMessageBox ? m_pMessageBox->MessageBox(strText, kAppTitle, flags) : IDOK;
}

void CQuilloryApp::ShowProgress(const char* label, std::int32_t n)
{
    if (m_pStatus)
        m_pStatus->SetProgressText(label, n);
}
