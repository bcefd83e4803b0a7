#include "view/ListingPageCore.h"

#include "core/QuilloryApp.h"
#include "model/listax.h"

namespace {

constexpr const char* kEmptyCell = "&nbsp;";
constexpr const char* kTableId = "puntozero";
constexpr const char* kPathId = "cartellacorrente";

// An element handle that is given back to the host however the scope ends.
class ElementHold {
public:
    ElementHold(IPageHost& page, PageElement element) : m_page(page), m_element(element) {}
    ~ElementHold()
    {
        if (m_element)
            m_page.Release(m_element);
    }
    ElementHold(const ElementHold&) = delete;
    ElementHold& operator=(const ElementHold&) = delete;
    [[nodiscard]] PageElement get() const { return m_element; }
    explicit operator bool() const { return m_element != 0; }

private:
    IPageHost& m_page;
    PageElement m_element;
};

void ShowError(CQuilloryApp& app, const char* text)
{
    if (app.m_pMessageBox)
        app.m_pMessageBox->MessageBox(text, "Errore", MB_OK);
}

// Appends a cell and fills it with HTML. Returns false when the cell could not be had, so that
// nothing meant for it lands in another cell.
bool AppendHtmlCell(IPageHost& page, PageElement row, std::string_view html)
{
    ElementHold cell(page, page.InsertCell(row));
    if (!cell)
        return false;
    page.SetInnerHtml(cell.get(), html);
    return true;
}

std::string_view HeaderCell(const std::string& value)
{
    return value.empty() ? std::string_view(kEmptyCell) : std::string_view(value);
}

// One row. Returns false when the fill must stop (the user has been told).
bool AppendRow(CQuilloryApp& app, IPageHost& page, PageElement table, const listaf& entry)
{
    ElementHold row(page, page.InsertRow(table));
    if (!row) {
        app.ShowMessage("Mancati inserimento riga !!!");
        return false;
    }
    const RowCells cells = RowCellsOf(entry);
    {
        ElementHold cell(page, page.InsertCell(row.get()));
        if (!cell) {
            app.ShowMessage("Mancato inserimento cella con icona !!!");
            return false;
        }
        page.SetClassName(cell.get(), cells.icon.className);
        page.SetInnerHtml(cell.get(), cells.icon.html);
        if (cells.pTitle)
            page.SetTitle(cell.get(), *cells.pTitle);
    }

    // A later cell that cannot be had ends this row only: its text must not go elsewhere.
    ElementHold link(page, page.InsertCell(row.get()));
    if (!link)
        return true;
    page.SetInnerHtml(link.get(), cells.link);
    if (cells.bSpansRow) {
        page.SetAttribute(link.get(), "colspan", "6", 0);
        return true;
    }
    {
        ElementHold size(page, page.InsertCell(row.get()));
        if (!size)
            return true;
        page.SetInnerHtml(size.get(), SizeCellHtml(cells));
        if (cells.pMark)
            page.SetTitle(size.get(), cells.pMark->title);
    }
    for (std::string_view header : cells.headers) {
        if (!AppendHtmlCell(page, row.get(), header))
            break;
    }
    return true;
}

} // namespace

IconCell IconCellFor(std::int32_t nKind)
{
    switch (nKind) {
    case KIND_DIRECTORY:
        return {"folder", "<img src='imgfolder.gif' border=0>", false};
    case KIND_MESSAGE_FILE:
        return {"letter", "<img src='eml.gif' border=0>", true};
    case KIND_MAIL_FOLDER:
        return {"dbxer", "<img src='dbx.gif' border=0>", false};
    case KIND_FOLDER_MESSAGE:
        return {"other", "<img src='encoded.gif' id=posta border=0>", true};
    default:
        return {"other", "<img src='tondo.gif' border=0>", false};
    }
}

namespace {

// The word says what the listing can promise of the message: a whole chain, or only part of one.
constexpr RecoveryMark kFoundWhole{"found", "found", "Found outside the folder's index"};
constexpr RecoveryMark kFoundPart{"found partial", "part",
                                  "Found outside the folder's index, not whole: saved as far as it could be followed"};

} // namespace

