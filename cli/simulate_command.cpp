#include "cli/simulate_command.h"

#include <cstdio>
#include <ostream>
#include <vector>

#include "toolkit/codes.h"
#include "toolkit/error_messages.h"
#include "toolkit/project.h"

namespace hydrosk::cli {

namespace {

int report_failure(int code, std::ostream& err) {
    err << "Error " << code << ": " << toolkit::error_message(code) << '\n';
    return 1;
}

}  // namespace

int run_simulate(const std::string& inpPath, std::ostream& out, std::ostream& err) {
    toolkit::Project project;
    if (int code = project.open(inpPath, "", ""); code != 0) return report_failure(code, err);

    int nodeCount = 0;
    project.get_count(EN_NODECOUNT, nodeCount);
    std::vector<std::string> ids(static_cast<size_t>(nodeCount));
    for (int i = 1; i <= nodeCount; ++i) project.get_node_id(i, ids[static_cast<size_t>(i - 1)]);

    if (int code = project.open_h(); code > 100) return report_failure(code, err);
    if (int code = project.init_h(EN_NOSAVE); code > 100) return report_failure(code, err);

    char number[64];
    long step = 0;
    do {
        long time = 0;
        const int code = project.run_h(time);
        if (code > 100) return report_failure(code, err);
        if (code > 0) err << "Warning " << code << " at " << time << " s: " << toolkit::error_message(code) << '\n';
        for (int i = 1; i <= nodeCount; ++i) {
            double pressure = 0.0;
            project.get_node_value(i, EN_PRESSURE, pressure);
            std::snprintf(number, sizeof number, "%.10g", pressure);
            out << time << ',' << ids[static_cast<size_t>(i - 1)] << ',' << number << '\n';
        }
        if (int next = project.next_h(step); next > 100) return report_failure(next, err);
    } while (step > 0);
    project.close_h();
    return 0;
}

}  // namespace hydrosk::cli
