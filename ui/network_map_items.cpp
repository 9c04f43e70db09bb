#include "ui/network_map_items.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QStyleOptionGraphicsItem>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace hydrosk::ui {
namespace {

const QColor kLineColour(0x6f, 0x7d, 0x8c);
const QColor kSymbolColour(0x1f, 0x2d, 0x3d);
const QColor kDotOutline(0x30, 0x30, 0x30, 150);
const QColor kLabelColour(0x20, 0x20, 0x20);
const QColor kMarkColour(0xc0, 0x00, 0x60);   // hydrants: apart from every map colour
const QColor kGroupColour(0x00, 0x5f, 0xb8);  // a fire group's outline
constexpr double kGroupRingRadius = 8.0;      // pixels, as the selected junction's ring
constexpr double kSymbolRadius = 9.0;         // pixels: the largest symbol's half width

// The area to draw, in item coordinates, widened by `pixels` on every side.
QRectF ExposedArea(const QPainter& painter, const QStyleOptionGraphicsItem& option, double pixels) {
    const QTransform& world = painter.worldTransform();
    const double scale = std::max(std::hypot(world.m11(), world.m12()), 1e-12);
    const double margin = pixels / scale;
    return option.exposedRect.adjusted(-margin, -margin, margin, margin);
}

QRectF BoundsOf(const std::vector<QPointF>& points) {
    if (points.empty()) return {};
    auto [minX, maxX] = std::minmax_element(points.begin(), points.end(),
                                            [](QPointF a, QPointF b) { return a.x() < b.x(); });
    auto [minY, maxY] = std::minmax_element(points.begin(), points.end(),
                                            [](QPointF a, QPointF b) { return a.y() < b.y(); });
    return QRectF(QPointF(minX->x(), minY->y()), QPointF(maxX->x(), maxY->y()));
}

double Cross(QPointF o, QPointF a, QPointF b) {
    return (a.x() - o.x()) * (b.y() - o.y()) - (a.y() - o.y()) * (b.x() - o.x());
}

// The convex hull of the points (monotone chain), without repeated or collinear corners.
QPolygonF ConvexHull(std::vector<QPointF> points) {
    std::sort(points.begin(), points.end(), [](QPointF a, QPointF b) {
        return a.x() < b.x() || (a.x() == b.x() && a.y() < b.y());
    });
    points.erase(std::unique(points.begin(), points.end()), points.end());
    if (points.size() < 3) return QPolygonF(QList<QPointF>(points.begin(), points.end()));
    std::vector<QPointF> hull(2 * points.size());
    std::size_t k = 0;
    for (const QPointF& point : points) {
        while (k >= 2 && Cross(hull[k - 2], hull[k - 1], point) <= 0) --k;
        hull[k++] = point;
    }
    const std::size_t lower = k + 1;
    for (std::size_t i = points.size() - 1; i-- > 0;) {
        while (k >= lower && Cross(hull[k - 2], hull[k - 1], points[i]) <= 0) --k;
        hull[k++] = points[i];
    }
    hull.resize(k - 1);
    return QPolygonF(QList<QPointF>(hull.begin(), hull.end()));
}

// A closed outline through the points, in pixels.
QPainterPath ClosedShape(std::initializer_list<QPointF> points) {
    QPainterPath path;
    path.addPolygon(QPolygonF(points));
    path.closeSubpath();
    return path;
}

}  // namespace

LinkLinesItem::LinkLinesItem(std::vector<QLineF> segments) : segments_(std::move(segments)) {
    std::vector<QPointF> ends;
    ends.reserve(segments_.size() * 2);
    for (const QLineF& segment : segments_) {
        ends.push_back(segment.p1());
        ends.push_back(segment.p2());
    }
    bounds_ = BoundsOf(ends);
    setFlag(ItemUsesExtendedStyleOption);
}

void LinkLinesItem::paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget*) {
    QPen pen(kLineColour, 0);  // cosmetic: one pixel at every zoom
    painter->setPen(pen);
    const QRectF area = ExposedArea(*painter, *option, 1.0);
    if (area.contains(bounds_)) {
        painter->drawLines(segments_.data(), static_cast<int>(segments_.size()));
        return;
    }
    visible_.clear();
    for (const QLineF& segment : segments_) {
        const QRectF box = QRectF(segment.p1(), segment.p2()).normalized();
        if (box.right() >= area.left() && box.left() <= area.right() &&
            box.bottom() >= area.top() && box.top() <= area.bottom()) {
            visible_.push_back(segment);
        }
    }
    if (!visible_.empty()) painter->drawLines(visible_.data(), static_cast<int>(visible_.size()));
}

JunctionDotsItem::JunctionDotsItem(std::vector<QPointF> points, std::vector<std::uint8_t> entries,
                                   std::vector<QString> labels, std::vector<QPointF> symbols)
    : points_(std::move(points)),
      entries_(std::move(entries)),
      labels_(std::move(labels)),
      symbols_(std::move(symbols)),
      bounds_(BoundsOf(points_)) {
    setFlag(ItemUsesExtendedStyleOption);
}

