#include "ui/table_csv.h"

#include <QAbstractItemModel>
#include <QSaveFile>

namespace hydrosk::ui {
namespace {

QString CsvField(QString text) {
    const bool quote = text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) ||
                       text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r')) ||
                       text != text.trimmed();
    if (!quote) return text;
    text.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

}  // namespace

bool WriteTableCsv(const QAbstractItemModel& model, const QString& path) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    const int columns = model.columnCount();
    const auto writeLine = [&file, columns](const auto& textOf) {
        QString line;
        for (int column = 0; column < columns; ++column) {
            if (column > 0) line += QLatin1Char(',');
            line += CsvField(textOf(column));
        }
        line += QLatin1String("\r\n");
        file.write(line.toUtf8());
    };
    writeLine([&](int column) {
        return model.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    });
    for (int row = 0; row < model.rowCount(); ++row) {
        writeLine(
            [&](int column) { return model.index(row, column).data(Qt::EditRole).toString(); });
    }
    return file.commit();
}

}  // namespace hydrosk::ui
