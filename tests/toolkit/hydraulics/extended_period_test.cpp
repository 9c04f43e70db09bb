// Extended-period simulation: time steps shortened by tank controls, rules,
// clock-time events and demand patterns, checked step by step against EPANET
// 2.2 (epanet-js) on the same network.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/toolkit/hydraulics/test_networks.h"
#include "toolkit/hydraulics/simulation.h"

namespace hydrosk::toolkit {
namespace {

using test::kPsiPerFt;
using test::NetworkBuilder;

// A pump filling a tank through J1; J2 hangs off J1 by pipe P2. Demands follow
// a 3-period pattern of 2 h; 12 h from 6 AM.
Network pumped_tank() {
    NetworkBuilder b;
    int curve = 0;
    b.junction("J1", 110, 300).junction("J2", 105, 100).reservoir("R", 100);
    b.tank("T", 150, 10, 0, 20, 50);
    b.pipe("P1", "J1", "T", 2000, 10, 120).pipe("P2", "J1", "J2", 500, 6, 120);
    b.curve("C3", {0, 400, 800}, {120, 100, 60}, curve).pump("PU", "R", "J1", curve);
    Network n = b.build();
    n.patterns.push_back({"P", {0.5, 1.0, 1.5}});
    for (int i = 0; i < 2; ++i) n.nodes[static_cast<std::size_t>(i)].demands[0].pattern = 0;
    n.times.duration = 12 * 3600;
    n.times.hydraulic_step = 3600;
    n.times.pattern_step = 7200;
    n.times.report_step = 3600;
    n.times.rule_step = 360;
    n.times.start_clock = 6 * 3600;
    return n;
}

constexpr int kTank = 3;
constexpr int kPump = 2;
constexpr int kPipe2 = 1;

struct Step {
    long time;
    double p1, p2;  // psi at J1, J2
    bool pump_open;
};

void expect_steps(const Network& n, const std::vector<Step>& expected) {
    HydraulicSimulation sim(n);
    ASSERT_EQ(sim.open(), 0);
    sim.initialize(1);
    std::size_t i = 0;
    long step = 0;
    do {
        ASSERT_LT(i, expected.size()) << "more steps than EPANET";
        long t = -1;
        const int code = sim.run(t);
        EXPECT_TRUE(code == 0 || code == 6) << code;
        const Step& e = expected[i];
        EXPECT_EQ(t, e.time) << "step " << i;
        EXPECT_NEAR(sim.pressure_head(0) * kPsiPerFt, e.p1, 1e-5) << "t " << t;
        EXPECT_NEAR(sim.pressure_head(1) * kPsiPerFt, e.p2, 1e-5 + 1e-6 * std::fabs(e.p2))
            << "t " << t;
        EXPECT_EQ(!is_closed(sim.link_state(kPump)), e.pump_open) << "t " << t;
        ASSERT_EQ(sim.next(step), 0);
        ++i;
    } while (step > 0);
    EXPECT_EQ(i, expected.size());
}

TEST(ExtendedPeriod, SimpleControlsOnTankLevelAndClockTime) {
    Network n = pumped_tank();
    Control off;
    off.kind = Control::Kind::HiLevel;
    off.link = kPump;
    off.node = kTank;
    off.grade = 150 + 15;
    off.status = LinkStatus::Closed;
    off.setting = 0.0;
    Control on = off;
    on.kind = Control::Kind::LowLevel;
    on.grade = 150 + 12;
    on.status = LinkStatus::Open;
    on.setting = 1.0;
    Control close_p2;
    close_p2.kind = Control::Kind::TimeOfDay;
    close_p2.link = kPipe2;
    close_p2.time = 15 * 3600;
    close_p2.status = LinkStatus::Closed;
    n.controls = {off, on, close_p2};
    expect_steps(n, {{0, 23.770113, 25.864027, true},
                     {3600, 24.638107, 26.732021, true},
                     {7200, 24.470908, 26.375373, true},
                     {8502, 22.697058, 24.601522, false},
                     {10800, 22.245112, 24.149577, false},
                     {14400, 20.267636, 21.878895, false},
                     {14875, 22.784967, 24.396226, true},
                     {18000, 23.045187, 24.656446, true},
                     {21600, 25.040443, 27.134357, true},
                     {24350, 23.517329, 25.611243, false},
                     {25200, 23.433745, 25.527659, false},
                     {28800, 22.259494, 24.163959, false},
                     {32400, 21.551485, -9653944.033797, false},
                     {33185, 23.485229, -9653942.100053, true},
                     {36000, 23.264677, -14480926.196496, true},
                     {39600, 23.549022, -14480925.91215, true},
                     {43200, 25.490248, -4826956.219143, true}});
}

RulePremise premise(RulePremise::Object object, int index, RulePremise::Variable variable,
                    RulePremise::Relation relation, double value) {
    RulePremise p;
    p.object = object;
    p.index = index;
    p.variable = variable;
    p.relation = relation;
    p.value = value;
    return p;
}

RuleAction action(int link, RuleAction::StatusValue status) {
    RuleAction a;
    a.link = link;
    a.status = status;
    return a;
}

TEST(ExtendedPeriod, RulesActAtRuleTimeSteps) {
    using O = RulePremise::Object;
    using V = RulePremise::Variable;
    using R = RulePremise::Relation;
    using S = RuleAction::StatusValue;
    Network n = pumped_tank();
    Rule r1;
    r1.label = "1";
    r1.premises = {premise(O::Node, kTank, V::Level, R::GT, 15)};  // ft, user units
    r1.then_actions = {action(kPump, S::Closed)};
    Rule r2;
    r2.label = "2";
    r2.premises = {premise(O::Node, kTank, V::Level, R::LT, 12)};
    r2.then_actions = {action(kPump, S::Open)};
    Rule r3;
    r3.label = "3";
    r3.premises = {premise(O::System, kNoIndex, V::ClockTime, R::GE, 15 * 3600)};
    r3.then_actions = {action(kPipe2, S::Closed)};
    r3.priority = 1;
    n.rules = {r1, r2, r3};
    expect_steps(n, {{0, 23.770113, 25.864027, true},
                     {3600, 24.638107, 26.732021, true},
                     {7200, 24.470908, 26.375373, true},
                     {8640, 22.720424, 24.624889, false},
                     {10800, 22.295619, 24.200084, false},
                     {14400, 20.318143, 21.929402, false},
                     {15120, 22.764275, 24.375534, true},
                     {18000, 23.004615, 24.615874, true},
                     {21600, 25.004193, 27.098107, true},
                     {24840, 23.60565, 25.699564, false},
                     {25200, 23.570249, 25.664163, false},
                     {28800, 22.395999, 24.300463, false},
                     {32400, 21.68799, -9653943.897292, false},
                     {34200, 23.427684, -9653942.157598, true},
                     {36000, 23.032551, -14480926.428622, true},
                     {39600, 23.324393, -14480926.13678, true},
                     {43200, 25.289791, -4826956.4196, true}});
}

}  // namespace
}  // namespace hydrosk::toolkit
