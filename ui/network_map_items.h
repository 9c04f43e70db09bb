// The graphics items of the results map. Pipes and junctions come in tens of
// thousands, so each is one item that draws all of them in a few batched
// calls (lines in one call, dots one call per colour) and skips what lies
// outside the exposed area; the few tanks, reservoirs, pumps and valves are
// items of their own with a symbol of constant screen size.
#pragma once

#include <QGraphicsItem>
#include <QGraphicsPathItem>
#include <QLineF>
#include <QPointF>
#include <array>
#include <cstdint>
#include <vector>

#include "network/network_map.h"
#include "ui/colour_scale.h"

namespace hydrosk::ui {

// Every pipe, pump and valve as straight segments through its vertices, in
// one thin line colour that keeps its width at every zoom.
class LinkLinesItem : public QGraphicsItem {
public:
    explicit LinkLinesItem(std::vector<QLineF> segments);
    QRectF boundingRect() const override { return bounds_; }
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

private:
    std::vector<QLineF> segments_;
    QRectF bounds_;
    std::vector<QLineF> visible_;  // reused between paints
};

// Every junction that has coordinates as a dot of constant screen size in its
// palette colour (ColourScale).
class JunctionDotsItem : public QGraphicsItem {
public:
    JunctionDotsItem(std::vector<QPointF> points, std::vector<std::uint8_t> entries);
    QRectF boundingRect() const override { return bounds_; }
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

    // Dot diameter in pixels.
    static constexpr double kDiameter = 7.0;
    // Up to this many dots in view are drawn round, more as squares.
    static constexpr std::size_t kRoundDotLimit = 5000;

private:
    std::vector<QPointF> points_;
    std::vector<std::uint8_t> entries_;
    QRectF bounds_;
    std::array<std::vector<QRectF>, ColourScale::kPaletteSize> batches_;  // reused
};

// The symbol of a tank, reservoir, pump or valve, centred on its position, in
// pixels.
QPainterPath TankSymbol();
QPainterPath ReservoirSymbol();
QPainterPath PumpSymbol();
QPainterPath ValveSymbol();

// A symbol item that keeps its size on zoom, with the element's ID as tooltip.
QGraphicsPathItem* MakeSymbolItem(const QPainterPath& symbol, QPointF at, const QString& tooltip);

}  // namespace hydrosk::ui
