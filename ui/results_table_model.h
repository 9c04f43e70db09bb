// The results table: an item model over a read results file (one row per
// check junction, the file's columns, units in the headings), and the sort
// and filter model in front of it: numbers sort as numbers with "Maximal flow
// was reached" above every number, IDs in natural order (J2 before J10), and
// "failing only" keeps the rows whose junction failed.
#pragma once

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <cstdint>
#include <vector>

#include "files/results_file.h"

namespace hydrosk::ui {

class ResultsTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // `rowEntries` holds each row's map colour (a ColourScale palette entry),
    // shown beside its check ID. The table must outlive the model.
    ResultsTableModel(const files::ResultsTable& table, const files::UnitNames& units,
                      std::vector<std::uint8_t> rowEntries, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    const files::ResultsTable& table() const { return table_; }

    // The table grew at its end (a run's rows as they arrive) or its colours
    // changed: the model takes up the rows and `rowEntries`, one per row.
    void takeUpRows(std::vector<std::uint8_t> rowEntries);

private:
    const files::ResultsTable& table_;
    int rows_;  // the rows taken up
    QStringList headings_;
    std::vector<std::uint8_t> rowEntries_;
};

class ResultsSortFilterModel : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit ResultsSortFilterModel(QObject* parent = nullptr);
    void setFailingOnly(bool failingOnly);

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    const files::ResultsTable& table() const;
    bool failingOnly_ = false;
};

// Text order with digit runs compared by value: "J2" < "J10" < "j11".
bool NaturalLess(std::string_view a, std::string_view b);

}  // namespace hydrosk::ui
