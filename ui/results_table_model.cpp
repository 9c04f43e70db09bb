#include "ui/results_table_model.h"

#include <cctype>
#include <cmath>
#include <limits>

#include "ui/colour_scale.h"
#include "ui/window_services.h"

namespace hydrosk::ui {
namespace {

bool IsNumeric(files::Quantity quantity) {
    return quantity == files::Quantity::Flow || quantity == files::Quantity::Pressure ||
           quantity == files::Quantity::Hours || quantity == files::Quantity::Velocity;
}

// A numeric cell as a sort key: its number; the reached texts rank above every
// number; an empty cell is NaN and goes last.
double SortKey(const files::ResultsTable& table, const files::ResultsRow& row, std::size_t column) {
    const files::ResultsCell& cell = row.cells[column];
    if (cell.number) return *cell.number;
    if (column == table.answer_column && !files::IsFailing(row)) {
        return std::numeric_limits<double>::infinity();
    }
    return std::numeric_limits<double>::quiet_NaN();
}

}  // namespace

bool NaturalLess(std::string_view a, std::string_view b) {
    const auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            const std::size_t i0 = i, j0 = j;
            while (i < a.size() && digit(a[i])) ++i;
            while (j < b.size() && digit(b[j])) ++j;
            std::string_view x = a.substr(i0, i - i0), y = b.substr(j0, j - j0);
            x.remove_prefix(std::min(x.find_first_not_of('0'), x.size()));
            y.remove_prefix(std::min(y.find_first_not_of('0'), y.size()));
            if (x.size() != y.size()) return x.size() < y.size();
            if (x != y) return x < y;
            continue;
        }
        const int ca = std::tolower(static_cast<unsigned char>(a[i]));
        const int cb = std::tolower(static_cast<unsigned char>(b[j]));
        if (ca != cb) return ca < cb;
        ++i;
        ++j;
    }
    if ((a.size() - i) != (b.size() - j)) return a.size() - i < b.size() - j;
    return a < b;  // equal but for case or leading zeros: a fixed order all the same
}

ResultsTableModel::ResultsTableModel(const files::ResultsTable& table,
                                     const files::UnitNames& units,
                                     std::vector<std::uint8_t> rowEntries, QObject* parent)
    : QAbstractTableModel(parent),
      table_(table),
      rows_(static_cast<int>(table.rows.size())),
      rowEntries_(std::move(rowEntries)) {
    for (const files::ResultsColumn& column : table_.columns) {
        QString heading = QString::fromStdString(column.name);
        const std::string unit = files::UnitOf(column.quantity, units);
        // "Duration (hours)" names its unit already.
        if (!unit.empty() && column.quantity != files::Quantity::Hours) {
            heading += QStringLiteral(" (") + QString::fromStdString(unit) + QLatin1Char(')');
        }
        headings_ << heading;
    }
}

int ResultsTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

void ResultsTableModel::takeUpRows(std::vector<std::uint8_t> rowEntries) {
    const int known = rows_;
    const int rows = static_cast<int>(table_.rows.size());
    if (rows > known) {
        beginInsertRows({}, known, rows - 1);
        rows_ = rows;
        rowEntries_ = std::move(rowEntries);
        endInsertRows();
    } else {
        rowEntries_ = std::move(rowEntries);
    }
    if (known > 0) emit dataChanged(index(0, 0), index(known - 1, 0), {Qt::DecorationRole});
}

int ResultsTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(table_.columns.size());
}

QVariant ResultsTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const auto row = static_cast<std::size_t>(index.row());
    const auto column = static_cast<std::size_t>(index.column());
    switch (role) {
        case Qt::DisplayRole:
            return DisplayText(files::ShownText(table_, table_.rows[row], column));
        case Qt::EditRole:  // the file's own text, every digit of it
            return DisplayText(table_.rows[row].cells[column].text);
        case Qt::TextAlignmentRole:
            if (table_.rows[row].cells[column].number) {
                return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
            }
            return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
        case Qt::DecorationRole:
            if (column == 0 && row < rowEntries_.size()) {
                return ColourScale::colourOf(rowEntries_[row]);
            }
            return {};
        default:
            return {};
    }
}

QVariant ResultsTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section + 1;
    return headings_.value(section);
}

ResultsSortFilterModel::ResultsSortFilterModel(QObject* parent) : QSortFilterProxyModel(parent) {}

void ResultsSortFilterModel::setFailingOnly(bool failingOnly) {
    if (failingOnly == failingOnly_) return;
    failingOnly_ = failingOnly;
    invalidateRowsFilter();
}

const files::ResultsTable& ResultsSortFilterModel::table() const {
    return static_cast<const ResultsTableModel*>(sourceModel())->table();
}

bool ResultsSortFilterModel::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    const files::ResultsTable& results = table();
    const auto column = static_cast<std::size_t>(left.column());
    const files::ResultsRow& a = results.rows[static_cast<std::size_t>(left.row())];
    const files::ResultsRow& b = results.rows[static_cast<std::size_t>(right.row())];
    if (IsNumeric(results.columns[column].quantity)) {
        const double x = SortKey(results, a, column);
        const double y = SortKey(results, b, column);
        if (std::isnan(x) || std::isnan(y)) return !std::isnan(x) && std::isnan(y);
        return x < y;
    }
    return NaturalLess(a.cells[column].text, b.cells[column].text);
}

bool ResultsSortFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex&) const {
    return !failingOnly_ || files::IsFailing(table().rows[static_cast<std::size_t>(sourceRow)]);
}

}  // namespace hydrosk::ui
