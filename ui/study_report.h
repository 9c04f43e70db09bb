// The report of a study as a PDF: the study's parameters, the network and its
// INP file, the summary, the map as shown and the results table, laid out as
// a text document and written by Qt's own PDF writer.
#pragma once

#include <QImage>
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

namespace hydrosk::ui {

struct StudyReport {
    QString network;                                      // the INP file's name
    QString inpFile;                                      // its full path
    std::vector<std::pair<QString, QString>> parameters;  // caption, value with its unit
    QString summary;
    QImage map;
    QStringList tableHeadings;           // empty: no table
    std::vector<QStringList> tableRows;  // as the table shows them
};

// Writes the report to `path` (complete or not at all). False when the file
// cannot be written.
bool WriteStudyReportPdf(const StudyReport& report, const QString& path);

}  // namespace hydrosk::ui
