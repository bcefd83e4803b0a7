#pragma once
// The listing page as the core sees it: a few document operations behind a seam, and the two
// operations that use them, filling the table from the entry list and checking that the page can
// take a table. No Qt here: the window implements the seam with JavaScript in the page, tests with
// an in-memory page.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

    // A page that makes its rows itself, only those near what is on screen, is given the listing
    // whole instead of a row per entry through InsertRow: the entries in the order shown, which
    // stay alive until the page is loaded again.
    [[nodiscard]] virtual bool MakesItsOwnRows() const { return false; }
    virtual void TakeListing(PageElement /*table*/, std::vector<const listaf*> /*rows*/) {}
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

// How the size cell tells a message found outside its folder's index: a word before the size, in
// a look of its own (the class of the word's span, styled by the page), and the cell's tooltip.
struct RecoveryMark {
    const char* className;
    const char* label;
    const char* title;
};

// What the row of an entry holds, cell by cell: the icon cell, the link cell, and for anything but
// a directory the size and the four header cells.
struct RowCells {
    IconCell icon;
    const std::string* pTitle = nullptr;  // the icon cell's title (the header), when it has one
    std::string link;                     // the link cell's inner HTML
    bool bSpansRow = false;               // a directory: the link cell spans the six columns
    std::string size;                     // the size in bytes, in decimal digits
    const RecoveryMark* pMark = nullptr;  // a recovered message's mark, shown before the size
    std::array<std::string_view, 4> headers{};  // From, To, Subject, Date; "&nbsp;" when empty
};
[[nodiscard]] RowCells RowCellsOf(const listaf& entry);
inline constexpr std::size_t kRowCellCount = 7;  // of a row that is not a directory's

// The size cell's inner HTML: the size, after the mark's word when there is a mark.
[[nodiscard]] std::string SizeCellHtml(const RowCells& cells);

// A name from the disk made safe as element content: "&", "<" and ">" become entities.
[[nodiscard]] std::string EscapeNameForHtml(std::string_view name);

// The inner HTML of a row's link cell.
[[nodiscard]] std::string RowLinkHtml(const listaf& entry);

// Checks that the page has a body and the table "puntozero", telling the user (caption "Errore")
// of the first piece missing. Changes nothing. Returns 0.
std::int32_t CheckListingPage(CQuilloryApp& app, IPageHost& page);

// Writes m_strCurrentDir into the header, sorts the entry list and appends one row per entry (or
// hands the page the whole listing, when it makes its own rows). Failures are told to the user and
// end the fill; rows already appended stay. Returns the number of rows appended or handed over.
std::int32_t FillListingTable(CQuilloryApp& app, IPageHost& page);
