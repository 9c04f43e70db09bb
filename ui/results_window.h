// The results window: a results file of any kind as a sortable, filterable
// table beside a colour-coded map of its network, with exports of the map (PNG,
// SVG), the table (CSV) and the results (GeoJSON), and the file in the
// desktop's text editor. A thin controller over the results reader
// (files/results_file.h), the network map (network/network_map.h) and the
// GeoJSON writer (analysis/results_geojson.h).
#pragma once

#include <QMainWindow>
#include <filesystem>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "analysis/fire_groups.h"
#include "files/fire_groups.h"
#include "files/results_file.h"
#include "network/network_map.h"
#include "ui/save_file_dialog.h"
#include "ui/window_services.h"

class QCheckBox;
class QLabel;
class QStackedWidget;
class QTableView;

namespace hydrosk::ui {

class NetworkMapView;
class ResultsSortFilterModel;
class ResultsTableModel;

// What the results window takes from outside.
struct ResultsServices {
    std::shared_ptr<MessageBoxes> messages;
    std::shared_ptr<SaveFileDialog> saveDialog;
    std::shared_ptr<DesktopLauncher> desktop;
    // For the study window that "New study" opens; none: the action is off.
    std::shared_ptr<InpFileDialog> openDialog;
};

// The main window's message boxes and desktop with the Qt save dialog.
ResultsServices ResultsServicesOf(const WindowServices& services);

class ResultsWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit ResultsWindow(ResultsServices services, QWidget* parent = nullptr);
    ~ResultsWindow() override;

    // Reads the results file and its network: `inpFile`, or else the results
    // path without its last extension. False, after a message, when the
    // results file cannot be read. A network that cannot be read, or has no
    // coordinates, leaves a notice in the map area; the table still works.
    bool open(const std::filesystem::path& resultsFile,
              const std::optional<std::filesystem::path>& inpFile = std::nullopt);

    NetworkMapView& mapView() { return *mapView_; }

    // The fire groups the rows stand for (nullopt: none): a selected row that names a group
    // rings its members together on the map, and the GeoJSON export writes it as its members.
    // The file is opened again with them. False, after a message, when they cannot be formed
    // on the network (the window then shows no groups).
    bool showFireGroups(const std::optional<analysis::FireGroupSource>& source);
    const std::vector<files::FireGroup>& fireGroups() const { return groups_; }
    // Selects the row of the file's order `row`, as a click on it does.
    void selectRow(int row);

private:
    void chooseFireGroups();
    // The groups of groupSource_ on the network; false after a message.
    bool formGroups();
    void buildTable();
    void fitIdColumns();
    void buildMap(const std::filesystem::path& inpFile);
    void showRow(const QModelIndex& proxyIndex);
    void showJunction(int node);
    std::optional<int> nodeOfCell(std::size_t row, std::optional<std::size_t> column) const;
    QString tooltipOf(int node) const;
    QString askSavePath(const QString& title, const QString& filter, const QString& suffix);
    void reportWritten(bool written, const QString& path);
    void exportPng();
    void exportSvg();
    void exportCsv();
    void exportGeoJson();
    void openInTextEditor();
    void newStudy();

    ResultsServices services_;
    std::filesystem::path resultsFile_;
    std::filesystem::path inpFile_;
    files::ResultsTable table_;
    std::optional<network::NetworkMap> network_;
    files::UnitNames units_;
    std::vector<std::uint8_t> rowEntries_;            // map colour by row
    std::unordered_map<int, std::size_t> rowOfNode_;  // check junction's row by node index
    std::optional<analysis::FireGroupSource> groupSource_;
    std::vector<files::FireGroup> groups_;
    std::vector<const files::FireGroup*> rowGroups_;  // the group of each row, or nullptr

    ResultsTableModel* model_ = nullptr;
    ResultsSortFilterModel* proxy_ = nullptr;
    QTableView* tableView_ = nullptr;
    QCheckBox* failingOnly_ = nullptr;
    QLabel* summary_ = nullptr;
    QStackedWidget* mapArea_ = nullptr;
    NetworkMapView* mapView_ = nullptr;
    QLabel* mapNotice_ = nullptr;
    QAction* exportPng_ = nullptr;
    QAction* exportSvg_ = nullptr;
    QAction* exportGeoJson_ = nullptr;
    QAction* fireGroups_ = nullptr;
    QAction* fitToWindow_ = nullptr;
    QAction* zoomToSelection_ = nullptr;
    QAction* newStudy_ = nullptr;
};

// Opens a results window for `resultsFile` in front of `owner`; it is deleted
// when closed. Nothing opens when the file cannot be read (a message says why).
void ShowResultsWindow(QWidget& owner, const std::filesystem::path& resultsFile,
                       const WindowServices& services);

}  // namespace hydrosk::ui
