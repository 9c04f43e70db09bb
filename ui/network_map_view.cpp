#include "ui/network_map_view.h"

#include <QFontMetrics>
#include <QGraphicsEllipseItem>
#include <QGraphicsLineItem>
#include <QGraphicsScene>
#include <QHelpEvent>
#include <QImageWriter>
#include <QMouseEvent>
#include <QPainter>
#include <QSaveFile>
#include <QScrollBar>
#include <QSvgGenerator>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <array>
#include <cmath>

#include "ui/network_map_items.h"
#include "ui/window_services.h"

namespace hydrosk::ui {
namespace {

constexpr double kPickPixels = 8.0;          // how near a click must be to a dot
constexpr double kWheelBase = 1.0015;        // zoom factor per eighth of a degree
constexpr double kMaxZoomIn = 1e5;           // relative to the fitted view
constexpr int kClickSlackPixels = 3;         // a press and release this close are a click
constexpr double kRingRadius = 8.0;          // pixels
constexpr int kExportPixelRatio = 2;         // PNG pixels per screen pixel
constexpr double kSelectionAreaShare = 0.1;  // least share of the network Zoom to selection shows
const QColor kPartnerColour(0x8e, 0x24, 0xaa);  // the violating or limiting junction

QPointF ScenePoint(const network::MapPoint& point) {
    return {point.x, -point.y};  // y grows to the north on a map, downwards on the screen
}

QGraphicsEllipseItem* MakeRing(QGraphicsScene& scene, const QPen& pen) {
    auto* ring =
        scene.addEllipse(-kRingRadius, -kRingRadius, 2 * kRingRadius, 2 * kRingRadius, pen);
    ring->setFlag(QGraphicsItem::ItemIgnoresTransformations);
    ring->setZValue(4);
    ring->hide();
    return ring;
}

}  // namespace

NetworkMapView::NetworkMapView(QWidget* parent)
    : QGraphicsView(parent), scene_(new QGraphicsScene(this)) {
    setScene(scene_);
    // A few large items: an index would cost more than it saves.
    scene_->setItemIndexMethod(QGraphicsScene::NoIndex);
    setBackgroundBrush(Qt::white);
    setRenderHint(QPainter::Antialiasing, false);
    setDragMode(ScrollHandDrag);
    setTransformationAnchor(AnchorUnderMouse);
    setResizeAnchor(AnchorViewCenter);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setOptimizationFlags(DontSavePainterState | DontAdjustForAntialiasing);
    setViewportUpdateMode(SmartViewportUpdate);
}

void NetworkMapView::setNetwork(const network::NetworkMap& map,
                                const std::vector<std::uint8_t>& junctionEntries,
                                MapLegend legend) {
    scene_->clear();
    marks_ = nullptr;
    groupOutline_ = nullptr;
    group_.clear();
    legend_ = std::move(legend);
    nodePositions_.assign(map.nodes.size(), std::nullopt);
    dotPoints_.clear();
    dotNodes_.clear();
    for (std::size_t i = 0; i < map.nodes.size(); ++i) {
        if (map.nodes[i].position) nodePositions_[i] = ScenePoint(*map.nodes[i].position);
    }

    std::vector<QLineF> segments;
    segments.reserve(map.links.size());
    std::vector<QPointF> symbolPoints;  // tanks, reservoirs, pumps and valves
    // Bounds of everything drawn: min x, min y, max x, max y.
    std::array<double, 4> bounds{HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    const auto extend = [&bounds](QPointF point) {
        bounds = {std::min(bounds[0], point.x()), std::min(bounds[1], point.y()),
                  std::max(bounds[2], point.x()), std::max(bounds[3], point.y())};
    };
    for (const network::MapLink& link : map.links) {
        const auto& from = nodePositions_[static_cast<std::size_t>(link.from)];
        const auto& to = nodePositions_[static_cast<std::size_t>(link.to)];
        if (!from || !to) continue;
        std::vector<QPointF> path{*from};
        for (const network::MapPoint& vertex : link.vertices) path.push_back(ScenePoint(vertex));
        path.push_back(*to);
        for (std::size_t k = 1; k < path.size(); ++k) segments.emplace_back(path[k - 1], path[k]);
        for (std::size_t k = 1; k + 1 < path.size(); ++k) extend(path[k]);
        if (link.kind == network::MapLinkKind::Pipe) continue;
        const std::size_t middle = (path.size() - 1) / 2;
        const QPointF at = (path[middle] + path[middle + 1]) / 2;
        const bool pump = link.kind == network::MapLinkKind::Pump;
        symbolPoints.push_back(at);
        scene_->addItem(MakeSymbolItem(
            pump ? PumpSymbol() : ValveSymbol(), at,
            (pump ? QStringLiteral("Pump ") : QStringLiteral("Valve ")) + DisplayText(link.id)));
    }

    std::vector<std::uint8_t> entries;
    std::vector<QString> labels;
    bool tanks = false, reservoirs = false, pumps = false, valves = false;
    for (const network::MapLink& link : map.links) {
        const bool drawn = nodePositions_[static_cast<std::size_t>(link.from)] &&
                           nodePositions_[static_cast<std::size_t>(link.to)];
        pumps = pumps || (drawn && link.kind == network::MapLinkKind::Pump);
        valves = valves || (drawn && link.kind == network::MapLinkKind::Valve);
    }
    for (std::size_t i = 0; i < map.nodes.size(); ++i) {
        const network::MapNode& node = map.nodes[i];
        if (!nodePositions_[i]) continue;
        extend(*nodePositions_[i]);
        switch (node.kind) {
            case network::MapNodeKind::Junction:
                dotPoints_.push_back(*nodePositions_[i]);
                dotNodes_.push_back(static_cast<int>(i));
                entries.push_back(i < junctionEntries.size() ? junctionEntries[i]
                                                             : ColourScale::kNeutral);
                labels.push_back(DisplayText(node.id));
                break;
            case network::MapNodeKind::Tank:
                tanks = true;
                symbolPoints.push_back(*nodePositions_[i]);
                scene_->addItem(MakeSymbolItem(TankSymbol(), *nodePositions_[i],
                                               QStringLiteral("Tank ") + DisplayText(node.id)));
                break;
            case network::MapNodeKind::Reservoir:
                reservoirs = true;
                symbolPoints.push_back(*nodePositions_[i]);
                scene_->addItem(
                    MakeSymbolItem(ReservoirSymbol(), *nodePositions_[i],
                                   QStringLiteral("Reservoir ") + DisplayText(node.id)));
                break;
        }
    }
    scene_->addItem(new LinkLinesItem(std::move(segments)));
    dotEntries_ = entries;
    dots_ = new JunctionDotsItem(dotPoints_, std::move(entries), std::move(labels),
                                 std::move(symbolPoints));
    dots_->setZValue(1);
    scene_->addItem(dots_);
    if (!legend_.empty()) {
        if (tanks) legend_.symbols.push_back({TankSymbol(), QStringLiteral("Tank")});
        if (reservoirs) legend_.symbols.push_back({ReservoirSymbol(), QStringLiteral("Reservoir")});
        if (pumps) legend_.symbols.push_back({PumpSymbol(), QStringLiteral("Pump")});
        if (valves) legend_.symbols.push_back({ValveSymbol(), QStringLiteral("Valve")});
    }

    selectedRing_ = MakeRing(*scene_, QPen(Qt::black, 2.5));
    partnerRing_ = MakeRing(*scene_, QPen(kPartnerColour, 2.5, Qt::DashLine));
    QPen joinPen(kPartnerColour, 2, Qt::DashLine);
    joinPen.setCosmetic(true);
    joinLine_ = scene_->addLine(QLineF(), joinPen);
    joinLine_->setZValue(3);
    joinLine_->hide();
    selected_.reset();
    partner_.reset();

    // Some room around the network, and never an empty area.
    const QRectF drawn = bounds[0] <= bounds[2]
                             ? QRectF(QPointF(bounds[0], bounds[1]), QPointF(bounds[2], bounds[3]))
                             : QRectF();
    const double margin = std::max({drawn.width(), drawn.height(), 1.0}) * 0.05;
    scene_->setSceneRect(drawn.adjusted(-margin, -margin, margin, margin));
    fitToWindow();
}

void NetworkMapView::selectJunction(std::optional<int> node, std::optional<int> partner) {
    const auto positionOf = [this](std::optional<int> index) -> std::optional<QPointF> {
        if (!index || *index < 0 || static_cast<std::size_t>(*index) >= nodePositions_.size()) {
            return std::nullopt;
        }
        return nodePositions_[static_cast<std::size_t>(*index)];
    };
    selected_ = node;
    partner_ = partner;
    group_.clear();
    delete groupOutline_;
    groupOutline_ = nullptr;
    emit selectionChanged();
    if (selectedRing_ == nullptr) return;
    const std::optional<QPointF> at = positionOf(node);
    const std::optional<QPointF> partnerAt = node == partner ? std::nullopt : positionOf(partner);
    selectedRing_->setVisible(at.has_value());
    partnerRing_->setVisible(partnerAt.has_value());
    joinLine_->setVisible(at && partnerAt);
    if (at) selectedRing_->setPos(*at);
    if (partnerAt) partnerRing_->setPos(*partnerAt);
    if (at && partnerAt) joinLine_->setLine(QLineF(*at, *partnerAt));
    if (at && !viewport()->rect().contains(mapFromScene(*at))) centerOn(*at);
}

void NetworkMapView::selectGroup(const std::vector<int>& members, std::optional<int> partner) {
    if (members.empty()) {
        selectJunction(std::nullopt, std::nullopt);
        return;
    }
    const bool partnerIsMember =
        partner && std::find(members.begin(), members.end(), *partner) != members.end();
    selectJunction(members.front(), partnerIsMember ? std::nullopt : partner);
    group_ = members;
    if (selectedRing_ == nullptr) return;
    // The group's own outline rings the members; no line joins one member to the partner.
    selectedRing_->hide();
    joinLine_->hide();
    std::vector<QPointF> points;
    for (const int member : members) {
        if (member >= 0 && static_cast<std::size_t>(member) < nodePositions_.size() &&
            nodePositions_[static_cast<std::size_t>(member)]) {
            points.push_back(*nodePositions_[static_cast<std::size_t>(member)]);
        }
    }
    if (points.empty()) return;
    groupOutline_ = new GroupOutlineItem(std::move(points));
    groupOutline_->setZValue(4);
    scene_->addItem(groupOutline_);
    const QRectF area = groupOutline_->hull().boundingRect();
    if (!viewport()->rect().contains(mapFromScene(area.center()))) centerOn(area.center());
}

void NetworkMapView::fitToWindow() {
    fitInView(sceneRect(), Qt::KeepAspectRatio);
    userMoved_ = false;
}

void NetworkMapView::setJunctionColours(const std::vector<std::uint8_t>& junctionEntries,
                                        MapLegend legend) {
    if (dots_ == nullptr) return;
    for (std::size_t k = 0; k < dotNodes_.size(); ++k) {
        const auto node = static_cast<std::size_t>(dotNodes_[k]);
        dotEntries_[k] =
            node < junctionEntries.size() ? junctionEntries[node] : ColourScale::kNeutral;
    }
    dots_->setEntries(dotEntries_);
    legend.symbols = std::move(legend_.symbols);
    legend_ = std::move(legend);
    viewport()->update();
}

std::optional<std::uint8_t> NetworkMapView::junctionColour(int node) const {
    const auto found = std::find(dotNodes_.begin(), dotNodes_.end(), node);
    if (found == dotNodes_.end()) return std::nullopt;
    return dotEntries_[static_cast<std::size_t>(found - dotNodes_.begin())];
}

void NetworkMapView::setMarkedJunctions(const std::vector<int>& nodes) {
    delete marks_;
    marks_ = nullptr;
    std::vector<QPointF> points;
    for (const int node : nodes) {
        if (node >= 0 && static_cast<std::size_t>(node) < nodePositions_.size() &&
            nodePositions_[static_cast<std::size_t>(node)]) {
            points.push_back(*nodePositions_[static_cast<std::size_t>(node)]);
        }
    }
    if (points.empty()) return;
    marks_ = new JunctionMarksItem(std::move(points));
    marks_->setZValue(3);
    scene_->addItem(marks_);
}

void NetworkMapView::setPicking(bool picking) {
    picking_ = picking;
    setDragMode(picking ? RubberBandDrag : ScrollHandDrag);
}

void NetworkMapView::zoomToSelection() {
    const auto positionOf = [this](std::optional<int> index) -> std::optional<QPointF> {
        if (!index || static_cast<std::size_t>(*index) >= nodePositions_.size())
            return std::nullopt;
        return nodePositions_[static_cast<std::size_t>(*index)];
    };
    const std::optional<QPointF> at = positionOf(selected_);
    if (!at) return;
    const QPointF other = positionOf(partner_).value_or(*at);
    QPointF low(std::min(at->x(), other.x()), std::min(at->y(), other.y()));
    QPointF high(std::max(at->x(), other.x()), std::max(at->y(), other.y()));
    for (const int member : group_) {
        if (const std::optional<QPointF> point = positionOf(member)) {
            low = QPointF(std::min(low.x(), point->x()), std::min(low.y(), point->y()));
            high = QPointF(std::max(high.x(), point->x()), std::max(high.y(), point->y()));
        }
    }
    QRectF area(low, high);
    // At least a tenth of the network across, so that the pipes around show.
    const double least = std::max(sceneRect().width(), sceneRect().height()) * kSelectionAreaShare;
    const double growX = std::max(0.0, least - area.width()) / 2;
    const double growY = std::max(0.0, least - area.height()) / 2;
    area.adjust(-growX, -growY, growX, growY);
    const double margin = std::max(area.width(), area.height()) * 0.15;
    fitInView(area.adjusted(-margin, -margin, margin, margin), Qt::KeepAspectRatio);
    userMoved_ = true;
}

std::vector<int> NetworkMapView::labelledJunctions() const {
    std::vector<int> nodes;
    if (dots_ == nullptr) return nodes;
    for (const std::size_t i : dots_->labelled()) nodes.push_back(dotNodes_[i]);
    return nodes;
}

QRect NetworkMapView::legendRect() const {
    if (legend_.empty()) return {};
    return LegendBox(QFontMetrics(viewport()->font()), legend_, viewport()->rect());
}

std::optional<int> NetworkMapView::junctionAt(QPoint viewportPosition) const {
    const QPointF at = mapToScene(viewportPosition);
    const double scale = std::max(std::hypot(transform().m11(), transform().m12()), 1e-12);
    double best = std::pow(kPickPixels / scale, 2);
    std::optional<int> found;
    for (std::size_t i = 0; i < dotPoints_.size(); ++i) {
        const QPointF d = dotPoints_[i] - at;
        const double distance = QPointF::dotProduct(d, d);
        if (distance <= best) {
            best = distance;
            found = dotNodes_[i];
        }
    }
    return found;
}

void NetworkMapView::wheelEvent(QWheelEvent* event) {
    const double factor = std::pow(kWheelBase, event->angleDelta().y());
    // Zoom no further out than the whole network and no further in than a
    // street corner.
    const QRectF visible = mapToScene(viewport()->rect()).boundingRect();
    const bool tooFarOut = factor < 1 && visible.width() >= sceneRect().width() &&
                           visible.height() >= sceneRect().height();
    const double current = std::hypot(transform().m11(), transform().m12());
    const double fitted = std::min(viewport()->width() / sceneRect().width(),
                                   viewport()->height() / sceneRect().height());
    const bool tooFarIn = factor > 1 && current > fitted * kMaxZoomIn;
    if (!tooFarOut && !tooFarIn) {
        scale(factor, factor);
        userMoved_ = true;
    }
    event->accept();
}

void NetworkMapView::mousePressEvent(QMouseEvent* event) {
    pressPosition_ = event->position().toPoint();
    QGraphicsView::mousePressEvent(event);
}

void NetworkMapView::mouseReleaseEvent(QMouseEvent* event) {
    QGraphicsView::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton) return;
    const QPoint at = event->position().toPoint();
    if ((at - pressPosition_).manhattanLength() > kClickSlackPixels) {
        if (!picking_) {
            userMoved_ = true;
            return;
        }
        const QRectF box = QRectF(mapToScene(pressPosition_), mapToScene(at)).normalized();
        std::vector<int> inside;
        for (std::size_t i = 0; i < dotPoints_.size(); ++i) {
            if (box.contains(dotPoints_[i])) inside.push_back(dotNodes_[i]);
        }
        emit junctionsBoxed(inside);
        return;
    }
    if (const std::optional<int> node = junctionAt(at)) emit junctionClicked(*node);
}

void NetworkMapView::resizeEvent(QResizeEvent* event) {
    QGraphicsView::resizeEvent(event);
    if (!userMoved_) fitToWindow();
}

bool NetworkMapView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip && tooltipText_) {
        const auto* help = static_cast<QHelpEvent*>(event);
        if (const std::optional<int> node = junctionAt(help->pos())) {
            QToolTip::showText(help->globalPos(), tooltipText_(*node), viewport());
            return true;
        }
    }
    return QGraphicsView::viewportEvent(event);
}

