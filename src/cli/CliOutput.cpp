#include "cli/CliOutput.h"

#include "core/QuilloryApp.h"
#include "model/listax.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

int WrongUsage(std::string_view problem, std::string_view usage)
{
    std::cerr << kCliName << ": " << problem << '\n' << usage;
    return 2;
}

int StderrMessageBox::MessageBox(std::string_view text, std::string_view, unsigned)
{
    m_bShown = true;
    std::cerr << kCliName << ": ";
    std::cerr.write(text.data(), static_cast<std::streamsize>(text.size()));
    std::cerr << '\n';
    std::cerr.flush();
    return IDOK;
}

void StdoutWriter::Write(std::string_view text)
{
    if (m_nError == 0 && std::fwrite(text.data(), 1, text.size(), stdout) != text.size())
        m_nError = errno ? errno : EIO;
}

bool StdoutWriter::Finish()
{
    if (m_nError == 0 && std::fflush(stdout) != 0)
        m_nError = errno ? errno : EIO;
    if (m_nError == 0 && std::ferror(stdout))
        m_nError = EIO;
    if (m_nError == 0)
        return true;
    std::cerr << "quillory-cli: cannot write to standard output: " << std::strerror(m_nError) << '\n';
    return false;
}

std::string JsonBytes(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (const char ch : text) {
        const auto b = static_cast<unsigned char>(ch);
        switch (b) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (b < 0x20 || b >= 0x7F) {
                char esc[8];
                std::snprintf(esc, sizeof esc, "\\u%04x", b);
                out += esc;
            } else {
                out += ch;
            }
        }
    }
    out += '"';
    return out;
}

std::string EntryJson(const listaf& e)
{
    std::string line = "{\"serial\":" + std::to_string(e.m_nSerial);
    line += ",\"kind\":" + std::to_string(e.m_nKind);
    line += ",\"name\":" + JsonBytes(e.m_strName);
    line += ",\"path\":" + JsonBytes(e.m_strPath);
    line += ",\"ext\":" + JsonBytes(e.m_strExt);
    line += ",\"size\":" + std::to_string(e.Size());
    line += ",\"from\":" + JsonBytes(e.m_strFrom);
    line += ",\"to\":" + JsonBytes(e.m_strTo);
    line += ",\"subject\":" + JsonBytes(e.m_strSubject);
    line += ",\"date\":" + JsonBytes(e.m_strDate);
    line += ",\"header\":" + JsonBytes(e.m_strHeader);
    line += ",\"record_offset\":" + std::to_string(e.m_nRecordOffset);
    line += ",\"data_offset\":" + std::to_string(e.m_nDataOffset);
    // The header lines as the message holds them; the four above are the listing's escaped text.
    const RawHeaderLines none;
    const RawHeaderLines& raw = e.m_pRawLines ? *e.m_pRawLines : none;
    line += ",\"from_raw\":" + JsonBytes(raw.strFrom);
    line += ",\"to_raw\":" + JsonBytes(raw.strTo);
    line += ",\"subject_raw\":" + JsonBytes(raw.strSubject);
    line += ",\"date_raw\":" + JsonBytes(raw.strDate);
    if (e.m_nKind == KIND_FOLDER_MESSAGE) {
        // Found by scanning the file rather than through its index, and whether all of it was.
        line += ",\"recovered\":";
        line += e.m_recovery != MessageRecovery::None ? "true" : "false";
        line += ",\"complete\":";
        line += e.m_recovery != MessageRecovery::Partial ? "true" : "false";
    }
    line += '}';
    return line;
}

void ListMailFolderAt(CQuilloryApp& app, const std::string& path)
{
    listaf* folder = app.AppendEntry();
    folder->m_strPath = path;
    folder->m_nKind = KIND_MAIL_FOLDER;
    app.m_pCurrentEntry = folder;
    app.m_strCurrentDir = path;
    app.ListMailFolder();
}
