// Reader of the EPANET 2.2 reference files (<network>.ref) that tools/oracle/make-reference.mjs
// writes: one record per line, blank-separated; tools/oracle/README.md lists the records.
#pragma once

#include <array>
#include <filesystem>
#include <istream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace hydrosk::conformance {

// A reference file that cannot be read, is cut off or does not follow the record layout.
class ReferenceFormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ReferenceNode {
    int type = 0;
    std::string id;  // raw bytes as EPANET stores them
};

struct ReferenceLink {
    int type = 0;
    int from = 0;
    int to = 0;
    std::string id;
};

struct ReferenceDemand {
    int node = 0;  // junction index
    double base = 0.0;
    int pattern = 0;
};

struct ReferenceStep {
    long time = 0;                  // s, as ENrunH returned it
    int code = 0;                   // ENrunH's code
    std::vector<double> pressures;  // every node, user units; empty after an error code
    std::optional<long> next;       // ENnextH's time step (s), absent after an error
    int next_code = 0;
};

// Order of the values in the `counts` record (ENgetcount codes 0 to 6).
enum class CountKind { nodes, tanks, links, patterns, curves, controls, rules };
inline constexpr std::size_t count_kinds = 7;

// Order of the values in the `times` record, with the ENgettimeparam code of each.
inline constexpr std::array<int, 9> time_parameter_codes = {0, 1, 2, 3, 4, 5, 6, 7, 10};
inline constexpr std::array<std::string_view, 9> time_parameter_names = {
    "duration",    "hydraulic step", "quality step", "pattern step", "pattern start",
    "report step", "report start",   "rule step",    "start time"};

struct NetworkReference {
    std::string network;
    int open_code = 0;
    std::vector<int> report_errors;  // input errors listed in the report of a refused file

    int flow_units = 0;
    std::array<int, count_kinds> counts{};
    std::array<long, time_parameter_codes.size()> times{};
    std::vector<ReferenceNode> nodes;  // element k is the node of index k + 1
    std::vector<ReferenceLink> links;
    std::vector<std::string> patterns;
    std::vector<ReferenceDemand> demands;

    int open_h_code = 0;
    std::optional<int> init_h_code;
    std::vector<ReferenceStep> steps;
    bool capped = false;
    int close_h_code = 0;

    std::optional<int> solve_h_code;
    std::vector<double> solve_h_pressures;

    bool refused() const { return open_code > 100; }
    int count(CountKind kind) const { return counts[static_cast<std::size_t>(kind)]; }
    long report_step() const { return times[5]; }
};

// Reads one reference; throws ReferenceFormatError naming the line at fault.
NetworkReference parse_reference(std::istream& in);
NetworkReference read_reference(const std::filesystem::path& file);

// "c399" -> the two bytes 0xC3 0x99; throws ReferenceFormatError on odd length or non-hex.
std::string decode_hex(std::string_view hex);
// The reverse, for messages about IDs that are not plain text.
std::string encode_hex(std::string_view bytes);

}  // namespace hydrosk::conformance
