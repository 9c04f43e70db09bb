#include "ui/study_run.h"

#include <QMetaObject>
#include <chrono>
#include <string>

#include "analysis/ordered_rows.h"
#include "analysis/run_messages.h"
#include "analysis/search_common.h"
#include "files/record_layout.h"
#include "ui/window_services.h"

namespace hydrosk::ui {

// Runs on the run's thread: every report becomes a signal, queued to the
// window's thread; the records and the progress wait for the next serving of
// events at least kFlushInterval after the last batch. Cancel is looked at
// every time.
class StudyRun::Observer final : public analysis::RunObserver {
public:
    Observer(StudyRun& run, const std::atomic<bool>& cancelled)
        : run_(run), cancelled_(cancelled) {}

    void ShowMessage(analysis::MessageKind kind, const std::string& text) override {
        // A refusal or failure ends the run and is the run's end message.
        if (kind == analysis::MessageKind::Notice) emit run_.notice(DisplayText(text));
    }
    void SetProgressRange(int minimum, int maximum) override {
        emit run_.progressRange(maximum - minimum);
    }
    void SetProgressValue(int value) override {
        if (value == lastValue_) return;
        lastValue_ = value;
        // Between servings of events only the latest value matters.
        pendingValue_ = value;
    }
    void ServeEvents() override {
        if (Clock::now() - flushed_ >= kFlushInterval) flush();
        // A stop from outside: the results file stays as it was and the rows
        // finished go to its ".partial" file beside it.
        if (cancelled_.load()) throw analysis::RunStopped(analysis::messages::kRunInterrupted);
    }
    bool StopRequested() override { return cancelled_.load(); }
    void ResultsRecord(const files::Record& record) override {
        pending_ += files::FormatRecord(record);
    }

    void flush() {
        flushed_ = Clock::now();
        if (!pending_.empty()) {
            emit run_.recordsWritten(QByteArray::fromStdString(pending_));
            pending_.clear();
        }
        if (pendingValue_ >= 0) {
            emit run_.progressValue(pendingValue_);
            pendingValue_ = -1;
        }
    }

private:
    using Clock = std::chrono::steady_clock;
    // The window judges every row and redraws the map with each batch, so
    // batches come at most five times a second.
    static constexpr std::chrono::milliseconds kFlushInterval{200};

    StudyRun& run_;
    const std::atomic<bool>& cancelled_;
    std::string pending_;
    int lastValue_ = -1;
    int pendingValue_ = -1;
    Clock::time_point flushed_ = Clock::now();
};

StudyRun::StudyRun(QObject* parent) : QObject(parent) {
    qRegisterMetaType<StudyRunEnd>();
}

StudyRun::~StudyRun() {
    cancelled_ = true;
    join();
}

void StudyRun::join() {
    if (thread_.joinable()) thread_.join();
}

bool StudyRun::start(analysis::RunSettings settings) {
    if (running()) return false;
    cancelled_ = false;
    thread_ = std::thread([this, settings = std::move(settings)] {
        Observer observer(*this, cancelled_);
        const analysis::RunResult result = analysis::RunFireFlow(settings, observer);
        observer.flush();
        StudyRunEnd end;
        end.status = result.status;
        end.cancelled = cancelled_.load() && result.status != analysis::RunStatus::Completed;
        end.message = DisplayText(result.message);
        if (end.cancelled) {
            // What follows "The run was interrupted": where the rows finished went.
            const qsizetype line = end.message.indexOf(QLatin1Char('\n'));
            end.message = line < 0 ? QString() : end.message.mid(line + 1);
        }
        end.seconds = result.seconds;
        // The thread is joined on the window's thread once the end arrives there.
        QMetaObject::invokeMethod(
            this,
            [this, end] {
                join();
                emit finished(end);
            },
            Qt::QueuedConnection);
    });
    return true;
}

void StudyRun::cancel() {
    cancelled_ = true;
}

}  // namespace hydrosk::ui
