// The network model: the input data of one EPANET network, as the INP reader
// leaves it after EPANET 2.2's load steps (read, adjust, convert). Unless a
// comment says otherwise, values are in internal units: ft, ft of head, cfs,
// ft^3, s. Indices are 0-based here; the EN... layer adds 1.
//
// What the reader derives (EPANET does it at load, so it belongs to input):
//  - the default demand pattern put on demands that name none;
//  - tank heads, area, min/initial/max volumes and, with a volume curve, the
//    nominal diameter (tanks with a zero diameter are reservoirs);
//  - pump curve fitting: kind, h0, r, n, q0, q_max, h_max;
//  - the emitter resistance, D-W roughness in ft, valve settings in ft or cfs,
//    control grades and settings;
//  - option adjustments: time steps, viscosity in ft^2/s, head-loss exponent,
//    pressure units by unit system, PDA pressures in ft.
// What the solver derives (EPANET does it when hydraulics start): pipe
// resistances, minor-loss resistance 0.02517 K / d^4 (ft / cfs^2, d in ft),
// initial flows and statuses, demands at a time, curve segments.
//
// Curves and rule values stay in user units, as in EPANET; the solver converts
// with Network::units at the point of use, in EPANET's order, to keep its
// rounding.
#pragma once

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "toolkit/units.h"

namespace hydrosk::toolkit {

constexpr int kNoIndex = -1;

// EPANET's "missing value" (-1e10). Kept as a number, not an optional, because
// EPANET stores it in settings and compares against it during a simulation.
constexpr double kMissing = -1.0e10;

enum class NodeType { Junction = 0, Reservoir = 1, Tank = 2 };

// Numbering follows EPANET's EN_CVPIPE .. EN_GPV codes.
enum class LinkType {
    CVPipe = 0,
    Pipe = 1,
    Pump = 2,
    PRV = 3,
    PSV = 4,
    PBV = 5,
    FCV = 6,
    TCV = 7,
    GPV = 8
};

// Numbering follows EPANET's EN_CFS .. EN_CMD codes.
enum class FlowUnits {
    CFS = 0,
    GPM = 1,
    MGD = 2,
    IMGD = 3,
    AFD = 4,
    LPS = 5,
    LPM = 6,
    MLD = 7,
    CMH = 8,
    CMD = 9
};

// EN_PSI, EN_KPA, EN_METERS.
enum class PressureUnits { PSI = 0, KPA = 1, Meters = 2 };
// US for CFS, GPM, MGD, IMGD, AFD; SI for the litre and cubic-metre units.
enum class UnitSystem { US = 0, SI = 1 };
enum class HeadLossFormula { HazenWilliams = 0, DarcyWeisbach = 1, ChezyManning = 2 };
enum class DemandModel { DemandDriven = 0, PressureDriven = 1 };
enum class QualityType { None = 0, Chemical = 1, Age = 2, Trace = 3 };
// [TIMES] STATISTIC: EN_SERIES .. EN_RANGE.
enum class Statistic { Series = 0, Average = 1, Minimum = 2, Maximum = 3, Range = 4 };
enum class HydraulicsFile { Scratch = 0, Use = 1, Save = 2 };  // [OPTIONS] HYDRAULICS

// Initial (or fixed) status of a link as given by the input.
enum class LinkStatus { Closed, Open, Active };

// EN_VOLUME_CURVE .. EN_GENERIC_CURVE. A curve's kind is set by its use:
// tank volume, pump head, pump efficiency ([ENERGY]), GPV head loss.
enum class CurveKind { Volume = 0, Pump = 1, Efficiency = 2, HeadLoss = 3, Generic = 4 };

// EN_CONST_HP, EN_POWER_FUNC, EN_CUSTOM. Resolved by the reader: a POWER keyword
// wins over a HEAD curve; a 1-point curve or a 3-point curve starting at zero
// flow is fitted to a power function; any other curve is used as it is.
enum class PumpKind { ConstantPower = 0, PowerFunction = 1, Custom = 2 };

struct Demand {
    double base = 0.0;       // cfs (user flow / units.flow)
    int pattern = kNoIndex;  // pattern index; kNoIndex = constant factor 1.0
    std::string category;    // from the line's comment, at most 31 characters
};

struct Node {
    std::string id;
    NodeType type = NodeType::Junction;
    // ft: ground elevation (junction), fixed head (reservoir), bottom (tank).
    double elevation = 0.0;

