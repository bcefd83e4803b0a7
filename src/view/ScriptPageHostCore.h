#pragma once
// The page host of the real page, short of the browser: it answers the listing's questions from a
// probe of the loaded document and turns the changes into scripts for the page. Changes are queued
// as data and handed over in a few large scripts, because one page call per cell makes a large
// table take several times longer to fill. No Qt here; the view runs the scripts.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "view/ListingPageCore.h"

// What a probe of the loaded document found: element tag names ("TABLE"), "" for not found.
struct PageProbe {
    bool bDocument = false;
    bool bBody = false;
    std::map<std::string, std::string, std::less<>> ids;          // document.getElementById
    std::map<std::string, std::string, std::less<>> bodyChildren; // by id or name, inside the body
};

class ScriptPageHostCore : public IPageHost {
public:
    // Receives each script in order; bFinal marks the one that ends a fill, which evaluates to the
    // number of rows of the listing table (-1 when the page is no longer the one of this host).
    // The rows it has appended are still hidden then: see RevealScript.
    using ScriptSink = std::function<void(std::string script, bool bFinal)>;

    // The ids and body children a probe looks for; lookups of others find nothing.
    static const std::vector<std::string>& ProbedIds();
    static const std::vector<std::string>& ProbedBodyChildren();

    // A script is handed over whenever the queued data pass flushBytes, and at each Flush.
    explicit ScriptPageHostCore(ScriptSink sink, std::size_t flushBytes = 1u << 20);

    // The script that probes a freshly loaded document and claims it for generation's scripts. It
    // evaluates to {doc, body, ids: {id: tag}, kids: {name: tag}}, or to {wait: true} while there
    // is no such document yet (still loading, or the old one, already claimed, still shown).
    [[nodiscard]] static std::string ProbeScript(std::int32_t generation);

    // The script that shows the first rows of the rows that fills have appended (each stays hidden
    // until then) and lays the page out; the others are shown rows at a time as the reader scrolls
    // near the end of what is shown. It evaluates to the number still hidden, or -1 when the page
    // is no longer the one of generation.
    [[nodiscard]] static std::string RevealScript(std::int32_t generation, std::int32_t rows);

    // A new document of this generation has been probed. Queued changes of earlier ones are dropped.
    void Attach(std::int32_t generation, PageProbe probe);
    // The document is going away (a load has started): nothing is there until the next Attach.
    void Detach();
    [[nodiscard]] bool IsAttached() const { return m_bAttached; }
    [[nodiscard]] std::int32_t Generation() const { return m_nGeneration; }

    bool HasDocument() override;
    bool HasBody() override;
    PageElement FindElementById(std::string_view id) override;
    PageElement FindBodyChild(std::string_view nameOrId) override;
    bool IsTable(PageElement element) override;
    PageElement InsertRow(PageElement table) override;
    PageElement InsertCell(PageElement row) override;
    void SetClassName(PageElement element, std::string_view text) override;
    void SetInnerHtml(PageElement element, std::string_view html) override;
    void SetInnerText(PageElement element, std::string_view text) override;
    void SetTitle(PageElement element, std::string_view text) override;
    void SetAttribute(PageElement element, std::string_view name, std::string_view value,
                      std::int32_t flags) override;
    void Release(PageElement element) override;
    void Flush() override;

private:
    enum class Kind : std::uint8_t { Free, Table, Other, Row, Cell };

    PageElement NewElement(Kind kind);
    void Send(bool bFinal);
    [[nodiscard]] Kind KindOf(PageElement element) const;
    void BeginOp(int op, PageElement element);
    void AppendString(std::string_view text);
    void EndOp();

    ScriptSink m_sink;
    std::size_t m_nFlushBytes;
    bool m_bAttached = false;
    std::int32_t m_nGeneration = 0;
    PageProbe m_probe;
    std::vector<Kind> m_elements;          // by handle; handle 0 is never used
    std::vector<PageElement> m_freeHandles;
    std::string m_ops;                     // the queued changes, as the body of a script array
};
