#include "ui/results_window.h"

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyle>
#include <QTableView>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>

#include "analysis/results_geojson.h"
#include "files/file_error.h"
#include "files/printable_text.h"
#include "ui/colour_scale.h"
#include "ui/fire_groups_box.h"
#include "ui/judged_results.h"
#include "ui/network_map_view.h"
#include "ui/results_table_model.h"
#include "ui/study_window.h"
#include "ui/table_csv.h"

namespace hydrosk::ui {
namespace {

constexpr char kTitlePrefix[] = "Hydrosk Results - ";
const QSize kInitialSize(1280, 800);

QAction* AddAction(QToolBar& toolbar, const char* name, const QString& text) {
    QAction* action = toolbar.addAction(text);
    action->setObjectName(QLatin1String(name));
    return action;
}

}  // namespace

ResultsServices ResultsServicesOf(const WindowServices& services) {
    return {services.messages, std::make_shared<QtSaveFileDialog>(), services.desktop,
            services.inpDialog};
}

ResultsWindow::ResultsWindow(ResultsServices services, QWidget* parent)
    : QMainWindow(parent), services_(std::move(services)) {
    setObjectName(QStringLiteral("frmResults"));
    setWindowTitle(QLatin1String(kTitlePrefix));
    resize(kInitialSize);

    auto* toolbar = addToolBar(QStringLiteral("Results"));
    toolbar->setObjectName(QStringLiteral("tbrResults"));
    toolbar->setMovable(false);
    fitToWindow_ = AddAction(*toolbar, "actFitToWindow", QStringLiteral("Fit to window"));
    zoomToSelection_ =
        AddAction(*toolbar, "actZoomToSelection", QStringLiteral("Zoom to selection"));
    zoomToSelection_->setEnabled(false);
    toolbar->addSeparator();
    exportPng_ = AddAction(*toolbar, "actExportPng", QStringLiteral("Export map as PNG..."));
    exportSvg_ = AddAction(*toolbar, "actExportSvg", QStringLiteral("Export map as SVG..."));
    QAction* exportCsv =
        AddAction(*toolbar, "actExportCsv", QStringLiteral("Export table as CSV..."));
    exportGeoJson_ = AddAction(*toolbar, "actExportGeoJson", QStringLiteral("Export GeoJSON..."));
    toolbar->addSeparator();
    fireGroups_ = AddAction(*toolbar, "actFireGroups", QStringLiteral("Fire groups..."));
    fireGroups_->setEnabled(false);
    toolbar->addSeparator();
    QAction* textEditor =
        AddAction(*toolbar, "actOpenInTextEditor", QStringLiteral("Open in text editor"));
    toolbar->addSeparator();
    newStudy_ = AddAction(*toolbar, "actNewStudy", QStringLiteral("New study"));
    newStudy_->setEnabled(services_.openDialog != nullptr);

    // Ctrl+W and Esc close the window, as they close a document's window.
    auto* close = new QAction(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("actClose"));
    close->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_W), QKeySequence(Qt::Key_Escape)});
    close->setShortcutContext(Qt::WindowShortcut);
    addAction(close);
    connect(close, &QAction::triggered, this, &QWidget::close);

    auto* tablePane = new QWidget;
    auto* tableLayout = new QVBoxLayout(tablePane);
    tableLayout->setContentsMargins(0, 0, 0, 0);
    summary_ = new QLabel;
    summary_->setObjectName(QStringLiteral("lblSummary"));
    summary_->setWordWrap(true);
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    failingOnly_ = new QCheckBox(QStringLiteral("Failing only"));
    failingOnly_->setObjectName(QStringLiteral("chkFailingOnly"));
    tableView_ = new QTableView;
    tableView_->setObjectName(QStringLiteral("tblResults"));
    tableView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    tableView_->setSelectionMode(QAbstractItemView::SingleSelection);
    tableView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tableView_->setWordWrap(false);
    tableView_->verticalHeader()->hide();
    // Rows of one height let the view skip measuring tens of thousands of them.
    tableView_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    tableView_->verticalHeader()->setDefaultSectionSize(tableView_->fontMetrics().height() + 6);
    tableView_->horizontalHeader()->setStretchLastSection(true);
    tableLayout->addWidget(summary_);
    tableLayout->addWidget(failingOnly_);
    tableLayout->addWidget(tableView_);

    mapArea_ = new QStackedWidget;
    mapArea_->setObjectName(QStringLiteral("stkMap"));
    mapView_ = new NetworkMapView;
    mapView_->setObjectName(QStringLiteral("mapView"));
    mapNotice_ = new QLabel;
    mapNotice_->setObjectName(QStringLiteral("lblMapNotice"));
    mapNotice_->setAlignment(Qt::AlignCenter);
    mapNotice_->setWordWrap(true);
    mapArea_->addWidget(mapView_);
    mapArea_->addWidget(mapNotice_);

    auto* splitter = new QSplitter;
    splitter->setObjectName(QStringLiteral("splResults"));
    splitter->addWidget(tablePane);
    splitter->addWidget(mapArea_);
    splitter->setStretchFactor(0, 2);
    splitter->setStretchFactor(1, 3);
    splitter->setSizes({kInitialSize.width() * 9 / 20, kInitialSize.width() * 11 / 20});
    setCentralWidget(splitter);

    connect(fitToWindow_, &QAction::triggered, mapView_, &NetworkMapView::fitToWindow);
    connect(zoomToSelection_, &QAction::triggered, mapView_, &NetworkMapView::zoomToSelection);
    connect(mapView_, &NetworkMapView::selectionChanged, this,
            [this] { zoomToSelection_->setEnabled(mapView_->selectedNode().has_value()); });
    connect(exportPng_, &QAction::triggered, this, &ResultsWindow::exportPng);
    connect(exportSvg_, &QAction::triggered, this, &ResultsWindow::exportSvg);
    connect(exportCsv, &QAction::triggered, this, &ResultsWindow::exportCsv);
    connect(exportGeoJson_, &QAction::triggered, this, &ResultsWindow::exportGeoJson);
    connect(textEditor, &QAction::triggered, this, &ResultsWindow::openInTextEditor);
    connect(newStudy_, &QAction::triggered, this, &ResultsWindow::newStudy);
    connect(fireGroups_, &QAction::triggered, this, &ResultsWindow::chooseFireGroups);
    connect(mapView_, &NetworkMapView::junctionClicked, this, &ResultsWindow::showJunction);
    mapView_->setTooltipText([this](int node) { return tooltipOf(node); });
}

