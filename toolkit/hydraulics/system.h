// Compact, index-based arrays that the hydraulic solver works on, built once
// per project from the network model. Units are internal (ft, cfs, s); node and
// link indices are the network's 0-based ones. Junctions come first, so node i
// is an unknown of the head equations exactly when i < junction_count.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "toolkit/network.h"
#include "toolkit/units.h"

namespace hydrosk::toolkit {

// A link's hydraulic state during a simulation. The order is EPANET's and is
// relied on: every state up to Closed is a closed link.
enum class LinkState : std::uint8_t {
    XHead,       // pump cannot deliver its head (closed)
    TempClosed,  // closed for this solve (full or empty tank)
    Closed,
    Open,
    Active,     // control valve regulating
    XFlow,      // pump beyond its maximum flow
    XFCV,       // flow control valve cannot supply its flow
    XPressure,  // pressure valve cannot hold its pressure
};

constexpr bool is_closed(LinkState s) {
    return s <= LinkState::Closed;
}

// Setting of a valve whose status is fixed open or closed (no active setting).
constexpr double kMissingSetting = kMissing;

enum class PumpCurveKind : std::uint8_t { ConstantPower, PowerFunction, Custom };

struct PumpData {
    int link = kNoIndex;
    PumpCurveKind kind = PumpCurveKind::PowerFunction;
    // Head loss (negative gain) h = h0 + r * q^n at full speed (ft, cfs); for a
    // constant-power pump h0 = 0, r = -8.814 * hp and n = -1.
    double h0 = 0.0;
    double r = 0.0;
    double n = 1.0;
    double q0 = 0.0;       // cfs, initial flow at full speed
    double qmax = 0.0;     // cfs
    double hmax = 0.0;     // ft, shutoff head
    int curve = kNoIndex;  // custom head curve (user units)
    int speed_pattern = kNoIndex;
};

struct TankData {
    int node = kNoIndex;
    double area = 0.0;  // ft^2; 0 = reservoir (fixed grade)
    double h0 = 0.0;    // ft of head
    double hmin = 0.0;
    double hmax = 0.0;
    double v0 = 0.0;  // ft^3
    double vmin = 0.0;
    double vmax = 0.0;
    int volume_curve = kNoIndex;
    int head_pattern = kNoIndex;  // reservoirs
    bool can_overflow = false;
};

// A simple control in solver form.
struct ControlData {
    Control::Kind kind = Control::Kind::Timer;
    int link = kNoIndex;
    int node = kNoIndex;
    double grade = 0.0;  // ft of head
    long time = 0;       // s
    LinkState status = LinkState::Open;
    double setting = kMissingSetting;  // speed, valve setting or kMissingSetting
};

struct HydraulicSystem {
    explicit HydraulicSystem(const Network& network);

    int node_count = 0;
    int junction_count = 0;
    int link_count = 0;

    std::vector<double> elevation;  // ft
    std::vector<double> emitter_k;  // ft / cfs^qexp head-loss coefficient, 0 = none

    std::vector<LinkType> type;
    std::vector<int> from, to;
    std::vector<double> diameter;    // ft
    std::vector<double> resistance;  // pipe law resistance (CBIG for pumps)
    std::vector<double> minor_loss;  // ft / cfs^2
    std::vector<double> roughness;   // as in the network (D-W in ft)
    std::vector<LinkState> initial_state;
    std::vector<double> initial_setting;  // speed, valve setting or kMissingSetting
    std::vector<int> pump_index;          // per link, kNoIndex if not a pump

    std::vector<PumpData> pumps;
    std::vector<int> valves;      // links of valves, in link order
    std::vector<TankData> tanks;  // node i >= junction_count is tanks[i - junction_count]
    std::vector<ControlData> controls;

    // Coefficient slot of each link in the head-equation matrix, kNoIndex when
    // an end node is fixed grade; and the junction pairs that define the pattern.
    std::vector<int> link_pair;  // index into matrix_pairs or kNoIndex
    std::vector<std::pair<int, int>> matrix_pairs;

    // Options in solver form.
    HeadLossFormula formula = HeadLossFormula::HazenWilliams;
    double hexp = 1.852;
    double qexp = 2.0;  // emitter head-loss exponent (1 / emitter exponent)
    double viscosity = 1.1e-5;
    double htol = 0.0005;  // ft
    double qtol = 0.0001;  // cfs
    double rqtol = 1e-7;
    double accuracy = 0.001;
    double head_error_limit = 0.0;
    double flow_change_limit = 0.0;
    double damp_limit = 0.0;
    int max_iter = 200;
    int extra_iter = -1;
    int check_freq = 2;
    int max_check = 10;
    DemandModel demand_model = DemandModel::DemandDriven;
    double pmin = 0.0;  // ft
    double preq = 0.1;  // ft
    double pexp = 0.5;
    double demand_multiplier = 1.0;
    UnitFactors units;
};

// Volume (ft^3) of a tank at head h (ft), and its inverse.
double tank_volume(const Network& network, const HydraulicSystem& system, int tank, double head);
double tank_head(const Network& network, const HydraulicSystem& system, int tank, double volume);

}  // namespace hydrosk::toolkit
