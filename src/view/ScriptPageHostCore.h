#pragma once
// The page host of the real page, short of the browser: it answers the listing's questions from a
// probe of the loaded document, turns the changes into scripts for the page, and takes the
// listing for the page, which makes its rows itself from ListingRows as they come into view
// (res/page/listing.js). No Qt here; the view runs the scripts.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "view/ListingPageCore.h"
#include "view/ListingRows.h"

// What a probe of the loaded document found: element tag names ("TABLE"), "" for not found.
struct PageProbe {
    bool bDocument = false;
    bool bBody = false;
    std::map<std::string, std::string, std::less<>> ids;          // document.getElementById
    std::map<std::string, std::string, std::less<>> bodyChildren; // by id or name, inside the body
};

// Where the page puts its scroll position when it shows a listing.
enum class ScrollTo : std::uint8_t {
    Top,       // the first row (a new listing, a find)
    Restore,   // where it was when the find began
};

class ScriptPageHostCore : public IPageHost {
public:
    // Receives the script of each Flush, which evaluates to the number of rows the page shows when
    // it ends a fill, 0 when it does not, and -1 when the page is no longer the one of this host.
    using ScriptSink = std::function<void(std::string script)>;

    // The ids and body children a probe looks for; lookups of others find nothing.
    static const std::vector<std::string>& ProbedIds();
    static const std::vector<std::string>& ProbedBodyChildren();

    // rows receives the listing of every fill; it must outlive the host.
    ScriptPageHostCore(ScriptSink sink, ListingRows& rows);

    // The script that probes a freshly loaded document and claims it for generation's scripts. It
    // evaluates to {doc, body, ids: {id: tag}, kids: {name: tag}}, or to {wait: true} while there
    // is no such document yet (still loading, or the old one, already claimed, still shown).
    [[nodiscard]] static std::string ProbeScript(std::int32_t generation);

    // The script that makes the page of generation show the listing rows holds now, with the row
    // selected there, scrolled as asked. It evaluates to the number of rows shown, or -1 when the
    // page is no longer the one of generation.
    [[nodiscard]] static std::string ShowScript(std::int32_t generation, const ListingRows& rows, ScrollTo scroll);
    // The script that marks the selected row of rows and scrolls it into view; the same values.
    [[nodiscard]] static std::string SelectScript(std::int32_t generation, const ListingRows& rows);
    // The script that has the page remember where it is scrolled, for ScrollTo::Restore.
    [[nodiscard]] static std::string RememberScrollScript(std::int32_t generation);

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
    // The page makes the rows itself: these insert nothing.
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
    [[nodiscard]] bool MakesItsOwnRows() const override { return true; }
    void TakeListing(PageElement table, std::vector<const listaf*> rows) override;

private:
    enum class Kind : std::uint8_t { Free, Table, Other };

    PageElement NewElement(Kind kind);
    [[nodiscard]] Kind KindOf(PageElement element) const;
    void BeginOp(int op, PageElement element);
    void AppendString(std::string_view text);

    ScriptSink m_sink;
    ListingRows& m_rows;
    bool m_bAttached = false;
    bool m_bShowPending = false;
    std::int32_t m_nGeneration = 0;
    PageProbe m_probe;
    std::vector<Kind> m_elements;          // by handle; handle 0 is never used
    std::vector<PageElement> m_freeHandles;
    std::string m_ops;                     // the queued changes, as the body of a script array
};
