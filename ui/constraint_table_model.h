// The grid of the constraints dialog as a table model: one row per junction in
// catalogue order, columns "Junction ID", "Exclude" (a check mark) and
// "Minimal Pressures" (number text as the user typed or as loaded). The
// heading row of the design is the view's horizontal header.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <vector>

namespace hydrosk::ui {

class ConstraintTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { kIdColumn = 0, kExcludeColumn = 1, kPressureColumn = 2, kColumnCount = 3 };

    explicit ConstraintTableModel(std::vector<QString> junctionIds, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The cell's text as the grid of the design gives it: row 0 is the
    // heading, rows 1 to N the junctions. A set Exclude mark reads "1", a
    // cleared one the empty text.
    QString cellText(int row, int column) const;
    void setExcluded(int row, bool excluded);            // row 1 to N
    void setPressureText(int row, const QString& text);  // row 1 to N

private:
    struct Row {
        QString id;
        bool excluded = false;
        QString pressure;
    };
    std::vector<Row> rows_;
};

}  // namespace hydrosk::ui
