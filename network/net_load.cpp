#include "network/net_load.h"

#include <cmath>

#include "toolkit/codes.h"
#include "toolkit/project.h"

namespace hydrosk::network {

void ResetNetwork(NetworkCatalogue& catalogue) {
    catalogue = NetworkCatalogue{};
}

int OpenNetwork(NetworkCatalogue& catalogue, toolkit::Project& project, const std::string& inpPath,
                const std::string& reportFile, const std::string& outputFile,
                toolkit::StopRequest stop) {
    const int code = project.open(inpPath, reportFile, outputFile);
    if (code != 0) return code;
    ClassifyElements(catalogue, project, stop);
    ReadTimeParameters(catalogue, project);
    return 0;
}

// The catalogue asks an open project for its counts and for the elements within them, which
// cannot fail; so the codes of these calls are not examined.
void ClassifyElements(NetworkCatalogue& catalogue, const toolkit::Project& project,
                      toolkit::StopRequest stop) {
    // Elements classified between two looks at the stop request.
    constexpr int kElementsBetweenStopChecks = 4096;
    (void)project.get_count(EN_NODECOUNT, catalogue.NodeCount);
    (void)project.get_count(EN_TANKCOUNT, catalogue.StorageCount);
    (void)project.get_count(EN_LINKCOUNT, catalogue.LinkCount);
    (void)project.get_count(EN_PATCOUNT, catalogue.PatternCount);

    std::string id;
    for (int i = 1; i <= catalogue.LinkCount; ++i) {
        if (i % kElementsBetweenStopChecks == 0) toolkit::ThrowIfStopRequested(stop);
        int type = 0;
        (void)project.get_link_type(i, type);
        (void)project.get_link_id(i, id);
        switch (type) {
            case EN_CVPIPE:
                ++catalogue.CVPipeCount;
                catalogue.CVPipes.add(id, i);
                break;
            case EN_PIPE:
                ++catalogue.PipeCount;
                catalogue.Pipes.add(id, i);
                break;
            case EN_PUMP:
                ++catalogue.PumpCount;
                catalogue.Pumps.add(id, i);
                break;
            default:
                ++catalogue.ValveCount;
                catalogue.Valves.add(id, i);
                break;
        }
    }
    for (int i = 1; i <= catalogue.NodeCount; ++i) {
        if (i % kElementsBetweenStopChecks == 0) toolkit::ThrowIfStopRequested(stop);
        int type = 0;
        (void)project.get_node_type(i, type);
        (void)project.get_node_id(i, id);
        switch (type) {
            case EN_JUNCTION:
                ++catalogue.JunctionCount;
                catalogue.Junctions.add(id, i);
                catalogue.JunctionIDs.push_back(id);
                break;
            case EN_RESERVOIR:
                ++catalogue.ReservoirCount;
                catalogue.Reservoirs.add(id, i);
                break;
            case EN_TANK:
                ++catalogue.TankCount;
                catalogue.Tanks.add(id, i);
                break;
            default:
                break;
        }
    }
    for (int i = 1; i <= catalogue.PatternCount; ++i) {
        (void)project.get_pattern_id(i, id);
        catalogue.Patterns.add(id, i);
    }
}

// Time parameters of an open project, each a parameter the toolkit knows: the reads cannot fail.
void ReadTimeParameters(NetworkCatalogue& catalogue, const toolkit::Project& project) {
    long duration = 0;
    (void)project.get_time_param(EN_DURATION, duration);
    catalogue.DurationHours = DurationHoursFromSeconds(duration);
    (void)project.get_time_param(EN_HYDSTEP, catalogue.HydraulicStep);
    (void)project.get_time_param(EN_QUALSTEP, catalogue.QualityStep);
    (void)project.get_time_param(EN_PATTERNSTEP, catalogue.PatternStep);
    (void)project.get_time_param(EN_PATTERNSTART, catalogue.PatternStart);
}

int DurationHoursFromSeconds(long seconds) {
    // Round half to even, independent of the floating-point rounding mode.
    const long whole = seconds / 3600;
    const long rest = seconds % 3600;
    if (rest > 1800 || (rest == 1800 && whole % 2 != 0)) return static_cast<int>(whole + 1);
    return static_cast<int>(whole);
}

}  // namespace hydrosk::network