ResultsWindow::~ResultsWindow() = default;

bool ResultsWindow::open(const std::filesystem::path& resultsFile,
                         const std::optional<std::filesystem::path>& inpFile) {
    try {
        table_ = files::ReadResultsFile(resultsFile);
    } catch (const files::FileError& error) {
        services_.messages->inform(parentWidget() != nullptr ? parentWidget() : this,
                                   QStringLiteral("Could not open the results file"),
                                   DisplayText(error.what()));
        return false;
    }
    resultsFile_ = resultsFile;
    setWindowTitle(QLatin1String(kTitlePrefix) + FromFileSystemPath(resultsFile.filename()));

    const std::filesystem::path inp = inpFile.value_or(analysis::NetworkOfResults(resultsFile));
    inpFile_ = inp;
    network_.reset();
    units_ = {};
    QString problem;
    try {
        network_ = network::LoadNetworkMap(inp);
        units_ = {network_->flow_units, network_->pressure_units};
    } catch (const network::NetworkMapError& error) {
        problem = QStringLiteral("The network %1 could not be read:\n%2")
                      .arg(FromFileSystemPath(inp), DisplayText(error.what()));
    }

    groups_.clear();
    if (network_ && groupSource_ && !formGroups()) groupSource_.reset();

    rowOfNode_.clear();
    for (std::size_t i = 0; i < table_.rows.size(); ++i) {
        if (const std::optional<int> node = nodeOfCell(i, 0)) rowOfNode_.emplace(*node, i);
    }
    // A member of groups without a row of its own stands for the first group's row: it is
    // drawn in that row's colour and a click on it selects the row.
    rowGroups_ = analysis::GroupsOfRows(table_, groups_);
    for (std::size_t i = 0; i < table_.rows.size() && network_; ++i) {
        if (const files::FireGroup* group = rowGroups_[i]) {
            for (const std::string& member : group->members) {
                if (const std::optional<int> node = network_->FindNode(member)) {
                    rowOfNode_.emplace(*node, i);
                }
            }
        }
    }
    JudgedRows judged = JudgeRows(table_);
    rowEntries_ = judged.entries;
    buildTable();

    if (!network_) {
        mapNotice_->setText(problem);
    } else if (!network_->HasCoordinates()) {
        mapNotice_->setText(
            QStringLiteral("The network has no coordinates, so there is no map to draw."));
    } else {
        std::vector<std::uint8_t> junctionEntries(network_->nodes.size(), ColourScale::kNeutral);
        for (const auto& [node, row] : rowOfNode_) {
            junctionEntries[static_cast<std::size_t>(node)] = rowEntries_[row];
        }
        judged.legend.title = model_
                                  ->headerData(static_cast<int>(JudgedColumn(table_)),
                                               Qt::Horizontal, Qt::DisplayRole)
                                  .toString();
        mapView_->setNetwork(*network_, junctionEntries, std::move(judged.legend));
    }
    const bool drawn = network_ && network_->HasCoordinates();
    mapArea_->setCurrentWidget(drawn ? static_cast<QWidget*>(mapView_) : mapNotice_);
    for (QAction* action : {exportPng_, exportSvg_, fitToWindow_}) action->setEnabled(drawn);
    exportGeoJson_->setEnabled(network_.has_value());
    fireGroups_->setEnabled(network_.has_value() && services_.openDialog != nullptr);
    return true;
}

