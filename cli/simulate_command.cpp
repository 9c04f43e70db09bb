#include "cli/simulate_command.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <vector>

#include "analysis/run_messages.h"
#include "cli/output_check.h"
#include "toolkit/codes.h"
#include "toolkit/error_messages.h"
#include "toolkit/project.h"

namespace hydrosk::cli {

namespace {

int report_failure(int code, std::ostream& err) {
    if (code == toolkit::codes::kInsufficientMemory) {
        err << analysis::messages::kOutOfMemory << '\n';
    } else {
        err << "Error " << code << ": " << toolkit::error_message(code) << '\n';
    }
    return 1;
}

// A refused INP file: every input error as EPANET's report gives it, then the code.
int report_refusal(int code, const toolkit::Project& project, std::ostream& err) {
    if (code == toolkit::codes::kInsufficientMemory) return report_failure(code, err);
    const auto& errors = project.input_errors();
    for (const std::string& line :
         analysis::messages::InputErrorLines(code, errors, errors.size())) {
        err << line << '\n';
    }
    return 1;
}

// The toolkit's warning text without its "WARNING: " heading, which the line already gives.
std::string_view warning_text(int code) {
    std::string_view text = toolkit::warning_message(code);
    constexpr std::string_view kHeading = "WARNING: ";
    if (text.starts_with(kHeading)) text.remove_prefix(kHeading.size());
    return text;
}

}  // namespace

int run_simulate(const std::string& inpPath, std::ostream& out, std::ostream& err) {
    toolkit::Project project;
    if (int code = project.open(inpPath, "", ""); code != 0) {
        if (code != toolkit::codes::kInsufficientMemory)
            err << inpPath << ": ";  // the file, then why
        return report_refusal(code, project, err);
    }

    // The count of an open project, and the IDs of the nodes within it, cannot fail.
    int nodeCount = 0;
    (void)project.get_count(EN_NODECOUNT, nodeCount);
    std::vector<std::string> ids(static_cast<size_t>(nodeCount));
    for (int i = 1; i <= nodeCount; ++i) {
        (void)project.get_node_id(i, ids[static_cast<size_t>(i - 1)]);
    }

    if (int code = project.open_h(); toolkit::codes::IsError(code))
        return report_failure(code, err);
    if (int code = project.init_h(EN_NOSAVE); toolkit::codes::IsError(code))
        return report_failure(code, err);

    char number[64];
    long step = 0;
    int write_error = 0;
    bool told_not_finite = false;
    do {
        long time = 0;
        const int code = project.run_h(time);
        if (toolkit::codes::IsError(code)) return report_failure(code, err);
        if (code > 0)
            err << "Warning " << code << " at " << time << " s: " << warning_text(code) << '\n';
        bool finite = true;
        for (int i = 1; i <= nodeCount; ++i) {
            double pressure = 0.0;
            (void)project.get_node_value(i, EN_PRESSURE, pressure);  // a node of the count
            finite = finite && std::isfinite(pressure);
            std::snprintf(number, sizeof number, "%.10g", pressure);
            out << time << ',' << ids[static_cast<size_t>(i - 1)] << ',' << number << '\n';
        }
        // EPANET gives such a solution without a word; it comes from numbers in the file too
        // large or too small for the equations (a demand of 1e308, a roughness of 0).
        if (!finite && !told_not_finite) {
            err << "Warning at " << time << " s: some pressures are not finite; the network's "
                << "data cannot be solved\n";
            told_not_finite = true;
        }
        // Nothing more is worth computing once the output cannot take it.
        if (!out) {
            write_error = errno;
            break;
        }
        if (int next = project.next_h(step); toolkit::codes::IsError(next))
            return report_failure(next, err);
    } while (step > 0);
    (void)project.close_h();  // every step is printed; closing has nothing to add
    if (CheckWritten(out, "the standard output", err, write_error) != 0) return 1;
    // Warnings that could not be shown make it a failure too, without words left to say so.
    return err.flush() ? 0 : 1;
}

}  // namespace hydrosk::cli
