// The constraints dialog frmPressures: every junction of the network in a
// grid, with a mark that excludes it from the pressure test and an optional
// minimal pressure of its own. Loads "NoCheck.txt" and "MinPressures.txt" from
// the INP file's directory (creating missing ones empty) and rewrites both on
// OK; Cancel, Escape and the close box write nothing.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <filesystem>
#include <string>

#include "network/net_load.h"
#include "ui/constraint_table_model.h"

namespace hydrosk::ui {

class MessageBoxes;

class PressuresDialog : public QDialog {
    Q_OBJECT
public:
    // `inpDirectory` holds the two files; `messages` reports files that cannot
    // be read or written and pressures that are not numbers.
    PressuresDialog(const network::NetworkCatalogue& catalogue, std::filesystem::path inpDirectory,
                    MessageBoxes& messages, QWidget* parent);

    // The grid's cell text: row 0 is the heading row, rows 1 to N the
    // junctions in catalogue order; column 1 reads "1" for a set mark.
    QString cellText(int row, int column) const;

    // Validates the pressures, writes both files and closes; stays open with
    // a message, touching neither file, when something is wrong.
    void accept() override;

private:
    void load();
    std::filesystem::path excludedFile() const;
    std::filesystem::path pressuresFile() const;

    const network::NetworkCatalogue& catalogue_;
    std::filesystem::path inpDirectory_;
    MessageBoxes& messages_;
    ConstraintTableModel model_;

    QTableView ubG;
    QLabel lblHelp;
    QLabel Label2;
    QLineEdit Text1;
    QLabel Label1;
    QLineEdit Text5;
    QPushButton cmdOK;
    QPushButton cmdCancel;
};

}  // namespace hydrosk::ui