bool ResultsWindow::formGroups() {
    try {
        groups_ = analysis::GroupsOfNetwork(*groupSource_, inpFile_);
        return true;
    } catch (const files::FileError& error) {
        services_.messages->inform(this, QStringLiteral("Could not form the fire groups"),
                                   DisplayText(error.what()));
    } catch (const network::NetworkMapError& error) {
        services_.messages->inform(this, QStringLiteral("Could not form the fire groups"),
                                   DisplayText(error.what()));
    }
    groups_.clear();
    return false;
}

bool ResultsWindow::showFireGroups(const std::optional<analysis::FireGroupSource>& source) {
    groupSource_ = source;
    if (resultsFile_.empty()) return true;
    const std::optional<std::filesystem::path> inp = inpFile_;
    if (!open(resultsFile_, inp)) return false;
    return groupSource_.has_value() == source.has_value();  // reset when refused
}

void ResultsWindow::chooseFireGroups() {
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("dlgFireGroups"));
    dialog.setWindowTitle(QStringLiteral("Fire groups"));
    auto* box = new FireGroupsBox(services_.openDialog,
                                  [this] { return FromFileSystemPath(inpFile_.parent_path()); });
    box->setSource(groupSource_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral(
        "The groups of the run: a row named by a group rings its members on the map.")));
    layout->addWidget(box);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        const FireGroupsBox::Choice choice = box->choice();
        if (!choice.problem.isEmpty()) {
            services_.messages->inform(&dialog, QStringLiteral("Please complete the fire groups"),
                                       choice.problem);
            return;
        }
        dialog.accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() == QDialog::Accepted) showFireGroups(box->choice().source);
}

void ResultsWindow::selectRow(int row) {
    const QModelIndex proxyIndex = proxy_->mapFromSource(model_->index(row, 0));
    if (!proxyIndex.isValid()) return;
    tableView_->selectRow(proxyIndex.row());
    tableView_->scrollTo(proxyIndex);
}

