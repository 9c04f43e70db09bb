#include "ui/constraint_table_model.h"

#include <array>

namespace hydrosk::ui {

ConstraintTableModel::ConstraintTableModel(std::vector<QString> junctionIds, QObject* parent)
    : QAbstractTableModel(parent) {
    rows_.reserve(junctionIds.size());
    for (QString& id : junctionIds) rows_.push_back(Row{std::move(id), false, QString()});
}

int ConstraintTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ConstraintTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant ConstraintTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const Row& row = rows_[static_cast<std::size_t>(index.row())];
    switch (index.column()) {
        case kIdColumn:
            if (role == Qt::DisplayRole) return row.id;
            break;
        case kExcludeColumn:
            if (role == Qt::CheckStateRole) return row.excluded ? Qt::Checked : Qt::Unchecked;
            break;
        case kPressureColumn:
            if (role == Qt::DisplayRole || role == Qt::EditRole) return row.pressure;
            break;
        default:
            break;
    }
    return {};
}

bool ConstraintTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid()) return false;
    Row& row = rows_[static_cast<std::size_t>(index.row())];
    if (index.column() == kExcludeColumn && role == Qt::CheckStateRole) {
        row.excluded = value.value<Qt::CheckState>() == Qt::Checked;
    } else if (index.column() == kPressureColumn && role == Qt::EditRole) {
        row.pressure = value.toString();
    } else {
        return false;
    }
    emit dataChanged(index, index, {role});
    return true;
}

Qt::ItemFlags ConstraintTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    switch (index.column()) {
        case kExcludeColumn:
            return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
        case kPressureColumn:
            return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
        default:
            return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    }
}

QVariant ConstraintTableModel::headerData(int section, Qt::Orientation orientation,
                                          int role) const {
    static const std::array<const char*, kColumnCount> kHeadings{"Junction ID", "Exclude",
                                                                 "Minimal Pressures"};
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < kColumnCount) {
        return QString::fromLatin1(kHeadings[static_cast<std::size_t>(section)]);
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

QString ConstraintTableModel::cellText(int row, int column) const {
    if (column < 0 || column >= kColumnCount || row < 0 || row > static_cast<int>(rows_.size())) {
        return {};
    }
    if (row == 0) return headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    const Row& cell = rows_[static_cast<std::size_t>(row - 1)];
    switch (column) {
        case kIdColumn:
            return cell.id;
        case kExcludeColumn:
            return cell.excluded ? QStringLiteral("1") : QString();
        default:
            return cell.pressure;
    }
}

void ConstraintTableModel::setExcluded(int row, bool excluded) {
    setData(index(row - 1, kExcludeColumn), excluded ? Qt::Checked : Qt::Unchecked,
            Qt::CheckStateRole);
}

void ConstraintTableModel::setPressureText(int row, const QString& text) {
    setData(index(row - 1, kPressureColumn), text, Qt::EditRole);
}

}  // namespace hydrosk::ui
