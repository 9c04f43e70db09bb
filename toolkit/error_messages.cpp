#include "toolkit/error_messages.h"

#include <array>
#include <utility>

namespace hydrosk::toolkit {

namespace {

using Entry = std::pair<int, std::string_view>;

constexpr std::array kErrors{
    Entry{0, "ok"},
    Entry{101, "insufficient memory available"},
    Entry{102, "no network data available"},
    Entry{103, "hydraulic solver not opened"},
    Entry{104, "no hydraulics for water quality analysis"},
    Entry{105, "water quality solver not opened"},
    Entry{106, "no results saved to report on"},
    Entry{107, "hydraulics supplied from external file"},
    Entry{108, "cannot use external file while hydraulics solver is active"},
    Entry{110, "cannot solve network hydraulic equations"},
    Entry{120, "cannot solve water quality transport equations"},
    Entry{200, "one or more errors in input file"},
    Entry{201, "syntax error"},
    Entry{202, "illegal numeric value"},
    Entry{203, "undefined node"},
    Entry{204, "undefined link"},
    Entry{205, "undefined time pattern"},
    Entry{206, "undefined curve"},
    Entry{207, "attempt to control CV/GPV link"},
    Entry{208, "illegal PDA pressure limits"},
    Entry{209, "illegal node property value"},
    Entry{211, "illegal link property value"},
    Entry{212, "undefined trace node"},
    Entry{213, "invalid option value"},
    Entry{214, "too many characters in input line"},
    Entry{215, "duplicate ID label"},
    Entry{216, "reference to undefined pump"},
    Entry{217, "invalid pump energy data"},
    Entry{219, "illegal valve connection to tank node"},
    Entry{220, "illegal valve connection to another valve"},
    Entry{221, "mis-placed rule clause in rule-based control"},
    Entry{222, "same start and end nodes for link"},
    Entry{223, "not enough nodes in network"},
    Entry{224, "no tanks or reservoirs in network"},
    Entry{225, "invalid lower/upper levels for tank"},
    Entry{226, "no head curve or power rating for pump"},
    Entry{227, "invalid head curve for pump"},
    Entry{230, "nonincreasing x-values for curve"},
    Entry{233, "network has unconnected node"},
    Entry{240, "nonexistent source"},
    Entry{241, "nonexistent control"},
    Entry{250, "invalid format"},
    Entry{251, "invalid parameter code"},
    Entry{252, "invalid ID name"},
    Entry{253, "nonexistent demand category"},
    Entry{254, "node with no coordinates"},
    Entry{255, "invalid link vertex"},
    Entry{257, "nonexistent rule"},
    Entry{258, "nonexistent rule clause"},
    Entry{259, "attempt to delete a node that still has links connected to it"},
    Entry{260, "attempt to delete node assigned as a Trace Node"},
    Entry{261, "attempt to delete a node or link contained in a control"},
    Entry{262, "attempt to modify network structure while solver is active"},
    Entry{301, "identical file names"},
    Entry{302, "cannot open input file"},
    Entry{303, "cannot open report file"},
    Entry{304, "cannot open binary output file"},
    Entry{305, "cannot open hydraulics file"},
    Entry{306, "hydraulics file does not match network data"},
    Entry{307, "cannot read hydraulics file"},
    Entry{308, "cannot save results to file"},
    Entry{309, "cannot save results to report file"},
};

constexpr std::array<std::string_view, 6> kWarnings{
    "WARNING: System hydraulically unbalanced.",
    "WARNING: System may be hydraulically unstable.",
    "WARNING: System disconnected.",
    "WARNING: Pumps cannot deliver enough flow or head.",
    "WARNING: Valves cannot deliver enough flow.",
    "WARNING: System has negative pressures.",
};

}  // namespace

std::string_view error_message(int code) {
    for (const auto& [c, text] : kErrors) {
        if (c == code) return text;
    }
    return {};
}

std::string_view warning_message(int code) {
    if (code < 1 || code > 6) return {};
    return kWarnings[static_cast<std::size_t>(code - 1)];
}

std::string toolkit_error_text(int code) {
    if (code >= 1 && code <= 6) return std::string{warning_message(code)};
    std::string text = "Error " + std::to_string(code) + ": ";
    if ((code >= 202 && code <= 222) || (code >= 240 && code <= 261)) {
        text += "function call contains ";
    }
    text += error_message(code);
    return text;
}

}  // namespace hydrosk::toolkit
