#pragma once
// An in-memory listing page for tests: the skeleton's elements, rows and cells as plain records,
// with switches that make the page lack a piece or refuse an insertion.

#include <map>
#include <string>
#include <vector>

#include "view/ListingPageCore.h"

struct MemoryElement {
    std::string tag;
    std::string id;
    std::string className;
    std::string innerHtml;
    std::string innerText;
    std::string title;
    bool bTitleSet = false;
    std::map<std::string, std::string> attributes;
    std::vector<PageElement> children;
};

class MemoryPage : public IPageHost {
public:
    MemoryPage()
    {
        m_elements.push_back({});  // handle 0 is no element
        Add("A", "saltare");
        Add("TABLE", "intesta");
        Add("A", "cartellacorrente");
        m_table = Add("TABLE", "puntozero");
    }

    // Switches.
    bool bDocument = true;
    bool bBody = true;
    bool bTable = true;
    bool bTableIsTable = true;
    int nFailRow = 0;   // the n-th row insertion fails (1-based), 0 never
    int nFailCell = 0;  // the n-th cell insertion fails (1-based, counted over the whole fill)

    [[nodiscard]] const MemoryElement& Element(PageElement e) const { return m_elements.at(e); }
    [[nodiscard]] const MemoryElement& Path() const { return m_elements.at(3); }
    [[nodiscard]] std::vector<std::vector<MemoryElement>> Rows() const
    {
        std::vector<std::vector<MemoryElement>> rows;
        for (PageElement row : m_elements.at(m_table).children) {
            rows.emplace_back();
            for (PageElement cell : m_elements.at(row).children)
                rows.back().push_back(m_elements.at(cell));
        }
        return rows;
    }
    [[nodiscard]] int Outstanding() const { return m_nHandedOut - m_nReleased; }
    int nFlushes = 0;

    bool HasDocument() override { return bDocument; }
    bool HasBody() override { return bDocument && bBody; }
    PageElement FindElementById(std::string_view id) override { return Find(id); }
    PageElement FindBodyChild(std::string_view nameOrId) override { return HasBody() ? Find(nameOrId) : 0; }
    bool IsTable(PageElement e) override { return e > 0 && m_elements.at(e).tag == "TABLE"; }
    PageElement InsertRow(PageElement table) override
    {
        if (!IsTable(table) || ++m_nRows == nFailRow)
            return 0;
        return HandOut(AddChild(table, "TR"));
    }
    PageElement InsertCell(PageElement row) override
    {
        if (row <= 0 || m_elements.at(row).tag != "TR" || ++m_nCells == nFailCell)
            return 0;
        return HandOut(AddChild(row, "TD"));
    }
    void SetClassName(PageElement e, std::string_view t) override { m_elements.at(e).className = t; }
    void SetInnerHtml(PageElement e, std::string_view t) override { m_elements.at(e).innerHtml = t; }
    void SetInnerText(PageElement e, std::string_view t) override { m_elements.at(e).innerText = t; }
    void SetTitle(PageElement e, std::string_view t) override
    {
        m_elements.at(e).title = t;
        m_elements.at(e).bTitleSet = true;
    }
    void SetAttribute(PageElement e, std::string_view n, std::string_view v, std::int32_t) override
    {
        m_elements.at(e).attributes[std::string(n)] = v;
    }
    void Release(PageElement) override { ++m_nReleased; }
    void Flush() override { ++nFlushes; }

private:
    PageElement Add(const char* tag, const char* id)
    {
        MemoryElement e;
        e.tag = tag;
        e.id = id;
        m_elements.push_back(e);
        return static_cast<PageElement>(m_elements.size() - 1);
    }
    PageElement AddChild(PageElement parent, const char* tag)
    {
        MemoryElement e;
        e.tag = tag;
        m_elements.push_back(e);
        const auto child = static_cast<PageElement>(m_elements.size() - 1);
        m_elements.at(parent).children.push_back(child);
        return child;
    }
    PageElement Find(std::string_view id)
    {
        if (!bDocument)
            return 0;
        for (std::size_t i = 1; i < m_elements.size(); ++i) {
            if (m_elements[i].id != id)
                continue;
            if (static_cast<PageElement>(i) == m_table) {
                if (!bTable)
                    return 0;
                if (!bTableIsTable)
                    m_elements[i].tag = "DIV";
            }
            return HandOut(static_cast<PageElement>(i));
        }
        return 0;
    }
    PageElement HandOut(PageElement e)
    {
        ++m_nHandedOut;
        return e;
    }

    std::vector<MemoryElement> m_elements;
    PageElement m_table = 0;
    int m_nRows = 0;
    int m_nCells = 0;
    int m_nHandedOut = 0;
    int m_nReleased = 0;
};
