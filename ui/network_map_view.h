// The results map: the network drawn from its [COORDINATES] and [VERTICES]
// (y to the north), junctions coloured by their answer and labelled with
// their IDs where the zoom leaves room, a legend fixed in the lower left
// corner of the view, and the selected check junction ringed and joined to
// its violating, limiting or lowest junction. The wheel zooms about the pointer, dragging pans, a
// click on a junction reports it, and the tooltip names the junction under the pointer.
#pragma once

#include <QGraphicsView>
#include <QImage>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "network/network_map.h"
#include "ui/map_legend.h"

class QGraphicsEllipseItem;
class QGraphicsLineItem;

namespace hydrosk::ui {

class GroupOutlineItem;
class JunctionDotsItem;

class NetworkMapView : public QGraphicsView {
    Q_OBJECT
public:
    explicit NetworkMapView(QWidget* parent = nullptr);

    // Draws the network; `junctionEntries` holds each junction's palette entry
    // (ColourScale) by node index.
    void setNetwork(const network::NetworkMap& map,
                    const std::vector<std::uint8_t>& junctionEntries, MapLegend legend);
    // New colours for the junctions drawn (palette entries by node index) and
    // a new legend, keeping the view and the legend's symbols: a run's rows as
    // they arrive.
    void setJunctionColours(const std::vector<std::uint8_t>& junctionEntries, MapLegend legend);
    // The palette entry a junction is drawn with, by node index; nullopt for a
    // node without a dot.
    std::optional<std::uint8_t> junctionColour(int node) const;
    // The tooltip of a junction, by node index.
    void setTooltipText(std::function<QString(int)> text) { tooltipText_ = std::move(text); }

    // Rings the check junction and its partner and joins them; nullopt clears.
    // A junction outside the visible area is brought into view.
    void selectJunction(std::optional<int> node, std::optional<int> partner);
    std::optional<int> selectedNode() const { return selected_; }
    std::optional<int> partnerNode() const { return partner_; }

    // Rings a fire group's members (node indices) together and its partner, as selectJunction
    // does one junction; selectedNode() is then the first member. An empty group clears.
    void selectGroup(const std::vector<int>& members, std::optional<int> partner);
    // The members of the group selected; empty when a single junction or nothing is.
    const std::vector<int>& selectedGroup() const { return group_; }
    // The outline of the selected group; nullptr for none.
    const GroupOutlineItem* groupOutline() const { return groupOutline_; }

    // Rings the junctions (node indices), as a study's hydrants.
    void setMarkedJunctions(const std::vector<int>& nodes);
    // While picking, dragging draws a rectangle that reports the junctions
    // inside it (junctionsBoxed) instead of panning; a click still reports its
    // junction.
    void setPicking(bool picking);
    bool picking() const { return picking_; }

    void fitToWindow();
    // Zooms to the selected junction (or group) and its partner, with some of
    // their surroundings.
    void zoomToSelection();
    // The junctions (node indices) whose IDs are drawn.
    std::vector<int> labelledJunctions() const;
    const MapLegend& legend() const { return legend_; }
    // Where the legend stands in the viewport, in pixels; empty without one.
    QRect legendRect() const;
    // The junction whose dot is nearest to a viewport position, within a few
    // pixels.
    std::optional<int> junctionAt(QPoint viewportPosition) const;

    // The map as shown, legend included, at twice the screen's pixels.
    QImage image();
    // The same as a file. False when the file cannot be written.
    bool exportPng(const QString& path);
    bool exportSvg(const QString& path, const QString& title);

signals:
    void junctionClicked(int node);
    // The junctions inside a rectangle dragged while picking.
    void junctionsBoxed(const std::vector<int>& nodes);
    // The selected junction changed (selectJunction).
    void selectionChanged();

protected:
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void drawForeground(QPainter* painter, const QRectF& rect) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void renderMap(QPainter& painter);

    QGraphicsScene* scene_;
    JunctionDotsItem* dots_ = nullptr;
    std::vector<std::optional<QPointF>> nodePositions_;  // scene coordinates by node index
    std::vector<QPointF> dotPoints_;                     // junctions with coordinates
    std::vector<int> dotNodes_;                          // their node indices
    std::vector<std::uint8_t> dotEntries_;               // their palette entries
    MapLegend legend_;
    std::function<QString(int)> tooltipText_;

    QGraphicsItem* marks_ = nullptr;
    bool picking_ = false;
    QGraphicsEllipseItem* selectedRing_ = nullptr;
    QGraphicsEllipseItem* partnerRing_ = nullptr;
    QGraphicsLineItem* joinLine_ = nullptr;
    std::optional<int> selected_;
    std::optional<int> partner_;
    std::vector<int> group_;
    GroupOutlineItem* groupOutline_ = nullptr;

    QPoint pressPosition_;
    bool userMoved_ = false;  // zoomed or panned: resizing no longer fits the map
};

}  // namespace hydrosk::ui
