// The main window's inputs of a run as it holds them (the texts of its boxes, the selected
// page and option) and their reading into the run's settings, as RUN reads them: presence
// checks, then numbers in the user's number format, each refusal with the window's words at
// the point of the run where the window reads that box.
#pragma once

#include <filesystem>
#include <locale>
#include <optional>
#include <string>

#include "analysis/run_settings.h"

namespace hydrosk::ui {

struct RunForm {
    std::string inp_path;  // the INP file as the window shows it; blanks around it are removed

    // The five input texts as typed, in the user's number format and the network's units
    // (the required time in hours).
    std::string minimal_pressure;
    std::string maximal_flow;
    std::string flow_interval;
    std::string required_flow;
    std::string required_time;

    bool extended_period = false;  // the page of the tab control: any index but 0
    bool find_flow = false;        // the extended-period option: optFindFlow, else optFindDuration

    std::string inp_directory;                 // InpDir, ending in a separator
    std::filesystem::path output_file;         // OutputFileName
    std::filesystem::path settings_directory;  // where "HydroskSettings.txt" is written
};

// The run's settings. The window's toolkit scratch files are kept ("rep.dat", "out.txt");
// the settings file is written; every hardware thread works. A text that is missing or not a
// number becomes the settings' refusal, with the message and point of the window's run.
analysis::RunSettings ReadRunForm(const RunForm& form, const std::locale& locale);

}  // namespace hydrosk::ui
