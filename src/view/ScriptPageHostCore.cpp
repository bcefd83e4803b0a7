#include "view/ScriptPageHostCore.h"

#include <charconv>
#include <utility>

namespace {

// Operation codes of the queued data; the page's interpreter (in the probe script) reads them.
enum Op : int {
    kOpFindId = 1,      // handle, id
    kOpFindInBody = 2,  // handle, name or id
    kOpInsertRow = 3,   // handle of the new row, table
    kOpInsertCell = 4,  // handle of the new cell, row
    kOpClass = 5,       // element, text
    kOpHtml = 6,
    kOpText = 7,
    kOpTitle = 8,
    kOpAttribute = 9,   // element, name, value
};

// The page's side: the state lives in the isolated world of our scripts, out of the page's reach,
// and is tagged with the generation of the load, so that a script queued for a page that has since
// been replaced changes nothing in its successor.
constexpr const char* kProbeBody = R"JS(
  // Only a loaded page of ours that no probe has claimed yet is a new document; the one being
  // replaced, or a page still loading, is answered with a wait.
  var q = window.__quillory;
  if (location.protocol !== 'res:' || document.readyState !== 'complete')
    return {wait: true};
  if (q)
    return {wait: true, gen: q.gen};
  var find = function(n) {
    var b = document.body;
    if (!b) return null;
    var all = b.getElementsByTagName('*');
    for (var k = 0; k < all.length; ++k)
      if (all[k].id === n || all[k].getAttribute('name') === n) return all[k];
    return null;
  };
  var r = {doc: !!document.documentElement, body: !!document.body, ids: {}, kids: {}};
  ids.forEach(function(id) { var e = document.getElementById(id); r.ids[id] = e ? e.tagName : ''; });
  kids.forEach(function(n) { var e = find(n); r.kids[n] = e ? e.tagName : ''; });
  // While a fill goes on its table is hidden, so that the page is not laid out again after every
  // script of a long fill. (The hidden attribute, not an inline style: that would leave the table
  // an empty style attribute.) Each new row is hidden as well and shown by reveal(), a slice at a
  // time, each slice laid out in a script of its own: laid out in one go, a table of 100,000 rows
  // leaves the renderer the garbage of the whole layout at once and runs it out of memory maps
  // sooner, since the browser collects that garbage only between scripts.
  var E = [], hidden = null, wasHidden = false, veiled = [], shown = 0;
  var commit = function() {
    if (!hidden) return;
    hidden.hidden = wasHidden;
    hidden = null;
  };
  var newRow = function(table) {
    if (hidden !== table) {
      commit();
      hidden = table;
      wasHidden = table.hidden;
      table.hidden = true;
    }
    var row = table.insertRow(-1);
    row.hidden = true;
    veiled.push(row);
    return row;
  };
  // Shows up to count more rows and lays the page out; returns how many stay hidden.
  var reveal = function(count) {
    var end = Math.min(veiled.length, shown + Math.max(count, 1));
    for (; shown < end; ++shown)
      veiled[shown].hidden = false;
    if (shown === veiled.length) {
      veiled = [];
      shown = 0;
    }
    void document.body.offsetHeight;
    return veiled.length - shown;
  };
  // A long listing shows its first slice at once and the next one whenever the end of what is
  // shown comes near the window: every row is in the page, but laid out only when reached, since
  // the browser cannot hold the layout of 100,000 rows and needs seconds for that of 10,000. A
  // timer looks, rather than scroll events: it also notices a window made taller, or a first
  // slice too short to scroll.
  var slice = 0, watch = 0;
  var nearEnd = function() {
    var doc = document.scrollingElement || document.documentElement;
    return doc.scrollTop + 3 * window.innerHeight >= doc.scrollHeight;
  };
  var follow = function() {
    if (veiled.length === 0) {
      clearInterval(watch);
      watch = 0;
    } else if (nearEnd()) {
      reveal(slice);
    }
  };
  var revealFirst = function(count) {
    slice = Math.max(count, 1);
    reveal(slice);
    if (veiled.length - shown > 0 && !watch)
      watch = setInterval(follow, 150);
    return veiled.length - shown;
  };
  // Most cells hold text with a few entities, and the icon cells a handful of fixed pieces. Going
  // through the HTML parser for each of them makes a long fill need several times the memory, so
  // text goes in as text (the same result, since it holds no markup) and a repeated piece is
  // parsed once and copied.
  var entities = {'&lt;': '<', '&gt;': '>', '&amp;': '&', '&quot;': '"', '&nbsp;': '\u00a0'};
  var otherEntity = /&(?!(?:lt|gt|amp|quot|nbsp);)/, knownEntity = /&(?:lt|gt|amp|quot|nbsp);/g;
  var pieces = Object.create(null), pieceCount = 0;
  var setHtml = function(e, s) {
    if (s.indexOf('<') < 0 && s.indexOf('\0') < 0 && s.indexOf('\r') < 0 && !otherEntity.test(s)) {
      e.textContent = s.indexOf('&') < 0 ? s : s.replace(knownEntity, function(m) { return entities[m]; });
      return;
    }
    var piece = pieces[s];
    if (!piece && pieceCount < 16) {
      piece = pieces[s] = document.createElement('template');
      piece.innerHTML = s;
      ++pieceCount;
    }
    if (!piece) {
      e.innerHTML = s;
      return;
    }
    e.textContent = '';
    e.appendChild(piece.content.cloneNode(true));
  };
  window.__quillory = {gen: gen, find: find, commit: commit, reveal: reveal, revealFirst: revealFirst, rows: function() {
    var t = find('puntozero');
    return t && t.rows ? t.rows.length : -1;
  }, run: function(o) {
    var n = o.length, i = 0;
    while (i < n) {
      switch (o[i]) {
      case 1: E[o[i + 1]] = document.getElementById(o[i + 2]); i += 3; break;
      case 2: E[o[i + 1]] = find(o[i + 2]); i += 3; break;
      case 3: E[o[i + 1]] = newRow(E[o[i + 2]]); i += 3; break;
      case 4: E[o[i + 1]] = E[o[i + 2]].insertCell(-1); i += 3; break;
      case 5: E[o[i + 1]].className = o[i + 2]; i += 3; break;
      case 6: setHtml(E[o[i + 1]], o[i + 2]); i += 3; break;
      case 7: E[o[i + 1]].innerText = o[i + 2]; i += 3; break;
      case 8: E[o[i + 1]].title = o[i + 2]; i += 3; break;
      case 9: E[o[i + 1]].setAttribute(o[i + 2], o[i + 3]); i += 4; break;
      default: throw new Error('bad page operation ' + o[i]);
      }
    }
    return n;
  }};
  return r;
)JS";

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

