#include "ui/map_legend.h"

#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <algorithm>

#include "ui/colour_scale.h"

namespace hydrosk::ui {

void PaintLegend(QPainter& painter, const MapLegend& legend, const QRect& area) {
    const QFontMetrics metrics(painter.font());
    const int line = metrics.height();
    const int pad = line / 2;
    const int barWidth = std::max(10 * line, metrics.horizontalAdvance(legend.title));
    const int barHeight = line * 2 / 3;
    const int swatch = line * 2 / 3;

    struct Entry {
        QColor colour;
        QString text;
    };
    std::vector<Entry> entries;
    if (!legend.reachedText.isEmpty()) {
        entries.push_back({ColourScale::colourOf(ColourScale::kReached), legend.reachedText});
    }
    entries.push_back({ColourScale::colourOf(ColourScale::kNeutral), legend.neutralText});

    int width = barWidth;
    for (const Entry& entry : entries) {
        width = std::max(width, swatch + pad + metrics.horizontalAdvance(entry.text));
    }
    const int scaleHeight = legend.scaleEnds ? barHeight + line + pad : 0;
    const int height =
        line + pad + scaleHeight + static_cast<int>(entries.size()) * (line + pad / 2);
    const QRect box(area.left() + pad, area.bottom() - height - 3 * pad, width + 2 * pad,
                    height + 2 * pad);

    painter.save();
    painter.setPen(QColor(0x80, 0x80, 0x80));
    painter.setBrush(QColor(255, 255, 255, 230));
    painter.drawRect(box);
    painter.setPen(Qt::black);
    int y = box.top() + pad;
    painter.drawText(QRect(box.left() + pad, y, width, line), Qt::AlignLeft, legend.title);
    y += line + pad;
    if (legend.scaleEnds) {
        const QRect bar(box.left() + pad, y, barWidth, barHeight);
        QLinearGradient gradient(bar.topLeft(), bar.topRight());
        gradient.setStops(ColourScale::stops());
        painter.fillRect(bar, gradient);
        y += barHeight;
        painter.drawText(QRect(bar.left(), y, barWidth, line), Qt::AlignLeft,
                         legend.scaleEnds->first);
        painter.drawText(QRect(bar.left(), y, barWidth, line), Qt::AlignRight,
                         legend.scaleEnds->second);
        y += line + pad;
    }
    for (const Entry& entry : entries) {
        painter.fillRect(QRect(box.left() + pad, y + (line - swatch) / 2, swatch, swatch),
                         entry.colour);
        painter.drawText(QRect(box.left() + 2 * pad + swatch, y, width, line), Qt::AlignLeft,
                         entry.text);
        y += line + pad / 2;
    }
    painter.restore();
}

}  // namespace hydrosk::ui
