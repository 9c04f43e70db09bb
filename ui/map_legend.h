// The legend of the results map: the answer's heading, the colour scale with
// its lowest and highest value or the verdict's colours, the colours of their
// own, and the symbols of the network's tanks, reservoirs, pumps and valves.
#pragma once

#include <QColor>
#include <QPainterPath>
#include <QRect>
#include <QString>
#include <optional>
#include <utility>
#include <vector>

class QFontMetrics;
class QPainter;

namespace hydrosk::ui {

struct LegendSwatch {
    QColor colour;
    QString text;
};

struct LegendSymbol {
    QPainterPath path;  // in pixels, centred on 0, 0
    QString text;
};

struct MapLegend {
    QString title;  // the answer column's heading, with its unit
    std::optional<std::pair<QString, QString>> scaleEnds;  // lowest, highest; none without numbers
    std::vector<LegendSwatch> swatches;  // "Maximal flow was reached", "Pass", "No result"...
    std::vector<LegendSymbol> symbols;   // the element kinds the map shows

    bool empty() const { return title.isEmpty(); }
};

// Where PaintLegend draws: the lower left corner of `area`, in pixels.
QRect LegendBox(const QFontMetrics& metrics, const MapLegend& legend, const QRect& area);

// Paints the legend in the lower left corner of `area`, in pixels.
void PaintLegend(QPainter& painter, const MapLegend& legend, const QRect& area);

}  // namespace hydrosk::ui
