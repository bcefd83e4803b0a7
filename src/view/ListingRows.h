#pragma once
// The listing as the page shows it. The page holds only the rows near what is on screen; the
// whole listing stays here: the entries of the last fill in their order, the part of them a find
// leaves, and the selected row. The page asks for rows by their position in what is shown, and
// every answer is tagged with a generation, so that a question asked of an earlier listing (or of
// an earlier find) is answered with nothing rather than with rows of another listing.
//
// The entries are the application's; they are deleted only by a rebuild, and every rebuild
// follows a reload of the page, which clears this first (see CQuilloryView::ReloadPage).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class listaf;

// The height of a row of the listing table, in CSS pixels. Every row has it: a row holds one line,
// cut short with an ellipsis when it is too long, so that the position of any row is known
// without laying the rows before it out.
inline constexpr std::int32_t kListingRowHeight = 20;

// The most rows one question may ask for: a few screenfuls of the tallest window.
inline constexpr std::int32_t kMaxRowsPerRequest = 500;

enum class SelectionMove : std::uint8_t { Up, Down, PageUp, PageDown, Home, End };

// A page's question for rows: "gen=G&from=F&count=N".
struct RowsRequest {
    std::int32_t generation = 0;
    std::int32_t from = 0;
    std::int32_t count = 0;
};

// The three fields, in any order, each exactly once, in decimal digits that fit an int32; nothing
// else. nullopt for anything else.
[[nodiscard]] std::optional<RowsRequest> ParseRowsRequest(std::string_view query);

// The text a cell shows for the HTML the listing gives it: the character references the header
// lines can carry (&lt; &gt; &amp; &quot; &apos; &nbsp; and numeric ones from 1 to 255) become
// their bytes, and zero bytes go, as the page drops them; anything else stays as it is.
[[nodiscard]] std::string ShownText(std::string_view html);

class ListingRows {
public:
    // A new listing: the entries in the order shown. Ends any find and selects the first row.
    void Reset(std::vector<const listaf*> entries);
    // No listing: the entries are about to go.
    void Clear();

    // Changes whenever what is shown changes (a new listing, a find, Clear).
    [[nodiscard]] std::int32_t Generation() const { return m_nGeneration; }
    // Rows shown, and rows of the whole listing.
    [[nodiscard]] std::int32_t Count() const;
    [[nodiscard]] std::int32_t Total() const { return static_cast<std::int32_t>(m_all.size()); }
    // The entry of a row shown; null past the end.
    [[nodiscard]] const listaf* At(std::int32_t row) const;
    // The row showing the entry; -1 when it is not shown.
    [[nodiscard]] std::int32_t RowOf(const listaf* entry) const;
    // The first row shown whose entry has this name, exactly; -1 when none has.
    [[nodiscard]] std::int32_t RowNamed(std::string_view name) const;
    // Every entry of the listing, in order, whatever a find shows.
    [[nodiscard]] const std::vector<const listaf*>& All() const { return m_all; }

    // The answer to a page's question: a JSON array of rows, each an array of its cells, each cell
    // [class, inner HTML, title, colspan] with null for what the cell does not set. Text is bytes,
    // byte b sent as the character U+00b, except the header cells of an entry whose headers were
    // decoded (m_bDecodedHeaders), which are sent as the characters their UTF-8 spells. "[]" for a
    // generation that is not the current one or a range that starts past the end.
    [[nodiscard]] std::string RowsJson(std::int32_t generation, std::int32_t from, std::int32_t count) const;
    // The same for the query of a page's request; "[]" for a malformed one.
    [[nodiscard]] std::string AnswerRowsQuery(std::string_view query) const;

    // Find: shows only the rows whose name, From, To, Subject or Date, as the listing shows them,
    // contains text (ASCII letters match in either case, other bytes only themselves), and selects
    // the first of them. A text no row can show (bMatchable false: it has characters that are no
    // byte) leaves none. The empty text ends the find and brings back the selection from before it
    // began. Returns Count().
    std::int32_t SetFilter(std::string_view text, bool bMatchable = true);
    // Makes ready what a find looks through, which the first find would do (a few hundred
    // milliseconds for a million entries): best done as the find field opens.
    void PrepareFind();
    [[nodiscard]] bool IsFiltered() const { return m_bFiltered; }

    // The selected row, -1 when nothing is shown.
    [[nodiscard]] std::int32_t Selected() const { return m_nSelected; }
    // Selects a row, kept within what is shown. Returns the row selected.
    std::int32_t Select(std::int32_t row);
    // Moves the selection; pageRows is how many rows a screen shows. Returns the row selected.
    std::int32_t Move(SelectionMove move, std::int32_t pageRows);

private:
    void Bump();
    void MakeSearchText();

    std::vector<const listaf*> m_all;
    std::vector<std::int32_t> m_shown;  // positions in m_all, while a find is on
    bool m_bFiltered = false;
    // What a find looks through, made at the first find of a listing: for each entry its five
    // texts as shown, ASCII letters in lower case, each ended by a zero byte (which no shown text
    // holds, so no text found can run from one into the next). One block is searched many times
    // faster than the entries' scattered strings, and a keystroke must be answered at once.
    std::string m_searchText;
    std::vector<std::size_t> m_searchEnds;  // for each entry, where its texts end in m_searchText
    std::int32_t m_nGeneration = 0;
    std::int32_t m_nSelected = -1;
    std::int32_t m_nSelectedBeforeFind = -1;
};
