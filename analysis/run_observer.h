// How a run talks to whoever started it (the main window, the command line, a test): its
// messages, the completion question, the progress bar, the busy pointer, the moments when
// pending user-interface events may be served, and the request to show the results file.
#pragma once

#include <filesystem>
#include <string>

#include "files/record_layout.h"

namespace hydrosk::analysis {

enum class MessageKind {
    Refusal,  // the inputs were refused; the run ends with it
    Failure,  // a file or the toolkit failed; the run ends with it
    Notice,   // told once, the run goes on (constraint IDs that are not junctions)
};

// Every member has a default that does nothing (the question is answered No), so an observer
// overrides only what it shows. All calls but StopRequested come from the thread that runs the
// analysis.
class RunObserver {
public:
    virtual ~RunObserver() = default;

    // A message with an OK button. A Refusal or Failure is the last message of its run.
    virtual void ShowMessage(MessageKind kind, const std::string& text);

    // The Yes/No question at the end of a completed run; true for Yes.
    virtual bool AskYesNo(const std::string& text);

    // The progress bar: its range once per run, then the position of each junction in turn.
    virtual void SetProgressRange(int minimum, int maximum);
    virtual void SetProgressValue(int value);

    // The window may serve its pending events now: once per junction, and in the
    // extended-period flow search once more after every trial that passed.
    virtual void ServeEvents();

    // Whether the run was asked to stop (Ctrl+C, a stop request) where it serves no events:
    // looked at between the steps that prepare the search, and from a thread of its own
    // during them (see stop_poll.h), which then ends the run as interrupted. So it must be
    // safe to call from any thread. The default: never.
    virtual bool StopRequested() { return false; }

    // The busy (hourglass) pointer: on once the inputs are present, off when the run ends, on
    // every path.
    virtual void SetBusy(bool busy);

    // The user asked to see the results file: start a text viewer with it, without waiting.
    virtual void OpenViewer(const std::filesystem::path& results_file);

    // A record of the results as it is written: the header, then the junctions' rows in
    // catalogue order. Given whether or not the run writes a results file.
    virtual void ResultsRecord(const files::Record& record);
};

}  // namespace hydrosk::analysis