RowCells RowCellsOf(const listaf& entry)
{
    RowCells cells;
    cells.icon = IconCellFor(entry.m_nKind);
    if (cells.icon.bTitle)
        cells.pTitle = &entry.m_strHeader;
    cells.link = RowLinkHtml(entry);
    if (entry.m_nKind == KIND_DIRECTORY) {
        cells.bSpansRow = true;
        return cells;
    }
    cells.size = std::to_string(entry.Size());
    if (entry.m_recovery == MessageRecovery::Complete)
        cells.pMark = &kFoundWhole;
    else if (entry.m_recovery == MessageRecovery::Partial)
        cells.pMark = &kFoundPart;
    cells.headers = {HeaderCell(entry.m_strFrom), HeaderCell(entry.m_strTo), HeaderCell(entry.m_strSubject),
                     HeaderCell(entry.m_strDate)};
    return cells;
}

std::string SizeCellHtml(const RowCells& cells)
{
    if (!cells.pMark)
        return cells.size;
    std::string html = "<span class='";
    html += cells.pMark->className;
    html += "'>";
    html += cells.pMark->label;
    html += "</span> ";
    html += cells.size;
    return html;
}

std::string EscapeNameForHtml(std::string_view name)
{
    std::string out;
    out.reserve(name.size());
    for (char c : name) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += c; break;
        }
    }
    return out;
}

std::string RowLinkHtml(const listaf& entry)
{
    // The closing tag keeps its two slashes: pages saved from the listing have always had it.
    std::string html = "<a href='http://";
    html += kRowLinkHost;
    html += '/';
    html += std::to_string(entry.m_nSerial);
    html += "'> ";
    html += EscapeNameForHtml(entry.m_strName);
    html += " <//a>";
    return html;
}

std::int32_t CheckListingPage(CQuilloryApp& app, IPageHost& page)
{
    if (!page.HasDocument())
        return 0;  // nothing loaded yet: nothing to report
    if (!page.HasBody()) {
        ShowError(app, "Identificazione Corpo Documento");
        return 0;
    }
    ElementHold table(page, page.FindBodyChild(kTableId));
    if (!table || !page.IsTable(table.get()))
        ShowError(app, "Identificazione TABLE");
    return 0;
}

std::int32_t FillListingTable(CQuilloryApp& app, IPageHost& page)
{
    if (!page.HasDocument()) {
        app.ShowMessage("Mancata lettura interfaccia documento!!!");
        return 0;
    }
    if (!page.HasBody()) {
        app.ShowMessage("Mancata Body !!!");
        return 0;
    }
    {
        ElementHold path(page, page.FindElementById(kPathId));
        if (path)
            page.SetInnerText(path.get(), app.m_strCurrentDir);
    }
    ElementHold table(page, page.FindBodyChild(kTableId));
    if (!table) {
        app.ShowMessage("Tabella 'puntozero' non reperita !!!");
        page.Flush();
        return 0;
    }
    if (!page.IsTable(table.get())) {
        app.ShowMessage("Mancata Table !!!");
        page.Flush();
        return 0;
    }

    app.SortEntries();
    app.ShowProgress("sorting...", 0);
    if (page.MakesItsOwnRows()) {
        // No row is made here, so no row is reported: the page makes each as it comes into view.
        std::vector<const listaf*> rows;
        for (const listaf* entry = app.FirstEntry(); entry; entry = entry->Next())
            rows.push_back(entry);
        const auto n = static_cast<std::int32_t>(rows.size());
        page.TakeListing(table.get(), std::move(rows));
        page.Flush();
        return n;
    }
    std::int32_t n = 0;
    for (const listaf* entry = app.FirstEntry(); entry; entry = entry->Next()) {
        app.ShowProgress("Filling row", n + 1);
        if (!AppendRow(app, page, table.get(), *entry))
            break;
        ++n;
    }
    page.Flush();
    return n;
}
