#include "mime/MimeDocument.h"

#include <algorithm>
#include <climits>
#include <set>
#include <utility>

#include <gmime/gmime.h>

#include "mime/Charset.h"
#include "mime/HeaderDecode.h"
#include "mime/MimeLibrary.h"
#include "model/TextSearch.h"

namespace {

struct ObjectUnref {
    void operator()(gpointer object) const
    {
        if (object)
            g_object_unref(object);
    }
};
template <class T>
using GPtr = std::unique_ptr<T, ObjectUnref>;

struct OptionsFree {
    void operator()(GMimeParserOptions* options) const { g_mime_parser_options_free(options); }
};

// The library stops nesting at 1024 levels itself; this bounds our own walk whatever it does.
constexpr int kMaxDepth = 1100;
constexpr std::size_t kPieceSize = 64 * 1024;

using Sink = std::function<bool(const char*, std::size_t)>;

std::string Lower(const char* text)
{
    std::string out = text ? text : "";
    for (char& ch : out)
        if (ch >= 'A' && ch <= 'Z')
            ch = static_cast<char>(ch - 'A' + 'a');
    return out;
}

bool EqualsNoCase(const char* text, std::string_view word) { return text && CompareNoCase(text, word) == 0; }

std::string MimeType(GMimeObject* object)
{
    GMimeContentType* type = g_mime_object_get_content_type(object);
    if (!type)
        return "application/octet-stream";
    return Lower(g_mime_content_type_get_media_type(type)) + "/" + Lower(g_mime_content_type_get_media_subtype(type));
}

// Writes the decoded content of a leaf part or an embedded message to sink. False when the sink
// refused a piece or the content could not be read through.
bool WriteObject(GMimeObject* object, const Sink& sink)
{
    if (GMIME_IS_MESSAGE_PART(object)) {
        GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
        if (!inner)
            return true;
        GPtr<GMimeStream> memory(g_mime_stream_mem_new());
        if (g_mime_object_write_to_stream(GMIME_OBJECT(inner), nullptr, memory.get()) < 0)
            return false;
        GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(memory.get()));
        for (guint done = 0; done < bytes->len;) {
            const std::size_t piece = std::min<std::size_t>(kPieceSize, bytes->len - done);
            if (!sink(reinterpret_cast<const char*>(bytes->data) + done, piece))
                return false;
            done += static_cast<guint>(piece);
        }
        return true;
    }
    if (!GMIME_IS_PART(object))
        return true;
    GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(object));
    if (!content)
        return true;
    GMimeStream* raw = g_mime_data_wrapper_get_stream(content);
    if (!raw)
        return true;
    g_mime_stream_reset(raw);
    GPtr<GMimeStream> filtered(g_mime_stream_filter_new(raw));
    const GMimeContentEncoding encoding = g_mime_data_wrapper_get_encoding(content);
    if (encoding == GMIME_CONTENT_ENCODING_BASE64 || encoding == GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE ||
        encoding == GMIME_CONTENT_ENCODING_UUENCODE) {
        GMimeFilter* decoder = g_mime_filter_basic_new(encoding, FALSE);
        g_mime_stream_filter_add(GMIME_STREAM_FILTER(filtered.get()), decoder);
        g_object_unref(decoder);
    }
    // One buffer per thread: a message of many small parts would otherwise pay for a fresh one
    // per part. Sinks never read parts themselves, so it is never in use twice.
    thread_local std::vector<char> buffer(kPieceSize);
    while (true) {
        const ssize_t got = g_mime_stream_read(filtered.get(), buffer.data(), buffer.size());
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        if (!sink(buffer.data(), static_cast<std::size_t>(got)))
            return false;
    }
}

void ParserWarning(gint64, GMimeParserWarning code, const gchar*, gpointer data)
{
    static_cast<std::set<int>*>(data)->insert(static_cast<int>(code));
}

} // namespace

