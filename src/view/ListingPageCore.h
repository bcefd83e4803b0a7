#pragma once
// The listing page as the core sees it: a few document operations behind a seam, and the two
// operations that use them, filling the table from the entry list and checking that the page can
// take a table. No Qt here: the window implements the seam with JavaScript in the page, tests with
// an in-memory page.

#include <cstdint>
#include <string>
#include <string_view>

class CQuilloryApp;
class listaf;

// A handle on an element of the page; 0 names no element.
using PageElement = std::int32_t;

// The document operations the listing needs. A host may queue the changes and apply them later, in
// order, as long as the answers it gives at once (found, inserted) hold when they are applied.
class IPageHost {
public:
    virtual ~IPageHost() = default;

    [[nodiscard]] virtual bool HasDocument() = 0;
    [[nodiscard]] virtual bool HasBody() = 0;
    // Any element of the document with this id; 0 when there is none.
    [[nodiscard]] virtual PageElement FindElementById(std::string_view id) = 0;
    // An element inside the body whose name or id is this; 0 when there is none.
    [[nodiscard]] virtual PageElement FindBodyChild(std::string_view nameOrId) = 0;
    [[nodiscard]] virtual bool IsTable(PageElement element) = 0;
    // Append a row to a table, a cell to a row. Return the new element, or 0 when it failed.
    [[nodiscard]] virtual PageElement InsertRow(PageElement table) = 0;
    [[nodiscard]] virtual PageElement InsertCell(PageElement row) = 0;

    virtual void SetClassName(PageElement element, std::string_view text) = 0;
    virtual void SetInnerHtml(PageElement element, std::string_view html) = 0;
    virtual void SetInnerText(PageElement element, std::string_view text) = 0;
    virtual void SetTitle(PageElement element, std::string_view text) = 0;
    virtual void SetAttribute(PageElement element, std::string_view name, std::string_view value,
                              std::int32_t flags) = 0;

    // The caller is done with the handle; the element stays in the page.
    virtual void Release(PageElement /*element*/) {}
    // Hands every queued change to the page.
    virtual void Flush() {}
};

// The host word of the row links; the dispatcher reads only what follows the last "/".
inline constexpr const char* kRowLinkHost = "quillory";

// The icon cell of a row: its class, its inner HTML, and whether it carries the header as title.
struct IconCell {
    const char* className;
    const char* html;
    bool bTitle;
};
[[nodiscard]] IconCell IconCellFor(std::int32_t nKind);

// A name from the disk made safe as element content: "&", "<" and ">" become entities.
[[nodiscard]] std::string EscapeNameForHtml(std::string_view name);

// The inner HTML of a row's link cell.
[[nodiscard]] std::string RowLinkHtml(const listaf& entry);

// Checks that the page has a body and the table "puntozero", telling the user (caption "Errore")
// of the first piece missing. Changes nothing. Returns 0.
std::int32_t CheckListingPage(CQuilloryApp& app, IPageHost& page);

// Writes m_strCurrentDir into the header, sorts the entry list and appends one row per entry.
// Failures are told to the user and end the fill; rows already appended stay. Returns the number
// of rows appended.
std::int32_t FillListingTable(CQuilloryApp& app, IPageHost& page);
