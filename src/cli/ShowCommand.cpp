#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "cli/CliOutput.h"
#include "cli/Commands.h"
#include "core/QuilloryApp.h"
#include "extract/MessageCopy.h"
#include "mime/AttachmentSave.h"
#include "mime/MessageSource.h"
#include "mime/MimeDocument.h"
#include "model/listax.h"
#include "platform/File.h"
#include "platform/Path.h"

namespace {

constexpr std::string_view kUsage = "usage: quillory-cli show PATH [MSGNAME] [--html] [--attachments OUTDIR]\n";

// Text for a terminal: a message must not be able to send it escape sequences or rewrite lines
// already shown. Line ends become LF; other C0 controls but tab, DEL and the C1 controls become
// U+FFFD.
std::string TerminalText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if ((b < 0x20 && b != '\n' && b != '\t') || b == 0x7F) {
            out += "\xEF\xBF\xBD";
        } else if (b == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

void Say(const std::string& text, bool& bSaid)
{
    std::cerr << kCliName << ": " << text << '\n';
    bSaid = true;
}

// Finds the message called name ("Msg00003", ".eml" optional) in the mail-folder file at path, as
// the listing names them, and reads it.
bool LoadFromFolder(const std::string& path, const std::string& name, LoadedMessage& loaded, bool& bSaid)
{
    StderrMessageBox messages;
    CQuilloryApp app;
    app.m_pMessageBox = &messages;
    app.m_bListHeaderLines = false;  // only the message's place is wanted
    ListMailFolderAt(app, path);
    if (messages.AnyShown())
        bSaid = true;
    const listaf* found = FindFolderMessage(app, name);
    if (!found) {
        Say("no message named " + FolderMessageName(name) + " in " + path, bSaid);
        return false;
    }
    CFile folder;
    if (!folder.Open(path, CFile::modeRead | CFile::typeBinary)) {
        Say("Error on opening file " + path, bSaid);
        return false;
    }
    std::string error;
    const ListedMessage listed = ListedMessageOf(*found);
    if (!LoadFolderMessage(folder, path, listed, loaded, error)) {
        Say(error, bSaid);
        return false;
    }
    return true;
}

} // namespace

int RunShow(int argc, char** argv)
{
    std::vector<std::string> positional;
    bool bHtml = false;
    std::string outDir;
    bool bSaveAttachments = false;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--html") {
            bHtml = true;
        } else if (arg == "--attachments") {
            if (++i >= argc)
                return WrongUsage("--attachments needs a directory", kUsage);
            outDir = argv[i];
            bSaveAttachments = true;
        } else if (arg.rfind("--", 0) == 0) {
            return WrongUsage("show has no option " + arg, kUsage);
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.empty())
        return WrongUsage("show needs a PATH", kUsage);
    if (positional.size() > 2)
        return WrongUsage("show takes a PATH and at most one message name", kUsage);
    if (bSaveAttachments && outDir.empty())
        return WrongUsage("--attachments needs a directory", kUsage);
    const std::string& path = positional[0];

    bool bSaid = false;
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        Say(path + " is a directory, not a message", bSaid);
        return 1;
    }
    LoadedMessage loaded;
    if (positional.size() == 2) {
        if (!LoadFromFolder(path, positional[1], loaded, bSaid))
            return 1;
    } else {
        if (KindFromExtension(SplitPath(path).ext) == KIND_MAIL_FOLDER) {
            std::cerr << kCliName << ": " << path << " is a mail-folder file: name the message to show "
                      << "(quillory-cli list " << path << " shows their names)\n";
            return 2;
        }
        std::string error;
        if (!LoadMessageFile(path, loaded, error)) {
            Say(error, bSaid);
            return 1;
        }
    }
    if (!loaded.strNote.empty())
        Say(loaded.strNote, bSaid);
    const std::unique_ptr<MimeDocument> document = MimeDocument::Parse(loaded.strBytes);
    std::string().swap(loaded.strBytes);  // the document holds its own copy
    const MimeContent& content = document->Content();
    for (const std::string& note : content.notes)
        Say(note, bSaid);

    std::string out;
    const MimeHeaders& headers = content.headers;
    out += "From: " + headers.strFrom + "\n";
    out += "To: " + headers.strTo + "\n";
    if (headers.bHasCc)
        out += "Cc: " + headers.strCc + "\n";
    out += "Date: " + headers.strDate + "\n";
    out += "Subject: " + headers.strSubject + "\n\n";
    out = TerminalText(out);
    const std::string* body = nullptr;
    if ((bHtml || !content.plain) && content.html)
        body = &*content.html;
    else if (content.plain)
        body = &*content.plain;
    if (bHtml && !content.html && content.plain)
        Say("the message has no HTML part; its plain text is shown", bSaid);
    if (body) {
        out += TerminalText(*body);
        if (!out.empty() && out.back() != '\n')
            out += '\n';
    }
    StdoutWriter output;
    output.Write(out);

    if (bSaveAttachments) {
        std::filesystem::create_directories(outDir, ec);
        if (!std::filesystem::is_directory(outDir, ec)) {
            Say("cannot use " + outDir + " as the output directory", bSaid);
        } else {
            for (const SavedAttachment& saved : SaveAllAttachments(*document, outDir)) {
                if (!saved.strPath.empty())
                    output.Write(TerminalText(saved.strPath) + "\n");
                if (!saved.strProblem.empty())
                    Say(TerminalText(saved.strProblem), bSaid);
            }
        }
    }
    if (!output.Finish())
        bSaid = true;
    return bSaid ? 1 : 0;
}
