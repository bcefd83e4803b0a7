#include "menu/MenuTemplate.h"

#include "menu/MenuSystem.h"

namespace {

class TemplateReader {
public:
    explicit TemplateReader(QByteArrayView data) : m_data(data) {}

    bool Seek(qsizetype at)
    {
        if (at < 0 || at > m_data.size())
            return false;
        m_at = at;
        return true;
    }

    std::optional<unsigned> Word()
    {
        if (m_data.size() - m_at < 2)
            return std::nullopt;
        const unsigned value = unsigned(std::uint8_t(m_data[m_at])) | unsigned(std::uint8_t(m_data[m_at + 1])) << 8;
        m_at += 2;
        return value;
    }

    std::optional<QString> Text()
    {
        QString text;
        for (;;) {
            const std::optional<unsigned> unit = Word();
            if (!unit)
                return std::nullopt;
            if (*unit == 0)
                return text;
            text.append(QChar(char16_t(*unit)));
        }
    }

private:
    QByteArrayView m_data;
    qsizetype m_at = 0;
};

} // namespace

std::optional<std::vector<MenuTemplateItem>> ParseMenuTemplate(QByteArrayView data)
{
    TemplateReader reader(data);
    const std::optional<unsigned> version = reader.Word();
    const std::optional<unsigned> offset = reader.Word();
    if (!version || !offset || !reader.Seek(4 + qsizetype(*offset)))
        return std::nullopt;

    // One "ended" flag per open level; a level closes after the item that ends it, and a popup
    // that ends its level closes that level only when its own items are done.
    std::vector<bool> levels{false};
    std::vector<MenuTemplateItem> items;
    while (!levels.empty()) {
        MenuTemplateItem item;
        const std::optional<unsigned> flags = reader.Word();
        if (!flags)
            return std::nullopt;
        item.nFlags = *flags;
        item.nDepth = int(levels.size()) - 1;
        if (!(item.nFlags & MF_POPUP)) {
            const std::optional<unsigned> id = reader.Word();
            if (!id)
                return std::nullopt;
            item.nID = *id;
        }
        std::optional<QString> text = reader.Text();
        if (!text)
            return std::nullopt;
        item.strText = std::move(*text);
        const bool bEnds = item.nFlags & MF_END;
        const bool bPopup = item.nFlags & MF_POPUP;
        items.push_back(std::move(item));
        if (bPopup) {
            if (bEnds)
                levels.back() = true;
            levels.push_back(false);
            continue;
        }
        if (bEnds)
            levels.back() = true;
        while (!levels.empty() && levels.back())
            levels.pop_back();
    }
    return items;
}
