// The legend of the results map: the answer's heading, the colour scale with
// its lowest and highest value, and the colours of their own.
#pragma once

#include <QRect>
#include <QString>
#include <optional>
#include <utility>

class QPainter;

namespace hydrosk::ui {

struct MapLegend {
    QString title;  // the answer column's heading, with its unit
    std::optional<std::pair<QString, QString>> scaleEnds;  // lowest, highest; none without numbers
    QString reachedText;  // "Maximal flow was reached"...; empty when the kind has none
    QString neutralText;  // junctions without a result
};

// Paints the legend in the lower left corner of `area`, in pixels.
void PaintLegend(QPainter& painter, const MapLegend& legend, const QRect& area);

}  // namespace hydrosk::ui