struct MimeDocument::Impl {
    GPtr<GMimeStream> stream;  // owns the bytes the message and its parts are read from
    std::unique_ptr<GMimeParserOptions, OptionsFree> options;
    GPtr<GMimeMessage> message;  // null when the bytes hold no message header
    std::string_view source;
    MimeContent content;
    std::vector<GMimeObject*> attachmentObjects;  // owned by message, one per attachment
    std::set<int> warnings;

    void Note(std::string text)
    {
        if (std::find(content.notes.begin(), content.notes.end(), text) == content.notes.end())
            content.notes.push_back(std::move(text));
    }
    void ReadHeaders(const std::string& hint);
    void Walk(GMimeObject* object, int depth, bool bTopLevel, bool bRelatedPart);
    void Leaf(GMimeObject* object, bool bTopLevel, bool bRelatedPart);
    void AddAttachment(GMimeObject* object, bool bRelatedPart);
    void AddText(std::optional<std::string>& slot, const std::string& bytes, const char* charset, const char* what);
};

namespace {

// The charset of the first text part, the best guess for 8-bit bytes in the headers.
std::string FirstTextCharset(GMimeObject* object, int depth)
{
    if (!object || depth > kMaxDepth)
        return {};
    if (GMIME_IS_MULTIPART(object)) {
        GMimeMultipart* multipart = GMIME_MULTIPART(object);
        for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i) {
            std::string found = FirstTextCharset(g_mime_multipart_get_part(multipart, i), depth + 1);
            if (!found.empty())
                return found;
        }
        return {};
    }
    if (GMIME_IS_PART(object) && MimeType(object).rfind("text/", 0) == 0) {
        const std::string charset = Lower(g_mime_object_get_content_type_parameter(object, "charset"));
        if (charset != "us-ascii" && charset != "utf-8")
            return charset;
    }
    return {};
}

} // namespace

void MimeDocument::Impl::ReadHeaders(const std::string& hint)
{
    GMimeHeaderList* list = g_mime_object_get_header_list(GMIME_OBJECT(message.get()));
    const auto value = [&](const char* name, bool* pFound) {
        GMimeHeader* header = list ? g_mime_header_list_get_header(list, name) : nullptr;
        if (pFound)
            *pFound = header != nullptr;
        const char* raw = header ? g_mime_header_get_raw_value(header) : nullptr;
        return raw ? DecodeHeaderValue(raw, hint) : std::string();
    };
    MimeHeaders& headers = content.headers;
    headers.strFrom = value("From", nullptr);
    headers.strTo = value("To", nullptr);
    headers.strCc = value("Cc", &headers.bHasCc);
    headers.strDate = value("Date", nullptr);
    headers.strSubject = value("Subject", nullptr);
}

void MimeDocument::Impl::AddText(std::optional<std::string>& slot, const std::string& bytes, const char* charset,
                                 const char* what)
{
    Utf8Text text = ToUtf8(bytes, charset ? charset : "");
    const std::string declared = Lower(charset);
    if (text.bGuessed && !declared.empty() && declared != text.strCharset)
        Note(std::string("The ") + what + " claims the charset \"" + declared + "\", which does not fit it: it is shown as " +
             text.strCharset + ".");
    if (!text.bExact)
        Note(std::string("Some bytes of the ") + what + " are not valid " + text.strCharset + "; they are shown as \xEF\xBF\xBD.");
    if (slot) {
        *slot += "\n";
        *slot += text.strText;
    } else {
        slot = std::move(text.strText);
    }
}

