#include "toolkit/input/reader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <iterator>
#include <memory>
#include <numbers>
#include <sstream>

#include "toolkit/codes.h"
#include "toolkit/curve_interpolation.h"
#include "toolkit/destroy_apart.h"
#include "toolkit/error_messages.h"
#include "toolkit/input/parser.h"
#include "toolkit/portable_math.h"
#include "toolkit/units.h"

namespace hydrosk::toolkit {

namespace inp {

namespace {

constexpr int kMaxErrors = 10;   // EPANET stops reading after this many errors
constexpr double kBig = 1.0e10;  // EPANET's "no limit" for constant-power pumps
constexpr double kTiny = 1.0e-6;

constexpr std::array<std::string_view, 29> kHeadings{
    "[TITLE]",     "[JUNCTIONS]", "[RESERVOIRS]", "[TANKS]",   "[PIPES]",     "[PUMPS]",
    "[VALVES]",    "[CONTROLS]",  "[RULES]",      "[DEMANDS]", "[SOURCES]",   "[EMITTERS]",
    "[PATTERNS]",  "[CURVES]",    "[QUALITY]",    "[STATUS]",  "[ROUGHNESS]", "[ENERGY]",
    "[REACTIONS]", "[MIXING]",    "[REPORT]",     "[TIMES]",   "[OPTIONS]",   "[COORDINATES]",
    "[VERTICES]",  "[LABELS]",    "[BACKDROP]",   "[TAGS]",    "[END]"};

std::string without_line_end(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
    return std::string{text};
}

// EPANET formats this message into the buffer that holds the message text,
// so the text is overwritten by the repeating prefix as it is copied.
std::string unconnected_message(const std::string& id) {
    const std::string prefix = "Error 233: ";
    const std::size_t length = error_message(233).size();
    std::string text = prefix;
    for (std::size_t i = 0; i < length; ++i) text += prefix[i % prefix.size()];
    return text + " " + id;
}

}  // namespace

bool fit_power_function(PumpState& pump, double h0, double h1, double h2, double q1, double q2) {
    if (h0 < kTiny || h0 - h1 < kTiny || h1 - h2 < kTiny || q1 < kTiny || q2 - q1 < kTiny) {
        return false;
    }
    const double a = h0;
    const double h4 = h0 - h1;
    const double h5 = h0 - h2;
    const double c = portable_log(h5 / h4) / portable_log(q2 / q1);
    if (c <= 0.0 || c > 20.0) return false;
    const double b = -h4 / portable_pow(q1, c);
    if (b >= 0.0) return false;
    pump.h0 = -a;
    pump.r = -b;
    pump.n = c;
    pump.q0 = q1;
    pump.q_max = portable_pow(-a / b, 1.0 / c);
    pump.h_max = h0;
    return true;
}

std::string_view section_heading(Section section) {
    const auto i = static_cast<std::size_t>(section);
    return i < kHeadings.size() ? kHeadings[i] : std::string_view{};
}

Section find_section(std::string_view token) {
    for (std::size_t i = 0; i < kHeadings.size(); ++i) {
        if (match(token, kHeadings[i])) return static_cast<Section>(i);
    }
    return Section::None;
}

int Parser::find_node(std::string_view id) const {
    const auto it = net_.node_index.find(std::string{id});
    return it == net_.node_index.end() ? kNoIndex : it->second;
}

int Parser::find_link(std::string_view id) const {
    const auto it = net_.link_index.find(std::string{id});
    return it == net_.link_index.end() ? kNoIndex : it->second;
}

int Parser::find_pattern(std::string_view id) const {
    if (id.empty()) return 0;
    const auto it = net_.pattern_index.find(std::string{id});
    return it == net_.pattern_index.end() ? -1 : it->second + 1;
}

int Parser::find_curve(std::string_view id) const {
    const auto it = net_.curve_index.find(std::string{id});
    return it == net_.curve_index.end() ? 0 : it->second + 1;
}

int Parser::add_node_id(int index, std::string_view id) {
    if (find_node(id) != kNoIndex) return codes::kDuplicateId;
    if (id.size() > kMaxId) return codes::kInvalidIdName;
    const auto i = static_cast<std::size_t>(index);
    node_ids_[i] = std::string{id};
    net_.nodes[i].id = node_ids_[i];
    net_.node_index.emplace(node_ids_[i], index);
    return 0;
}

int Parser::add_link_id(int index, std::string_view id) {
    if (find_link(id) != kNoIndex) return codes::kDuplicateId;
    if (id.size() > kMaxId) return codes::kInvalidIdName;
    const auto i = static_cast<std::size_t>(index);
    link_ids_[i] = std::string{id};
    net_.links[i].id = link_ids_[i];
    net_.link_index.emplace(link_ids_[i], index);
    return 0;
}

int Parser::add_pattern(std::string_view id) {
    if (!net_.patterns.empty()) {
        if (id == net_.patterns.back().id) return 0;
        if (find_pattern(id) > 0) return 0;
    }
    if (id.size() > kMaxId) return codes::kInvalidIdName;
    net_.patterns.push_back(Pattern{std::string{id}, {}});
    net_.pattern_index.emplace(std::string{id}, static_cast<int>(net_.patterns.size()) - 1);
    return 0;
}

int Parser::add_curve(std::string_view id) {
    if (!net_.curves.empty()) {
        if (id == net_.curves.back().id) return 0;
        if (find_curve(id) > 0) return 0;
    }
    if (id.size() > kMaxId) return codes::kInvalidIdName;
    Curve curve;
    curve.id = std::string{id};
    net_.curves.push_back(std::move(curve));
    net_.curve_index.emplace(std::string{id}, static_cast<int>(net_.curves.size()) - 1);
    return 0;
}

int Parser::count_pass(std::string_view text) {
    LineSource source{text, stop_};
    Line line;
    Section section = Section::None;
    int code = 0;
    while (source.next(line)) {
        const std::string_view token = first_token(line.text);
        if (token.empty() || token[0] == ';') continue;
        if (token[0] == '[') {
            const Section s = find_section(token);
            if (s != Section::None) {
                section = s;
                if (section == Section::End) break;
            }
            continue;
        }
        switch (section) {
            case Section::Junctions:
                ++max_juncs_;
                break;
            case Section::Reservoirs:
            case Section::Tanks:
                ++max_tanks_;
                break;
            case Section::Pipes:
                ++max_pipes_;
                break;
            case Section::Pumps:
                ++max_pumps_;
                break;
            case Section::Valves:
                ++max_valves_;
                break;
            case Section::Controls:
                ++max_controls_;
                break;
            case Section::Rules:
                if (match(token, "RULE")) ++max_rules_;
                break;
            case Section::Patterns:
                code = add_pattern(token);
                break;
            case Section::Curves:
                code = add_curve(token);
                break;
            default:
                break;
        }
        if (code != 0) break;
    }
    max_nodes_ = max_juncs_ + max_tanks_;
    max_links_ = max_pipes_ + max_pumps_ + max_valves_;
    if (code == 0) {
        if (max_juncs_ < 1) {
            code = codes::kTooFewNodes;
        } else if (max_tanks_ == 0) {
            code = codes::kNoTankOrReservoir;
        }
    }
    return code;
}

void Parser::report_line_error(int code, Section section, const Line& line) {
    InputError error;
    error.code = code;
    error.line = line.number;
    error.section = std::string{section_heading(section)};
    error.text = without_line_end(line.text);
    error.token = error_token_ >= 0 ? std::string{tok_[error_token_]} : std::string{};
    if (!rule_error_lines_.empty()) {
        error.code = rule_error_;
        error.report_lines = std::move(rule_error_lines_);
        rule_error_lines_.clear();
    }
    // EPANET copies the token into a 256-byte buffer; a longer one runs into
    // the message buffer beside it, which then receives the message text.
    std::string shown = error.token;
    if (shown.size() >= kMaxMsg + 1) {
        shown.resize(kMaxMsg + 1);
        shown += error_message(code);
    }
    std::string message = "Error " + std::to_string(code) + ": ";
    message += error_message(code);
    message += ' ';
    message += shown;
    message += " in ";
    // Before any heading EPANET names a section from outside its table.
    message += section == Section::None ? std::string_view{"(null)"} : section_heading(section);
    message += " section:";
    error.report_lines.push_back(std::move(message));
    error.report_lines.emplace_back(tok_.line());
    error.page_size = net_.report.page_size;
    error.page_title = net_.title_lines.empty() ? std::string{} : net_.title_lines.front();
    result_.errors.push_back(std::move(error));
}

void Parser::add_object_error(int code, std::string message, const std::string& id) {
    InputError error;
    error.code = code;
    error.text = id;
    error.report_lines.push_back(std::move(message));
    error.page_size = net_.report.page_size;
    error.page_title = net_.title_lines.empty() ? std::string{} : net_.title_lines.front();
    result_.errors.push_back(std::move(error));
}

int Parser::read_line(Section section) {
    switch (section) {
        case Section::Title:
            if (net_.title_lines.size() < 3) {
                // EPANET drops the LF; the CR of a CR LF file is dropped too.
                std::string_view t = tok_.line();
                if (!t.empty() && t.back() == '\n') t.remove_suffix(1);
                if (!t.empty() && t.back() == '\r') t.remove_suffix(1);
                net_.title_lines.emplace_back(t.substr(0, 79));
            }
            return 0;
        case Section::Junctions:
            return junction_data();
        case Section::Reservoirs:
        case Section::Tanks:
            return tank_data();
        case Section::Pipes:
            return pipe_data();
        case Section::Pumps:
            return pump_data();
        case Section::Valves:
            return valve_data();
        case Section::Patterns:
            return pattern_data();
        case Section::Curves:
            return curve_data();
        case Section::Demands:
            return demand_data();
        case Section::Controls:
            return control_data();
        case Section::Rules:
            return rule_data();
        case Section::Sources:
            return source_data();
        case Section::Emitters:
            return emitter_data();
        case Section::Quality:
            return quality_data();
        case Section::Status:
            return status_data();
        case Section::Energy:
            return energy_data();
        case Section::Reactions:
            return reaction_data();
        case Section::Mixing:
            return mixing_data();
        case Section::Report:
            return report_data();
        case Section::Times:
            return time_data();
        case Section::Options:
            return option_data();
        case Section::Coordinates:
            return coordinate_data();
        case Section::Vertices:
            return vertex_data();
        case Section::Roughness:
        case Section::Labels:
        case Section::Backdrop:
        case Section::Tags:
            return 0;
        case Section::End:
        case Section::None:
            break;
    }
    return codes::kSyntaxError;
}

int Parser::data_pass(std::string_view text) {
    LineSource source{text, stop_};
    Line line;
    Section section = Section::None;
    int errors = 0;
    while (source.next(line)) {
        tok_.tokenize(line.raw);
        error_token_ = -1;
        if (tok_.overran()) {
            result_.warnings.push_back(
                "line " + std::to_string(line.number) +
                ": after a quoted token with a blank inside, EPANET 2.2 reads on into leftover "
                "memory; its reading of this line may differ");
        }
        if (tok_.count() == 0) continue;
        const std::string_view first = tok_[0];
        if (!first.empty() && first[0] == '[') {
            const Section s = find_section(first);
            if (s != Section::None) {
                section = s;
                if (section == Section::End) break;
                continue;
            }
            report_line_error(201, section, line);
            ++errors;
            break;
        }
        if (section == Section::None) {
            // Data before any heading: EPANET stops with code 200 and no message.
            InputError error;
            error.code = codes::kInputErrors;
            error.line = line.number;
            error.text = without_line_end(line.text);
            result_.errors.push_back(std::move(error));
            return codes::kInputErrors;
        }
        const int code = read_line(section);
        if (code > 0) {
            report_line_error(code, section, line);
            ++errors;
        }
        if (errors == kMaxErrors) break;
    }
    return errors > 0 ? codes::kInputErrors : 0;
}

int Parser::check_unlinked() {
    std::vector<int> marked(net_.nodes.size(), 0);
    for (int k = 0; k < nlinks_; ++k) {
        const Link& link = net_.links[static_cast<std::size_t>(k)];
        if (link.from >= 0) ++marked[static_cast<std::size_t>(link.from)];
        if (link.to >= 0) ++marked[static_cast<std::size_t>(link.to)];
    }
    int count = 0;
    for (int i = 0; i < njuncs_; ++i) {
        if (marked[static_cast<std::size_t>(i)] == 0) {
            ++count;
            const std::string& id = node_ids_[static_cast<std::size_t>(i)];
            add_object_error(codes::kUnconnectedNode, unconnected_message(id), id);
        }
        if (count >= kMaxErrors) break;
    }
    return count > 0 ? codes::kInputErrors : 0;
}

int Parser::update_pump(int k) {
    Link& link = net_.links[static_cast<std::size_t>(k)];
    PumpState& pump = pumps_[static_cast<std::size_t>(k)];
    if (pump.kind == PumpInput::ConstantPower) {
        pump.h0 = 0.0;
        pump.r = -8.814 * link.power;
        pump.n = -1.0;
        pump.h_max = kBig;
        pump.q_max = kBig;
        pump.q0 = 1.0;
        return 0;
    }
    if (pump.kind != PumpInput::NoCurve) return 0;
    if (link.head_curve == kNoIndex) return codes::kNoPumpCurve;
    Curve& curve = net_.curves[static_cast<std::size_t>(link.head_curve)];
    curve.kind = CurveKind::Pump;
    const std::vector<double>& x = curve.x;
    const std::vector<double>& y = curve.y;
    const std::size_t npts = x.size();
    double h0 = 0.0, h1 = 0.0, h2 = 0.0, q1 = 0.0, q2 = 0.0;
    if (npts == 1) {
        pump.kind = PumpInput::PowerFunction;
        q1 = x[0];
        h1 = y[0];
        h0 = 1.33334 * h1;
        q2 = 2.0 * q1;
        h2 = 0.0;
    } else if (npts == 3 && x[0] == 0.0) {
        pump.kind = PumpInput::PowerFunction;
        h0 = y[0];
        q1 = x[1];
        h1 = y[1];
        q2 = x[2];
        h2 = y[2];
    } else {
        // EPANET reads a curve without points out of bounds; refused here.
        if (npts == 0) return codes::kInvalidPumpCurve;
        pump.kind = PumpInput::Custom;
        for (std::size_t m = 1; m < npts; ++m) {
            if (y[m] >= y[m - 1]) return codes::kInvalidPumpCurve;
        }
        pump.q_max = x[npts - 1];
        pump.q0 = (x[0] + pump.q_max) / 2.0;
        pump.h_max = y[0];
        return 0;
    }
    return fit_power_function(pump, h0, h1, h2, q1, q2) ? 0 : codes::kInvalidPumpCurve;
}

int Parser::fit_pumps() {
    for (const int k : pump_links_) {
        const int code = update_pump(k);
        if (code != 0) {
            const std::string& id = link_ids_[static_cast<std::size_t>(k)];
            add_object_error(code,
                             "Error " + std::to_string(code) + ": " +
                                 std::string{error_message(code)} + " " + id,
                             id);
            return codes::kInputErrors;
        }
    }
    return 0;
}

void Parser::adjust() {
    Times& t = net_.times;
    Options& o = net_.options;
    if (t.pattern_step <= 0) t.pattern_step = 3600;
    if (t.report_step == 0) t.report_step = t.pattern_step;
    if (t.hydraulic_step <= 0) t.hydraulic_step = 3600;
    if (t.hydraulic_step > t.pattern_step) t.hydraulic_step = t.pattern_step;
    if (t.hydraulic_step > t.report_step) t.hydraulic_step = t.report_step;
    if (t.report_start > t.duration) t.report_start = 0;
    if (t.duration == 0) o.quality = QualityType::None;
    if (t.quality_step == 0) t.quality_step = t.hydraulic_step / 10;
    if (t.rule_step == 0) t.rule_step = t.hydraulic_step / 10;
    t.rule_step = std::min(t.rule_step, t.hydraulic_step);
    t.quality_step = std::min(t.quality_step, t.hydraulic_step);
    o.quality_tolerance = quality_tolerance_ == kMissing ? 0.01 : quality_tolerance_;

    switch (o.flow_units) {
        case FlowUnits::LPS:
        case FlowUnits::LPM:
        case FlowUnits::MLD:
        case FlowUnits::CMH:
        case FlowUnits::CMD:
            o.unit_system = UnitSystem::SI;
            break;
        default:
            o.unit_system = UnitSystem::US;
    }
    if (o.unit_system != UnitSystem::SI) {
        o.pressure_units = PressureUnits::PSI;
    } else if (o.pressure_units == PressureUnits::PSI) {
        o.pressure_units = PressureUnits::Meters;
    }

    // Viscosity and diffusivity: above a threshold a multiple of water's,
    // otherwise an actual value in ft^2/s or m^2/s.
    const double ucf =
        o.unit_system == UnitSystem::SI ? units::kMetresPerFoot * units::kMetresPerFoot : 1.0;
    constexpr double kWaterViscosity = 1.1e-5;
    constexpr double kChlorineDiffusivity = 1.3e-8;
    if (viscosity_ == kMissing) {
        o.viscosity = kWaterViscosity;
    } else if (viscosity_ > 1.0e-3) {
        o.viscosity = viscosity_ * kWaterViscosity;
    } else {
        o.viscosity = viscosity_ / ucf;
    }
    if (diffusivity_ == kMissing) {
        o.diffusivity = kChlorineDiffusivity;
    } else if (diffusivity_ > 1.0e-4) {
        o.diffusivity = diffusivity_ * kChlorineDiffusivity;
    } else {
        o.diffusivity = diffusivity_ / ucf;
    }
    o.headloss_exponent = o.headloss == HeadLossFormula::HazenWilliams ? 1.852 : 2.0;

    o.default_pattern_id = default_pattern_id_;
    const int p = find_pattern(default_pattern_id_);
    o.default_pattern = p > 0 ? p - 1 : kNoIndex;
    if (p > 0) {
        for (Node& node : net_.nodes) {
            for (Demand& d : node.demands) {
                if (d.pattern == kNoIndex) d.pattern = p - 1;
            }
        }
    }
}

int Parser::check_tanks() {
    int code = 0;
    for (TankInput& tank : tanks_) {
        if (tank.diameter == 0.0) continue;  // reservoir
        bool bad = tank.h0 > tank.hmax || tank.hmin > tank.hmax || tank.h0 < tank.hmin;
        const int c = net_.nodes[static_cast<std::size_t>(tank.node)].volume_curve;
        if (c != kNoIndex) {
            const Curve& curve = net_.curves[static_cast<std::size_t>(c)];
            const std::size_t n = curve.x.size();
            // EPANET reads an empty curve out of bounds; refused here.
            if (n == 0 || tank.hmin < curve.x[0] || tank.hmax > curve.x[n - 1]) {
                bad = true;
            } else {
                tank.vmin = interpolate(curve.x, curve.y, tank.hmin);
                tank.vmax = interpolate(curve.x, curve.y, tank.hmax);
                tank.v0 = interpolate(curve.x, curve.y, tank.h0);
                const double a = (curve.y[n - 1] - curve.y[0]) / (curve.x[n - 1] - curve.x[0]);
                tank.diameter = std::sqrt(4.0 * a / std::numbers::pi);
            }
        }
        if (bad) {
            const std::string& id = node_ids_[static_cast<std::size_t>(tank.node)];
            add_object_error(codes::kInvalidTankLevels,
                             "Error 225: " + std::string{error_message(225)} + " node " + id, id);
            code = codes::kInputErrors;
        }
    }
    return code;
}

void Parser::convert() {
    Options& o = net_.options;
    UnitFactors& u = net_.units;
    u = unit_factors(o);
    u.time = net_.times.hydraulic_step < 1800 ? 1.0 / 60.0 : 1.0 / 3600.0;

    for (Node& node : net_.nodes) node.elevation /= u.elevation;
    for (int i = 0; i < njuncs_; ++i) {
        for (Demand& d : net_.nodes[static_cast<std::size_t>(i)].demands) d.base /= u.demand;
    }
    o.minimum_pressure = pmin_ / u.pressure;
    o.required_pressure = preq_ / u.pressure;

    // Emitters: EPANET's head-loss form h = Ke q^qexp.
    const double qexp = emitter_qexp_;
    const double ke_factor = portable_pow(u.flow, qexp) / u.pressure;
    for (int i = 0; i < njuncs_; ++i) {
        Node& node = net_.nodes[static_cast<std::size_t>(i)];
        if (node.emitter_coeff_input > 0.0) {
            node.emitter_resistance = ke_factor / portable_pow(node.emitter_coeff_input, qexp);
            node.emitter_coeff =
                node.emitter_coeff_input * portable_pow(u.pressure, 1.0 / qexp) / u.flow;
        }
    }

    for (const TankInput& tank : tanks_) {
        Node& node = net_.nodes[static_cast<std::size_t>(tank.node)];
        node.initial_level = tank.h0 / u.elevation;
        node.min_level = tank.hmin / u.elevation;
        node.max_level = tank.hmax / u.elevation;
        node.initial_head = node.elevation + tank.h0 / u.elevation;
        node.min_head = node.elevation + tank.hmin / u.elevation;
        node.max_head = node.elevation + tank.hmax / u.elevation;
        node.diameter = tank.diameter / u.elevation;
        node.area = std::numbers::pi * (node.diameter * node.diameter) / 4.0;  // EPANET rounds so
        node.initial_volume = tank.v0 / u.volume;
        node.min_volume = tank.vmin / u.volume;
        node.max_volume = tank.vmax / u.volume;
    }

    o.flow_change /= u.flow;
    o.head_error /= u.head;

    for (int k = 0; k < nlinks_; ++k) {
        Link& link = net_.links[static_cast<std::size_t>(k)];
        if (link.type == LinkType::CVPipe || link.type == LinkType::Pipe) {
            if (o.headloss == HeadLossFormula::DarcyWeisbach) {
                link.roughness /= 1000.0 * u.elevation;
            }
            link.diameter /= u.diameter;
            link.length /= u.length;
            link.initial_setting = link.roughness;
        } else if (link.type == LinkType::Pump) {
            const PumpState& pump = pumps_[static_cast<std::size_t>(k)];
            link.pump_kind = pump.kind == PumpInput::ConstantPower   ? PumpKind::ConstantPower
                             : pump.kind == PumpInput::PowerFunction ? PumpKind::PowerFunction
                                                                     : PumpKind::Custom;
            if (pump.kind == PumpInput::ConstantPower) {
                link.h0 = -pump.h0;
                link.r = pump.r;
                if (o.unit_system == UnitSystem::SI) link.r /= u.power;
                link.n = pump.n;
                link.q0 = pump.q0;
                link.q_max = pump.q_max;
                link.h_max = pump.h_max;
            } else {
                if (pump.kind == PumpInput::PowerFunction) {
                    link.h0 = -(pump.h0 / u.head);
                    link.r = pump.r * (portable_pow(u.flow, pump.n) / u.head);
                    link.n = pump.n;
                } else {
                    link.h0 = 0.0;
                    link.r = 0.0;
                    link.n = 1.0;
                }
                link.q0 = pump.q0 / u.flow;
                link.q_max = pump.q_max / u.flow;
                link.h_max = pump.h_max / u.head;
            }
        } else {
            link.diameter /= u.diameter;
            if (link.initial_setting != kMissing) {
                switch (link.type) {
                    case LinkType::FCV:
                        link.initial_setting /= u.flow;
                        break;
                    case LinkType::PRV:
                    case LinkType::PSV:
                    case LinkType::PBV:
                        link.initial_setting /= u.pressure;
                        break;
                    default:
                        break;
                }
            }
        }
    }

    for (Control& control : net_.controls) {
        const Link& link = net_.links[static_cast<std::size_t>(control.link)];
        if (control.node != kNoIndex) {
            const Node& node = net_.nodes[static_cast<std::size_t>(control.node)];
            control.grade = control.node >= njuncs_ ? node.elevation + control.grade / u.elevation
                                                    : node.elevation + control.grade / u.pressure;
        }
        if (control.setting != kMissing) {
            switch (link.type) {
                case LinkType::PRV:
                case LinkType::PSV:
                case LinkType::PBV:
                    control.setting /= u.pressure;
                    break;
                case LinkType::FCV:
                    control.setting /= u.flow;
                    break;
                default:
                    break;
            }
        }
        control.has_setting = control.setting != kMissing;
    }
}

void Parser::run(std::string_view text) {
    const int counted = count_pass(text);
    if (counted != 0) {
        result_.code = counted;
        return;
    }

    // The ID tables sized at once: growing a table of millions of IDs rehashes every one of
    // them, seconds of work that no stop request could interrupt.
    net_.node_index.reserve(static_cast<std::size_t>(max_nodes_));
    net_.link_index.reserve(static_cast<std::size_t>(max_links_));
    GrowTo(net_.nodes, static_cast<std::size_t>(max_nodes_), stop_);
    GrowTo(net_.links, static_cast<std::size_t>(max_links_), stop_);
    // EPANET's unread link slots are zeroed: type CV pipe.
    for (Link& link : net_.links) link.type = LinkType::CVPipe;
    GrowTo(node_ids_, net_.nodes.size(), stop_);
    GrowTo(link_ids_, net_.links.size(), stop_);
    demand_replaceable_.assign(net_.nodes.size(), false);
    GrowTo(pumps_, net_.links.size(), stop_);
    // Time steps EPANET leaves at 0 until it adjusts them.
    net_.times.quality_step = 0;
    net_.times.rule_step = 0;

    int code = data_pass(text);
    result_.report_messages = net_.report.messages;
    result_.report_page_size = net_.report.page_size;
    result_.report_title = net_.title_lines.empty() ? std::string{} : net_.title_lines.front();
    if (code == 0 && njuncs_ != max_juncs_) {
        // Only a quoted section heading makes the two passes disagree; EPANET
        // would then number nodes past its junction count.
        result_.warnings.emplace_back(
            "the counting and reading passes found different numbers of junctions");
        InputError error;
        error.code = codes::kInputErrors;
        result_.errors.push_back(std::move(error));
        code = codes::kInputErrors;
    }
    ThrowIfStopRequested(stop_);
    if (code == 0) code = check_unlinked();
    if (code == 0) code = fit_pumps();
    ThrowIfStopRequested(stop_);
    if (code == 0) adjust();
    if (code == 0) code = check_tanks();
    ThrowIfStopRequested(stop_);
    if (code == 0) {
        net_.nodes.resize(static_cast<std::size_t>(njuncs_ + ntanks_));
        net_.links.resize(static_cast<std::size_t>(nlinks_));
        net_.junction_count = njuncs_;
        net_.tank_count = ntanks_;
        net_.title = net_.title_lines.empty() ? std::string{} : net_.title_lines.front();
        convert();
        result_.network = std::make_shared<Network>(std::move(net_));
    }
    result_.code = code;
}

}  // namespace inp

InputResult read_inp_text(std::string_view text, StopRequest stop) {
    InputResult result;
    auto parser = std::make_unique<inp::Parser>(result, stop);
    try {
        parser->run(text);
    } catch (const SolveStopped&) {
        DestroyApart(std::move(parser));  // what it read so far
        throw;
    }
    return result;
}

InputResult read_inp_file(const std::filesystem::path& path, StopRequest stop) {
    // Only a regular file is read: a FIFO would block and a device such as
    // /dev/zero never end.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        InputResult result;
        result.code = codes::kCannotOpenInput;
        return result;
    }
    std::ifstream in{path, std::ios::binary};
    if (!in) {
        InputResult result;
        result.code = codes::kCannotOpenInput;
        return result;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return read_inp_text(buffer.str(), stop);
}

std::vector<std::string> input_report_lines(const InputResult& result) {
    std::vector<std::string> lines;
    // A file that cannot be opened leaves no report (EPANET has not opened it yet).
    if (result.code >= 301) return lines;
    for (const InputError& error : result.errors) {
        lines.insert(lines.end(), error.report_lines.begin(), error.report_lines.end());
    }
    if (result.code > 100 && result.report_messages) {
        lines.push_back("Error " + std::to_string(result.code) + ": " +
                        std::string{error_message(result.code)});
    }
    return lines;
}

namespace {

// EPANET's writeline: a page break when the line count reaches the page size.
void write_report_line(std::ostream& report, const std::string& line, int page_size,
                       const std::string& title, ReportPage& page) {
    if (page.line == page_size) {
        ++page.page;
        std::string heading = title.substr(0, std::min<std::size_t>(title.size(), 60));
        heading.insert(0, 60 - heading.size(), ' ');
        report << "\n\f\n  Page " << page.page << "    " << heading << "\n";
        page.line = 3;
    }
    report << "\n  " << line;
    ++page.line;
}

}  // namespace

void write_input_report(std::ostream& report, const InputResult& result, ReportPage& page) {
    if (result.code >= 301) return;
    for (const InputError& error : result.errors) {
        for (const std::string& line : error.report_lines) {
            write_report_line(report, line, error.page_size, error.page_title, page);
        }
    }
    if (result.code > 100 && result.report_messages) {
        write_report_line(
            report,
            "Error " + std::to_string(result.code) + ": " + std::string{error_message(result.code)},
            result.report_page_size, result.report_title, page);
    }
}

void write_input_report(std::ostream& report, const InputResult& result) {
    ReportPage page;
    write_input_report(report, result, page);
}

}  // namespace hydrosk::toolkit
