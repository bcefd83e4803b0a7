#include "view/ScriptPageHostCore.h"

#include <charconv>
#include <utility>

namespace {

// Operation codes of the queued data; the page's interpreter (run in listing.js) reads them.
enum Op : int {
    kOpFindId = 1,      // handle, id
    kOpFindInBody = 2,  // handle, name or id
    kOpClass = 5,       // element, text
    kOpHtml = 6,
    kOpText = 7,
    kOpTitle = 8,
    kOpAttribute = 9,   // element, name, value
};

void AppendStringList(std::string& out, const std::vector<std::string>& items)
{
    out += '[';
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i)
            out += ',';
        out += '\'';
        out += items[i];  // our own ids: letters only
        out += '\'';
    }
    out += ']';
}

void AppendNumber(std::string& out, std::int32_t n)
{
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
    out.append(digits, end);
}

// The queued data is JSON inside a single-quoted script string. Text is bytes; each byte becomes
// the code unit of the same value. Anything that is not plain printable ASCII, and the three
// quoting characters, goes in as a JSON escape (its backslash doubled for the script string), so
// the script stays ASCII and no byte can end the string.
void AppendJsString(std::string& out, std::string_view text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\' && c != '\'') {
            out.push_back(static_cast<char>(c));
        } else {
            out += "\\\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    out += '"';
}

// The start of every script for the page of generation: it stops at once on any other page.
std::string ScriptFor(std::int32_t generation)
{
    std::string script = "(function() { var q = window.__quillory; if (!q || q.gen !== ";
    AppendNumber(script, generation);
    script += ") return -1; ";
    return script;
}

void AppendShowCall(std::string& script, const ListingRows& rows, ScrollTo scroll)
{
    script += "return q.show(";
    AppendNumber(script, rows.Generation());
    script += ',';
    AppendNumber(script, rows.Count());
    script += ',';
    AppendNumber(script, rows.Selected());
    script += ',';
    AppendNumber(script, kListingRowHeight);
    script += scroll == ScrollTo::Restore ? ",'restore');" : ",'top');";
}

} // namespace

const std::vector<std::string>& ScriptPageHostCore::ProbedIds()
{
    static const std::vector<std::string> ids{"cartellacorrente", "puntozero", "intesta", "saltare"};
    return ids;
}

const std::vector<std::string>& ScriptPageHostCore::ProbedBodyChildren()
{
    static const std::vector<std::string> names{"puntozero"};
    return names;
}

ScriptPageHostCore::ScriptPageHostCore(ScriptSink sink, ListingRows& rows) : m_sink(std::move(sink)), m_rows(rows)
{
    m_elements.push_back(Kind::Free);
}

std::string ScriptPageHostCore::ProbeScript(std::int32_t generation)
{
    // The page's script is put into every load of the page; until it has run there is nothing to
    // probe.
    std::string script = "(function(gen, ids, kids) { var l = window.__quilloryListing; "
                         "return l ? l.claim(gen, ids, kids) : {wait: true}; })(";
    AppendNumber(script, generation);
    script += ',';
    AppendStringList(script, ProbedIds());
    script += ',';
    AppendStringList(script, ProbedBodyChildren());
    script += ')';
    return script;
}

std::string ScriptPageHostCore::ShowScript(std::int32_t generation, const ListingRows& rows, ScrollTo scroll)
{
    std::string script = ScriptFor(generation);
    AppendShowCall(script, rows, scroll);
    script += " })()";
    return script;
}

std::string ScriptPageHostCore::SelectScript(std::int32_t generation, const ListingRows& rows)
{
    std::string script = ScriptFor(generation);
    script += "return q.select(";
    AppendNumber(script, rows.Generation());
    script += ',';
    AppendNumber(script, rows.Selected());
    script += "); })()";
    return script;
}

std::string ScriptPageHostCore::RememberScrollScript(std::int32_t generation)
{
    return ScriptFor(generation) + "return q.rememberScroll(); })()";
}

void ScriptPageHostCore::Attach(std::int32_t generation, PageProbe probe)
{
    m_ops.clear();
    m_elements.assign(1, Kind::Free);
    m_freeHandles.clear();
    m_bShowPending = false;
    m_nGeneration = generation;
    m_probe = std::move(probe);
    m_bAttached = true;
}

void ScriptPageHostCore::Detach()
{
    m_ops.clear();
    m_bShowPending = false;
    m_bAttached = false;
    m_probe = PageProbe{};
}

bool ScriptPageHostCore::HasDocument() { return m_bAttached && m_probe.bDocument; }

