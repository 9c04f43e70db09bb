// Speed of the results window on a generated grid of 50,176 junctions (224 x
// 224, about 100,000 pipes) with a steady-state results file for every
// junction: reading the network and the results, opening the window up to its
// first painted map, and redrawing the map whole, after a zoom step and after
// a pan step; and opening the study window on the grid. Runs on Qt's
// offscreen platform, so the figures are the drawing itself without a display
// server.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QScrollBar>
#include <QTableView>
#include <QWindow>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "benchmarks/grid_network.h"
#include "files/results_file.h"
#include "network/network_map.h"
#include "ui/network_map_view.h"
#include "ui/results_window.h"
#include "ui/study_window.h"

namespace {

namespace fs = std::filesystem;
constexpr int kSide = 224;
const QSize kWindowSize(1400, 900);

class QuietMessages final : public hydrosk::ui::MessageBoxes {
public:
    void inform(QWidget*, const QString&, const QString&) override {}
    bool askYesNo(QWidget*, const QString&) override { return false; }
};

class NoDesktop final : public hydrosk::ui::DesktopLauncher {
public:
    bool open(const QUrl&) override { return false; }
};

// The grid network and its results, written once into a temporary directory.
struct GridFiles {
    fs::path inp;
    fs::path results;

    GridFiles() {
        const fs::path dir = fs::temp_directory_path() / "hydrosk-results-map-benchmark";
        fs::create_directories(dir);
        inp = dir / "grid.inp";
        results = dir / "grid.inp.TXT";
        std::ofstream net(inp, std::ios::binary);
        hydrosk::benchmarks::WriteGrid(net, kSide);
        net << "[TIMES]\n Duration 0\n[COORDINATES]\n R1 -100 -100\n";
        for (int r = 0; r < kSide; ++r) {
            for (int c = 0; c < kSide; ++c)
                net << ' ' << hydrosk::benchmarks::GridJunction(r, c) << ' ' << c * 100 << ' '
                    << r * 100 << '\n';
        }
        net << "[END]\n";

        // Answers that fall with the distance from the source; one in seven
        // reached the maximal flow.
        std::ofstream out(results, std::ios::binary);
        out << "\"Check_Node\",\"Maximal_Flow\",\"Violating_Node\",\"Minimal_pressure\"\r\n";
        for (int r = 0; r < kSide; ++r) {
            for (int c = 0; c < kSide; ++c) {
                out << '"' << hydrosk::benchmarks::GridJunction(r, c) << '"';
                if ((r * kSide + c) % 7 == 0) {
                    out << ",\"Maximal flow was reached\"\r\n";
                } else {
                    out << ',' << 3000 - 6 * (r + c) << ",\""
                        << hydrosk::benchmarks::GridJunction(kSide - 1, kSide - 1) << "\",19.5\r\n";
                }
            }
        }
    }
};

const GridFiles& Grid() {
    static const GridFiles files;
    return files;
}

hydrosk::ui::ResultsServices Services() {
    return {std::make_shared<QuietMessages>(), std::make_shared<hydrosk::ui::QtSaveFileDialog>(),
            std::make_shared<NoDesktop>(), nullptr};
}

std::unique_ptr<hydrosk::ui::ResultsWindow> OpenWindow() {
    auto window = std::make_unique<hydrosk::ui::ResultsWindow>(Services());
    window->resize(kWindowSize);
    window->open(Grid().results);
    window->show();
    // Painting needs the window on the (offscreen) screen.
    while (!window->windowHandle()->isExposed()) QCoreApplication::processEvents();
    window->mapView().viewport()->repaint();
    return window;
}

void BM_ReadNetworkMap(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(hydrosk::network::LoadNetworkMap(Grid().inp));
}
BENCHMARK(BM_ReadNetworkMap)->Unit(benchmark::kMillisecond);

void BM_ReadResultsFile(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(hydrosk::files::ReadResultsFile(Grid().results));
}
BENCHMARK(BM_ReadResultsFile)->Unit(benchmark::kMillisecond);

// From nothing to the first painted map: both files read, table and map built.
void BM_OpenResultsWindow(benchmark::State& state) {
    for (auto _ : state) {
        auto window = OpenWindow();
        state.PauseTiming();
        window.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenResultsWindow)->Unit(benchmark::kMillisecond)->Iterations(5);

// The study window on the grid: from nothing to the network drawn.
void BM_OpenStudyWindow(benchmark::State& state) {
    for (auto _ : state) {
        auto window = std::make_unique<hydrosk::ui::StudyWindow>(
            hydrosk::ui::StudyServices{std::make_shared<QuietMessages>(), nullptr,
                                       std::make_shared<hydrosk::ui::QtSaveFileDialog>()});
        window->resize(kWindowSize);
        window->show();
        window->openNetwork(Grid().inp);
        while (!window->windowHandle()->isExposed()) QCoreApplication::processEvents();
        window->mapView().viewport()->repaint();
        state.PauseTiming();
        window.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenStudyWindow)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_RedrawWholeMap(benchmark::State& state) {
    auto window = OpenWindow();
    QWidget& viewport = *window->mapView().viewport();
    for (auto _ : state) viewport.repaint();
}
BENCHMARK(BM_RedrawWholeMap)->Unit(benchmark::kMillisecond);

// One wheel step in or out about the centre, drawn.
void BM_ZoomStep(benchmark::State& state) {
    auto window = OpenWindow();
    hydrosk::ui::NetworkMapView& map = window->mapView();
    map.scale(4, 4);
    bool in = true;
    for (auto _ : state) {
        const double factor = in ? 1.2 : 1 / 1.2;
        map.scale(factor, factor);
        QCoreApplication::processEvents();  // paints what the zoom made dirty
        in = !in;
    }
}
BENCHMARK(BM_ZoomStep)->Unit(benchmark::kMillisecond);

// A drag of 40 pixels at four times the fitted zoom, drawn.
void BM_PanStep(benchmark::State& state) {
    auto window = OpenWindow();
    hydrosk::ui::NetworkMapView& map = window->mapView();
    map.scale(4, 4);
    QScrollBar& bar = *map.horizontalScrollBar();
    int step = 40;
    for (auto _ : state) {
        if (bar.value() + step > bar.maximum() || bar.value() + step < bar.minimum()) step = -step;
        bar.setValue(bar.value() + step);
        QCoreApplication::processEvents();  // paints the strip the scroll uncovered
    }
}
BENCHMARK(BM_PanStep)->Unit(benchmark::kMillisecond);

// A click on the answer column's heading: 50,176 rows sorted.
void BM_SortByAnswer(benchmark::State& state) {
    auto window = OpenWindow();
    auto& table = *window->findChild<QTableView*>(QStringLiteral("tblResults"));
    Qt::SortOrder order = Qt::AscendingOrder;
    for (auto _ : state) {
        table.sortByColumn(1, order);
        order = order == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    }
}
BENCHMARK(BM_SortByAnswer)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    const fs::path files = Grid().inp.parent_path();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fs::remove_all(files);
    return 0;
}
