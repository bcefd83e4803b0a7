#include "view/ListingPrint.h"

#include <QFontMetricsF>
#include <QHash>
#include <QImage>
#include <QPagedPaintDevice>
#include <QPainter>
#include <algorithm>
#include <array>

#include "model/listax.h"
#include "view/ListingPageCore.h"
#include "view/ListingRows.h"

namespace {

// The columns' shares of the width: icon, name, size, From, To, Subject, Date.
constexpr std::array<double, kRowCellCount> kColumnShares{0.06, 0.17, 0.07, 0.17, 0.17, 0.23, 0.13};

struct Geometry {
    QFont font;
    double rowHeight = 0;
    double top = 0;         // of the first row
    std::int32_t rowsPerPage = 1;
};

Geometry GeometryFor(QPaintDevice& device)
{
    Geometry g;
    g.font = QFont(QStringLiteral("Verdana"));
    g.font.setStyleHint(QFont::SansSerif);
    g.font.setPointSizeF(7.5);
    const QFontMetricsF metrics(g.font, &device);
    g.rowHeight = metrics.height() * 1.5;
    g.top = 2 * g.rowHeight;  // the place's name, and a gap
    const double usable = device.height() - g.top - g.rowHeight;  // less the page number
    g.rowsPerPage = std::max(1, static_cast<std::int32_t>(usable / g.rowHeight));
    return g;
}

// The colours of the page's style sheet.
QColor CellColour(const char* className)
{
    static const QHash<QString, QColor> colours{
        {QStringLiteral("folder"), QColor(0x90, 0xFF, 0x19)},
        {QStringLiteral("dbxer"), QColor(0xBC, 0xF3, 0x7B)},
        {QStringLiteral("letter"), QColor(0xD3, 0xF3, 0x7B)},
        {QStringLiteral("other"), QColor(0xE1, 0xF0, 0xB8)},
    };
    return colours.value(QString::fromLatin1(className), QColor(0xF5, 0xF5, 0xF5));
}

// The picture the icon cell's HTML names, from the page's own resources.
QImage IconImage(const char* html)
{
    static QHash<QString, QImage> images;
    const QString text = QString::fromLatin1(html);
    const qsizetype start = text.indexOf(QLatin1String("src='"));
    if (start < 0)
        return {};
    const qsizetype end = text.indexOf(QLatin1Char('\''), start + 5);
    const QString name = text.mid(start + 5, end - start - 5);
    auto found = images.find(name);
    if (found == images.end())
        found = images.insert(name, QImage(QStringLiteral(":/page/") + name));
    return found.value();
}

// Text as the page shows it: byte b is the character U+00b, or UTF-8 for decoded header cells.
QString Shown(std::string_view html, bool bUtf8)
{
    const std::string text = ShownText(html);
    return bUtf8 ? QString::fromUtf8(text) : QString::fromLatin1(text);
}

void PaintRow(QPainter& painter, const QFontMetricsF& metrics, const QRectF& line, const listaf& entry)
{
    const RowCells cells = RowCellsOf(entry);
    const double pad = metrics.averageCharWidth() / 2;
    std::array<QString, kRowCellCount> texts;
    texts[1] = QString::fromLatin1(entry.m_strName);
    if (!cells.bSpansRow) {
        texts[2] = QString::fromLatin1(cells.size);
        if (cells.pMark)
            texts[2].prepend(QString::fromLatin1(cells.pMark->label) + QLatin1Char(' '));
        for (std::size_t i = 0; i < cells.headers.size(); ++i)
            texts[3 + i] = Shown(cells.headers[i], entry.m_bDecodedHeaders);
    }
    double x = line.left();
    for (std::size_t column = 0; column < kRowCellCount; ++column) {
        double width = line.width() * kColumnShares[column];
        if (cells.bSpansRow && column == 1)
            width = line.right() - x;  // a directory's name spans the row
        const QRectF cell(x, line.top(), width, line.height());
        painter.fillRect(cell, column == 0 ? CellColour(cells.icon.className) : QColor(0xF5, 0xF5, 0xF5));
        painter.drawLine(cell.bottomLeft(), cell.bottomRight());
        painter.drawLine(cell.topLeft(), cell.bottomLeft());
        if (column == 0) {
            const QImage icon = IconImage(cells.icon.html);
            if (!icon.isNull()) {
                QSizeF size = icon.size();
                size.scale(cell.size() - QSizeF(2 * pad, 2 * pad), Qt::KeepAspectRatio);
                painter.drawImage(QRectF(cell.topLeft() + QPointF(pad, pad), size), icon);
            }
        } else {
            const QRectF text = cell.adjusted(pad, 0, -pad, 0);
            painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter,
                             metrics.elidedText(texts[column], Qt::ElideRight, text.width()));
        }
        x += width;
        if (cells.bSpansRow && column == 1)
            break;
    }
}

std::int32_t PagesFor(const Geometry& g, std::int32_t rows)
{
    return std::max<std::int32_t>(1, (rows + g.rowsPerPage - 1) / g.rowsPerPage);
}

} // namespace

std::int32_t ListingPrintPages(QPagedPaintDevice& device, std::int32_t rows) { return PagesFor(GeometryFor(device), rows); }

std::int32_t PrintListingRows(QPagedPaintDevice& device, const std::string& place,
                              const std::vector<const listaf*>& rows)
{
    return PaintListingPages(device, [&device] { device.newPage(); }, place, rows);
}

std::int32_t PaintListingPages(QPaintDevice& device, const std::function<void()>& newPage, const std::string& place,
                               const std::vector<const listaf*>& rows)
{
    const Geometry g = GeometryFor(device);
    const auto count = static_cast<std::int32_t>(rows.size());
    const std::int32_t pages = PagesFor(g, count);
    QPainter painter;
    if (!painter.begin(&device))
        return 0;
    painter.setFont(g.font);
    painter.setPen(QColor(0x00, 0x00, 0x80));  // navy, as the cells' text
    const QFontMetricsF metrics(g.font, &device);
    const double width = device.width();
    for (std::int32_t page = 0; page < pages; ++page) {
        if (page > 0)
            newPage();
        painter.drawText(QRectF(0, 0, width, g.rowHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         metrics.elidedText(QString::fromLocal8Bit(place), Qt::ElideMiddle, width));
        const std::int32_t first = page * g.rowsPerPage;
        const std::int32_t end = std::min(count, first + g.rowsPerPage);
        for (std::int32_t row = first; row < end; ++row)
            PaintRow(painter, metrics, QRectF(0, g.top + (row - first) * g.rowHeight, width, g.rowHeight),
                     *rows[static_cast<std::size_t>(row)]);
        painter.drawText(QRectF(0, device.height() - g.rowHeight, width, g.rowHeight), Qt::AlignRight | Qt::AlignVCenter,
                         QStringLiteral("%1 / %2").arg(page + 1).arg(pages));
    }
    painter.end();
    return pages;
}