// The queued data is JSON inside a single-quoted script string, because the browser turns a large
// JSON text into values far more cheaply than it compiles the same data written as a script array.
// Text is bytes; each byte becomes the code unit of the same value. Anything that is not plain
// printable ASCII, and the three quoting characters, goes in as a JSON escape (its backslash
// doubled for the script string), so the script stays ASCII and no byte can end the string.
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

ScriptPageHostCore::ScriptPageHostCore(ScriptSink sink, std::size_t flushBytes)
    : m_sink(std::move(sink)), m_nFlushBytes(flushBytes)
{
    m_elements.push_back(Kind::Free);
}

std::string ScriptPageHostCore::ProbeScript(std::int32_t generation)
{
    std::string script = "(function(gen, ids, kids) {";
    script += kProbeBody;
    script += "})(";
    script += std::to_string(generation);
    script += ',';
    AppendStringList(script, ProbedIds());
    script += ',';
    AppendStringList(script, ProbedBodyChildren());
    script += ')';
    return script;
}

std::string ScriptPageHostCore::RevealScript(std::int32_t generation, std::int32_t rows)
{
    std::string script = "(function() { var q = window.__quillory; if (!q || q.gen !== ";
    script += std::to_string(generation);
    script += ") return -1; return q.revealFirst(";
    script += std::to_string(rows);
    script += "); })()";
    return script;
}

void ScriptPageHostCore::Attach(std::int32_t generation, PageProbe probe)
{
    m_ops.clear();
    m_elements.assign(1, Kind::Free);
    m_freeHandles.clear();
    m_nGeneration = generation;
    m_probe = std::move(probe);
    m_bAttached = true;
}

void ScriptPageHostCore::Detach()
{
    m_ops.clear();
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
    EndOp();
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
    EndOp();
    return element;
}

bool ScriptPageHostCore::IsTable(PageElement element) { return KindOf(element) == Kind::Table; }

PageElement ScriptPageHostCore::InsertRow(PageElement table)
{
    if (KindOf(table) != Kind::Table)
        return 0;
    const PageElement row = NewElement(Kind::Row);
    BeginOp(kOpInsertRow, row);
    AppendNumber(m_ops, table);
    EndOp();
    return row;
}

PageElement ScriptPageHostCore::InsertCell(PageElement row)
{
    if (KindOf(row) != Kind::Row)
        return 0;
    const PageElement cell = NewElement(Kind::Cell);
    BeginOp(kOpInsertCell, cell);
    AppendNumber(m_ops, row);
    EndOp();
    return cell;
}

void ScriptPageHostCore::SetClassName(PageElement element, std::string_view text)
{
    if (KindOf(element) == Kind::Free)
        return;
    BeginOp(kOpClass, element);
    AppendString(text);
    EndOp();
}

void ScriptPageHostCore::SetInnerHtml(PageElement element, std::string_view html)
{
    if (KindOf(element) == Kind::Free)
        return;
    BeginOp(kOpHtml, element);
    AppendString(html);
    EndOp();
}

void ScriptPageHostCore::SetInnerText(PageElement element, std::string_view text)
{
    if (KindOf(element) == Kind::Free)
        return;
    BeginOp(kOpText, element);
    AppendString(text);
    EndOp();
}

void ScriptPageHostCore::SetTitle(PageElement element, std::string_view text)
{
    if (KindOf(element) == Kind::Free)
        return;
    BeginOp(kOpTitle, element);
    AppendString(text);
    EndOp();
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
    EndOp();
}

void ScriptPageHostCore::Release(PageElement element)
{
    // The page keeps its reference until the handle is given out again, which overwrites it.
    if (KindOf(element) == Kind::Free)
        return;
    m_elements[static_cast<std::size_t>(element)] = Kind::Free;
    m_freeHandles.push_back(element);
}

void ScriptPageHostCore::Flush()
{
    if (!m_bAttached)
        return;
    Send(true);
}

void ScriptPageHostCore::Send(bool bFinal)
{
    if (m_ops.empty() && !bFinal)
        return;
    std::string script = "(function() { var q = window.__quillory; if (!q || q.gen !== ";
    script += std::to_string(m_nGeneration);
    script += ") return -1; ";
    // Whatever goes wrong, the end of a fill shows its table again.
    script += bFinal ? "try { q.run(JSON.parse('[" : "q.run(JSON.parse('[";
    script += m_ops;
    script += bFinal ? "]')); } finally { q.commit(); } return q.rows(); })()" : "]')); return 0; })()";
    m_ops.clear();
    if (m_sink)
        m_sink(std::move(script), bFinal);
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

void ScriptPageHostCore::EndOp()
{
    if (m_ops.size() >= m_nFlushBytes)
        Send(false);
}
