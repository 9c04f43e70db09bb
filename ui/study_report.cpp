#include "ui/study_report.h"

#include <QDateTime>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextDocument>
#include <QUrl>

namespace hydrosk::ui {
namespace {

constexpr int kResolution = 300;   // PDF writer dots per inch
constexpr double kMapWidth = 480;  // points across the page's text width
const QUrl kMapResource(QStringLiteral("hydrosk-report:map"));

QString Cell(const QString& text, const char* tag = "td") {
    return QStringLiteral("<%1>%2</%1>").arg(QLatin1String(tag), text.toHtmlEscaped());
}

QString Html(const StudyReport& report) {
    QString html =
        QStringLiteral("<html><body style=\"font-family: 'Liberation Sans', sans-serif\">");
    html += QStringLiteral("<h1>Fire-flow study: %1</h1>").arg(report.network.toHtmlEscaped());
    html += QStringLiteral("<p>INP file: %1<br>Written: %2</p>")
                .arg(report.inpFile.toHtmlEscaped(),
                     QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")));
    html += QStringLiteral("<h2>Parameters</h2><table cellspacing=\"0\" cellpadding=\"3\">");
    for (const auto& [caption, value] : report.parameters) {
        html += QStringLiteral("<tr>") + Cell(caption) + Cell(value) + QStringLiteral("</tr>");
    }
    html += QStringLiteral("</table><h2>Summary</h2><p>%1</p>").arg(report.summary.toHtmlEscaped());
    if (!report.map.isNull()) {
        const double height = kMapWidth * report.map.height() / std::max(1, report.map.width());
        html += QStringLiteral("<h2>Map</h2><p><img src=\"%1\" width=\"%2\" height=\"%3\"></p>")
                    .arg(kMapResource.toString())
                    .arg(kMapWidth)
                    .arg(height);
    }
    if (!report.tableHeadings.isEmpty()) {
        html += QStringLiteral(
            "<h2>Results</h2><table border=\"1\" cellspacing=\"0\" cellpadding=\"2\"><tr>");
        for (const QString& heading : report.tableHeadings) html += Cell(heading, "th");
        html += QStringLiteral("</tr>");
        for (const QStringList& row : report.tableRows) {
            html += QStringLiteral("<tr>");
            for (const QString& cell : row) html += Cell(cell);
            html += QStringLiteral("</tr>");
        }
        html += QStringLiteral("</table>");
    }
    return html + QStringLiteral("</body></html>");
}

}  // namespace

bool WriteStudyReportPdf(const StudyReport& report, const QString& path) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    {
        QPdfWriter writer(&file);
        writer.setResolution(kResolution);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setTitle(QStringLiteral("Fire-flow study: ") + report.network);
        writer.setCreator(QStringLiteral("Hydrosk"));
        QTextDocument document;
        document.addResource(QTextDocument::ImageResource, kMapResource, report.map);
        document.setHtml(Html(report));
        document.print(&writer);
    }
    return file.commit();
}

}  // namespace hydrosk::ui