bool ScriptPageHostCore::HasBody() { return HasDocument() && m_probe.bBody; }

PageElement ScriptPageHostCore::FindElementById(std::string_view id)
{
    if (!HasDocument())
        return 0;
    const auto found = m_probe.ids.find(id);
    if (found == m_probe.ids.end() || found->second.empty())
        return 0;
    const PageElement element = NewElement(found->second == "TABLE" ? Kind::Table : Kind::Other);
    BeginOp(kOpFindId, element);
    AppendString(id);
    return element;
}

PageElement ScriptPageHostCore::FindBodyChild(std::string_view nameOrId)
{
    if (!HasBody())
        return 0;
    const auto found = m_probe.bodyChildren.find(nameOrId);
    if (found == m_probe.bodyChildren.end() || found->second.empty())
        return 0;
    const PageElement element = NewElement(found->second == "TABLE" ? Kind::Table : Kind::Other);
    BeginOp(kOpFindInBody, element);
    AppendString(nameOrId);
    return element;
}

bool ScriptPageHostCore::IsTable(PageElement element) { return KindOf(element) == Kind::Table; }

PageElement ScriptPageHostCore::InsertRow(PageElement /*table*/) { return 0; }

PageElement ScriptPageHostCore::InsertCell(PageElement /*row*/) { return 0; }

void ScriptPageHostCore::SetClassName(PageElement element, std::string_view text)
{
    if (KindOf(element) == Kind::Free)
        return;
    BeginOp(kOpClass, element);
    AppendString(text);
}

void ScriptPageHostCore::SetInnerHtml(PageElement element, std::string_view html)
{
    if (KindOf(element) == Kind::Free)
        return;
    BeginOp(kOpHtml, element);
    AppendString(html);
}

void ScriptPageHostCore::SetInnerText(PageElement element, std::string_view text)
{
    if (KindOf(element) == Kind::Free)
        return;
    BeginOp(kOpText, element);
    AppendString(text);
}

void ScriptPageHostCore::SetTitle(PageElement element, std::string_view text)
{
    if (KindOf(element) == Kind::Free)
        return;
    BeginOp(kOpTitle, element);
    AppendString(text);
}

void ScriptPageHostCore::SetAttribute(PageElement element, std::string_view name, std::string_view value,
                                      std::int32_t /*flags*/)
{
    if (KindOf(element) == Kind::Free)
        return;
    BeginOp(kOpAttribute, element);
    AppendString(name);
    m_ops += ',';
    AppendString(value);
}

void ScriptPageHostCore::Release(PageElement element)
{
    // The page keeps its reference until the handle is given out again, which overwrites it.
    if (KindOf(element) == Kind::Free)
        return;
    m_elements[static_cast<std::size_t>(element)] = Kind::Free;
    m_freeHandles.push_back(element);
}

void ScriptPageHostCore::TakeListing(PageElement table, std::vector<const listaf*> rows)
{
    if (KindOf(table) != Kind::Table)
        return;
    m_rows.Reset(std::move(rows));
    m_bShowPending = true;
}

void ScriptPageHostCore::Flush()
{
    if (!m_bAttached)
        return;
    std::string script = ScriptFor(m_nGeneration);
    script += "q.run(JSON.parse('[";
    script += m_ops;
    script += "]')); ";
    if (m_bShowPending)
        AppendShowCall(script, m_rows, ScrollTo::Top);
    else
        script += "return 0;";
    script += " })()";
    m_ops.clear();
    m_bShowPending = false;
    if (m_sink)
        m_sink(std::move(script));
}

PageElement ScriptPageHostCore::NewElement(Kind kind)
{
    if (!m_freeHandles.empty()) {
        const PageElement element = m_freeHandles.back();
        m_freeHandles.pop_back();
        m_elements[static_cast<std::size_t>(element)] = kind;
        return element;
    }
    m_elements.push_back(kind);
    return static_cast<PageElement>(m_elements.size() - 1);
}

ScriptPageHostCore::Kind ScriptPageHostCore::KindOf(PageElement element) const
{
    if (element <= 0 || static_cast<std::size_t>(element) >= m_elements.size())
        return Kind::Free;
    return m_elements[static_cast<std::size_t>(element)];
}

void ScriptPageHostCore::BeginOp(int op, PageElement element)
{
    if (!m_ops.empty())
        m_ops += ',';
    AppendNumber(m_ops, op);
    m_ops += ',';
    AppendNumber(m_ops, element);
    m_ops += ',';
}

void ScriptPageHostCore::AppendString(std::string_view text) { AppendJsString(m_ops, text); }
