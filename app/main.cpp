// hydrosk: the desktop window of Hydrosk; with --view, the results window of a
// results file instead; with --study, the study window.
#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>
#include <optional>

#include "hydrosk_version.h"
#include "ui/main_window.h"
#include "ui/results_window.h"
#include "ui/study_window.h"

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
    const QCommandLineOption study(
        QStringLiteral("study"),
        QStringLiteral("Open the study window, on the INP file given after the options."));
    parser.addOptions({view, inp, study});
    parser.addPositionalArgument(QStringLiteral("INP"),
                                 QStringLiteral("With --study: the network to study."),
                                 QStringLiteral("[INP]"));
    parser.process(application);
    const QStringList positional = parser.positionalArguments();
    if (parser.isSet(study)) {
        if (parser.isSet(view) || parser.isSet(inp) || positional.size() > 1) {
            std::fputs("hydrosk: --study takes one INP file and no other options\n", stderr);
            return 2;
        }
        using namespace hydrosk::ui;
        const WindowServices services = DesktopServices();
        ShowStudyWindow(
            positional.isEmpty() ? std::nullopt
                                 : std::optional(ToFileSystemPath(positional.front())),
            {services.messages, services.inpDialog, std::make_shared<QtSaveFileDialog>()});
        return QApplication::exec();
    }
    if (!positional.isEmpty() || (parser.isSet(inp) && !parser.isSet(view))) {
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
