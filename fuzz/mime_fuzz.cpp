// libFuzzer target: any bytes, parsed as a message, then everything a reader takes from it. Nothing
// may crash, hang, leak or read out of bounds, and what comes out must hold whatever went in: all
// text valid UTF-8, header lines without control characters, each attachment's bytes as many as
// its listed size, each file name one the saving functions promise, and the listing's fast header
// decoder in agreement with the library's. Built as a plain program too
// (replay_main.cpp), which the tests run over the seeds in corpus-mime/.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "mime/AttachmentNames.h"
#include "mime/Charset.h"
#include "mime/HeaderDecode.h"
#include "mime/MimeDocument.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

void CheckLine(const std::string& text)
{
    Check(IsValidUtf8(text));
    for (const char ch : text)
        Check(static_cast<unsigned char>(ch) >= 0x20 && ch != 0x7F);
}

void CheckName(const std::string& name)
{
    CheckLine(name);
    Check(!name.empty() && name.size() <= kMaxAttachmentNameBytes);
    Check(name.find('/') == std::string::npos && name.find("..") == std::string::npos);
    Check(name.front() != '.' && name.front() != ' ' && name.back() != '.' && name.back() != ' ');
}

// True when value holds more than one encoded word and one of them is base64.
bool HasSeveralBase64Words(std::string_view value)
{
    std::size_t words = 0;
    bool bBase64 = false;
    for (std::size_t at = value.find("=?"); at != std::string_view::npos; at = value.find("=?", at + 2)) {
        ++words;
        const std::size_t q = value.find('?', at + 2);
        if (q != std::string_view::npos && q + 2 < value.size() && (value[q + 1] == 'b' || value[q + 1] == 'B') &&
            value[q + 2] == '?')
            bBase64 = true;
    }
    return words > 1 && bBase64;
}

// A NUL byte in an encoded word becomes a space in the fast decoder's text; the library's text
// shows it as "?", or ends there.
bool DiffersOnlyAtNul(const std::string& fast, const std::string& library)
{
    if (library.size() < fast.size())
        return fast.compare(0, library.size(), library) == 0;
    if (library.size() != fast.size())
        return false;
    for (std::size_t i = 0; i < fast.size(); ++i)
        if (fast[i] != library[i] && !(fast[i] == ' ' && library[i] == '?'))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto document = MimeDocument::Parse(bytes);
    Check(document->Source() == bytes);
    const MimeContent& content = document->Content();
    const MimeHeaders& headers = content.headers;
    for (const std::string* line : {&headers.strFrom, &headers.strTo, &headers.strCc, &headers.strDate, &headers.strSubject})
        CheckLine(*line);
    if (content.plain)
        Check(IsValidUtf8(*content.plain));
    if (content.html)
        Check(IsValidUtf8(*content.html));
    for (std::size_t i = 0; i < content.attachments.size() && i < 16; ++i) {
        const MimeAttachment& attachment = content.attachments[i];
        Check(IsValidUtf8(attachment.strName));
        CheckName(SanitizeAttachmentName(attachment.strName, attachment.strType));
        std::uint64_t written = 0;
        const bool bWhole = document->WriteAttachment(i, [&](const char*, std::size_t n) {
            written += n;
            return true;
        });
        Check(written == attachment.nSize && bWhole == !attachment.bDamaged);
        if (!attachment.strContentId.empty())
            Check(document->FindContentId("<" + attachment.strContentId + ">").has_value());
    }
    // The listing's decoder, on the first line as the listing would hold it.
    const std::string_view firstLine = bytes.substr(0, bytes.find_first_of("\r\n"));
    CheckLine(DecodeHeaderLine(firstLine.substr(0, firstLine.find('\0'))));
    CheckName(SanitizeAttachmentName(bytes.substr(0, 600)));
    // The listing's fast decoder must give what the library's decoder gives, but where the library
    // loses text: a character split over base64 words, or a decoded NUL byte.
    const std::string_view value = bytes.substr(0, 2000);
    const std::string decoded = DecodeHeaderValue(value);
    Check(decoded == DecodeHeaderValueThoroughly(value) || HasSeveralBase64Words(value) ||
          DiffersOnlyAtNul(decoded, DecodeHeaderValueThoroughly(value)));
    return 0;
}