void MimeDocument::Impl::AddAttachment(GMimeObject* object, bool bRelatedPart)
{
    MimeAttachment attachment;
    attachment.strType = MimeType(object);
    const char* id = g_mime_object_get_content_id(object);
    attachment.strContentId = id ? ValidUtf8(id) : std::string();
    const char* disposition = g_mime_object_get_disposition(object);
    attachment.bInline = bRelatedPart || EqualsNoCase(disposition, "inline");
    const char* filename = GMIME_IS_PART(object) ? g_mime_part_get_filename(GMIME_PART(object)) : nullptr;
    if (!filename)
        filename = g_mime_object_get_content_disposition_parameter(object, "filename");
    if (filename) {
        attachment.strName = DecodeHeaderValue(filename);
    } else if (GMIME_IS_MESSAGE_PART(object)) {
        GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
        const char* subject = inner ? g_mime_message_get_subject(inner) : nullptr;
        if (subject && *subject)
            attachment.strName = DecodeHeaderValue(subject) + ".eml";
    }
    std::uint64_t size = 0;
    attachment.bDamaged = !WriteObject(object, [&size](const char*, std::size_t n) {
        size += n;
        return true;
    });
    attachment.nSize = size;
    if (attachment.bDamaged)
        Note("The part \"" + attachment.strName + "\" (" + attachment.strType + ") could not be read whole.");
    content.attachments.push_back(std::move(attachment));
    attachmentObjects.push_back(object);
}

void MimeDocument::Impl::Leaf(GMimeObject* object, bool bTopLevel, bool bRelatedPart)
{
    const std::string type = MimeType(object);
    const bool bAttachment = EqualsNoCase(g_mime_object_get_disposition(object), "attachment");
    const bool bNamed = GMIME_IS_PART(object) && g_mime_part_get_filename(GMIME_PART(object)) != nullptr;
    std::optional<std::string>* slot = nullptr;
    if (type == "text/plain")
        slot = &content.plain;
    else if (type == "text/html")
        slot = &content.html;
    // The first plain and the first HTML text that are not meant as files are the message's text;
    // a named text part is a file unless it is all the message holds.
    if (slot && !*slot && !bAttachment && (!bNamed || bTopLevel)) {
        std::string bytes;
        const bool bWhole = WriteObject(object, [&bytes](const char* data, std::size_t n) {
            bytes.append(data, n);
            return true;
        });
        if (!bWhole)
            Note("The message's text could not be read whole.");
        AddText(*slot, bytes, g_mime_object_get_content_type_parameter(object, "charset"),
                type == "text/html" ? "HTML text" : "text");
        return;
    }
    AddAttachment(object, bRelatedPart);
}

void MimeDocument::Impl::Walk(GMimeObject* object, int depth, bool bTopLevel, bool bRelatedPart)
{
    if (!object)
        return;
    if (depth > kMaxDepth) {
        Note("Parts nested more than " + std::to_string(kMaxDepth) + " deep were not read.");
        return;
    }
    if (GMIME_IS_MULTIPART(object)) {
        GMimeMultipart* multipart = GMIME_MULTIPART(object);
        const int count = g_mime_multipart_get_count(multipart);
        if (count == 0) {
            // No part boundary was found (none given, or never met): the content is all in the
            // prologue, and text is better than nothing.
            const char* prologue = g_mime_multipart_get_prologue(multipart);
            if (prologue && *prologue) {
                Note("A multipart part has no usable boundary; its content is shown as text.");
                AddText(content.plain, prologue, g_mime_object_get_content_type_parameter(object, "charset"), "text");
            }
            return;
        }
        const bool bRelated = EqualsNoCase(g_mime_content_type_get_media_subtype(g_mime_object_get_content_type(object)), "related");
        for (int i = 0; i < count; ++i)
            Walk(g_mime_multipart_get_part(multipart, i), depth + 1, false, bRelated && i > 0);
        return;
    }
    if (GMIME_IS_MESSAGE_PART(object)) {
        AddAttachment(object, bRelatedPart);
        return;
    }
    if (GMIME_IS_PART(object))
        Leaf(object, bTopLevel, bRelatedPart);
}

MimeDocument::MimeDocument(std::unique_ptr<Impl> impl) : m_pImpl(std::move(impl)) {}
MimeDocument::~MimeDocument() = default;

