// The network model: the input data of one EPANET network, as the INP reader
// leaves it. Everything is held in the engine's internal units (feet, cubic feet
// per second, seconds), converted once at load, so that the solver never sees
// user units, names or strings. Indices are 0-based here; the EN... layer adds 1.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace hydrosk::toolkit {

enum class NodeType { Junction = 0, Reservoir = 1, Tank = 2 };

// Numbering follows EPANET's EN_CVPIPE .. EN_GPV codes.
enum class LinkType { CVPipe = 0, Pipe = 1, Pump = 2, PRV = 3, PSV = 4, PBV = 5, FCV = 6, TCV = 7, GPV = 8 };

// Numbering follows EPANET's EN_CFS .. EN_CMD codes.
enum class FlowUnits { CFS = 0, GPM = 1, MGD = 2, IMGD = 3, AFD = 4, LPS = 5, LPM = 6, MLD = 7, CMH = 8, CMD = 9 };

enum class PressureUnits { PSI, KPA, Meters };
enum class HeadLossFormula { HazenWilliams = 0, DarcyWeisbach = 1, ChezyManning = 2 };
enum class DemandModel { DemandDriven = 0, PressureDriven = 1 };

// Initial (or fixed) status of a link as given by the input.
enum class LinkStatus { Closed, Open, Active };

enum class CurveKind { Volume = 0, Pump = 1, Efficiency = 2, HeadLoss = 3, Generic = 4 };

enum class PumpKind { ConstantPower, PowerFunction, Custom };

constexpr int kNoIndex = -1;

struct Demand {
    double base = 0.0;       // cfs
    int pattern = kNoIndex;  // pattern index, kNoIndex = constant
    std::string category;
};

struct Node {
    std::string id;
    NodeType type = NodeType::Junction;
    double elevation = 0.0;  // ft; for a reservoir the total head
    std::vector<Demand> demands;  // junctions only
    double emitter_coeff = 0.0;   // cfs / ft^exponent, 0 = no emitter
    int head_pattern = kNoIndex;  // reservoirs: head multiplier pattern

    // Tanks only (ft, ft^3). Levels are measured from the elevation.
    double initial_level = 0.0;
    double min_level = 0.0;
    double max_level = 0.0;
    double diameter = 0.0;
    double min_volume = 0.0;
    int volume_curve = kNoIndex;
    bool can_overflow = false;

    double x = 0.0, y = 0.0;  // [COORDINATES], map units
    bool has_coordinates = false;
};

struct Link {
    std::string id;
    LinkType type = LinkType::Pipe;
    int from = kNoIndex;  // node indices
    int to = kNoIndex;
    double length = 0.0;      // ft
    double diameter = 0.0;    // ft
    double roughness = 0.0;   // H-W C, D-W ft, or Manning n (as given)
    double minor_loss = 0.0;  // dimensionless K as given
    LinkStatus initial_status = LinkStatus::Open;
    // Valves: pressure in ft of head (PRV/PSV/PBV), flow in cfs (FCV), loss
    // coefficient (TCV); pumps: relative speed. NaN never appears.
    double initial_setting = 0.0;

    // Pumps only.
    PumpKind pump_kind = PumpKind::ConstantPower;
    int head_curve = kNoIndex;       // GPV: head-loss curve too
    double power = 0.0;              // hp as given, for constant-power pumps
    int speed_pattern = kNoIndex;
    // Derived by the reader from the head curve (ft, cfs): h = h0 - r * q^n.
    double h0 = 0.0, r = 0.0, n = 1.0;
    double q_max = 0.0, h_max = 0.0;  // shutoff head and maximum flow

    std::vector<std::pair<double, double>> vertices;  // [VERTICES], map units
};

struct Pattern {
    std::string id;
    std::vector<double> factors;  // never empty once read
};

struct Curve {
    std::string id;
    CurveKind kind = CurveKind::Generic;
    std::vector<double> x;  // as given in user units
    std::vector<double> y;
};

