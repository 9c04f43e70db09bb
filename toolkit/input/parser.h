// Internal to the INP reader: the parser state shared by its source files
// (reader.cpp drives the passes, sections.cpp reads network data,
// options.cpp the option sections, rules.cpp the rules).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "toolkit/input/lexer.h"
#include "toolkit/input/reader.h"
#include "toolkit/network.h"

namespace hydrosk::toolkit::inp {

// Input sections in EPANET's keyword order (the order matters: the first
// keyword that a heading starts with wins).
enum class Section {
    Title,
    Junctions,
    Reservoirs,
    Tanks,
    Pipes,
    Pumps,
    Valves,
    Controls,
    Rules,
    Demands,
    Sources,
    Emitters,
    Patterns,
    Curves,
    Quality,
    Status,
    Roughness,
    Energy,
    Reactions,
    Mixing,
    Report,
    Times,
    Options,
    Coordinates,
    Vertices,
    Labels,
    Backdrop,
    Tags,
    End,
    None,  // before the first heading
};

std::string_view section_heading(Section section);
// The section a heading token names, or Section::None.
Section find_section(std::string_view token);

// A pump while its kind is still open (EPANET fits curves after reading).
enum class PumpInput { ConstantPower, PowerFunction, Custom, NoCurve };

// Tank data in user units until conversion.
struct TankInput {
    int node = kNoIndex;
    double h0 = 0.0, hmin = 0.0, hmax = 0.0;  // levels
    double diameter = 0.0;
    double vmin = 0.0, v0 = 0.0, vmax = 0.0;
};

struct PumpState {
    PumpInput kind = PumpInput::NoCurve;
    // Power-function coefficients from the old numeric format, user units.
    double h0 = 0.0, r = 0.0, n = 0.0, q0 = 0.0, q_max = 0.0, h_max = 0.0;
};

// Fits head = a + b q^c through the shutoff head h0, (q1, h1) and (q2, h2) and
// gives the pump that curve; false when the points cannot define a falling
// power curve (EPANET's test), and the pump is then left as it was.
bool fit_power_function(PumpState& pump, double h0, double h1, double h2, double q1, double q2);

// Rule parser state (EPANET's RuleState).
enum class RuleState { Rule, If, Then, Else, Priority, Error };

class Parser {
public:
    // `stop` is looked at while the text is read: SolveStopped once it is set.
    explicit Parser(InputResult& result, StopRequest stop = nullptr)
        : result_(result), stop_(stop) {}
    void run(std::string_view text);

private:
    // Pass 1: counts elements, registers patterns and curves; returns 0 or
    // EPANET's code (223, 224, 252).
    int count_pass(std::string_view text);
    // Pass 2: reads every line; returns the number of reported errors.
    int data_pass(std::string_view text);
    int read_line(Section section);
    void report_line_error(int code, Section section, const Line& line);
    void add_object_error(int code, std::string message, const std::string& id);
    int check_unlinked();
    int fit_pumps();
    int update_pump(int link);
    void adjust();
    int check_tanks();
    void convert();

    // Section readers (sections.cpp).
    int junction_data();
    int tank_data();
    // Registers the link of a [PIPES], [PUMPS] or [VALVES] line and finds its
    // end nodes, with EPANET's checks in its order; 0 or the line's error code.
    // kind_limit -1 means the kind has no limit of its own.
    struct LinkEnds {
        int index = kNoIndex;
        int from = kNoIndex;
        int to = kNoIndex;
    };
    int link_ends(int& kind_count, int kind_limit, int min_tokens, LinkEnds& ends);
    int pipe_data();
    int pump_data();
    int pump_numeric_curve(int values);
    int valve_data();
    int pattern_data();
    int curve_data();
    int coordinate_data();
    int vertex_data();
    int demand_data();
    int control_data();
    int source_data();
    int emitter_data();
    int quality_data();
    int reaction_data();
    int mixing_data();
    int status_data();
    void change_status(int link, LinkStatus status, double value);
    bool valve_conflict(LinkType type, int n1, int n2) const;
    // Options sections (options.cpp).
    int energy_data();
    int report_data();
    int time_data();
    int option_data();
    int option_choice(int n);
    int option_value(int n);
    // Rules (rules.cpp).
    int rule_data();
    int new_premise(RulePremise::Logic logic);
    int new_action();
    void record_rule_error(int code);

    // Lookups with EPANET's results: 0-based indices, kNoIndex when absent.
    int find_node(std::string_view id) const;
    int find_link(std::string_view id) const;
    // EPANET's pattern numbering: 0 = the built-in constant pattern (ID ""),
    // k = patterns[k - 1], -1 = not found.
    int find_pattern(std::string_view id) const;
    // 0 = not found, k = curves[k - 1].
    int find_curve(std::string_view id) const;
    int add_node_id(int index, std::string_view id);
    int add_link_id(int index, std::string_view id);
    int add_pattern(std::string_view id);
    int add_curve(std::string_view id);
    int set_error(int token, int code) {
        error_token_ = token;
        return code;
    }
    bool is_junction(int node) const { return node >= 0 && node < njuncs_; }

    InputResult& result_;
    StopRequest stop_;
    Network net_;
    Tokenizer tok_;
    int error_token_ = -1;
    std::string line_comment_;  // full-line comment carried to the next pattern/curve line

    // Counts from pass 1 and running counts of pass 2.
    int max_juncs_ = 0, max_tanks_ = 0, max_pipes_ = 0, max_pumps_ = 0, max_valves_ = 0;
    int max_controls_ = 0, max_rules_ = 0;
    int max_nodes_ = 0, max_links_ = 0;
    int njuncs_ = 0, ntanks_ = 0, nnodes_ = 0;
    int nlinks_ = 0, npipes_ = 0, npumps_ = 0, nvalves_ = 0;

    std::vector<double> numbers_;           // numeric pump parameters of one line
    std::vector<TankInput> tanks_;          // by tank order
    std::vector<PumpState> pumps_;          // by link
    std::vector<int> pump_links_;           // pumps in file order
    std::vector<int> valve_links_;          // valves read without error, in file order
    std::vector<bool> demand_replaceable_;  // by node: the first demand is still [JUNCTIONS]'
    std::vector<std::string> node_ids_;     // slot IDs as EPANET stores them ("" if refused)
    std::vector<std::string> link_ids_;
    int previous_pattern_ = -1;  // patterns[] index of the last pattern line
    int previous_curve_ = -1;

    // Option values that EPANET resolves after reading.
    double viscosity_ = kMissing;
    double diffusivity_ = kMissing;
    double quality_tolerance_ = kMissing;
    double pmin_ = 0.0, preq_ = 0.1;  // user pressure units
    double emitter_qexp_ = 2.0;       // 1 / emitter exponent
    std::string default_pattern_id_ = "1";

    RuleState rule_state_ = RuleState::Priority;
    int rule_error_ = 0;
    std::vector<std::string> rule_error_lines_;  // written before the line's own error
};

}  // namespace hydrosk::toolkit::inp
