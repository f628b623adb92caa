// The brake-help automatic of both utilities strips, event by event, through
// the host against the real modules.
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "support.h"

namespace tarnwix::test {
namespace {

using host::KeyEvent;
using host::Panel;

constexpr uint32_t kGate = 60, kThreshold = 322, kSpeed = 832, kPower = 769;
constexpr int kBrakeHelpX = 40, kBrakeHelpY = 70;  // inside the brake-help area

const std::vector<KeyEvent> kApply{{65786, 16384}, {65820, 0xFFFFF000}, {65821, 0xFFFFF000}};
const std::vector<KeyEvent> kRelease{{65786, 0}, {65820, 0}, {65821, 0}};
const std::vector<KeyEvent> kNothing{};

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

void set_conditions(double gate, double threshold, double speed) {
  Panel& panel = Panel::instance();
  panel.set_variable(kGate, gate);
  panel.set_variable(kThreshold, threshold);
  panel.set_variable(kSpeed, speed);
}

class BrakeHelp : public ::testing::TestWithParam<std::string> {
 protected:
  // Loaded, installed and past its first frame (the first-draw reset), with
  // the panel powered and brake help disarmed.
  void SetUp() override {
    module_.reset();  // unload first, so the module comes back with its load-time state
    module_ = load(GetParam());
    ASSERT_NE(module_, nullptr);
    Panel::instance().set_variable(kPower, 1.0);
    module_->install();
    module_->frame();
  }
  void TearDown() override {
    if (module_ != nullptr) expect_clean_calls(*module_);
  }

  void click_brake_help() { ASSERT_GE(module_->click(kBrakeHelpX, kBrakeHelpY), 0); }
  std::vector<KeyEvent> update() { return module_->frame().key_events; }

