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
#include <QString>
#include <array>
#include <cstdint>
#include <vector>

#include "network/network_map.h"
#include "ui/colour_scale.h"

class QFontMetricsF;

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
// palette colour (ColourScale), with its ID beside it where the zoom leaves
// room: a label is drawn when it covers neither another label nor another
// junction's dot. Which junctions are labelled depends on the zoom alone (and
// on the neighbourhood of the view), never on the part being repainted, so
// that a pan shows the labels a full redraw would.
class JunctionDotsItem : public QGraphicsItem {
public:
    // `symbols` are where tanks, reservoirs, pumps and valves stand: no label
    // covers them either.
    JunctionDotsItem(std::vector<QPointF> points, std::vector<std::uint8_t> entries,
                     std::vector<QString> labels, std::vector<QPointF> symbols);
    QRectF boundingRect() const override { return bounds_; }
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

    // Dot diameter in pixels.
    static constexpr double kDiameter = 7.0;
    // Up to this many dots in view are drawn round, more as squares.
    static constexpr std::size_t kRoundDotLimit = 5000;
    // IDs are drawn when at most this many dots are in view.
    static constexpr std::size_t kLabelLimit = 1500;

    // New palette entries, one per point.
    void setEntries(std::vector<std::uint8_t> entries);

    // The junctions (indices into the points) whose IDs the view shows.
    const std::vector<std::size_t>& labelled() const { return placed_; }

private:
    void placeLabels(const QFontMetricsF& metrics, double scale, const QRectF& view);
    // A label's rectangle in pixels, relative to its junction.
    QRectF labelRect(std::size_t i, double height) const;
    void paintLabels(QPainter& painter, const QRectF& exposed);

    std::vector<QPointF> points_;
    std::vector<std::uint8_t> entries_;
    std::vector<QString> labels_;
    std::vector<QPointF> symbols_;
    std::vector<float> labelWidths_;  // pixels, measured once
    QRectF bounds_;
    // The labels placed for a zoom and an area around the view.
    double labelScale_ = 0.0;
    QRectF labelRegion_;
    std::vector<std::size_t> placed_;
    std::array<std::vector<QRectF>, ColourScale::kPaletteSize> batches_;  // reused
};

// A ring of constant screen size around each marked junction (a study's
// hydrants).
class JunctionMarksItem : public QGraphicsItem {
public:
    explicit JunctionMarksItem(std::vector<QPointF> points);
    QRectF boundingRect() const override { return bounds_; }
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

private:
    std::vector<QPointF> points_;
    QRectF bounds_;
};

// A fire group's members ringed together, at every zoom: the area they span (their convex hull,
// a line for two) tinted and outlined, and each member ringed as a selected junction is.
class GroupOutlineItem : public QGraphicsItem {
public:
    explicit GroupOutlineItem(std::vector<QPointF> members);
    QRectF boundingRect() const override { return bounds_; }
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;
    // The hull's corners, in scene coordinates, counter-clockwise.
    const QPolygonF& hull() const { return hull_; }

private:
    std::vector<QPointF> members_;
    QPolygonF hull_;
    QRectF bounds_;
};

// The symbol of a tank, reservoir, pump or valve, centred on its position, in
// pixels.
QPainterPath TankSymbol();
QPainterPath ReservoirSymbol();
QPainterPath PumpSymbol();
QPainterPath ValveSymbol();

// The outline of the symbols, on the map and in its legend.
QPen SymbolPen();

// A symbol item that keeps its size on zoom, with the element's ID as tooltip.
QGraphicsPathItem* MakeSymbolItem(const QPainterPath& symbol, QPointF at, const QString& tooltip);

}  // namespace hydrosk::ui