void JunctionDotsItem::setEntries(std::vector<std::uint8_t> entries) {
    entries_ = std::move(entries);
    update();
}

void JunctionDotsItem::paint(QPainter* painter, const QStyleOptionGraphicsItem* option,
                             QWidget* widget) {
    const double radius = kDiameter / 2;
    const QRectF area = ExposedArea(*painter, *option, radius);
    const QTransform world = painter->worldTransform();
    for (auto& batch : batches_) batch.clear();
    for (std::size_t i = 0; i < points_.size(); ++i) {
        if (!area.contains(points_[i])) continue;
        const QPointF at = world.map(points_[i]);
        batches_[entries_[i]].emplace_back(at.x() - radius, at.y() - radius, kDiameter, kDiameter);
    }
    std::size_t visible = 0;
    for (const auto& batch : batches_) visible += batch.size();
    // Dots are drawn in pixels, so their size does not follow the zoom. Round
    // dots cost several times as much as squares, so a crowded view gets squares.
    const bool round = visible <= kRoundDotLimit;
    painter->save();
    painter->resetTransform();
    // A thin dark outline keeps the light colours visible on the white map.
    painter->setPen(round ? QPen(kDotOutline, 1) : QPen(Qt::NoPen));
    painter->setRenderHint(QPainter::Antialiasing, round);
    for (std::size_t entry = 0; entry < batches_.size(); ++entry) {
        const auto& batch = batches_[entry];
        if (batch.empty()) continue;
        painter->setBrush(ColourScale::colourOf(static_cast<std::uint8_t>(entry)));
        if (round) {
            for (const QRectF& dot : batch) painter->drawEllipse(dot);
        } else {
            painter->drawRects(batch.data(), static_cast<int>(batch.size()));
        }
    }
    painter->restore();

    // Labels only in a view of few junctions; the whole view decides, not the
    // exposed part. Without a widget (an export) the view's labels are drawn.
    if (labels_.empty()) return;
    if (widget != nullptr) {
        const QRectF view = world.inverted().mapRect(QRectF(widget->rect()));
        std::size_t inView = 0;
        for (const QPointF& point : points_) inView += view.contains(point) ? 1 : 0;
        const double scale = std::max(std::hypot(world.m11(), world.m12()), 1e-12);
        // A change of the labels can reach beyond the part being painted: then
        // the whole item is painted again.
        const bool partial = !option->exposedRect.contains(view);
        if (inView > kLabelLimit) {
            if (!placed_.empty() && partial) update();
            placed_.clear();
            labelScale_ = 0.0;
        } else if (scale != labelScale_ || !labelRegion_.contains(view)) {
            const std::vector<std::size_t> before = placed_;
            placeLabels(QFontMetricsF(painter->font()), scale, view);
            if (partial && placed_ != before) update();
        }
    }
    if (!placed_.empty()) paintLabels(*painter, option->exposedRect);
}

void JunctionDotsItem::placeLabels(const QFontMetricsF& metrics, double scale, const QRectF& view) {
    if (labelWidths_.empty()) {
        labelWidths_.reserve(labels_.size());
        for (const QString& label : labels_) {
            labelWidths_.push_back(static_cast<float>(metrics.horizontalAdvance(label)));
        }
    }
    labelScale_ = scale;
    // The view and as much again on every side: placements near the view do
    // not change while it moves within.
    labelRegion_ = view.adjusted(-view.width(), -view.height(), view.width(), view.height());
    placed_.clear();
    // Cells of half a line, in pixels; each holds the dot (by index) or label
    // that covers it.
    const double cell = std::max(2.0, metrics.height() / 2);
    const auto key = [](long long x, long long y) { return (x << 32) ^ (y & 0xffffffff); };
    std::unordered_map<long long, std::size_t> taken;
    const auto cells = [&](const QRectF& pixels, auto&& visit) {
        for (long long x = std::llround(std::floor(pixels.left() / cell));
             x <= std::llround(std::floor(pixels.right() / cell)); ++x) {
            for (long long y = std::llround(std::floor(pixels.top() / cell));
                 y <= std::llround(std::floor(pixels.bottom() / cell)); ++y) {
                if (!visit(key(x, y))) return false;
            }
        }
        return true;
    };
    std::vector<std::size_t> candidates;
    for (std::size_t i = 0; i < points_.size(); ++i) {
        if (!labelRegion_.contains(points_[i])) continue;
        candidates.push_back(i);
        const QPointF at = points_[i] * scale;
        const double radius = kDiameter / 2;
        cells(QRectF(at.x() - radius, at.y() - radius, kDiameter, kDiameter), [&](long long k) {
            taken.emplace(k, i);
            return true;
        });
    }
    for (const QPointF& symbol : symbols_) {
        if (!labelRegion_.contains(symbol)) continue;
        const QPointF at = symbol * scale;
        cells(QRectF(at.x() - kSymbolRadius, at.y() - kSymbolRadius, 2 * kSymbolRadius,
                     2 * kSymbolRadius),
              [&](long long k) {
                  taken[k] = points_.size();  // nobody's own
                  return true;
              });
    }
    for (const std::size_t i : candidates) {
        const QRectF pixels = labelRect(i, metrics.height()).translated(points_[i] * scale);
        const bool free = cells(pixels, [&](long long k) {
            const auto found = taken.find(k);
            return found == taken.end() || found->second == i;
        });
        if (!free) continue;
        cells(pixels, [&](long long k) {
            taken[k] = points_.size();  // a label: nobody's own
            return true;
        });
        placed_.push_back(i);
    }
}

