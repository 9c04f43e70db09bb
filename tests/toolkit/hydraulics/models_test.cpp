// Head-loss, pump, valve and outflow laws of the hydraulic engine.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "toolkit/hydraulics/demand.h"
#include "toolkit/hydraulics/head_loss.h"
#include "toolkit/hydraulics/pump.h"
#include "toolkit/hydraulics/valve.h"

namespace hydrosk::toolkit {
namespace {

double head_loss(const LinkCoefficients& c) {
    return c.y / c.p;
}

TEST(HeadLoss, HazenWilliamsMatchesTheFormula) {
    // 1000 ft of 12 in pipe, C = 100, 1 cfs: h = 4.727 L q^1.852 / (C^1.852 d^4.871).
    const double r = pipe_resistance(HeadLossFormula::HazenWilliams, 1000, 1.0, 100, 1.852);
    const LinkCoefficients c = power_law_coefficients(1.0, r, 0.0, 1.852, 1e-7);
    EXPECT_NEAR(head_loss(c), 4.727 * 1000 / std::pow(100, 1.852), 1e-12);
    EXPECT_NEAR(1.0 / c.p, 1.852 * head_loss(c), 1e-12) << "gradient n h / q";
    // Odd in the flow.
    EXPECT_NEAR(head_loss(power_law_coefficients(-1.0, r, 0.0, 1.852, 1e-7)), -head_loss(c), 1e-12);
}

TEST(HeadLoss, MinorLossAddsKQSquared) {
    const LinkCoefficients c = power_law_coefficients(2.0, 0.0, 0.5, 1.852, 1e-7);
    EXPECT_NEAR(head_loss(c), 0.5 * 4.0 + 1e-7 * 2.0, 1e-12);
}

TEST(HeadLoss, TinyFlowsUseTheLinearLaw) {
    const LinkCoefficients c = power_law_coefficients(1e-12, 1.0, 0.0, 1.852, 1e-7);
    EXPECT_DOUBLE_EQ(c.p, 1e7);
    EXPECT_DOUBLE_EQ(c.y, 1e-12);
}

TEST(HeadLoss, DarcyWeisbachLaminarIsHagenPoiseuille) {
    // Re = 4 q / (pi d nu) = 1000: f = 64 / Re.
    const double d = 0.5;
    const double nu = 1.1e-5;
    const double q = 1000.0 * std::numbers::pi * d * nu / 4.0;
    const double r = pipe_resistance(HeadLossFormula::DarcyWeisbach, 100, d, 0.0, 2.0);
    const LinkCoefficients c = darcy_weisbach_coefficients(q, r, 0.0, 0.0, nu * d);
    EXPECT_NEAR(head_loss(c), 64.0 / 1000.0 * r * q * q, 1e-15);
}

TEST(HeadLoss, FrictionFactorIsContinuousAtTurbulence) {
    const double s = 1.1e-5 * 0.5;
    const double limit = 1000.0 * std::numbers::pi * s;  // Re 4000
    double d1 = 0.0, d2 = 0.0;
    const double below = friction_factor(limit * (1 - 1e-9), 1e-4, s, d1);
    const double above = friction_factor(limit * (1 + 1e-9), 1e-4, s, d2);
    EXPECT_NEAR(below, above, 1e-6);
    // Re 2000: Dunlop's curve meets the laminar 64 / Re.
    EXPECT_NEAR(friction_factor(limit / 2.0, 1e-4, s, d1), 64.0 / 2000.0, 1e-6);
}

TEST(HeadLoss, ClosedLinksHaveATinyConductance) {
    const LinkCoefficients c = closed_link_coefficients(0.3);
    EXPECT_DOUBLE_EQ(c.p, 1e-8);
    EXPECT_DOUBLE_EQ(c.y, 0.3);
}

TEST(Pump, PowerFunctionGivesItsHeadGainWithSpeed) {
    PumpData p;
    p.kind = PumpCurveKind::PowerFunction;
    p.h0 = -100.0;  // loss form: -shutoff head
    p.r = 2.0;
    p.n = 2.0;
    UnitFactors u;
    // Gain at speed s: s^2 h0 - r s^(2-n) q^n.
    const LinkCoefficients c = pump_coefficients(p, nullptr, 3.0, 1.5, 1e-7, u);
    EXPECT_NEAR(-head_loss(c), 2.25 * 100.0 - 2.0 * 9.0, 1e-9);
}

TEST(Pump, CustomCurveUsesTheSegmentHoldingTheFlow) {
    Curve curve;
    curve.x = {0, 448.831, 897.662};  // gpm: 0, 1 and 2 cfs
    curve.y = {100, 80, 40};
    PumpData p;
    p.kind = PumpCurveKind::Custom;
    UnitFactors u;
    u.flow = 448.831;
    const LinkCoefficients c = pump_coefficients(p, &curve, 1.5, 1.0, 1e-7, u);
    EXPECT_NEAR(-head_loss(c), 60.0, 1e-9);
}

TEST(Pump, ConstantPowerDeliversItsPower) {
    PumpData p;
    p.kind = PumpCurveKind::ConstantPower;
    p.r = -8.814 * 30.0;
    p.n = -1.0;
    UnitFactors u;
    const LinkCoefficients c = pump_coefficients(p, nullptr, 2.0, 1.0, 1e-7, u);
    EXPECT_NEAR(-head_loss(c) * 2.0, 8.814 * 30.0, 1e-9) << "gain * flow is constant";
}

struct PrvCase {
    LinkState from;
    double flow, h1, h2;
    LinkState expected;
};

class PrvStatus : public testing::TestWithParam<PrvCase> {};

TEST_P(PrvStatus, FollowsEpanetsRules) {
    const PrvCase c = GetParam();
    EXPECT_EQ(prv_state(c.from, c.flow, 100.0, c.h1, c.h2, 0.0, StatusTolerances{}), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PrvStatus,
    testing::Values(PrvCase{LinkState::Active, -1.0, 120, 100, LinkState::Closed},
                    PrvCase{LinkState::Active, 1.0, 90, 89, LinkState::Open},
                    PrvCase{LinkState::Active, 1.0, 120, 100, LinkState::Active},
                    PrvCase{LinkState::Open, 1.0, 120, 101, LinkState::Active},
                    PrvCase{LinkState::Open, 1.0, 120, 99, LinkState::Open},
                    PrvCase{LinkState::Closed, 0.0, 120, 90, LinkState::Active},
                    PrvCase{LinkState::Closed, 0.0, 95, 90, LinkState::Open},
                    PrvCase{LinkState::Closed, 0.0, 95, 97, LinkState::Closed},
                    PrvCase{LinkState::XPressure, -1.0, 95, 97, LinkState::Closed}));

TEST(ValveStatus, CheckValveClosesOnReverseHeadOrFlow) {
    const StatusTolerances tol;
    EXPECT_EQ(check_valve_state(LinkState::Open, -1.0, 1.0, tol), LinkState::Closed);
    EXPECT_EQ(check_valve_state(LinkState::Open, 1.0, -1.0, tol), LinkState::Closed);
    EXPECT_EQ(check_valve_state(LinkState::Closed, 1.0, 0.0, tol), LinkState::Open);
    EXPECT_EQ(check_valve_state(LinkState::Closed, 0.0001, 0.0, tol), LinkState::Closed);
}

TEST(ValveStatus, FcvCannotDeliverOnReverseHead) {
    const StatusTolerances tol;
    EXPECT_EQ(fcv_state(LinkState::Active, 1.0, 2.0, 90, 100, tol), LinkState::XFCV);
    EXPECT_EQ(fcv_state(LinkState::XFCV, 2.5, 2.0, 100, 90, tol), LinkState::Active);
    EXPECT_EQ(fcv_state(LinkState::XFCV, 1.5, 2.0, 100, 90, tol), LinkState::XFCV);
}

TEST(Outflow, EmitterLawAndItsLinearTail) {
    const OutflowLaw law = emitter_law(2.0, 3.0, 2.0, 1e-7);
    EXPECT_NEAR(law.hloss, 12.0, 1e-12);
    EXPECT_NEAR(law.hgrad, 12.0, 1e-12);
    EXPECT_DOUBLE_EQ(emitter_law(0.0, 3.0, 2.0, 1e-7).hgrad, 1e-7);
}

TEST(Outflow, DemandLawHasBarriersOutsideZeroToFull) {
    EXPECT_DOUBLE_EQ(demand_law(-1.0, 2.0, 10.0, 2.0, 1e-7).hgrad, 1e8);
    EXPECT_DOUBLE_EQ(demand_law(3.0, 2.0, 10.0, 2.0, 1e-7).hloss, 10.0 + 1e8);
    // Half the demand needs (1/2)^n of the pressure range.
    EXPECT_NEAR(demand_law(1.0, 2.0, 10.0, 2.0, 1e-7).hloss, 2.5, 1e-12);
}

}  // namespace
}  // namespace hydrosk::toolkit