    // Junctions only. A junction always has its first demand, from [JUNCTIONS]
    // (possibly zero); the first [DEMANDS] line for it replaces that demand and
    // later ones are appended, in file order.
    std::vector<Demand> demands;
    // Emitter flow coefficient as given (user flow / user pressure^exponent);
    // 0 = no emitter.
    double emitter_coeff_input = 0.0;
    // EPANET's emitter head-loss coefficient Ke: head loss h = Ke * q^qexp with
    // h in ft, q in cfs, qexp = 1 / Options::emitter_exponent. 0 = no emitter.
    double emitter_resistance = 0.0;
    // The same emitter as a flow coefficient in internal units (cfs per
    // ft^emitter_exponent): emitter_resistance == 1 / emitter_coeff^qexp up to
    // rounding. Prefer emitter_resistance, which has EPANET's rounding.
    double emitter_coeff = 0.0;
    double initial_quality = 0.0;  // [QUALITY], as given

    // Reservoirs: head multiplier pattern.
    int head_pattern = kNoIndex;

    // Tanks. Levels are above the elevation, in ft (given level / units.head).
    double initial_level = 0.0;
    double min_level = 0.0;
    double max_level = 0.0;
    // EPANET's tank heads (elevation + level, ft); for reservoirs all three
    // equal the elevation.
    double initial_head = 0.0;
    double min_head = 0.0;
    double max_head = 0.0;
    // ft; with a volume curve, EPANET's nominal diameter sqrt(4 a / pi) where a
    // is the curve's overall slope (user units, then converted).
    double diameter = 0.0;
    double area = 0.0;  // ft^2, pi d^2 / 4; 0 for reservoirs
    // ft^3, as EPANET computes them: from the volume curve at the min, initial
    // and max levels; otherwise min_volume is the given minimum volume when
    // positive, else area * min level, and the others add area * level change.
    double min_volume = 0.0;
    double initial_volume = 0.0;
    double max_volume = 0.0;
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
    double length = 0.0;    // ft (pipes; 0 for pumps and valves)
    double diameter = 0.0;  // ft (pipes and valves; 0 for pumps)
    // Pipes: Hazen-Williams C or Manning n as given, Darcy-Weisbach roughness
    // in ft (given in millifeet or mm). Pumps and valves: 0.
    double roughness = 0.0;
    // Minor loss coefficient K as given (velocity-head basis), pipes and
    // valves; the solver turns it into 0.02517 K / d^4 as EPANET does.
    double minor_loss = 0.0;
    LinkStatus initial_status = LinkStatus::Open;
    // EPANET's initial setting (its Kc): pipes: the roughness above; pumps:
    // relative speed; PRV, PSV, PBV: pressure in ft of head; FCV: flow in cfs;
    // TCV: loss coefficient as given; GPV: the head-loss curve index (same as
    // head_curve). kMissing for a PRV, PSV, PBV, FCV or TCV whose status
    // [STATUS] fixed to OPEN or CLOSED.
    double initial_setting = 0.0;

    // Pumps only.
    PumpKind pump_kind = PumpKind::ConstantPower;
    int head_curve = kNoIndex;  // pump head curve; for a GPV its head-loss curve
    double power = 0.0;         // constant-power pumps: hp (US) or kW (SI) as given
    int speed_pattern = kNoIndex;
    int efficiency_curve = kNoIndex;  // [ENERGY] PUMP id EFFIC
    double energy_price = 0.0;        // [ENERGY] PUMP id PRICE, as given
    int price_pattern = kNoIndex;     // [ENERGY] PUMP id PATTERN
    // Head gain at full speed, EPANET's fitted curve in internal units:
    // gain = h0 - r * q^n (ft, cfs). Power function: h0 is the shutoff head.
    // Constant power: h0 = 0, r = -8.814 * power in hp, n = -1 (gain =
    // 8.814 hp / q). Custom curves use the curve itself: h0 = r = 0, n = 1.
    double h0 = 0.0, r = 0.0, n = 1.0;
    double q0 = 0.0;     // cfs, EPANET's initial flow (1 cfs for constant power)
    double q_max = 0.0;  // cfs, largest flow (1e10 for constant power)
    double h_max = 0.0;  // ft, shutoff head (1e10 for constant power)

