#pragma once
// The standard menu template: a header of two little-endian 16-bit words (version, offset of the
// first item after the 4-byte header), then items. Each item is a flags word, a command id unless
// the flags say MF_POPUP, and NUL-terminated UTF-16 text. A popup's items follow it directly;
// MF_END marks the last item of each level, and the template ends when the outermost level ends.

#include <QByteArrayView>
#include <QString>

#include <optional>
#include <vector>

struct MenuTemplateItem {
    unsigned nFlags = 0;  // as stored, MF_END included
    unsigned nID = 0;     // 0 for popups, which carry no id
    QString strText;
    int nDepth = 0;       // 0 for the menu bar's own items
};

// The items in template order, or nothing when the data ends before the outermost level does (a
// truncated or unbalanced template) or the header points past the end. Bytes after the end of the
// outermost level are ignored.
[[nodiscard]] std::optional<std::vector<MenuTemplateItem>> ParseMenuTemplate(QByteArrayView data);
