// libFuzzer target: any bytes read as an INP file must give a result without
// crashing, hanging or undefined behaviour, and a network that reads without
// error must be self-consistent (every index in range) and hold only finite
// numbers. A small one then takes its first hydraulic steps, which must not
// meet undefined behaviour either (the solver's reads of curves and patterns).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string_view>

#include "toolkit/codes.h"
#include "toolkit/input/reader.h"
#include "toolkit/project.h"

namespace {

using namespace hydrosk::toolkit;

void require(bool condition) {
    if (!condition) __builtin_trap();
}

bool in_range(int index, std::size_t size) {
    return index >= 0 && static_cast<std::size_t>(index) < size;
}

bool optional_in_range(int index, std::size_t size) {
    return index == kNoIndex || in_range(index, size);
}

void check_network(const Network& net) {
    const std::size_t nodes = net.nodes.size();
    const std::size_t links = net.links.size();
    const std::size_t patterns = net.patterns.size();
    const std::size_t curves = net.curves.size();
    require(net.junction_count >= 1 && net.tank_count >= 1);
    require(static_cast<std::size_t>(net.junction_count + net.tank_count) == nodes);
    require(net.node_index.size() == nodes && net.link_index.size() == links);
    for (std::size_t i = 0; i < nodes; ++i) {
        const Node& node = net.nodes[i];
        require(net.node_index.at(node.id) == static_cast<int>(i));
        require((node.type == NodeType::Junction) == (static_cast<int>(i) < net.junction_count));
        for (const Demand& d : node.demands) require(optional_in_range(d.pattern, patterns));
        require(optional_in_range(node.head_pattern, patterns));
        require(optional_in_range(node.volume_curve, curves));
    }
    for (std::size_t k = 0; k < links; ++k) {
        const Link& link = net.links[k];
        require(net.link_index.at(link.id) == static_cast<int>(k));
        require(in_range(link.from, nodes) && in_range(link.to, nodes) && link.from != link.to);
        require(optional_in_range(link.head_curve, curves));
        require(optional_in_range(link.speed_pattern, patterns));
        require(optional_in_range(link.efficiency_curve, curves));
        require(optional_in_range(link.price_pattern, patterns));
        if (link.type == LinkType::GPV) require(in_range(link.head_curve, curves));
    }
    for (const Control& c : net.controls) {
        require(in_range(c.link, links));
        require(optional_in_range(c.node, nodes));
    }
    for (const Rule& rule : net.rules) {
        for (const RulePremise& p : rule.premises) {
            if (p.object == RulePremise::Object::Node) require(in_range(p.index, nodes));
            if (p.object == RulePremise::Object::Link) require(in_range(p.index, links));
        }
        for (const RuleAction& a : rule.then_actions) require(in_range(a.link, links));
        for (const RuleAction& a : rule.else_actions) require(in_range(a.link, links));
    }
    require(optional_in_range(net.options.default_pattern, patterns));
    require(optional_in_range(net.options.trace_node, nodes));
    require(optional_in_range(net.energy.global_price_pattern, patterns));
}

// Networks small enough to solve quickly, with an iteration limit that keeps a
// network that never converges from taking minutes.
bool worth_solving(const Network& net) {
    constexpr std::size_t kMostNodes = 200;
    constexpr int kMostTrials = 200;
    return net.nodes.size() <= kMostNodes && net.options.max_trials <= kMostTrials &&
           net.options.check_frequency >= 0 && net.options.max_check <= kMostTrials;
}

void solve_first_steps(const std::shared_ptr<const Network>& net) {
    constexpr int kSteps = 6;
    Project project;
    require(project.open(net) == 0);
    if (project.open_h() != 0 || project.init_h(EN_NOSAVE) != 0) return;
    long step = 0;
    for (int k = 0; k < kSteps; ++k) {
        long time = 0;
        if (project.run_h(time) > 100) return;
        int count = 0;
        require(project.get_count(EN_NODECOUNT, count) == 0);
        for (int i = 1; i <= count; ++i) {
            double pressure = 0.0;
            require(project.get_node_value(i, EN_PRESSURE, pressure) == 0);
        }
        if (project.next_h(step) > 100 || step <= 0) return;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text{reinterpret_cast<const char*>(data), size};
    const InputResult result = read_inp_text(text);
    require((result.code == 0) == (result.network != nullptr));
    if (result.network) {
        check_network(*result.network);
        if (worth_solving(*result.network)) solve_first_steps(result.network);
    }
    const auto lines = input_report_lines(result);
    require(result.code == 0 || !lines.empty() || !result.report_messages);
    std::ostringstream report;
    ReportPage page;
    write_input_report(report, result, page);
    require(page.page >= 1);
    return 0;
}
