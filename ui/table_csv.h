// A table as CSV (RFC 4180): the headings, then the rows in the order shown,
// fields quoted where they need it, UTF-8, CR LF line ends.
#pragma once

#include <QString>

class QAbstractItemModel;

namespace hydrosk::ui {

// The models' texts for editing (a results table: every digit of the file),
// rows in the order shown. False when the file cannot be written.
bool WriteTableCsv(const QAbstractItemModel& model, const QString& path);

}  // namespace hydrosk::ui
