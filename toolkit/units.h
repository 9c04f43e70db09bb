// EPANET 2.2's unit conversion: the factors that turn internal values (ft, cfs,
// s, hp) into the user units a network's options select, and the constants
// they are built from. A user value is internal value * factor; input data is
// converted the other way, by dividing, exactly once when it is read.
#pragma once

namespace hydrosk::toolkit {

struct Options;

namespace units {
// Flow units per cfs.
inline constexpr double kGpmPerCfs = 448.831;
inline constexpr double kAfdPerCfs = 1.9837;
inline constexpr double kMgdPerCfs = 0.64632;
inline constexpr double kImgdPerCfs = 0.5382;
inline constexpr double kLpsPerCfs = 28.317;
inline constexpr double kLpmPerCfs = 1699.0;
inline constexpr double kCmhPerCfs = 101.94;
inline constexpr double kCmdPerCfs = 2446.6;
inline constexpr double kMldPerCfs = 2.4466;
// Other conversions.
inline constexpr double kLitresPerCubicFoot = 28.317;
inline constexpr double kMetresPerFoot = 0.3048;
inline constexpr double kPsiPerFoot = 0.4333;  // of water head at specific gravity 1
inline constexpr double kKpaPerPsi = 6.895;
inline constexpr double kKwPerHp = 0.7457;
inline constexpr long kSecondsPerDay = 86400;
}  // namespace units

// EPANET's Ucf table: user units per internal unit for each quantity.
struct UnitFactors {
    double flow = 1.0;           // flow units per cfs (also demands)
    double demand = 1.0;         // same as flow
    double head = 1.0;           // ft or m per ft (also elevation, length, velocity, head loss)
    double elevation = 1.0;      // same as head
    double length = 1.0;         // same as head
    double velocity = 1.0;       // fps or m/s per ft/s
    double headloss = 1.0;       // same as head
    double pressure = 1.0;       // psi, m or kPa per ft of head (includes specific gravity)
    double diameter = 12.0;      // in or mm per ft
    double power = 1.0;          // hp or kW per hp
    double volume = 1.0;         // ft^3 or m^3 per ft^3
    double quality = 1.0;        // 1 / 28.317 for a chemical (mg/L per mg/ft^3), else 1
    double friction = 1.0;       // Darcy friction factor is dimensionless
    double time = 1.0 / 3600.0;  // report time units (h, or min when Hstep < 1800 s) per s
};

// The factors for a network's options (flow units, pressure units, specific
// gravity, quality type). `time` is for an hourly hydraulic step; the reader
// sets it from the actual step in Network::units.
UnitFactors unit_factors(const Options& options);

}  // namespace hydrosk::toolkit