// A simple control ([CONTROLS]).
struct Control {
    enum class Kind { LowLevel, HiLevel, Timer, TimeOfDay };
    Kind kind = Kind::Timer;
    int link = kNoIndex;
    LinkStatus status = LinkStatus::Open;  // Open/Closed, or Active when a setting is given
    double setting = 0.0;  // internal units, as for Link::initial_setting
    bool has_setting = false;
    int node = kNoIndex;  // level controls
    double grade = 0.0;   // ft of head the node is compared against
    long time = 0;        // s, timer and time-of-day controls
};

// A rule-based control ([RULES]), in the form EPANET evaluates it.
struct RulePremise {
    enum class Logic { If, And, Or };
    enum class Object { Node, Link, System };
    enum class Variable {
        Demand, Head, Grade, Level, Pressure, Flow, Status, Setting, Power, Time, ClockTime,
        FillTime, DrainTime
    };
    enum class Relation { EQ, NE, LE, GE, LT, GT, Is, Not, Below, Above };
    enum class StatusValue { None, Open, Closed, Active };
    Logic logic = Logic::If;
    Object object = Object::Node;
    int index = kNoIndex;  // node or link
    Variable variable = Variable::Pressure;
    Relation relation = Relation::EQ;
    StatusValue status = StatusValue::None;
    double value = 0.0;  // internal units (ft, cfs, s)
};

struct RuleAction {
    int link = kNoIndex;
    enum class StatusValue { None, Open, Closed, Active } status = StatusValue::None;
    double setting = 0.0;
    bool has_setting = false;
};

struct Rule {
    std::string label;
    std::vector<RulePremise> premises;
    std::vector<RuleAction> then_actions;
    std::vector<RuleAction> else_actions;
    double priority = 0.0;
};

struct Options {
    FlowUnits flow_units = FlowUnits::GPM;
    PressureUnits pressure_units = PressureUnits::PSI;
    HeadLossFormula headloss = HeadLossFormula::HazenWilliams;
    double viscosity = 1.1e-5;  // ft^2/s (kinematic)
    double specific_gravity = 1.0;
    int max_trials = 200;
    double accuracy = 0.001;      // relative flow change for convergence
    double head_error = 0.0;      // ft, 0 = not tested
    double flow_change = 0.0;     // cfs, 0 = not tested
    int unbalanced_extra_trials = -1;  // -1 = STOP, else CONTINUE n (0 = CONTINUE)
    int default_pattern = kNoIndex;
    std::string default_pattern_id = "1";
    double demand_multiplier = 1.0;
    double emitter_exponent = 0.5;
    DemandModel demand_model = DemandModel::DemandDriven;
    double minimum_pressure = 0.0;   // ft, pressure-driven model
    double required_pressure = 0.1;  // ft (EPANET 2.2's default, converted)
    double pressure_exponent = 0.5;
    int check_frequency = 2;
    int max_check = 10;
    double damp_limit = 0.0;
};

struct Times {
    long duration = 0;  // s
    long hydraulic_step = 3600;
    long quality_step = 360;
    long pattern_step = 3600;
    long pattern_start = 0;
    long report_step = 3600;
    long report_start = 0;
    long rule_step = 360;
    long start_clock = 0;  // s after midnight
};

struct Network {
    std::string title;
    // Junctions come first, then tanks and reservoirs in file order, exactly
    // as EPANET numbers them.
    std::vector<Node> nodes;
    std::vector<Link> links;
    std::vector<Pattern> patterns;
    std::vector<Curve> curves;
    std::vector<Control> controls;
    std::vector<Rule> rules;
    Options options;
    Times times;
    int junction_count = 0;
    int tank_count = 0;  // tanks and reservoirs together, as EN_TANKCOUNT

    // Case-sensitive ID lookups, as EPANET's hash tables.
    std::unordered_map<std::string, int> node_index;
    std::unordered_map<std::string, int> link_index;
    std::unordered_map<std::string, int> pattern_index;
    std::unordered_map<std::string, int> curve_index;
};

}  // namespace hydrosk::toolkit