QRectF JunctionDotsItem::labelRect(std::size_t i, double height) const {
    return QRectF(kDiameter / 2 + 2, -height / 2, labelWidths_[i], height);
}

void JunctionDotsItem::paintLabels(QPainter& painter, const QRectF& exposed) {
    const QTransform world = painter.worldTransform();
    const double height = QFontMetricsF(painter.font()).height();
    painter.save();
    painter.resetTransform();
    painter.setPen(kLabelColour);
    const QRectF pixels = world.mapRect(exposed);
    for (const std::size_t i : placed_) {
        const QRectF rect = labelRect(i, height).translated(world.map(points_[i]));
        if (!rect.intersects(pixels)) continue;
        painter.drawText(rect, Qt::AlignLeft | Qt::AlignVCenter, labels_[i]);
    }
    painter.restore();
}

JunctionMarksItem::JunctionMarksItem(std::vector<QPointF> points)
    : points_(std::move(points)), bounds_(BoundsOf(points_)) {
    setFlag(ItemUsesExtendedStyleOption);
}

void JunctionMarksItem::paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget*) {
    const double radius = JunctionDotsItem::kDiameter / 2 + 3;
    const QRectF area = ExposedArea(*painter, *option, radius + 2);
    const QTransform world = painter->worldTransform();
    painter->save();
    painter->resetTransform();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(QPen(kMarkColour, 2));
    painter->setBrush(Qt::NoBrush);
    for (const QPointF& point : points_) {
        if (area.contains(point)) painter->drawEllipse(world.map(point), radius, radius);
    }
    painter->restore();
}

GroupOutlineItem::GroupOutlineItem(std::vector<QPointF> members)
    : members_(std::move(members)), hull_(ConvexHull(members_)), bounds_(BoundsOf(members_)) {}

void GroupOutlineItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
    const QTransform world = painter->worldTransform();
    painter->save();
    painter->resetTransform();
    painter->setRenderHint(QPainter::Antialiasing);
    QColor fill = kGroupColour;
    fill.setAlpha(40);
    QPen outline(kGroupColour, 2.5, Qt::DashLine);
    outline.setJoinStyle(Qt::RoundJoin);
    painter->setPen(outline);
    painter->setBrush(fill);
    const QPolygonF shown = world.map(hull_);
    if (shown.size() >= 3) {
        painter->drawPolygon(shown);
    } else if (shown.size() == 2) {
        painter->drawLine(shown[0], shown[1]);
    }
    painter->setPen(QPen(Qt::black, 2.5));
    painter->setBrush(Qt::NoBrush);
    for (const QPointF& member : members_) {
        painter->drawEllipse(world.map(member), kGroupRingRadius, kGroupRingRadius);
    }
    painter->restore();
}

QPainterPath TankSymbol() {
    QPainterPath path;
    path.addRect(-7, -6, 14, 12);
    path.moveTo(-7, -1);
    path.lineTo(7, -1);
    return path;
}

QPainterPath ReservoirSymbol() {
    return ClosedShape({{-9, -6}, {9, -6}, {5, 6}, {-5, 6}});
}

QPainterPath PumpSymbol() {
    QPainterPath path = ClosedShape({{-3, -4}, {4, 0}, {-3, 4}});
    path.addEllipse(QPointF(0, 0), 7, 7);
    return path;
}

QPainterPath ValveSymbol() {
    return ClosedShape({{-7, -5}, {7, 5}, {7, -5}, {-7, 5}});
}

QPen SymbolPen() {
    return QPen(kSymbolColour, 1.5);
}

QGraphicsPathItem* MakeSymbolItem(const QPainterPath& symbol, QPointF at, const QString& tooltip) {
    auto* item = new QGraphicsPathItem(symbol);
    item->setPos(at);
    item->setFlag(QGraphicsItem::ItemIgnoresTransformations);
    item->setPen(SymbolPen());
    item->setBrush(Qt::white);
    item->setToolTip(tooltip);
    item->setZValue(2);
    return item;
}

}  // namespace hydrosk::ui
