// Network data sections of the INP reader, checked in EPANET 2.2's order so
// that a faulty line gives EPANET's code for its first fault.
#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <string>

#include "toolkit/codes.h"
#include "toolkit/input/parser.h"

namespace hydrosk::toolkit::inp {

namespace {

int pattern_index(int epanet_pattern) {
    return epanet_pattern > 0 ? epanet_pattern - 1 : kNoIndex;
}

// strcmp's order (bytes compared as unsigned char).
int compare(std::string_view a, std::string_view b) {
    return a.compare(b);
}

std::string truncated(std::string_view text, std::size_t n) {
    return std::string{text.substr(0, std::min(n, text.size()))};
}

}  // namespace

int Parser::junction_data() {
    const int n = tok_.count();
    // EPANET checks only the node total; the junction check keeps a junction
    // out of the tank slots when the passes disagree.
    if (nnodes_ == max_nodes_ || njuncs_ == max_juncs_) return codes::kInputErrors;
    ++njuncs_;
    ++nnodes_;
    const int index = njuncs_ - 1;
    if (const int err = add_node_id(index, tok_[0])) return set_error(0, err);
    if (n < 2) return codes::kSyntaxError;
    double elevation = 0.0;
    double demand = 0.0;
    int pattern = 0;
    if (!to_number(tok_[1], elevation)) return set_error(1, codes::kIllegalNumber);
    if (n >= 3 && !to_number(tok_[2], demand)) return set_error(2, codes::kIllegalNumber);
    if (n >= 4) {
        pattern = find_pattern(tok_[3]);
        if (pattern < 0) return set_error(3, codes::kUndefinedPattern);
    }
    Node& node = net_.nodes[static_cast<std::size_t>(index)];
    node.type = NodeType::Junction;
    node.elevation = elevation;
    node.demands.push_back(Demand{demand, pattern_index(pattern), {}});
    // EPANET marks the demand as replaceable by storing it; a demand equal to
    // its missing-value marker is therefore not replaced by [DEMANDS].
    demand_replaceable_[static_cast<std::size_t>(index)] = demand != kMissing;
    return 0;
}

int Parser::tank_data() {
    const int n = tok_.count();
    if (ntanks_ == max_tanks_ || nnodes_ == max_nodes_) return codes::kInputErrors;
    ++ntanks_;
    ++nnodes_;
    const int index = max_juncs_ + ntanks_ - 1;
    if (const int err = add_node_id(index, tok_[0])) return set_error(0, err);
    if (n < 2) return codes::kSyntaxError;

    double elevation = 0.0, init = 0.0, min = 0.0, max = 0.0, diameter = 0.0, min_volume = 0.0;
    int pattern = 0;
    int curve = 0;
    bool overflow = false;
    if (!to_number(tok_[1], elevation)) return set_error(1, codes::kIllegalNumber);
    if (n <= 3) {
        if (n == 3) {
            pattern = find_pattern(tok_[2]);
            if (pattern < 0) return set_error(2, codes::kUndefinedPattern);
        }
    } else if (n < 6) {
        return codes::kSyntaxError;
    } else {
        if (!to_number(tok_[2], init)) return set_error(2, codes::kIllegalNumber);
        if (!to_number(tok_[3], min)) return set_error(3, codes::kIllegalNumber);
        if (!to_number(tok_[4], max)) return set_error(4, codes::kIllegalNumber);
        if (!to_number(tok_[5], diameter)) return set_error(5, codes::kIllegalNumber);
        if (n >= 7 && !to_number(tok_[6], min_volume)) return set_error(6, codes::kIllegalNumber);
        if (n >= 8 && !tok_[7].empty() && tok_[7][0] != '*') {
            curve = find_curve(tok_[7]);
            if (curve == 0) return set_error(7, codes::kUndefinedCurve);
            net_.curves[static_cast<std::size_t>(curve - 1)].kind = CurveKind::Volume;
        }
        if (n >= 9) {
            if (match(tok_[8], "YES")) {
                overflow = true;
            } else if (match(tok_[8], "NO")) {
                overflow = false;
            } else {
                return set_error(8, codes::kInvalidOption);
            }
        }
        if (init < 0.0) return set_error(2, codes::kIllegalNodeValue);
        if (min < 0.0) return set_error(3, codes::kIllegalNodeValue);
        if (max < 0.0) return set_error(4, codes::kIllegalNodeValue);
        if (diameter < 0.0) return set_error(5, codes::kIllegalNodeValue);
        if (min_volume < 0.0) return set_error(6, codes::kIllegalNodeValue);
    }

    Node& node = net_.nodes[static_cast<std::size_t>(index)];
    node.elevation = elevation;
    node.type = diameter == 0.0 ? NodeType::Reservoir : NodeType::Tank;
    node.head_pattern = pattern_index(pattern);
    node.volume_curve = curve > 0 ? curve - 1 : kNoIndex;
    node.can_overflow = overflow;

    // Volumes from the nominal diameter (user units); a volume curve replaces
    // them after reading.
    TankInput tank;
    tank.node = index;
    tank.h0 = init;
    tank.hmin = min;
    tank.hmax = max;
    tank.diameter = diameter;
    const double area = std::numbers::pi * (diameter * diameter) / 4.0;  // EPANET rounds so
    tank.vmin = area * min;
    if (min_volume > 0.0) tank.vmin = min_volume;
    tank.v0 = tank.vmin + area * (init - min);
    tank.vmax = tank.vmin + area * (max - min);
    tanks_.push_back(tank);
    return 0;
}

int Parser::link_ends(int& kind_count, int kind_limit, int min_tokens, LinkEnds& ends) {
    if (nlinks_ == max_links_ || kind_count == kind_limit) return codes::kInputErrors;
    ++kind_count;
    ++nlinks_;
    ends.index = nlinks_ - 1;
    if (const int err = add_link_id(ends.index, tok_[0])) return set_error(0, err);
    if (tok_.count() < min_tokens) return codes::kSyntaxError;
    ends.from = find_node(tok_[1]);
    if (ends.from == kNoIndex) return set_error(1, codes::kUndefinedNode);
    ends.to = find_node(tok_[2]);
    if (ends.to == kNoIndex) return set_error(2, codes::kUndefinedNode);
    if (ends.from == ends.to) return set_error(0, codes::kSameStartAndEnd);
    return 0;
}

int Parser::pipe_data() {
    const int n = tok_.count();
    LinkEnds ends;
    if (const int err = link_ends(npipes_, -1, 6, ends)) return err;
    const auto [index, from, to] = ends;

    double length = 0.0, diameter = 0.0, roughness = 0.0, minor = 0.0;
    LinkType type = LinkType::Pipe;
    LinkStatus status = LinkStatus::Open;
    if (!to_number(tok_[3], length)) return set_error(3, codes::kIllegalNumber);
    if (length <= 0.0) return set_error(3, codes::kIllegalLinkValue);
    if (!to_number(tok_[4], diameter)) return set_error(4, codes::kIllegalNumber);
    if (diameter <= 0.0) return set_error(4, codes::kIllegalLinkValue);
    if (!to_number(tok_[5], roughness)) return set_error(5, codes::kIllegalNumber);
    // EPANET marks a non-positive roughness but does not refuse the line.
    if (roughness <= 0.0) set_error(5, codes::kIllegalLinkValue);

    if (n == 7) {
        if (match(tok_[6], "CV")) {
            type = LinkType::CVPipe;
        } else if (match(tok_[6], "CLOSED")) {
            status = LinkStatus::Closed;
        } else if (match(tok_[6], "OPEN")) {
            status = LinkStatus::Open;
        } else if (!to_number(tok_[6], minor)) {
            return set_error(6, codes::kIllegalNumber);
        }
    }
    if (n == 8) {
        if (!to_number(tok_[6], minor)) return set_error(6, codes::kIllegalNumber);
        if (match(tok_[7], "CV")) {
            type = LinkType::CVPipe;
        } else if (match(tok_[7], "CLOSED")) {
            status = LinkStatus::Closed;
        } else if (match(tok_[7], "OPEN")) {
            status = LinkStatus::Open;
        } else {
            return set_error(7, codes::kInvalidOption);
        }
    }
    if (minor < 0.0) return set_error(6, codes::kIllegalLinkValue);

    Link& link = net_.links[static_cast<std::size_t>(index)];
    link.type = type;
    link.from = from;
    link.to = to;
    link.length = length;
    link.diameter = diameter;
    link.roughness = roughness;
    link.initial_setting = roughness;
    link.minor_loss = minor;
    link.initial_status = status;
    return 0;
}

int Parser::pump_numeric_curve(int values) {
    // The pre-2.0 format: power, or one or three (head, flow) points.
    const std::size_t k = static_cast<std::size_t>(nlinks_ - 1);
    Link& link = net_.links[k];
    PumpState& pump = pumps_[k];
    const std::vector<double>& x = numbers_;
    if (values == 1) {
        if (x[0] <= 0.0) return codes::kIllegalNumber;
        pump.kind = PumpInput::ConstantPower;
        link.power = x[0];
        return 0;
    }
    double h0 = 0.0, h1 = 0.0, h2 = 0.0, q1 = 0.0, q2 = 0.0;
    if (values == 2) {
        q1 = x[1];
        h1 = x[0];
        h0 = 1.33334 * h1;
        q2 = 2.0 * q1;
        h2 = 0.0;
    } else if (values >= 5) {
        h0 = x[0];
        h1 = x[1];
        q1 = x[2];
        h2 = x[3];
        q2 = x[4];
    } else {
        return codes::kIllegalNumber;
    }
    pump.kind = PumpInput::PowerFunction;
    return fit_power_function(pump, h0, h1, h2, q1, q2) ? 0 : codes::kUndefinedCurve;
}

int Parser::pump_data() {
    const int n = tok_.count();
    LinkEnds ends;
    if (const int err = link_ends(npumps_, max_pumps_, 3, ends)) return err;
    const auto [index, from, to] = ends;

    Link& link = net_.links[static_cast<std::size_t>(index)];
    link.type = LinkType::Pump;
    link.from = from;
    link.to = to;
    link.initial_setting = 1.0;  // relative speed
    link.initial_status = LinkStatus::Open;
    pump_links_.push_back(index);
    if (n < 4) return 0;

    numbers_.assign(static_cast<std::size_t>(kMaxTokens), 0.0);
    if (is_number_text(tok_[3])) {
        if (!to_number(tok_[3], numbers_[0])) return set_error(3, codes::kIllegalNumber);
        int m = 1;
        for (int j = 4; j < n; ++j) {
            if (!to_number(tok_[j], numbers_[static_cast<std::size_t>(m)]))
                return set_error(j, codes::kIllegalNumber);
            ++m;
        }
        return pump_numeric_curve(m);
    }

    // Keyword and value pairs.
    PumpState& pump = pumps_[static_cast<std::size_t>(index)];
    for (int m = 4; m < n; m += 2) {
        const std::string_view key = tok_[m - 1];
        if (match(key, "POWER")) {
            const double y = leading_number(tok_[m]);
            if (y <= 0.0 || !std::isfinite(y)) return set_error(m, codes::kIllegalNumber);
            pump.kind = PumpInput::ConstantPower;
            link.power = y;
        } else if (match(key, "HEAD")) {
            const int c = find_curve(tok_[m]);
            if (c == 0) return set_error(m, codes::kUndefinedCurve);
            link.head_curve = c - 1;
        } else if (match(key, "PATT")) {
            const int p = find_pattern(tok_[m]);
            if (p < 0) return set_error(m, codes::kUndefinedPattern);
            link.speed_pattern = pattern_index(p);
        } else if (match(key, "SPEE")) {
            double y = 0.0;
            if (!to_number(tok_[m], y)) return set_error(m, codes::kIllegalNumber);
            if (y < 0.0) return set_error(m, codes::kIllegalLinkValue);
            link.initial_setting = y;
        } else {
            return codes::kSyntaxError;
        }
    }
    return 0;
}

bool Parser::valve_conflict(LinkType type, int n1, int n2) const {
    if (type != LinkType::PRV && type != LinkType::PSV && type != LinkType::FCV) return false;
    if (!is_junction(n1) || !is_junction(n2)) return true;
    for (const int k : valve_links_) {
        const Link& v = net_.links[static_cast<std::size_t>(k)];
        const int v1 = v.from;
        const int v2 = v.to;
        const LinkType vt = v.type;
        // Two PRVs may not share a downstream node nor be in series; two PSVs
        // not share an upstream node nor be in series.
        if (vt == LinkType::PRV && type == LinkType::PRV) {
            if (v2 == n2 || v2 == n1 || v1 == n2) return true;
        }
        if (vt == LinkType::PSV && type == LinkType::PSV) {
            if (v1 == n1 || v1 == n2 || v2 == n1) return true;
        }
        if (vt == LinkType::PSV && type == LinkType::PRV && v1 == n2) return true;
        if (vt == LinkType::PRV && type == LinkType::PSV && v2 == n1) return true;
        if (vt == LinkType::FCV && type == LinkType::PSV && v2 == n1) return true;
        if (vt == LinkType::FCV && type == LinkType::PRV && v1 == n2) return true;
        if (vt == LinkType::PSV && type == LinkType::FCV && v1 == n2) return true;
        if (vt == LinkType::PRV && type == LinkType::FCV && v2 == n1) return true;
    }
    return false;
}

int Parser::valve_data() {
    const int n = tok_.count();
    LinkEnds ends;
    if (const int err = link_ends(nvalves_, max_valves_, 6, ends)) return err;
    const auto [index, from, to] = ends;

    LinkType type = LinkType::PRV;
    const std::string_view kind = tok_[4];
    if (match(kind, "PRV")) {
        type = LinkType::PRV;
    } else if (match(kind, "PSV")) {
        type = LinkType::PSV;
    } else if (match(kind, "PBV")) {
        type = LinkType::PBV;
    } else if (match(kind, "FCV")) {
        type = LinkType::FCV;
    } else if (match(kind, "TCV")) {
        type = LinkType::TCV;
    } else if (match(kind, "GPV")) {
        type = LinkType::GPV;
    } else {
        return set_error(4, codes::kInvalidOption);
    }

    double diameter = 0.0, setting = 0.0, minor = 0.0;
    LinkStatus status = LinkStatus::Active;
    int curve = kNoIndex;
    if (!to_number(tok_[3], diameter)) return set_error(3, codes::kIllegalNumber);
    if (diameter <= 0.0) return set_error(3, codes::kIllegalLinkValue);
    if (type == LinkType::GPV) {
        const int c = find_curve(tok_[5]);
        if (c == 0) return set_error(5, codes::kUndefinedCurve);
        curve = c - 1;
        setting = curve;
        net_.curves[static_cast<std::size_t>(curve)].kind = CurveKind::HeadLoss;
        status = LinkStatus::Open;
    } else if (!to_number(tok_[5], setting)) {
        return set_error(5, codes::kIllegalNumber);
    }
    if (n >= 7 && !to_number(tok_[6], minor)) return set_error(6, codes::kIllegalNumber);

    if (valve_conflict(type, from, to)) {
        if (!is_junction(from)) return set_error(1, codes::kValveToTank);
        if (!is_junction(to)) return set_error(2, codes::kValveToTank);
        return set_error(-1, codes::kValveToValve);
    }

    Link& link = net_.links[static_cast<std::size_t>(index)];
    link.type = type;
    link.from = from;
    link.to = to;
    link.diameter = diameter;
    link.initial_setting = setting;
    link.head_curve = curve;
    link.minor_loss = minor;
    link.initial_status = status;
    valve_links_.push_back(index);
    return 0;
}

int Parser::pattern_data() {
    const int n = tok_.count() - 1;
    if (n < 1) return codes::kSyntaxError;
    int index = previous_pattern_;
    if (index < 0 || tok_[0] != net_.patterns[static_cast<std::size_t>(index)].id) {
        const int p = find_pattern(tok_[0]);
        if (p <= 0) return set_error(0, codes::kUndefinedPattern);
        index = p - 1;
    }
    std::vector<double>& factors = net_.patterns[static_cast<std::size_t>(index)].factors;
    for (int j = 1; j <= n; ++j) {
        double x = 0.0;
        if (!to_number(tok_[j], x)) return set_error(j, codes::kIllegalNumber);
        factors.push_back(x);
    }
    previous_pattern_ = index;
    return 0;
}

int Parser::curve_data() {
    if (tok_.count() < 3) return codes::kSyntaxError;
    double x = 0.0, y = 0.0;
    if (!to_number(tok_[1], x)) return set_error(1, codes::kIllegalNumber);
    if (!to_number(tok_[2], y)) return set_error(2, codes::kIllegalNumber);
    int index = previous_curve_;
    if (index < 0 || tok_[0] != net_.curves[static_cast<std::size_t>(index)].id) {
        const int c = find_curve(tok_[0]);
        if (c == 0) return set_error(0, codes::kUndefinedCurve);
        index = c - 1;
    }
    Curve& curve = net_.curves[static_cast<std::size_t>(index)];
    curve.x.push_back(x);
    curve.y.push_back(y);
    previous_curve_ = index;
    return 0;
}

int Parser::coordinate_data() {
    if (tok_.count() < 3) return codes::kSyntaxError;
    const int j = find_node(tok_[0]);
    if (j == kNoIndex) return set_error(0, codes::kUndefinedNode);
    double x = 0.0, y = 0.0;
    if (!to_number(tok_[1], x)) return set_error(1, codes::kIllegalNumber);
    if (!to_number(tok_[2], y)) return set_error(2, codes::kIllegalNumber);
    Node& node = net_.nodes[static_cast<std::size_t>(j)];
    node.x = x;
    node.y = y;
    node.has_coordinates = true;
    return 0;
}

int Parser::vertex_data() {
    if (tok_.count() < 3) return codes::kSyntaxError;
    const int k = find_link(tok_[0]);
    if (k == kNoIndex) return set_error(0, codes::kUndefinedLink);
    double x = 0.0, y = 0.0;
    if (!to_number(tok_[1], x)) return set_error(1, codes::kIllegalNumber);
    if (!to_number(tok_[2], y)) return set_error(2, codes::kIllegalNumber);
    net_.links[static_cast<std::size_t>(k)].vertices.emplace_back(x, y);
    return 0;
}

int Parser::demand_data() {
    const int n = tok_.count();
    if (n < 2) return codes::kSyntaxError;
    double y = 0.0;
    if (!to_number(tok_[1], y)) return set_error(1, codes::kIllegalNumber);
    if (match(tok_[0], "MULT")) {
        if (y <= 0.0) return set_error(1, codes::kInvalidOption);
        net_.options.demand_multiplier = y;
        return 0;
    }
    const int j = find_node(tok_[0]);
    if (j == kNoIndex) return set_error(0, codes::kUndefinedNode);
    if (!is_junction(j)) return 0;
    int pattern = 0;
    if (n >= 3) {
        pattern = find_pattern(tok_[2]);
        if (pattern < 0) return set_error(2, codes::kUndefinedPattern);
    }
    const auto ju = static_cast<std::size_t>(j);
    std::vector<Demand>& demands = net_.nodes[ju].demands;
    const std::string& comment = tok_.comment();
    if (!demands.empty() && demand_replaceable_[ju]) {
        Demand& first = demands.front();
        first.base = y;
        first.pattern = pattern_index(pattern);
        if (!comment.empty()) first.category = truncated(comment, kMaxId);
        demand_replaceable_[ju] = false;
    } else {
        demands.push_back(Demand{y, pattern_index(pattern), truncated(comment, kMaxId)});
    }
    return 0;
}

int Parser::control_data() {
    const int n = tok_.count();
    if (n < 6) return codes::kSyntaxError;
    const int k = find_link(tok_[1]);
    if (k == kNoIndex) return set_error(1, codes::kUndefinedLink);
    const Link& link = net_.links[static_cast<std::size_t>(k)];
    const LinkType type = link.type;
    if (type == LinkType::CVPipe) return set_error(1, codes::kControlOfCheckValve);

    double setting = kMissing;
    LinkStatus status = LinkStatus::Active;
    if (match(tok_[2], "OPEN")) {
        status = LinkStatus::Open;
        if (type == LinkType::Pump) setting = 1.0;
        if (type == LinkType::GPV) setting = link.initial_setting;
    } else if (match(tok_[2], "CLOSED")) {
        status = LinkStatus::Closed;
        if (type == LinkType::Pump) setting = 0.0;
        if (type == LinkType::GPV) setting = link.initial_setting;
    } else if (type == LinkType::GPV) {
        return set_error(1, codes::kControlOfCheckValve);
    } else if (!to_number(tok_[2], setting)) {
        return set_error(2, codes::kIllegalNumber);
    }
    if ((type == LinkType::Pump || type == LinkType::Pipe) && setting != kMissing) {
        if (setting < 0.0) return set_error(2, codes::kIllegalLinkValue);
        status = setting == 0.0 ? LinkStatus::Closed : LinkStatus::Open;
    }

    Control::Kind kind = Control::Kind::Timer;
    int node = kNoIndex;
    if (match(tok_[4], "TIME")) {
        kind = Control::Kind::Timer;
    } else if (match(tok_[4], "CLOCKTIME")) {
        kind = Control::Kind::TimeOfDay;
    } else {
        if (n < 8) return codes::kSyntaxError;
        node = find_node(tok_[5]);
        if (node == kNoIndex) return set_error(5, codes::kUndefinedNode);
        if (match(tok_[6], "BELOW")) {
            kind = Control::Kind::LowLevel;
        } else if (match(tok_[6], "ABOVE")) {
            kind = Control::Kind::HiLevel;
        } else {
            return set_error(6, codes::kInvalidOption);
        }
    }

    double time = 0.0;
    double level = 0.0;
    if (kind == Control::Kind::Timer || kind == Control::Kind::TimeOfDay) {
        if (n == 6) time = tok_.hours(5, "");
        if (n == 7) time = tok_.hours(5, std::string{tok_[6]});
        if (time < 0.0) return set_error(5, codes::kInvalidOption);
    } else if (!to_number(tok_[7], level)) {
        return set_error(7, codes::kIllegalNumber);
    }

    if (static_cast<int>(net_.controls.size()) >= max_controls_) return codes::kInputErrors;
    Control control;
    control.kind = kind;
    control.link = k;
    control.node = node;
    control.status = status;
    control.setting = setting;
    control.has_setting = setting != kMissing;
    control.time = to_long_trunc(3600.0 * time);
    if (kind == Control::Kind::TimeOfDay) control.time %= units::kSecondsPerDay;
    control.grade = level;
    net_.controls.push_back(control);
    return 0;
}

int Parser::source_data() {
    const int n = tok_.count();
    if (n < 2) return codes::kSyntaxError;
    if (find_node(tok_[0]) == kNoIndex) return set_error(0, codes::kUndefinedNode);
    int i = 2;
    const std::string_view kind = tok_[1];
    if (!match(kind, "CONCEN") && !match(kind, "MASS") && !match(kind, "SETPOINT") &&
        !match(kind, "FLOWPACED")) {
        i = 1;
    }
    double quality = 0.0;
    if (!to_number(tok_[i], quality))
        return set_error(i, i == 1 ? codes::kInvalidOption : codes::kIllegalNumber);
    if (n > i + 1 && !tok_[i + 1].empty() && tok_[i + 1] != "*") {
        if (find_pattern(tok_[i + 1]) < 0) return set_error(i + 1, codes::kUndefinedPattern);
    }
    return 0;
}

int Parser::emitter_data() {
    if (tok_.count() < 2) return codes::kSyntaxError;
    const int j = find_node(tok_[0]);
    if (j == kNoIndex) return set_error(0, codes::kUndefinedNode);
    if (!is_junction(j)) return 0;
    double k = 0.0;
    if (!to_number(tok_[1], k)) return set_error(1, codes::kIllegalNumber);
    if (k < 0.0) return set_error(1, codes::kIllegalNodeValue);
    net_.nodes[static_cast<std::size_t>(j)].emitter_coeff_input = k;
    return 0;
}

int Parser::quality_data() {
    if (nnodes_ == 0) return set_error(0, codes::kUndefinedNode);
    const int n = tok_.count();
    if (n < 2) return 0;
    double c0 = 0.0;
    if (n == 2) {
        const int j = find_node(tok_[0]);
        if (j == kNoIndex) return set_error(0, codes::kUndefinedNode);
        if (!to_number(tok_[1], c0)) return set_error(1, codes::kIllegalNumber);
        if (c0 < 0.0) return set_error(1, codes::kIllegalNodeValue);
        net_.nodes[static_cast<std::size_t>(j)].initial_quality = c0;
        return 0;
    }
    if (!to_number(tok_[2], c0)) return set_error(2, codes::kIllegalNumber);
    if (c0 < 0.0) return set_error(2, codes::kIllegalNodeValue);
    // A range of node IDs: numeric when both ends are positive numbers,
    // otherwise by byte order. EPANET scans slots 1..(nodes read so far).
    const long i1 = to_long(tok_[0]);
    const long i2 = i1 > 0 ? to_long(tok_[1]) : 0;
    for (int j = 0; j < nnodes_ && j < static_cast<int>(net_.nodes.size()); ++j) {
        const std::string& id = node_ids_[static_cast<std::size_t>(j)];
        bool in_range = false;
        if (i1 > 0 && i2 > 0) {
            const long i = to_long(id);
            in_range = i >= i1 && i <= i2;
        } else {
            in_range = compare(tok_[0], id) <= 0 && compare(tok_[1], id) >= 0;
        }
        if (in_range) net_.nodes[static_cast<std::size_t>(j)].initial_quality = c0;
    }
    return 0;
}

int Parser::reaction_data() {
    const int n = tok_.count();
    if (n < 3) return 0;
    double y = 0.0;
    const std::string_view key = tok_[0];
    if (match(key, "ORDER")) {
        if (!to_number(tok_[n - 1], y)) return set_error(n - 1, codes::kIllegalNumber);
        if (match(tok_[1], "BULK") || match(tok_[1], "TANK")) return 0;
        if (match(tok_[1], "WALL")) {
            if (y == 0.0 || y == 1.0) return 0;
            return set_error(n - 1, codes::kInvalidOption);
        }
        return set_error(1, codes::kInvalidOption);
    }
    if (match(key, "ROUG") || match(key, "LIMIT")) {
        if (!to_number(tok_[n - 1], y)) return set_error(n - 1, codes::kIllegalNumber);
        return 0;
    }
    if (match(key, "GLOB")) {
        if (!to_number(tok_[n - 1], y)) return set_error(n - 1, codes::kIllegalNumber);
        if (match(tok_[1], "BULK") || match(tok_[1], "WALL")) return 0;
        return set_error(1, codes::kInvalidOption);
    }
    if (!match(key, "BULK") && !match(key, "WALL") && !match(key, "Tank"))
        return set_error(0, codes::kInvalidOption);
    if (!to_number(tok_[n - 1], y)) return set_error(n - 1, codes::kIllegalNumber);
    return 0;
}

int Parser::mixing_data() {
    if (nnodes_ == 0) return set_error(0, codes::kUndefinedNode);
    const int n = tok_.count();
    if (n < 2) return 0;
    const int j = find_node(tok_[0]);
    if (j == kNoIndex) return set_error(0, codes::kUndefinedNode);
    if (is_junction(j)) return 0;
    constexpr std::array<std::string_view, 4> kModels{"MIXED", "2COMP", "FIFO", "LIFO"};
    int model = -1;
    for (std::size_t m = 0; m < kModels.size(); ++m) {
        if (match(tok_[1], kModels[m])) {
            model = static_cast<int>(m);
            break;
        }
    }
    if (model < 0) return set_error(1, codes::kInvalidOption);
    double fraction = 1.0;
    if (model == 1 && n == 3 && !to_number(tok_[2], fraction))
        return set_error(2, codes::kIllegalNumber);
    return 0;
}

void Parser::change_status(int k, LinkStatus status, double value) {
    Link& link = net_.links[static_cast<std::size_t>(k)];
    if (link.type == LinkType::Pipe || link.type == LinkType::GPV) {
        if (status != LinkStatus::Active) link.initial_status = status;
    } else if (link.type == LinkType::Pump) {
        if (status == LinkStatus::Active) {
            link.initial_setting = value;
            status = value == 0.0 ? LinkStatus::Closed : LinkStatus::Open;
        } else if (status == LinkStatus::Open) {
            link.initial_setting = 1.0;
        }
        link.initial_status = status;
    } else if (link.type >= LinkType::PRV) {
        link.initial_setting = status == LinkStatus::Active ? value : kMissing;
        link.initial_status = status;
    }
}

int Parser::status_data() {
    if (nlinks_ == 0) return set_error(0, codes::kUndefinedLink);
    const int n = tok_.count() - 1;
    if (n < 1) return codes::kSyntaxError;
    LinkStatus status = LinkStatus::Active;
    double y = 0.0;
    if (match(tok_[n], "OPEN")) {
        status = LinkStatus::Open;
    } else if (match(tok_[n], "CLOSED")) {
        status = LinkStatus::Closed;
    } else {
        if (!to_number(tok_[n], y)) return set_error(n, codes::kIllegalNumber);
        if (y < 0.0) return set_error(n, codes::kIllegalLinkValue);
    }
    if (n == 1) {
        const int j = find_link(tok_[0]);
        if (j == kNoIndex) return set_error(0, codes::kUndefinedLink);
        const LinkType type = net_.links[static_cast<std::size_t>(j)].type;
        if (type == LinkType::CVPipe) return set_error(0, codes::kControlOfCheckValve);
        if (type == LinkType::GPV && status == LinkStatus::Active)
            return set_error(0, codes::kControlOfCheckValve);
        change_status(j, status, y);
        return 0;
    }
    // A range of link IDs (numeric or by byte order), over the links read so far.
    const long i1 = to_long(tok_[0]);
    const long i2 = i1 > 0 ? to_long(tok_[1]) : 0;
    for (int j = 0; j < nlinks_; ++j) {
        const std::string& id = link_ids_[static_cast<std::size_t>(j)];
        bool in_range = false;
        if (i1 > 0 && i2 > 0) {
            const long i = to_long(id);
            in_range = i >= i1 && i <= i2;
        } else {
            in_range = compare(tok_[0], id) <= 0 && compare(tok_[1], id) >= 0;
        }
        if (in_range) change_status(j, status, y);
    }
    return 0;
}

}  // namespace hydrosk::toolkit::inp