void ResultsWindow::buildTable() {
    const std::unique_ptr<QObject> oldModel(model_), oldProxy(proxy_),
        oldSelection(tableView_->selectionModel());
    model_ = new ResultsTableModel(table_, units_, rowEntries_, this);
    proxy_ = new ResultsSortFilterModel(this);
    proxy_->setSourceModel(model_);
    // File order until the user picks a column.
    tableView_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    tableView_->setModel(proxy_);
    tableView_->setSortingEnabled(true);
    tableView_->resizeColumnsToContents();
    files::SummaryContext context{units_, std::nullopt, std::nullopt, files::UserLocale()};
    std::string warning;
    if (network_) {
        // A run writes a row for every junction of the network.
        context.check_junctions = static_cast<std::size_t>(std::count_if(
            network_->nodes.begin(), network_->nodes.end(),
            [](const auto& node) { return node.kind == network::MapNodeKind::Junction; }));
        const analysis::RowsOutsideNetwork outside =
            analysis::CheckRowsAgainstNetwork(table_, *network_, groups_);
        context.rows_outside_network = outside.unknown + outside.repeated;
        warning = analysis::RowsOutsideNetworkWarning(outside);
    }
    std::string summary = files::SummaryLine(table_, context);
    if (!warning.empty()) summary += "\n" + warning;
    summary_->setText(DisplayText(summary));
    fitIdColumns();
    failingOnly_->setChecked(false);
    connect(failingOnly_, &QCheckBox::toggled, proxy_, &ResultsSortFilterModel::setFailingOnly,
            Qt::UniqueConnection);
    connect(tableView_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { showRow(current); });
}

void ResultsWindow::fitIdColumns() {
    // The view measures only the first rows; an ID column is as wide as its
    // widest ID. IDs of the most characters are measured, with some shorter
    // ones, as letters differ in width.
    const QFontMetrics metrics(tableView_->font());
    const int padding = 2 * tableView_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) +
                        tableView_->style()->pixelMetric(QStyle::PM_HeaderMargin) + 4;
    const int decoration = tableView_->style()->pixelMetric(QStyle::PM_SmallIconSize) +
                           tableView_->style()->pixelMetric(QStyle::PM_HeaderMargin);
    for (std::size_t column = 0; column < table_.columns.size(); ++column) {
        if (table_.columns[column].quantity != files::Quantity::NodeId) continue;
        // IDs as shown: a field longer than a line is cut.
        const auto shown = [&](const files::ResultsRow& row) {
            return files::CutField(row.cells[column].text);
        };
        std::size_t longest = 0;
        for (const files::ResultsRow& row : table_.rows) {
            longest = std::max(longest, shown(row).size());
        }
        int width = 0;
        for (const files::ResultsRow& row : table_.rows) {
            const std::string id = shown(row);
            if (id.size() + 3 < longest) continue;
            width = std::max(width, metrics.horizontalAdvance(DisplayText(id)));
        }
        width += padding + (column == 0 ? decoration : 0);
        const auto section = static_cast<int>(column);
        if (width > tableView_->columnWidth(section)) tableView_->setColumnWidth(section, width);
    }
}

std::optional<int> ResultsWindow::nodeOfCell(std::size_t row,
                                             std::optional<std::size_t> column) const {
    if (!network_ || !column) return std::nullopt;
    const std::string& id = table_.rows[row].cells[*column].text;
    if (id.empty()) return std::nullopt;
    return network_->FindNode(id);
}

void ResultsWindow::showRow(const QModelIndex& proxyIndex) {
    if (!proxyIndex.isValid()) {
        mapView_->selectJunction(std::nullopt, std::nullopt);
        return;
    }
    const auto row = static_cast<std::size_t>(proxy_->mapToSource(proxyIndex).row());
    const std::optional<int> partner = nodeOfCell(row, table_.partner_column);
    if (const files::FireGroup* group = rowGroups_[row]) {
        std::vector<int> members;
        for (const std::string& member : group->members) {
            if (const std::optional<int> node = network_->FindNode(member)) {
                members.push_back(*node);
            }
        }
        mapView_->selectGroup(members, partner);
        return;
    }
    mapView_->selectJunction(nodeOfCell(row, 0), partner);
}

void ResultsWindow::showJunction(int node) {
    const auto found = rowOfNode_.find(node);
    const QModelIndex proxyIndex =
        found == rowOfNode_.end()
            ? QModelIndex()
            : proxy_->mapFromSource(model_->index(static_cast<int>(found->second), 0));
    if (proxyIndex.isValid()) {
        tableView_->selectRow(proxyIndex.row());
        tableView_->scrollTo(proxyIndex);
        return;
    }
    // A junction without a row, or one that the filter hides: the map alone shows it.
    tableView_->selectionModel()->clearCurrentIndex();
    tableView_->clearSelection();
    const std::optional<int> partner =
        found == rowOfNode_.end() ? std::nullopt : nodeOfCell(found->second, table_.partner_column);
    mapView_->selectJunction(node, partner);
}

