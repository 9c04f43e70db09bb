#include "ui/network_map_items.h"

#include <QPainter>
#include <QStyleOptionGraphicsItem>
#include <algorithm>
#include <cmath>

namespace hydrosk::ui {
namespace {

const QColor kLineColour(0x6f, 0x7d, 0x8c);
const QColor kSymbolColour(0x1f, 0x2d, 0x3d);

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

JunctionDotsItem::JunctionDotsItem(std::vector<QPointF> points, std::vector<std::uint8_t> entries)
    : points_(std::move(points)), entries_(std::move(entries)), bounds_(BoundsOf(points_)) {
    setFlag(ItemUsesExtendedStyleOption);
}

void JunctionDotsItem::paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget*) {
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
    painter->setPen(Qt::NoPen);
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

QGraphicsPathItem* MakeSymbolItem(const QPainterPath& symbol, QPointF at, const QString& tooltip) {
    auto* item = new QGraphicsPathItem(symbol);
    item->setPos(at);
    item->setFlag(QGraphicsItem::ItemIgnoresTransformations);
    item->setPen(QPen(kSymbolColour, 1.5));
    item->setBrush(Qt::white);
    item->setToolTip(tooltip);
    item->setZValue(2);
    return item;
}

}  // namespace hydrosk::ui
