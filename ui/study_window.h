// The study window: a fire-flow study set up on the network map. Opening an
// INP file draws its network at once; the study panel holds the study's
// options in the user's number format with their units; hydrants are all
// junctions, those of a file, or those picked on the map by click and
// rectangle; "Export report" writes the parameters, the network and the map
// as a PDF. The map is the results window's map view.
//
// Still to come with the studies' core: Run (worker threads, progress,
// Cancel, rows as they complete), the baseline colouring at the demand time
// with the junctions below the minimum, and the judged results.
#pragma once

#include <QMainWindow>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "network/network_map.h"
#include "ui/save_file_dialog.h"
#include "ui/window_services.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QToolButton;

namespace hydrosk::ui {

class NetworkMapView;

// What the study window takes from outside.
struct StudyServices {
    std::shared_ptr<MessageBoxes> messages;
    std::shared_ptr<InpFileDialog> openDialog;  // INP, required-flows and hydrant files
    std::shared_ptr<SaveFileDialog> saveDialog;
};

class StudyWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit StudyWindow(StudyServices services, QWidget* parent = nullptr);
    ~StudyWindow() override;

    // Reads the network and draws it. False, after a message, when it cannot
    // be read; the window keeps what it showed.
    bool openNetwork(const std::filesystem::path& inpFile);

    NetworkMapView& mapView() { return *mapView_; }
    // The hydrants picked on the map, by node index.
    const std::set<int>& pickedHydrants() const { return picked_; }
    // The study's options as the report gives them: caption, value and unit.
    std::vector<std::pair<QString, QString>> parameters() const;
    // Writes the report; false, after a message, when the file cannot be written.
    bool writeReport(const QString& path);

private:
    QWidget* buildPanel();
    void chooseNetwork();
    void chooseFile(QLabel& shown, const QString& title);
    void exportReport();
    void hydrantsChanged();
    void toggleHydrant(int node);
    void addHydrants(const std::vector<int>& nodes);
    void checkNumber(QLineEdit& field);
    void showUnits();

    StudyServices services_;
    std::filesystem::path inpFile_;
    std::optional<network::NetworkMap> network_;
    std::set<int> picked_;

    NetworkMapView* mapView_ = nullptr;
    QLabel* mapNotice_ = nullptr;
    QAction* exportReport_ = nullptr;
    QComboBox* mode_ = nullptr;
    QLineEdit* minPressure_ = nullptr;
    QLineEdit* velocityLimit_ = nullptr;
    QLineEdit* demandTime_ = nullptr;
    QLineEdit* fireDuration_ = nullptr;
    QComboBox* fireDemand_ = nullptr;
    QLineEdit* requiredFlow_ = nullptr;
    QLabel* requiredFlowsFile_ = nullptr;
    QRadioButton* allJunctions_ = nullptr;
    QRadioButton* hydrantsFile_ = nullptr;
    QRadioButton* hydrantsOnMap_ = nullptr;
    QLabel* hydrantsFileName_ = nullptr;
    QLabel* hydrantCount_ = nullptr;
    QLabel* pressureUnits_ = nullptr;
    QLabel* velocityUnits_ = nullptr;
    QLabel* demandTimeUnits_ = nullptr;
    QLabel* flowUnits_ = nullptr;
};

// Opens a study window of its own, on `inpFile` when given; it is deleted
// when closed.
StudyWindow* ShowStudyWindow(const std::optional<std::filesystem::path>& inpFile,
                             StudyServices services);

}  // namespace hydrosk::ui