std::unique_ptr<MimeDocument> MimeDocument::Parse(std::string_view bytes)
{
    InitMimeLibrary();
    auto impl = std::make_unique<Impl>();
    // A byte array counts its length in 32 bits.
    const std::size_t size = std::min<std::size_t>(bytes.size(), UINT_MAX - 1);
    GByteArray* array = g_byte_array_sized_new(static_cast<guint>(size));
    g_byte_array_append(array, reinterpret_cast<const guint8*>(bytes.data()), static_cast<guint>(size));
    impl->stream.reset(g_mime_stream_mem_new_with_byte_array(array));
    impl->source = std::string_view(reinterpret_cast<const char*>(array->data), array->len);
    if (size < bytes.size())
        impl->Note("Only the first " + std::to_string(size) + " bytes of the message were read.");

    impl->options.reset(g_mime_parser_options_new());
    const char* fallback[] = {"utf-8", "windows-1252", nullptr};
    g_mime_parser_options_set_fallback_charsets(impl->options.get(), fallback);
    g_mime_parser_options_set_warning_callback(impl->options.get(), ParserWarning, &impl->warnings);
    {
        GPtr<GMimeParser> parser(g_mime_parser_new_with_stream(impl->stream.get()));
        g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
        impl->message.reset(g_mime_parser_construct_message(parser.get(), impl->options.get()));
    }
    // The warnings were for the parse; later calls must not write to a set that may be gone.
    g_mime_parser_options_set_warning_callback(impl->options.get(), nullptr, nullptr);

    if (!impl->message) {
        if (!impl->source.empty()) {
            impl->Note("The file has no message header; it is shown as text.");
            impl->AddText(impl->content.plain, std::string(impl->source), nullptr, "text");
        } else {
            impl->Note("The message is empty.");
        }
        return std::unique_ptr<MimeDocument>(new MimeDocument(std::move(impl)));
    }
    GMimeObject* body = g_mime_message_get_mime_part(impl->message.get());
    impl->ReadHeaders(FirstTextCharset(body, 0));
    impl->Walk(body, 0, true, false);
    // A single part that ends early has lost nothing (a header with no empty line after it, say).
    if (impl->warnings.count(GMIME_WARN_TRUNCATED_MESSAGE) && body && GMIME_IS_MULTIPART(body))
        impl->Note("The message ends before its last part does; that part may be incomplete.");
    if (impl->warnings.count(GMIME_CRIT_NESTING_OVERFLOW))
        impl->Note("Parts nested too deep were not read.");
    if (!body || (!impl->content.plain && !impl->content.html && impl->content.attachments.empty()))
        impl->Note("The message has no text.");
    return std::unique_ptr<MimeDocument>(new MimeDocument(std::move(impl)));
}

const MimeContent& MimeDocument::Content() const { return m_pImpl->content; }

std::string_view MimeDocument::Source() const { return m_pImpl->source; }

bool MimeDocument::WriteAttachment(std::size_t index, const std::function<bool(const char*, std::size_t)>& sink) const
{
    if (index >= m_pImpl->attachmentObjects.size())
        return false;
    return WriteObject(m_pImpl->attachmentObjects[index], sink);
}

std::optional<std::string> MimeDocument::AttachmentBytes(std::size_t index, std::uint64_t nLimit) const
{
    if (index >= m_pImpl->attachmentObjects.size() || m_pImpl->content.attachments[index].nSize > nLimit)
        return std::nullopt;
    std::string bytes;
    const bool bWhole = WriteAttachment(index, [&](const char* data, std::size_t n) {
        if (bytes.size() + n > nLimit)
            return false;
        bytes.append(data, n);
        return true;
    });
    if (!bWhole && bytes.size() < m_pImpl->content.attachments[index].nSize)
        return std::nullopt;
    return bytes;
}

std::optional<std::size_t> MimeDocument::FindContentId(std::string_view contentId) const
{
    if (contentId.size() >= 2 && contentId.front() == '<' && contentId.back() == '>')
        contentId = contentId.substr(1, contentId.size() - 2);
    if (contentId.empty())
        return std::nullopt;
    const auto& attachments = m_pImpl->content.attachments;
    for (std::size_t i = 0; i < attachments.size(); ++i)
        if (attachments[i].strContentId == contentId)
            return i;
    return std::nullopt;
}
