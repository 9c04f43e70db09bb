// The choice of a run's fire groups, as the study window and the results window offer it: one
// junction a trial, the groups of a file (picked with the file dialog), or every junction with
// its nearest junctions within a distance on the map, up to a number of members.
#pragma once

#include <QGroupBox>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "analysis/fire_groups.h"
#include "ui/window_services.h"

class QLabel;
class QLineEdit;
class QRadioButton;

namespace hydrosk::ui {

class FireGroupsBox : public QGroupBox {
    Q_OBJECT
public:
    // `dialog` picks the groups file, starting in the folder `folder()` gives.
    FireGroupsBox(std::shared_ptr<InpFileDialog> dialog, std::function<QString()> folder,
                  QWidget* parent = nullptr);

    // What the box holds: nullopt `source` for one junction a trial; a `problem` (no file
    // chosen, a distance or size that is no valid number) for a choice that names no groups.
    struct Choice {
        std::optional<analysis::FireGroupSource> source;
        QString problem;
    };
    Choice choice() const;
    // Shows a source as the box's choice (nullopt: one junction a trial).
    void setSource(const std::optional<analysis::FireGroupSource>& source);
    // Whether any groups are chosen.
    bool grouped() const;
    // The choice as a report's parameter gives it.
    QString description() const;

signals:
    void changed();

private:
    void chooseFile();
    void updateFields();

    std::shared_ptr<InpFileDialog> dialog_;
    std::function<QString()> folder_;
    QRadioButton* none_ = nullptr;
    QRadioButton* file_ = nullptr;
    QRadioButton* near_ = nullptr;
    QLabel* fileName_ = nullptr;
    QLineEdit* distance_ = nullptr;
    QLineEdit* size_ = nullptr;
};

}  // namespace hydrosk::ui