  std::unique_ptr<host::Module> module_;
};

TEST_P(BrakeHelp, EachConditionIsTestedExactly) {
  struct Row {
    const char* name;
    bool armed;
    double gate, threshold, speed;
    bool applies;
  };
  const Row rows[] = {
      {"all conditions just hold", true, 1.0, 10.000001, 5.000001, true},
      {"disarmed", false, 1.0, 20.0, 8.0, false},
      {"gate 0.999", true, 0.999, 20.0, 8.0, false},
      {"gate 1.001", true, 1.001, 20.0, 8.0, false},
      {"threshold exactly 10", true, 1.0, 10.0, 8.0, false},
      {"speed exactly 5", true, 1.0, 20.0, 5.0, false},
      {"gate NaN", true, kNaN, 20.0, 8.0, false},
      {"threshold NaN", true, 1.0, kNaN, 8.0, false},
      {"speed NaN", true, 1.0, 20.0, kNaN, false},
      {"gate infinite", true, kInf, 20.0, 8.0, false},
      {"threshold minus infinity", true, 1.0, -kInf, 8.0, false},
      {"threshold and speed infinite", true, 1.0, kInf, kInf, true},
      {"threshold and speed huge", true, 1.0, 1e308, 1e308, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SetUp();  // a fresh module for every row
    if (row.armed) click_brake_help();
    set_conditions(row.gate, row.threshold, row.speed);
    EXPECT_EQ(update(), row.applies ? kApply : kNothing);
    EXPECT_EQ(update(), row.applies ? kApply : kNothing) << "the state holds from one update to the next";
  }
}

TEST_P(BrakeHelp, AppliesEveryUpdateThenReleasesOnce) {
  click_brake_help();
  set_conditions(1.0, 20.0, 8.0);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(update(), kApply) << "update " << i;
  Panel::instance().set_variable(kSpeed, 5.0);
  EXPECT_EQ(update(), kRelease);
  EXPECT_EQ(update(), kNothing);
  EXPECT_EQ(update(), kNothing);
  // Still armed: the next time the conditions hold, it applies again.
  Panel::instance().set_variable(kSpeed, 6.0);
  EXPECT_EQ(update(), kApply);
  Panel::instance().set_variable(kGate, kNaN);
  EXPECT_EQ(update(), kRelease);
  EXPECT_EQ(update(), kNothing);
}

TEST_P(BrakeHelp, DisarmingDuringApplyReleasesExactlyOnce) {
  click_brake_help();
  set_conditions(1.0, 20.0, 8.0);
  EXPECT_EQ(update(), kApply);
  click_brake_help();  // disarm while the conditions still hold
  EXPECT_EQ(update(), kRelease);
  EXPECT_EQ(update(), kNothing);
  EXPECT_EQ(update(), kNothing);
  click_brake_help();  // arm again: applies at the next update
  EXPECT_EQ(update(), kApply);
  EXPECT_EQ(update(), kApply);
}

TEST_P(BrakeHelp, WorksWithoutPower) {
  for (double power : {0.0, 2.0, kNaN, -kInf}) {
    SCOPED_TRACE(power);
    SetUp();
    Panel::instance().set_variable(kPower, power);
    click_brake_help();
    set_conditions(1.0, 20.0, 8.0);
    EXPECT_EQ(update(), kApply);
    EXPECT_EQ(update(), kApply);
    Panel::instance().set_variable(kThreshold, 10.0);
    EXPECT_EQ(update(), kRelease);
    EXPECT_EQ(update(), kNothing);
  }
}

TEST_P(BrakeHelp, FirstDrawResetDisarmsAndForgetsTheApplyWithoutARelease) {
  module_.reset();
  module_ = load(GetParam());
  ASSERT_NE(module_, nullptr);
  module_->install();
  click_brake_help();
  set_conditions(1.0, 20.0, 8.0);
  EXPECT_EQ(module_->update_only().key_events, kApply) << "armed before the first draw";
  const size_t before = Panel::instance().key_events().size();
  module_->service(10);  // the first pre-draw
  EXPECT_EQ(Panel::instance().key_events().size(), before) << "the reset sends nothing";
  EXPECT_EQ(update(), kNothing) << "disarmed, and no release is owed";
  // A later pre-draw resets nothing.
  click_brake_help();
  module_->service(10);
  EXPECT_EQ(update(), kApply);
}

TEST_P(BrakeHelp, ServiceCodesItDoesNotHandleChangeNothing) {
  click_brake_help();
  set_conditions(1.0, 20.0, 8.0);
  EXPECT_EQ(update(), kApply);
  Panel::instance().clear_lookups();
  const size_t events = Panel::instance().key_events().size();
  for (uint32_t code : {0u, 1u, 3u, 5u, 7u, 8u, 9u, 11u, 13u, 100u, 0xFFFFFFFFu}) module_->service(code);
  EXPECT_EQ(Panel::instance().key_events().size(), events);
  EXPECT_TRUE(Panel::instance().lookups().empty());
  EXPECT_EQ(update(), kApply) << "still armed and applying";
}

INSTANTIATE_TEST_SUITE_P(Strips, BrakeHelp, ::testing::Values("Tarnwix_Utils", "Tarnwix_UtilsVC"),
                         [](const auto& info) { return info.param; });

// Both strips on one panel: each keeps its own armed flag and latch.
TEST(BrakeHelpOnOnePanel, OnlyTheArmedStripSendsEvents) {
  for (const bool arm_2d : {true, false}) {
    SCOPED_TRACE(arm_2d ? "2D strip armed" : "virtual-cockpit strip armed");
    auto utils = load("Tarnwix_Utils");  // resets the panel
    ASSERT_NE(utils, nullptr);
    auto utils_vc = host::Module::load(module_path("Tarnwix_UtilsVC"));
    ASSERT_NE(utils_vc, nullptr);
    Panel& panel = Panel::instance();
    panel.set_variable(kPower, 1.0);
    utils->install();
    utils_vc->install();
    utils->frame();
    utils_vc->frame();
    host::Module& armed = arm_2d ? *utils : *utils_vc;
    host::Module& idle = arm_2d ? *utils_vc : *utils;
    ASSERT_GE(armed.click(kBrakeHelpX, kBrakeHelpY), 0);
    set_conditions(1.0, 20.0, 8.0);
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(armed.frame().key_events, kApply);
      EXPECT_EQ(idle.frame().key_events, kNothing);
    }
    panel.set_variable(kGate, 0.0);
    EXPECT_EQ(armed.frame().key_events, kRelease);
    EXPECT_EQ(idle.frame().key_events, kNothing);
    EXPECT_EQ(panel.key_events().size(), 9u);
  }
}

}  // namespace
}  // namespace tarnwix::test
