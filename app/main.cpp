// hydrosk: the desktop window of Hydrosk; with --view, the results window of a
// results file instead.
#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>
#include <optional>

#include "hydrosk_version.h"
#include "toolkit/portable_math.h"
#include "ui/main_window.h"
#include "ui/results_window.h"

namespace {

// The results window alone; 1 when the results file cannot be read.
int ViewResults(const QString& resultsFile, const std::optional<QString>& inpFile) {
    using namespace hydrosk::ui;
    ResultsWindow window(ResultsServicesOf(DesktopServices()));
    std::optional<std::filesystem::path> inp;
    if (inpFile) inp = ToFileSystemPath(*inpFile);
    if (!window.open(ToFileSystemPath(resultsFile), inp)) return 1;
    window.show();
    return QApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
    hydrosk::toolkit::restart_with_portable_math(argv);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Hydrosk"));
    QApplication::setApplicationVersion(QString::fromLatin1(hydrosk::kVersion));
    QApplication::setWindowIcon(hydrosk::ui::HydroskIcon());

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Fire-flow analysis of EPANET networks. Without options the main window "
                       "opens."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption view(QStringLiteral("view"),
                                  QStringLiteral("Show a results file in the results window."),
                                  QStringLiteral("RESULTS_FILE"));
    const QCommandLineOption inp(
        QStringLiteral("inp"),
        QStringLiteral("The network of the results file (default: the results path without its "
                       "last extension)."),
        QStringLiteral("PATH"));
    parser.addOptions({view, inp});
    parser.process(application);
    if (!parser.positionalArguments().isEmpty() || (parser.isSet(inp) && !parser.isSet(view))) {
        std::fputs("hydrosk: --inp goes with --view, and no other arguments are taken\n", stderr);
        return 2;
    }
    if (parser.isSet(view)) {
        return ViewResults(parser.value(view), parser.isSet(inp)
                                                   ? std::optional<QString>(parser.value(inp))
                                                   : std::nullopt);
    }

    hydrosk::ui::MainWindow window(hydrosk::ui::DesktopServices());
    window.show();
    return QApplication::exec();
}
