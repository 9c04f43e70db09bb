#include "toolkit/units.h"

#include "toolkit/network.h"

namespace hydrosk::toolkit {

namespace {

double flow_factor(FlowUnits flow) {
    switch (flow) {
        case FlowUnits::CFS:
            return 1.0;
        case FlowUnits::GPM:
            return units::kGpmPerCfs;
        case FlowUnits::MGD:
            return units::kMgdPerCfs;
        case FlowUnits::IMGD:
            return units::kImgdPerCfs;
        case FlowUnits::AFD:
            return units::kAfdPerCfs;
        case FlowUnits::LPS:
            return units::kLpsPerCfs;
        case FlowUnits::LPM:
            return units::kLpmPerCfs;
        case FlowUnits::MLD:
            return units::kMldPerCfs;
        case FlowUnits::CMH:
            return units::kCmhPerCfs;
        case FlowUnits::CMD:
            return units::kCmdPerCfs;
    }
    return 1.0;
}

bool is_si(FlowUnits flow) {
    switch (flow) {
        case FlowUnits::LPS:
        case FlowUnits::LPM:
        case FlowUnits::MLD:
        case FlowUnits::CMH:
        case FlowUnits::CMD:
            return true;
        default:
            return false;
    }
}

}  // namespace

UnitFactors unit_factors(const Options& options) {
    UnitFactors f;
    const double sg = options.specific_gravity;
    double hcf = 1.0;
    if (is_si(options.flow_units)) {
        hcf = units::kMetresPerFoot;
        f.diameter = 1000.0 * units::kMetresPerFoot;
        // PSI never reaches here with SI units once the options are adjusted;
        // EPANET treats it as metres.
        f.pressure = options.pressure_units == PressureUnits::KPA
                         ? units::kKpaPerPsi * units::kPsiPerFoot * sg
                         : units::kMetresPerFoot * sg;
        f.power = units::kKwPerHp;
    } else {
        f.diameter = 12.0;
        f.pressure = units::kPsiPerFoot * sg;
        f.power = 1.0;
    }
    f.flow = flow_factor(options.flow_units);
    f.demand = f.flow;
    f.head = hcf;
    f.elevation = hcf;
    f.length = hcf;
    f.velocity = hcf;
    f.headloss = hcf;
    f.volume = hcf * hcf * hcf;
    f.quality = options.quality == QualityType::Chemical ? 1.0 / units::kLitresPerCubicFoot : 1.0;
    f.friction = 1.0;
    f.time = 1.0 / 3600.0;
    return f;
}

}  // namespace hydrosk::toolkit
