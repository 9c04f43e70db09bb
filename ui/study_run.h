// A fire-flow run of the study window on a thread of its own, off the
// window's thread. What the run reports reaches the window by queued signals:
// the progress, the records as the results writer writes them (in batches, at
// most five a second), and its end. Cancel ends the run at its next serving of
// events, within a second; the run then ends as interrupted, the results file
// as it was before and the rows finished in "<results>.partial" beside it.
// Destroying the object cancels a run under way and waits for its thread.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <atomic>
#include <memory>
#include <thread>

#include "analysis/fire_flow_run.h"

namespace hydrosk::ui {

// How a run ended, as the window shows it.
struct StudyRunEnd {
    analysis::RunStatus status = analysis::RunStatus::Completed;
    bool cancelled = false;  // ended by Cancel
    // The refusal or failure; when cancelled, where the rows finished before
    // went (the results file is left as it was); empty when completed.
    QString message;
    double seconds = 0;
};

class StudyRun : public QObject {
    Q_OBJECT
public:
    explicit StudyRun(QObject* parent = nullptr);
    ~StudyRun() override;

    // Starts a run; false while one is under way.
    bool start(analysis::RunSettings settings);
    // Asks the run under way to end; its end is signalled as usual.
    void cancel();
    bool running() const { return thread_.joinable(); }

signals:
    void progressRange(int junctions);
    void progressValue(int done);
    // Records in the results file's layout: the header first, then rows.
    void recordsWritten(const QByteArray& records);
    // A notice of the run that does not end it.
    void notice(const QString& text);
    void finished(const hydrosk::ui::StudyRunEnd& end);

private:
    class Observer;
    void join();

    std::thread thread_;
    std::atomic<bool> cancelled_{false};
};

}  // namespace hydrosk::ui

Q_DECLARE_METATYPE(hydrosk::ui::StudyRunEnd)
