#include "ui/map_legend.h"

#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <algorithm>

#include "ui/colour_scale.h"
#include "ui/network_map_items.h"

namespace hydrosk::ui {
namespace {

// The legend's measures in pixels, from the font.
struct Layout {
    explicit Layout(const QFontMetrics& metrics, const MapLegend& legend)
        : line(metrics.height()), pad(line / 2), barHeight(line * 2 / 3), swatch(line * 2 / 3) {
        symbolSize = std::max(swatch, line + 2);
        // Every text starts after the widest marker: a swatch or a symbol.
        cell = legend.symbols.empty() ? swatch : symbolSize;
        // The bar holds both end labels side by side with room between them.
        barWidth = std::max(10 * line, metrics.horizontalAdvance(legend.title));
        if (legend.scaleEnds) {
            barWidth = std::max(barWidth, metrics.horizontalAdvance(legend.scaleEnds->first) +
                                              metrics.horizontalAdvance(legend.scaleEnds->second) +
                                              2 * line);
        }
        width = barWidth;
        for (const LegendSwatch& entry : legend.swatches) {
            width = std::max(width, cell + pad + metrics.horizontalAdvance(entry.text));
        }
        for (const LegendSymbol& symbol : legend.symbols) {
            width = std::max(width, cell + pad + metrics.horizontalAdvance(symbol.text));
        }
        const int scaleHeight = legend.scaleEnds ? barHeight + line + pad : 0;
        height = line + pad + scaleHeight +
                 static_cast<int>(legend.swatches.size()) * (line + pad / 2) +
                 static_cast<int>(legend.symbols.size()) * (symbolSize + pad / 2);
    }

    int line, pad, barHeight, swatch, symbolSize, cell, barWidth, width, height;
};

}  // namespace

QRect LegendBox(const QFontMetrics& metrics, const MapLegend& legend, const QRect& area) {
    const Layout layout(metrics, legend);
    return QRect(area.left() + layout.pad, area.bottom() - layout.height - 3 * layout.pad,
                 layout.width + 2 * layout.pad, layout.height + 2 * layout.pad);
}

void PaintLegend(QPainter& painter, const MapLegend& legend, const QRect& area) {
    const QFontMetrics metrics(painter.font());
    const Layout layout(metrics, legend);
    const QRect box = LegendBox(metrics, legend, area);
    const int line = layout.line, pad = layout.pad;

    painter.save();
    painter.setPen(QColor(0x80, 0x80, 0x80));
    painter.setBrush(QColor(255, 255, 255, 230));
    painter.drawRect(box);
    painter.setPen(Qt::black);
    const int left = box.left() + pad;
    const int textLeft = left + layout.cell + pad;
    int y = box.top() + pad;
    painter.drawText(QRect(left, y, layout.width, line), Qt::AlignLeft, legend.title);
    y += line + pad;
    if (legend.scaleEnds) {
        const QRect bar(left, y, layout.barWidth, layout.barHeight);
        QLinearGradient gradient(bar.topLeft(), bar.topRight());
        gradient.setStops(ColourScale::stops());
        painter.fillRect(bar, gradient);
        y += layout.barHeight;
        painter.drawText(QRect(bar.left(), y, layout.barWidth, line), Qt::AlignLeft,
                         legend.scaleEnds->first);
        painter.drawText(QRect(bar.left(), y, layout.barWidth, line), Qt::AlignRight,
                         legend.scaleEnds->second);
        y += line + pad;
    }
    for (const LegendSwatch& entry : legend.swatches) {
        painter.fillRect(QRect(left + (layout.cell - layout.swatch) / 2,
                               y + (line - layout.swatch) / 2, layout.swatch, layout.swatch),
                         entry.colour);
        painter.drawText(QRect(textLeft, y, layout.width, line), Qt::AlignLeft, entry.text);
        y += line + pad / 2;
    }
    for (const LegendSymbol& symbol : legend.symbols) {
        // Symbols are drawn as on the map, at their own size, centred in their cell.
        const QRectF bounds = symbol.path.boundingRect();
        const double scale =
            std::min(1.0, layout.symbolSize / std::max({bounds.width(), bounds.height(), 1.0}));
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(left + layout.symbolSize / 2.0, y + layout.symbolSize / 2.0);
        painter.scale(scale, scale);
        painter.setPen(SymbolPen());
        painter.setBrush(Qt::white);
        painter.drawPath(symbol.path);
        painter.restore();
        painter.drawText(QRect(textLeft, y, layout.width, layout.symbolSize),
                         Qt::AlignLeft | Qt::AlignVCenter, symbol.text);
        y += layout.symbolSize + pad / 2;
    }
    painter.restore();
}

}  // namespace hydrosk::ui