void NetworkMapView::drawForeground(QPainter* painter, const QRectF&) {
    if (legend_.empty()) return;
    painter->save();
    painter->resetTransform();
    PaintLegend(*painter, legend_, viewport()->rect());
    painter->restore();
}

void NetworkMapView::scrollContentsBy(int dx, int dy) {
    // The view scrolls the pixels already drawn, the legend among them: the
    // copy that moved and the legend's own place are drawn again.
    QGraphicsView::scrollContentsBy(dx, dy);
    const QRect legend = legendRect();
    if (!legend.isEmpty()) {
        viewport()->update(QRegion(legend.adjusted(-1, -1, 1, 1)) +
                           QRegion(legend.translated(dx, dy).adjusted(-1, -1, 1, 1)));
    }
}

void NetworkMapView::renderMap(QPainter& painter) {
    painter.setRenderHint(QPainter::Antialiasing);
    render(&painter, QRectF(QPointF(0, 0), viewport()->size()), viewport()->rect());
}

QImage NetworkMapView::image() {
    QImage image(viewport()->size() * kExportPixelRatio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(kExportPixelRatio);
    image.fill(Qt::white);
    QPainter painter(&image);
    renderMap(painter);
    return image;
}

bool NetworkMapView::exportPng(const QString& path) {
    const QImage shown = image();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    QImageWriter writer(&file, "png");
    return writer.write(shown) && file.commit();
}

bool NetworkMapView::exportSvg(const QString& path, const QString& title) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    QSvgGenerator svg;
    svg.setOutputDevice(&file);
    svg.setSize(viewport()->size());
    svg.setViewBox(viewport()->rect());
    svg.setTitle(title);
    {
        QPainter painter;
        if (!painter.begin(&svg)) return false;
        renderMap(painter);
    }
    return file.commit();
}

}  // namespace hydrosk::ui
