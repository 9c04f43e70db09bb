#include "toolkit/hydraulics/simulation.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/toolkit/hydraulics/test_networks.h"
#include "toolkit/codes.h"

namespace hydrosk::toolkit {
namespace {

using test::kGpmPerCfs;
using test::kPsiPerFt;
using test::NetworkBuilder;

// Three junctions in two loops fed by one reservoir.
NetworkBuilder looped(HeadLossFormula formula, const std::vector<double>& roughness) {
    NetworkBuilder b;
    b.headloss(formula)
        .junction("J1", 50, 100)
        .junction("J2", 40, 150)
        .junction("J3", 45, 200)
        .reservoir("R", 200)
        .pipe("P1", "R", "J1", 1000, 12, roughness[0])
        .pipe("P2", "J1", "J2", 800, 8, roughness[1], 2.0)
        .pipe("P3", "J2", "J3", 600, 6, roughness[2])
        .pipe("P4", "J1", "J3", 1200, 8, roughness[3]);
    return b;
}

NetworkBuilder looped_hw() {
    return looped(HeadLossFormula::HazenWilliams, {100, 120, 110, 130});
}

// A reservoir feeding J1, a valve from J1 to J2, and a long small pipe that
// bypasses the valve.
NetworkBuilder with_valve(const std::function<void(NetworkBuilder&)>& add_valve) {
    NetworkBuilder b;
    b.junction("J1", 50, 0).junction("J2", 40, 200).junction("J3", 30, 100).reservoir("R", 200);
    b.pipe("P1", "R", "J1", 1000, 12, 100)
        .pipe("P2", "J2", "J3", 500, 8, 100)
        .pipe("P3", "J1", "J3", 3000, 4, 100);
    add_valve(b);
    return b;
}

// A pump lifting from a reservoir to a junction that also feeds a tank.
NetworkBuilder with_pump(const std::function<void(NetworkBuilder&)>& add_pump) {
    NetworkBuilder b;
    b.junction("J1", 110, 300).junction("J2", 105, 100).reservoir("R", 100);
    b.tank("T", 150, 10, 0, 20, 50);
    b.pipe("P1", "J1", "T", 2000, 10, 120).pipe("P2", "J1", "J2", 500, 6, 120);
    add_pump(b);
    return b;
}

struct SteadyCase {
    std::string name;
    std::function<Network()> make;
    std::vector<double> pressures_psi;  // every node, EPANET 2.2
    std::vector<double> flows_gpm;      // every link, EPANET 2.2
    // An active PBV is a conductance of 1e8 cfs/ft: rounding in its head
    // difference moves flows by 1e-3 gpm while pressures agree.
    double flow_tolerance_gpm = 1e-4;
};

std::vector<SteadyCase> steady_cases() {
    std::vector<SteadyCase> cases;
    cases.push_back({"HazenWilliams",
                     [] { return looped_hw().build(); },
                     {64.58812, 68.599245, 66.394864, 0},
                     {450.0, 179.23717, 29.23717, 170.76283}});
    cases.push_back(
        {"DarcyWeisbach",
         [] {
             return looped(HeadLossFormula::DarcyWeisbach, {0.5, 0.1, 1.0, 0.05}).build();
         },
         {64.775251, 68.86964, 66.667703, 0},
         {450.0, 183.22273, 33.22273, 166.77727}});
    cases.push_back(
        {"ChezyManning",
         [] {
             return looped(HeadLossFormula::ChezyManning, {0.011, 0.012, 0.013, 0.011}).build();
         },
         {64.750754, 68.74776, 66.547846, 0},
         {450.0, 178.63803, 28.63803, 171.36197}});
    cases.push_back({"Emitter",
                     [] { return looped_hw().emitter(2, 5.0).build(); },
                     {64.517372, 68.473132, 66.221739, 0},
                     {490.68908, 195.20186, 45.20186, 195.48723}});
    cases.push_back({"PressureDriven",
                     [] {
                         Network n = looped_hw().build();
                         n.options.demand_model = DemandModel::PressureDriven;
                         n.options.minimum_pressure = 5.0 / kPsiPerFt;
                         n.options.required_pressure = 40.0 / kPsiPerFt;
                         n.options.demand_multiplier = 8.0;
                         return n;
                     },
                     {47.449403, 37.931723, 34.568998, 0},
                     {3434.63687, 1352.60011, 188.59617, 1282.03668}});
    cases.push_back({"PatternAndMultiplier",
                     [] {
                         Network n = looped_hw().build();
                         n.patterns.push_back({"1", {0.5, 1.5}});
                         for (int i = 0; i < 3; ++i) n.nodes[i].demands[0].pattern = 0;
                         n.options.demand_multiplier = 1.3;
                         return n;
                     },
                     {64.811776, 69.000152, 66.816471, 0},
                     {292.5, 116.57743, 19.07743, 110.92257}});
    cases.push_back({"ClosedPipe",
                     [] {
                         Network n = looped_hw().build();
                         n.links[3].initial_status = LinkStatus::Closed;
                         return n;
                     },
                     {64.58812, 67.803177, 64.303053, 0},
                     {450.0, 349.99997, 199.99997, 0}});
    cases.push_back({"ZeroFlowPipe",
                     [] {
                         Network n = looped_hw().build();
                         n.nodes[2].demands[0].base = 0.0;
                         return n;
                     },
                     {64.858006, 69.073306, 66.993256, 0},
                     {250.0, 104.35269, -45.64731, 45.64731}});

    auto valve_case = [&](std::string name, LinkType type, double setting, double km,
                          std::vector<double> p, std::vector<double> q) {
        cases.push_back({std::move(name),
                         [=] {
                             return with_valve([&](NetworkBuilder& b) {
                                        b.valve("V", "J1", "J2", 8, type, setting, km);
                                    })
                                 .build();
                         },
                         std::move(p), std::move(q)});
    };
    valve_case("PRV", LinkType::PRV, 40, 0, {64.80298, 40.0, 44.348613, 0},
               {299.99998, -38.73027, 138.73027, 161.26971});
    valve_case("PRVOpen", LinkType::PRV, 90, 0.5, {64.80298, 69.124152, 73.376813, 0},
               {300.0, 93.79769, 6.20231, 293.79769});
    valve_case("PSV", LinkType::PSV, 60, 0, {64.80298, 69.13598, 73.38798, 0},
               {300.0, 94.21396, 5.78604, 294.21395});
    valve_case("FCV", LinkType::FCV, 150, 0, {64.80298, 35.458614, 39.81667, 0},
               {300.0, -49.99965, 149.99965, 150.00035});
    valve_case("TCV", LinkType::TCV, 5, 1, {64.80298, 69.020099, 73.277459, 0},
               {300.0, 90.79445, 9.20555, 290.79445});
    valve_case("PBV", LinkType::PBV, 10, 0, {64.80298, 59.13598, 63.463466, 0},
               {300.00006, 22.07905, 77.92095, 222.08058});
    cases.back().flow_tolerance_gpm = 5e-3;
    cases.push_back({"GPV",
                     [] {
                         return with_valve([](NetworkBuilder& b) {
                                    int c = 0;
                                    b.curve("C1", {0, 500, 1000}, {0, 20, 60}, c);
                                    b.gpv("V", "J1", "J2", 8, c);
                                })
                             .build();
                     },
                     {64.80298, 64.799024, 69.106756, 0},
                     {300.0, 50.22825, 49.77175, 250.22825}});

    auto pump_case = [&](std::string name, std::vector<double> x, std::vector<double> y,
                         double speed, std::vector<double> p, std::vector<double> q) {
        cases.push_back({std::move(name),
                         [=] {
                             return with_pump([&](NetworkBuilder& b) {
                                        int c = 0;
                                        b.curve("C", x, y, c);
                                        b.pump("PU", "R", "J1", c, speed);
                                    })
                                 .build();
                         },
                         std::move(p), std::move(q)});
    };
    pump_case("PumpOnePoint", {500}, {80}, 1.0, {22.152201, 24.056665, 0, 4.333},
              {253.42013, 100.0, 653.42013});
    pump_case("PumpThreePoint", {0, 400, 800}, {120, 100, 60}, 1.0, {22.69588, 24.600345, 0, 4.333},
              {379.83659, 100.0, 779.83659});
    pump_case("PumpMultiPoint", {0, 300, 600, 900}, {130, 120, 100, 60}, 1.0,
              {23.213699, 25.118163, 0, 4.333}, {473.19354, 100.0, 873.19354});
    pump_case("PumpSpeed", {0, 400, 800}, {120, 100, 60}, 1.2, {24.776641, 26.681105, 0, 4.333},
              {689.69633, 100.0, 1089.69633});
    cases.push_back(
        {"PumpConstantPower",
         [] {
             return with_pump([](NetworkBuilder& b) { b.power_pump("PU", "R", "J1", 30); }).build();
         },
         {29.373694, 31.278159, 0, 4.333},
         {1125.63149, 100.0, 1525.63149}});
    return cases;
}

class SteadyStateTest : public testing::TestWithParam<SteadyCase> {};

TEST_P(SteadyStateTest, MatchesEpanet) {
    const SteadyCase& c = GetParam();
    const Network network = c.make();
    HydraulicSimulation sim(network);
    ASSERT_EQ(sim.open(), 0);
    sim.initialize(1);
    long t = -1;
    EXPECT_EQ(sim.run(t), 0);
    EXPECT_EQ(t, 0);
    for (std::size_t i = 0; i < c.pressures_psi.size(); ++i) {
        EXPECT_NEAR(sim.pressure_head(static_cast<int>(i)) * kPsiPerFt, c.pressures_psi[i], 1e-5)
            << "node " << network.nodes[i].id;
    }
    for (std::size_t k = 0; k < c.flows_gpm.size(); ++k) {
        const double q = sim.flow(static_cast<int>(k)) * kGpmPerCfs;
        if (sim.link_state(static_cast<int>(k)) <= LinkState::Closed) {
            EXPECT_NEAR(q, c.flows_gpm[k], 1e-3) << "link " << network.links[k].id;
        } else {
            EXPECT_NEAR(q, c.flows_gpm[k], c.flow_tolerance_gpm) << "link " << network.links[k].id;
        }
    }
    long step = -1;
    EXPECT_EQ(sim.next(step), 0);
    EXPECT_EQ(step, 0) << "a zero-duration run ends after one solve";
}

INSTANTIATE_TEST_SUITE_P(Networks, SteadyStateTest, testing::ValuesIn(steady_cases()),
                         [](const auto& info) { return info.param.name; });

TEST(HydraulicSimulation, ReportsDeliveredDemandWithEmitterFlow) {
    Network n = looped_hw().emitter(2, 5.0).build();
    HydraulicSimulation sim(n);
    sim.initialize(1);
    long t = 0;
    ASSERT_EQ(sim.run(t), 0);
    EXPECT_NEAR(sim.demand(2) * kGpmPerCfs, 240.6890824238312, 1e-6);
    EXPECT_NEAR(sim.demand(3) * kGpmPerCfs, -490.6890824238329, 1e-6);
    EXPECT_NEAR(sim.demand_deficit(2), 0.0, 1e-12);
}

TEST(HydraulicSimulation, PressureDrivenDemandIsReducedBelowRequiredPressure) {
    Network n = looped_hw().build();
    n.options.demand_model = DemandModel::PressureDriven;
    n.options.minimum_pressure = 5.0 / kPsiPerFt;
    n.options.required_pressure = 40.0 / kPsiPerFt;
    n.options.demand_multiplier = 8.0;
    HydraulicSimulation sim(n);
    sim.initialize(1);
    long t = 0;
    ASSERT_EQ(sim.run(t), 0);
    EXPECT_NEAR(sim.demand(1) * kGpmPerCfs, 1164.0039366549815, 1e-5);
    EXPECT_NEAR(sim.demand_deficit(1) * kGpmPerCfs, 1200.0 - 1164.0039366549815, 1e-5);
}

TEST(HydraulicSimulation, RepeatedSolvesWithChangedDemandMatchFreshSimulations) {
    // The fire-flow use: one simulation object, one junction's base demand
    // changed between solves; each solve must equal a fresh simulation's.
    Network n = looped_hw().build();
    HydraulicSimulation reused(n);
    for (const double extra_gpm : {0.0, 500.0, 1500.0, 0.0}) {
        n.nodes[1].demands[0].base = (150.0 + extra_gpm) / kGpmPerCfs;
        ASSERT_EQ(reused.open(), 0);
        reused.initialize(1);
        long t = 0;
        const int code = reused.run(t);

        HydraulicSimulation fresh(n);
        fresh.initialize(1);
        EXPECT_EQ(fresh.run(t), code);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(reused.head(i), fresh.head(i)) << "extra " << extra_gpm << " node " << i;
        }
    }
}

TEST(HydraulicSimulation, WarnsOfNegativePressures) {
    Network n = looped_hw().build();
    n.nodes[2].demands[0].base = 5000.0 / kGpmPerCfs;
    HydraulicSimulation sim(n);
    sim.initialize(1);
    long t = 0;
    EXPECT_EQ(sim.run(t), codes::kNegativePressure);
    EXPECT_LT(sim.pressure_head(2), 0.0);
}

TEST(HydraulicSimulation, TrialLimitWithStopEndsTheSimulation) {
    Network n = looped_hw().build();
    n.options.max_trials = 2;
    n.times.duration = 3 * 3600;
    HydraulicSimulation sim(n);
    sim.initialize(1);
    long t = 0;
    EXPECT_EQ(sim.run(t), codes::kUnbalanced);
    EXPECT_NEAR(sim.pressure_head(1) * kPsiPerFt, 68.599023, 1e-5);
    EXPECT_NEAR(sim.pressure_head(2) * kPsiPerFt, 66.396458, 1e-5);
    long step = -1;
    sim.next(step);
    EXPECT_EQ(step, 0) << "UNBALANCED STOP halts the run";
}

TEST(HydraulicSimulation, TrialLimitWithContinueGoesOn) {
    Network n = looped_hw().build();
    n.options.max_trials = 2;
    n.options.unbalanced_extra_trials = 0;
    n.times.duration = 3 * 3600;
    HydraulicSimulation sim(n);
    sim.initialize(1);
    std::vector<std::pair<long, int>> steps;
    long step = 0;
    do {
        long t = 0;
        const int code = sim.run(t);
        steps.emplace_back(t, code);
        sim.next(step);
    } while (step > 0);
    const std::vector<std::pair<long, int>> expected{{0, 1}, {3600, 0}, {7200, 0}, {10800, 0}};
    EXPECT_EQ(steps, expected);
}

TEST(HydraulicSimulation, PumpThatCannotDeliverItsHeadIsClosedWithWarning) {
    NetworkBuilder b;
    int curve = 0;
    b.junction("J1", 110, 300).junction("J2", 105, 100).reservoir("R", 100);
    b.tank("T", 250, 10, 0, 20, 50);
    b.pipe("P1", "J1", "T", 2000, 10, 120).pipe("P2", "J1", "J2", 500, 6, 120);
    b.curve("C3", {0, 400, 800}, {120, 100, 60}, curve).pump("PU", "R", "J1", curve);
    const Network n = b.build();
    HydraulicSimulation sim(n);
    sim.initialize(1);
    long t = 0;
    EXPECT_EQ(sim.run(t), codes::kPumpCannotDeliver);
    EXPECT_EQ(sim.link_state(2), LinkState::XHead);
    EXPECT_NEAR(sim.pressure_head(0) * kPsiPerFt, 63.860482, 1e-5);
    EXPECT_NEAR(sim.pressure_head(1) * kPsiPerFt, 65.764946, 1e-5);
}

TEST(HydraulicSimulation, FlowControlValveThatCannotDeliverWarns) {
    const Network n = with_valve([](NetworkBuilder& b) {
                          b.valve("V", "J1", "J2", 8, LinkType::FCV, 5000);
                      }).build();
    HydraulicSimulation sim(n);
    sim.initialize(1);
    long t = 0;
    EXPECT_EQ(sim.run(t), codes::kValveCannotDeliver);
    EXPECT_EQ(sim.link_state(3), LinkState::XFCV);
    EXPECT_NEAR(sim.pressure_head(2) * kPsiPerFt, 73.387976, 1e-5);
}

TEST(HydraulicSimulation, OpenRejectsNetworksItCannotSolve) {
    NetworkBuilder no_source;
    no_source.junction("J1", 0, 10).junction("J2", 0, 10).pipe("P", "J1", "J2", 100, 6, 100);
    const Network without_source = no_source.build();
    EXPECT_EQ(HydraulicSimulation(without_source).open(), 224);

    NetworkBuilder lonely;
    lonely.junction("J1", 0, 10).junction("J2", 0, 10).reservoir("R", 100);
    lonely.pipe("P", "R", "J1", 100, 6, 100);
    const Network unlinked = lonely.build();
    EXPECT_EQ(HydraulicSimulation(unlinked).open(), 233);
}

TEST(HydraulicSimulation, IsolatedDemandGivesEpanetsHugeNegativePressure) {
    // A junction behind a closed pipe still gets the tiny closed conductance,
    // so the equations stay solvable and the pressure becomes absurd rather
    // than the solve failing.
    Network n = looped_hw().build();
    n.links[2].initial_status = LinkStatus::Closed;
    n.links[3].initial_status = LinkStatus::Closed;
    HydraulicSimulation sim(n);
    sim.initialize(1);
    long t = 0;
    EXPECT_EQ(sim.run(t), codes::kNegativePressure);
    EXPECT_LT(sim.pressure_head(2), -1.0e6);
}

}  // namespace
}  // namespace hydrosk::toolkit