    std::vector<std::pair<double, double>> vertices;  // [VERTICES], map units
};

struct Pattern {
    std::string id;
    // Multipliers in file order. Empty only for a pattern that pass 1 of the
    // reader registered but no later line filled (possible only through
    // unusual quoting); EPANET never refers to such a pattern from the file.
    std::vector<double> factors;
};

struct Curve {
    std::string id;
    CurveKind kind = CurveKind::Generic;
    // Points as given, in user units and file order (EPANET does not sort
    // them): flow/head for pumps and GPVs, level/volume for tanks. Empty only
    // for a curve nothing refers to (registered by pass 1 through unusual
    // quoting).
    std::vector<double> x;
    std::vector<double> y;
};

// A simple control ([CONTROLS]).
struct Control {
    // EN_LOWLEVEL, EN_HILEVEL, EN_TIMER, EN_TIMEOFDAY.
    enum class Kind { LowLevel = 0, HiLevel = 1, Timer = 2, TimeOfDay = 3 };
    Kind kind = Kind::Timer;
    int link = kNoIndex;
    // OPEN or CLOSED as given, or Active with a numeric setting. For pumps
    // and pipes a numeric setting gives Closed when 0, else Open.
    LinkStatus status = LinkStatus::Open;
    // Internal units, as Link::initial_setting (pumps: speed, 1 for OPEN and 0
    // for CLOSED; GPV OPEN/CLOSED: its curve index); kMissing when none.
    double setting = kMissing;
    bool has_setting = false;  // setting != kMissing
    int node = kNoIndex;       // level controls
    // ft of head the node's head is compared against: elevation + level for a
    // tank, elevation + pressure head for a junction.
    double grade = 0.0;
    long time = 0;  // s; time of day (below 86400) for TimeOfDay
};

// A rule-based control ([RULES]), in the form EPANET evaluates it.
struct RulePremise {
    // IF starts the list and is evaluated as AND.
    enum class Logic { If, And, Or };
    enum class Object { Node, Link, System };
    enum class Variable {
        Demand,
        Head,
        Grade,
        Level,
        Pressure,
        Flow,
        Status,
        Setting,
        Power,
        Time,
        ClockTime,
        FillTime,
        DrainTime
    };
    // IS, NOT, BELOW and ABOVE are read as EQ, NE, LT and GT.
    enum class Relation { EQ, NE, LE, GE, LT, GT };
    enum class StatusValue { None, Open, Closed, Active };
    Logic logic = Logic::If;
    Object object = Object::Node;
    int index = kNoIndex;  // node or link
    Variable variable = Variable::Pressure;
    Relation relation = Relation::EQ;
    StatusValue status = StatusValue::None;
    // User units, as EPANET compares them (the solver converts the network's
    // value to user units, tolerance 0.001); seconds for TIME, CLOCKTIME,
    // FILLTIME and DRAINTIME. kMissing when a status is compared.
    double value = kMissing;
};

struct RuleAction {
    int link = kNoIndex;
    // A numeric setting on a pipe becomes Open (non-zero) or Closed (zero).
    enum class StatusValue { None, Open, Closed, Active } status = StatusValue::None;
    // User units as given (EPANET converts pressures and FCV flows when the
    // action is taken); kMissing when a status is given.
    double setting = kMissing;
    bool has_setting = false;  // setting != kMissing
};

struct Rule {
    std::string label;  // at most 31 characters
    std::vector<RulePremise> premises;
    std::vector<RuleAction> then_actions;
    std::vector<RuleAction> else_actions;
    double priority = 0.0;
};

struct Options {
    FlowUnits flow_units = FlowUnits::GPM;
    UnitSystem unit_system = UnitSystem::US;
    // After EPANET's revision: always PSI for US units; METERS for SI units
    // unless KPA was given.
    PressureUnits pressure_units = PressureUnits::PSI;
    HeadLossFormula headloss = HeadLossFormula::HazenWilliams;
    double headloss_exponent = 1.852;  // 1.852 for H-W, 2 otherwise
    double viscosity = 1.1e-5;         // ft^2/s, kinematic
    double diffusivity = 1.3e-8;       // ft^2/s
    double specific_gravity = 1.0;
    int max_trials = 200;
    double accuracy = 0.001;           // relative flow change for convergence
    double head_tolerance = 0.0005;    // ft (HTOL)
    double flow_tolerance = 0.0001;    // cfs (QTOL)
    double rq_tolerance = 1e-7;        // low-flow resistance tolerance (RQTOL)
    double head_error = 0.0;           // ft, 0 = not tested
    double flow_change = 0.0;          // cfs, 0 = not tested
    int unbalanced_extra_trials = -1;  // -1 = STOP, else CONTINUE n (0 = CONTINUE)
    // The default demand pattern: its index when a pattern with that ID exists
    // (already put on the demands that name no pattern), else kNoIndex.
    int default_pattern = kNoIndex;
    std::string default_pattern_id = "1";
    double demand_multiplier = 1.0;
    // As given; EPANET's emitter head exponent qexp is 1.0 / emitter_exponent.
    double emitter_exponent = 0.5;
    DemandModel demand_model = DemandModel::DemandDriven;
    double minimum_pressure = 0.0;  // ft, pressure-driven model
    // ft; EPANET's default is 0.1 in pressure units (psi or m), converted.
    double required_pressure = 0.1 / (units::kPsiPerFoot);
    double pressure_exponent = 0.5;
    int check_frequency = 2;
    int max_check = 10;
    double damp_limit = 0.0;