QString ResultsWindow::tooltipOf(int node) const {
    const QString id = DisplayText(network_->nodes[static_cast<std::size_t>(node)].id);
    const auto found = rowOfNode_.find(node);
    if (found == rowOfNode_.end()) return id + QStringLiteral(": no result");
    const files::ResultsRow& row = table_.rows[found->second];
    QStringList lines{row.check_id() == network_->nodes[static_cast<std::size_t>(node)].id
                          ? id
                          : id + QStringLiteral(": in the group ") + DisplayText(row.check_id())};
    for (std::size_t column = 1; column < table_.columns.size(); ++column) {
        if (row.cells[column].text.empty()) continue;
        lines << model_->headerData(static_cast<int>(column), Qt::Horizontal, Qt::DisplayRole)
                         .toString() +
                     QStringLiteral(": ") + DisplayText(files::ShownText(table_, row, column));
    }
    return lines.join(QLatin1Char('\n'));
}

QString ResultsWindow::askSavePath(const QString& title, const QString& filter,
                                   const QString& suffix) {
    return services_.saveDialog->chooseSaveFile(this, title, filter,
                                                FromFileSystemPath(resultsFile_) + suffix);
}

void ResultsWindow::reportWritten(bool written, const QString& path) {
    if (!written)
        services_.messages->inform(this, QStringLiteral("Could not write the file"), path);
}

void ResultsWindow::exportPng() {
    const QString path = askSavePath(QStringLiteral("Export map as PNG"),
                                     QStringLiteral("PNG images (*.png)"), QStringLiteral(".png"));
    if (!path.isEmpty()) reportWritten(mapView_->exportPng(path), path);
}

void ResultsWindow::exportSvg() {
    const QString path = askSavePath(QStringLiteral("Export map as SVG"),
                                     QStringLiteral("SVG images (*.svg)"), QStringLiteral(".svg"));
    if (!path.isEmpty()) reportWritten(mapView_->exportSvg(path, windowTitle()), path);
}

void ResultsWindow::exportCsv() {
    const QString path = askSavePath(QStringLiteral("Export table as CSV"),
                                     QStringLiteral("CSV files (*.csv)"), QStringLiteral(".csv"));
    if (!path.isEmpty()) reportWritten(WriteTableCsv(*proxy_, path), path);
}

void ResultsWindow::exportGeoJson() {
    const QString path =
        askSavePath(QStringLiteral("Export GeoJSON"), QStringLiteral("GeoJSON files (*.geojson)"),
                    QStringLiteral(".geojson"));
    if (path.isEmpty()) return;
    try {
        const std::filesystem::path inputs[] = {resultsFile_, inpFile_};
        analysis::WriteResultsGeoJsonFile(ToFileSystemPath(path), table_, *network_,
                                          resultsFile_.filename().string(), inputs, groups_);
    } catch (const files::FileError& error) {
        services_.messages->inform(this, QStringLiteral("Could not write the file"),
                                   DisplayText(error.what()));
    }
}

void ResultsWindow::openInTextEditor() {
    const QString path = FromFileSystemPath(resultsFile_);
    if (!services_.desktop->open(QUrl::fromLocalFile(path))) {
        services_.messages->inform(
            this, QStringLiteral("No program could be started to show the results file"), path);
    }
}

void ResultsWindow::newStudy() {
    // A window of its own, on this network when it could be read.
    ShowStudyWindow(network_ ? std::optional(inpFile_) : std::nullopt,
                    {services_.messages, services_.openDialog, services_.saveDialog});
}

void ShowResultsWindow(QWidget& owner, const std::filesystem::path& resultsFile,
                       const WindowServices& services) {
    auto* window = new ResultsWindow(ResultsServicesOf(services), &owner);
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (!window->open(resultsFile)) {
        delete window;
        return;
    }
    window->show();
}

}  // namespace hydrosk::ui
