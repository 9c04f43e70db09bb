// The network element catalogue: the elements of an opened network sorted by
// type, each type a count and an ID map, plus the junction IDs by position and
// the simulation duration in whole hours. The toolkit numbers junctions first,
// so a junction's position in the catalogue is also its toolkit node index.
#pragma once

#include <string>
#include <vector>

#include "network/id_map.h"
#include "toolkit/stop_request.h"

namespace hydrosk::toolkit {
class Project;
}

namespace hydrosk::network {

struct NetworkCatalogue {
    // Totals from the toolkit; StorageCount is tanks and reservoirs together.
    int NodeCount = 0;
    int StorageCount = 0;
    int LinkCount = 0;
    int PatternCount = 0;

    int JunctionCount = 0;
    int ReservoirCount = 0;
    int TankCount = 0;
    int CVPipeCount = 0;
    int PipeCount = 0;
    int PumpCount = 0;
    int ValveCount = 0;

    IdMap Junctions, Reservoirs, Tanks;
    IdMap CVPipes, Pipes, Pumps, Valves;
    IdMap Patterns;

    // Position k (1 to JunctionCount) holds the k-th junction's ID; position 0
    // is an empty entry.
    std::vector<std::string> JunctionIDs{std::string()};

    int DurationHours = 0;
    long HydraulicStep = 0;  // s
    long QualityStep = 0;    // s
    long PatternStep = 0;    // s
    long PatternStart = 0;   // s
};

// Empties the catalogue: counts and times 0, maps empty, JunctionIDs = {""}.
void ResetNetwork(NetworkCatalogue& catalogue);

// Opens the INP file in the project and, on success, fills the catalogue.
// Returns the toolkit's code from opening; on failure nothing is classified.
// The project stays open for the caller. `stop` is looked at while the catalogue is filled:
// SolveStopped once it is set (the project's own stop request is looked at while it reads).
int OpenNetwork(NetworkCatalogue& catalogue, toolkit::Project& project, const std::string& inpPath,
                const std::string& reportFile, const std::string& outputFile,
                toolkit::StopRequest stop = nullptr);

// The two fill steps of OpenNetwork, on a project that is open.
void ClassifyElements(NetworkCatalogue& catalogue, const toolkit::Project& project,
                      toolkit::StopRequest stop = nullptr);
void ReadTimeParameters(NetworkCatalogue& catalogue, const toolkit::Project& project);

// Seconds to whole hours, halves to the even neighbour (1800 s -> 0, 5400 s -> 2).
int DurationHoursFromSeconds(long seconds);

}  // namespace hydrosk::network
