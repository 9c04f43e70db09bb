// Option sections of the INP reader: [ENERGY], [REPORT], [TIMES], [OPTIONS].
#include <algorithm>
#include <array>
#include <string>

#include "toolkit/codes.h"
#include "toolkit/input/parser.h"

namespace hydrosk::toolkit::inp {

namespace {

constexpr double kMinPressureGap = 0.1;  // PDA: least required - minimum pressure (psi or m)

// Report field names; a [REPORT] line must name one in full (or longer).
constexpr std::array<std::string_view, 15> kReportFields{
    "Elevation", "Demand",   "Head",    "Pressure", "Quality", "Length",   "Diameter", "Flow",
    "Velocity",  "Headloss", "Quality", "State",    "Setting", "Reaction", "F-Factor"};
constexpr int kHeadlossField = 9;

// Equality with ASCII letters compared without case.
bool same_text(std::string_view a, std::string_view b) {
    return a.size() == b.size() && match(a, b) && (a.empty() || a[0] != ' ');
}

std::string truncated(std::string_view text, std::size_t n) {
    return std::string{text.substr(0, std::min(n, text.size()))};
}

constexpr std::size_t kMaxFileName = 259;

}  // namespace

int Parser::energy_data() {
    const int n = tok_.count();
    if (n < 3) return codes::kSyntaxError;
    double y = 0.0;
    Energy& energy = net_.energy;
    if (match(tok_[0], "DEMAN")) {
        if (!to_number(tok_[2], y)) return set_error(2, codes::kIllegalNumber);
        if (y < 0.0) return set_error(2, codes::kInvalidOption);
        energy.demand_charge = y;
        return 0;
    }
    int pump = kNoIndex;  // kNoIndex: GLOBAL
    if (match(tok_[0], "GLOB")) {
        pump = kNoIndex;
    } else if (match(tok_[0], "Pump")) {
        if (n < 4) return codes::kSyntaxError;
        pump = find_link(tok_[1]);
        if (pump == kNoIndex) return set_error(1, codes::kUndefinedPump);
        if (net_.links[static_cast<std::size_t>(pump)].type != LinkType::Pump) {
            return set_error(1, codes::kUndefinedPump);
        }
    } else {
        return set_error(0, codes::kInvalidOption);
    }

    const std::string_view key = tok_[n - 2];
    if (match(key, "PRICE")) {
        if (!to_number(tok_[n - 1], y)) return set_error(n - 1, codes::kIllegalNumber);
        if (y < 0.0) return set_error(n - 1, codes::kInvalidPumpEnergy);
        if (pump == kNoIndex) {
            energy.global_price = y;
        } else {
            net_.links[static_cast<std::size_t>(pump)].energy_price = y;
        }
        return 0;
    }
    if (match(key, "PATT")) {
        const int p = find_pattern(tok_[n - 1]);
        if (p < 0) return set_error(n - 1, codes::kUndefinedPattern);
        const int index = p > 0 ? p - 1 : kNoIndex;
        if (pump == kNoIndex) {
            energy.global_price_pattern = index;
        } else {
            net_.links[static_cast<std::size_t>(pump)].price_pattern = index;
        }
        return 0;
    }
    if (match(key, "EFFI")) {
        if (pump == kNoIndex) {
            if (!to_number(tok_[n - 1], y)) return set_error(n - 1, codes::kIllegalNumber);
            if (y <= 0.0) return set_error(n - 1, codes::kInvalidPumpEnergy);
            energy.global_efficiency = y;
        } else {
            const int c = find_curve(tok_[n - 1]);
            if (c == 0) return set_error(n - 1, codes::kUndefinedCurve);
            net_.links[static_cast<std::size_t>(pump)].efficiency_curve = c - 1;
            net_.curves[static_cast<std::size_t>(c - 1)].kind = CurveKind::Efficiency;
        }
        return 0;
    }
    return codes::kSyntaxError;
}

int Parser::report_data() {
    const int n = tok_.count() - 1;
    if (n < 1) return codes::kSyntaxError;
    ReportOptions& report = net_.report;
    const std::string_view key = tok_[0];
    const std::string_view last = tok_[n];
    if (match(key, "PAGE")) {
        double y = 0.0;
        if (!to_number(last, y)) return set_error(n, codes::kIllegalNumber);
        if (y < 0.0 || y > 255.0) return set_error(n, codes::kInvalidOption);
        report.page_size = static_cast<int>(y);
        return 0;
    }
    if (match(key, "STATUS")) {
        if (match(last, "NO")) report.status = 0;
        if (match(last, "YES")) report.status = 1;
        if (match(last, "FULL")) report.status = 2;
        return 0;
    }
    if (match(key, "SUMM")) {
        if (match(last, "NO")) report.summary = false;
        if (match(last, "YES")) report.summary = true;
        return 0;
    }
    if (match(key, "MESS")) {
        if (match(last, "NO")) report.messages = false;
        if (match(last, "YES")) report.messages = true;
        return 0;
    }
    if (match(key, "ENER")) {
        if (match(last, "NO")) report.energy = false;
        if (match(last, "YES")) report.energy = true;
        return 0;
    }
    if (match(key, "NODE")) {
        if (match(last, "NONE") || match(last, "ALL")) return 0;
        if (nnodes_ == 0) return set_error(1, codes::kUndefinedNode);
        for (int i = 1; i <= n; ++i) {
            if (find_node(tok_[i]) == kNoIndex) return set_error(i, codes::kUndefinedNode);
        }
        return 0;
    }
    if (match(key, "LINK")) {
        if (match(last, "NONE") || match(last, "ALL")) return 0;
        if (nlinks_ == 0) return set_error(1, codes::kUndefinedLink);
        for (int i = 1; i <= n; ++i) {
            if (find_link(tok_[i]) == kNoIndex) return set_error(i, codes::kUndefinedLink);
        }
        return 0;
    }
    // A report field: "Headloss" must be told from "Head".
    int field = -1;
    if (same_text(key, "Headloss")) {
        field = kHeadlossField;
    } else {
        for (std::size_t i = 0; i < kReportFields.size(); ++i) {
            if (match(key, kReportFields[i])) {
                field = static_cast<int>(i);
                break;
            }
        }
    }
    if (field >= 0) {
        if (tok_.count() == 1 || match(tok_[1], "YES")) return 0;
        if (match(tok_[1], "NO")) return 0;
        if (tok_.count() < 3) return codes::kSyntaxError;
        if (!match(tok_[1], "BELOW") && !match(tok_[1], "ABOVE") && !match(tok_[1], "PREC")) {
            return set_error(1, codes::kInvalidOption);
        }
        double y = 0.0;
        if (!to_number(tok_[2], y)) return set_error(2, codes::kIllegalNumber);
        return 0;
    }
    if (match(key, "FILE")) {
        report.file = truncated(tok_[1], kMaxFileName);
        return 0;
    }
    return codes::kSyntaxError;
}

int Parser::time_data() {
    const int n = tok_.count() - 1;
    if (n < 1) return codes::kSyntaxError;
    Times& times = net_.times;
    if (match(tok_[0], "STAT")) {
        const std::string_view v = tok_[n];
        if (match(v, "NONE") || match(v, "NO")) {
            times.statistic = Statistic::Series;
        } else if (match(v, "AVERAGE")) {
            times.statistic = Statistic::Average;
        } else if (match(v, "MINIMUM")) {
            times.statistic = Statistic::Minimum;
        } else if (match(v, "MAXIMUM")) {
            times.statistic = Statistic::Maximum;
        } else if (match(v, "RANGE")) {
            times.statistic = Statistic::Range;
        } else {
            return set_error(n, codes::kInvalidOption);
        }
        return 0;
    }

    // A number of hours, h:m:s, or a value followed by its units.
    double y = 0.0;
    if (!to_number(tok_[n], y)) {
        y = tok_.hours(n, "");
        if (y < 0.0) {
            y = tok_.hours(n - 1, tok_[n]);
            if (y < 0.0) return set_error(n - 1, codes::kInvalidOption);
        }
    }
    const long t = to_long_trunc(3600.0 * y + 0.5);

    const std::string_view key = tok_[0];
    if (match(key, "DURA")) {
        times.duration = t;
    } else if (match(key, "HYDR")) {
        times.hydraulic_step = t;
    } else if (match(key, "QUAL")) {
        times.quality_step = t;
    } else if (match(key, "RULE")) {
        times.rule_step = t;
    } else if (match(key, "MINI")) {
        return 0;  // MINIMUM TRAVELTIME, no longer used
    } else if (match(key, "PATT")) {
        if (match(tok_[1], "TIME")) {
            times.pattern_step = t;
        } else if (match(tok_[1], "STAR")) {
            times.pattern_start = t;
        } else {
            return set_error(1, codes::kInvalidOption);
        }
    } else if (match(key, "REPO")) {
        if (match(tok_[1], "TIME")) {
            times.report_step = t;
        } else if (match(tok_[1], "STAR")) {
            times.report_start = t;
        } else {
            return set_error(1, codes::kInvalidOption);
        }
    } else if (match(key, "STAR")) {
        times.start_clock = t % units::kSecondsPerDay;
    } else {
        return set_error(0, codes::kInvalidOption);
    }
    return 0;
}

int Parser::option_data() {
    const int n = tok_.count() - 1;
    const int code = option_choice(n);
    if (code >= 0) return code;
    return option_value(n);
}

int Parser::option_choice(int n) {
    Options& o = net_.options;
    if (n < 0) return codes::kSyntaxError;
    const std::string_view key = tok_[0];
    if (match(key, "UNIT")) {
        if (n < 1) return 0;
        const std::string_view v = tok_[1];
        if (match(v, "CFS")) {
            o.flow_units = FlowUnits::CFS;
        } else if (match(v, "GPM")) {
            o.flow_units = FlowUnits::GPM;
        } else if (match(v, "AFD")) {
            o.flow_units = FlowUnits::AFD;
        } else if (match(v, "MGD")) {
            o.flow_units = FlowUnits::MGD;
        } else if (match(v, "IMGD")) {
            o.flow_units = FlowUnits::IMGD;
        } else if (match(v, "LPS")) {
            o.flow_units = FlowUnits::LPS;
        } else if (match(v, "LPM")) {
            o.flow_units = FlowUnits::LPM;
        } else if (match(v, "CMH")) {
            o.flow_units = FlowUnits::CMH;
        } else if (match(v, "CMD")) {
            o.flow_units = FlowUnits::CMD;
        } else if (match(v, "MLD")) {
            o.flow_units = FlowUnits::MLD;
        } else if (match(v, "SI")) {
            o.flow_units = FlowUnits::LPS;
        } else {
            return set_error(1, codes::kInvalidOption);
        }
    } else if (match(key, "PRESSURE")) {
        if (n < 1) return 0;
        const std::string_view v = tok_[1];
        if (match(v, "EXP")) return -1;  // PRESSURE EXPONENT is a value option
        if (match(v, "PSI")) {
            o.pressure_units = PressureUnits::PSI;
        } else if (match(v, "KPA")) {
            o.pressure_units = PressureUnits::KPA;
        } else if (match(v, "METERS")) {
            o.pressure_units = PressureUnits::Meters;
        } else {
            return set_error(1, codes::kInvalidOption);
        }
    } else if (match(key, "HEADL")) {
        if (n < 1) return 0;
        const std::string_view v = tok_[1];
        if (match(v, "H-W")) {
            o.headloss = HeadLossFormula::HazenWilliams;
        } else if (match(v, "D-W")) {
            o.headloss = HeadLossFormula::DarcyWeisbach;
        } else if (match(v, "C-M")) {
            o.headloss = HeadLossFormula::ChezyManning;
        } else {
            return set_error(1, codes::kInvalidOption);
        }
    } else if (match(key, "HYDR")) {
        if (n < 2) return 0;
        if (match(tok_[1], "USE")) {
            o.hydraulics_file_mode = HydraulicsFile::Use;
        } else if (match(tok_[1], "SAVE")) {
            o.hydraulics_file_mode = HydraulicsFile::Save;
        } else {
            return set_error(1, codes::kInvalidOption);
        }
        o.hydraulics_file = truncated(tok_[2], kMaxFileName);
    } else if (match(key, "QUAL")) {
        if (n < 1) return 0;
        const std::string_view v = tok_[1];
        if (match(v, "NONE")) {
            o.quality = QualityType::None;
        } else if (match(v, "CHEM")) {
            o.quality = QualityType::Chemical;
        } else if (match(v, "AGE")) {
            o.quality = QualityType::Age;
        } else if (match(v, "TRACE")) {
            o.quality = QualityType::Trace;
        } else {
            o.quality = QualityType::Chemical;
            o.chemical_name = truncated(v, kMaxId);
            if (n >= 2) o.chemical_units = truncated(tok_[2], kMaxId);
        }
        if (o.quality == QualityType::Trace) {
            // EPANET copies the trace node's ID over the first token (in place)
            // to name it in an error message.
            tok_.clear_token(0);
            if (n < 2) return codes::kSyntaxError;
            tok_.copy_token(0, 2);
            o.trace_node = find_node(tok_[2]);
            if (o.trace_node == kNoIndex) return set_error(2, codes::kUndefinedTraceNode);
            o.chemical_name = "% from";
            o.chemical_units = truncated(tok_[2], kMaxId);
        }
        if (o.quality == QualityType::Age) {
            o.chemical_name = "AGE";
            o.chemical_units = "hrs";
        }
    } else if (match(key, "MAP")) {
        if (n < 1) return 0;
        o.map_file = truncated(tok_[1], kMaxFileName);
    } else if (match(key, "VERI")) {
        // VERIFY: no longer used.
    } else if (match(key, "UNBA")) {
        if (n < 1) return 0;
        if (match(tok_[1], "STOP")) {
            o.unbalanced_extra_trials = -1;
        } else if (match(tok_[1], "CONT")) {
            // atoi: the long from strtol cut to int.
            o.unbalanced_extra_trials = n >= 2 ? static_cast<int>(to_long(tok_[2])) : 0;
        } else {
            return set_error(1, codes::kInvalidOption);
        }
    } else if (match(key, "PATT")) {
        if (n < 1) return 0;
        default_pattern_id_ = truncated(tok_[1], kMaxId);
    } else if (match(key, "DEMAND")) {
        if (n < 2) return 0;
        if (!match(tok_[1], "MODEL")) return -1;
        if (match(tok_[2], "DDA")) {
            o.demand_model = DemandModel::DemandDriven;
        } else if (match(tok_[2], "PDA")) {
            o.demand_model = DemandModel::PressureDriven;
        } else {
            return set_error(2, codes::kInvalidOption);
        }
    } else {
        return -1;
    }
    return 0;
}

int Parser::option_value(int n) {
    Options& o = net_.options;
    const std::string_view key = tok_[0];
    if (match(key, "SEGM")) return 0;  // SEGMENTS: no longer used

    // Two-word options carry their value in the third token; a missing value
    // is accepted and changes nothing.
    int at = 1;
    if (match(key, "SPEC") || match(key, "EMIT") || match(key, "DEMAND") || match(key, "MINI") ||
        match(key, "REQ") || match(key, "PRESSURE") || match(key, "PREC")) {
        at = 2;
    }
    if (n < at) return 0;
    double y = 0.0;
    if (!to_number(tok_[at], y)) return set_error(at, codes::kIllegalNumber);

    if (match(key, "TOLER")) {
        if (y < 0.0) return set_error(at, codes::kInvalidOption);
        quality_tolerance_ = y;
        return 0;
    }
    if (match(key, "DIFF")) {
        if (y < 0.0) return set_error(at, codes::kInvalidOption);
        diffusivity_ = y;
        return 0;
    }
    if (match(key, "DAMPLIMIT")) {
        o.damp_limit = y;
        return 0;
    }
    if (match(key, "FLOWCHANGE")) {
        if (y < 0.0) return set_error(at, codes::kInvalidOption);
        o.flow_change = y;
        return 0;
    }
    if (match(key, "HEADERROR")) {
        if (y < 0.0) return set_error(at, codes::kInvalidOption);
        o.head_error = y;
        return 0;
    }
    if (match(key, "MINI")) {
        if (y < 0.0) return set_error(at, codes::kInvalidOption);
        if (preq_ == kMinPressureGap) {
            preq_ = y + kMinPressureGap;  // required pressure still at its default
        } else if (preq_ - y < kMinPressureGap) {
            return set_error(at, codes::kIllegalPressureLimits);
        }
        pmin_ = y;
        return 0;
    }
    if (match(key, "REQ")) {
        if (y < 0.0) return set_error(at, codes::kInvalidOption);
        if (y - pmin_ < kMinPressureGap) return set_error(at, codes::kIllegalPressureLimits);
        preq_ = y;
        return 0;
    }
    if (match(key, "PRESSURE")) {
        if (y < 0.0) return set_error(at, codes::kInvalidOption);
        o.pressure_exponent = y;
        return 0;
    }

    if (y <= 0.0) return set_error(at, codes::kInvalidOption);
    if (match(key, "VISC")) {
        viscosity_ = y;
    } else if (match(key, "SPEC")) {
        o.specific_gravity = y;
    } else if (match(key, "TRIAL")) {
        o.max_trials = to_int_trunc(y);
    } else if (match(key, "ACCU")) {
        // EPANET's MAX/MIN macros: a NaN becomes the lower limit.
        y = y >= 1.0e-5 ? y : 1.0e-5;
        y = y <= 1.0e-1 ? y : 1.0e-1;
        o.accuracy = y;
    } else if (match(key, "HTOL")) {
        o.head_tolerance = y;
    } else if (match(key, "QTOL")) {
        o.flow_tolerance = y;
    } else if (match(key, "RQTOL")) {
        if (y >= 1.0) return codes::kInvalidOption;
        o.rq_tolerance = y;
    } else if (match(key, "CHECKFREQ")) {
        o.check_frequency = to_int_trunc(y);
    } else if (match(key, "MAXCHECK")) {
        o.max_check = to_int_trunc(y);
    } else if (match(key, "EMIT")) {
        o.emitter_exponent = y;
        emitter_qexp_ = 1.0 / y;
    } else if (match(key, "DEMAND")) {
        o.demand_multiplier = y;
    } else {
        return codes::kSyntaxError;
    }
    return 0;
}

}  // namespace hydrosk::toolkit::inp