    QualityType quality = QualityType::None;
    std::string chemical_name = "Chemical";
    std::string chemical_units = "mg/L";
    int trace_node = kNoIndex;
    double quality_tolerance = 0.01;  // as given (EPANET's default 0.01)

    HydraulicsFile hydraulics_file_mode = HydraulicsFile::Scratch;
    std::string hydraulics_file;  // [OPTIONS] HYDRAULICS USE/SAVE name
    std::string map_file;
};

// [TIMES], after EPANET's adjustments (defaults and limits applied).
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
    Statistic statistic = Statistic::Series;
};

// [ENERGY] global values, as given.
struct Energy {
    double global_efficiency = 75.0;  // percent
    double global_price = 0.0;
    int global_price_pattern = kNoIndex;
    double demand_charge = 0.0;
};

// [REPORT] items that affect how input errors are reported.
struct ReportOptions {
    int page_size = 0;     // lines per page, 0 = no page breaks
    bool messages = true;  // MESSAGES NO hides the final error line
    bool summary = true;
    int status = 0;  // 0 NO, 1 YES, 2 FULL
    bool energy = false;
    std::string file;  // FILE name
};

struct Network {
    std::string title;                     // first [TITLE] line
    std::vector<std::string> title_lines;  // up to 3 lines, each at most 79 characters
    // Junctions come first, then tanks and reservoirs in file order, exactly
    // as EPANET numbers them.
    std::vector<Node> nodes;
    std::vector<Link> links;  // pipes, pumps and valves in file order
    std::vector<Pattern> patterns;
    std::vector<Curve> curves;
    std::vector<Control> controls;
    std::vector<Rule> rules;
    Options options;
    Times times;
    Energy energy;
    ReportOptions report;
    UnitFactors units;  // for these options and hydraulic step
    int junction_count = 0;
    int tank_count = 0;  // tanks and reservoirs together, as EN_TANKCOUNT

    // Case-sensitive ID lookups, as EPANET's hash tables.
    std::unordered_map<std::string, int> node_index;
    std::unordered_map<std::string, int> link_index;
    std::unordered_map<std::string, int> pattern_index;
    std::unordered_map<std::string, int> curve_index;
};

}  // namespace hydrosk::toolkit
