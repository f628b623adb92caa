// The legends, the SET light, the clickable areas and the published switches
// of both utilities strips, through the host against the real modules.
#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "support.h"

namespace tarnwix::test {
namespace {

using host::KeyEvent;
using host::Panel;

constexpr uint32_t kVorInput = 848, kPower = 769;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Element indexes in drawing order.
enum Element { kPanelImage, kLabelOverlay, kBrakeHelpLegend, kNavLegend, kGpsLegend, kSetLegend, kCallout, kCheck };

// A point inside each clickable area.
struct Point {
  int x, y;
};
constexpr Point kVorInputPoint{150, 70}, kBaroSetPoint{300, 70}, kBrakeHelpPoint{40, 70};
constexpr Point kAnnunciatorTestPoint{480, 70}, kCalloutPoint{380, 70};

const KeyEvent kVorInputEvent{66375, 0};
const KeyEvent kBaroSetEvent{65584, 0};

std::unique_ptr<host::Module> start(const std::string& name, double power) {
  auto module = load(name);
  if (module == nullptr) return module;
  Panel::instance().set_variable(kPower, power);
  module->install();
  module->frame();  // the first draw resets the working values
  return module;
}

class Strip : public ::testing::TestWithParam<std::string> {
 protected:
  void start_with_power(double power) {
    module_.reset();  // unload first, so the module comes back with its load-time state
    module_ = start(GetParam(), power);
    ASSERT_NE(module_, nullptr);
  }
  void SetUp() override { start_with_power(1.0); }
  void TearDown() override {
    if (module_ != nullptr) expect_clean_calls(*module_);
  }
  int click(Point p) { return module_->click(p.x, p.y); }
  std::unique_ptr<host::Module> module_;
};

// The power-gated legends and overlay of the first six elements.
TEST_P(Strip, PowerGatesTheOverlayAndLegendsButNotTheSetLight) {
  struct Row {
    double power;
    bool powered;
  };
  const Row rows[] = {{1.0, true},  {1.5, true},   {1.99, true},  {0.99, false}, {2.0, false},
                      {0.0, false}, {-1.0, false}, {kNaN, false}, {kInf, false}, {-1e300, false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "power " << row.power);
    Panel::instance().set_variable(kPower, row.power);
    const host::FrameSnapshot frame = module_->frame();
    EXPECT_FALSE(frame[kPanelImage].hidden);
    for (int i : {kLabelOverlay, kBrakeHelpLegend, kNavLegend, kGpsLegend}) {
      EXPECT_EQ(frame[i].hidden, !row.powered) << "element " << i;
      EXPECT_TRUE(frame[i].bright) << "element " << i;
    }
    EXPECT_FALSE(frame[kSetLegend].hidden);
    EXPECT_TRUE(frame[kSetLegend].bright);
    EXPECT_EQ(frame[kLabelOverlay].values, std::vector<double>{0.0}) << "always the captions";
  }
}

// NAV and GPS return the VOR input variable as delivered when it is 0 or 1,
// and 0 for anything else: each legend has only those two images. NAV lights
// at 0 and GPS at 1: each shows the bitmap of its resource id plus the state,
// and the unlit ones are all black (transparent).
TEST_P(Strip, NavAndGpsFollowTheVorInput) {
  auto shows_black = [&](const host::ElementSnapshot& legend) {
    const auto bitmap = module_->bitmap(legend.resource_id + legend.image_index());
    return bitmap && std::all_of(bitmap->rgb.begin(), bitmap->rgb.end(), [](uint8_t v) { return v == 0; });
  };
  Panel& panel = Panel::instance();
  for (double vor : {0.0, 1.0, -0.0, 0.5, 0.999999, 1.000001, -3.0, 2.0, 1e300, -kInf, kInf, kNaN}) {
    SCOPED_TRACE(vor);
    panel.set_variable(kVorInput, vor);
    const host::FrameSnapshot frame = module_->frame();
    const double state = vor == 1.0 ? 1.0 : 0.0;
    EXPECT_EQ(frame[kNavLegend].values, std::vector<double>{state});
    EXPECT_EQ(frame[kGpsLegend].values, std::vector<double>{state});
    EXPECT_EQ(shows_black(frame[kNavLegend]), state == 1.0);
    EXPECT_EQ(shows_black(frame[kGpsLegend]), state == 0.0);
  }
}

// The simulator answers 66375 by switching token 848; the legends follow it at
// the next update, with or without power, and a host that does not answer
// leaves them as they were.
TEST_P(Strip, VorInputClicksSwitchTheLegendsThroughTheSimulatorsAnswer) {
  Panel& panel = Panel::instance();
  struct Row {
    double before, after;
  };
  for (const Row& row : {Row{0.0, 1.0}, Row{1.0, 0.0}, Row{0.5, 0.0}, Row{kNaN, 0.0}, Row{-0.0, 1.0}}) {
    SCOPED_TRACE(testing::Message() << "848 at " << row.before);
    panel.set_variable(kVorInput, row.before);
    module_->frame();
    ASSERT_EQ(click(kVorInputPoint), 1);
    EXPECT_EQ(panel.variable(kVorInput), row.after);
    EXPECT_EQ(module_->frame()[kGpsLegend].values, std::vector<double>{row.after});
  }
  panel.set_variable(kPower, 0.0);
  panel.set_variable(kVorInput, 0.0);
  ASSERT_EQ(click(kVorInputPoint), 1);
  EXPECT_EQ(module_->frame()[kNavLegend].values, std::vector<double>{1.0}) << "unpowered, hidden, but switched";

  struct AnswersOff {
    AnswersOff() { Panel::instance().set_answers_key_events(false); }
    ~AnswersOff() { Panel::instance().set_answers_key_events(true); }
  } answers_off;
  panel.reset();
  EXPECT_FALSE(panel.answers_key_events()) << "kept across a reset";
  panel.set_variable(kPower, 1.0);
  ASSERT_EQ(click(kVorInputPoint), 1);
  EXPECT_EQ(panel.variable(kVorInput), 0.0);
  EXPECT_EQ(module_->frame()[kGpsLegend].values, std::vector<double>{0.0});
}

std::vector<double> set_light(host::Module& module, int frames) {
  std::vector<double> values;
  for (int i = 0; i < frames; ++i) values.push_back(module.frame()[kSetLegend].values.at(0));
  return values;
}

std::vector<double> lit(int on, int off) {
  std::vector<double> values(on, 1.0);
  values.insert(values.end(), off, 0.0);
  return values;
}

TEST_P(Strip, SetLightsForTenPoweredUpdatesAfterABaroClick) {
  EXPECT_EQ(set_light(*module_, 3), lit(0, 3));
  ASSERT_GE(click(kBaroSetPoint), 0);
  EXPECT_EQ(set_light(*module_, 5), lit(5, 0));
  // A second click during the light sends its event but neither restarts
  // nor lengthens the light.
  Panel::instance().clear_key_events();
  ASSERT_GE(click(kBaroSetPoint), 0);
  EXPECT_EQ(Panel::instance().key_events(), std::vector<KeyEvent>{kBaroSetEvent});
  EXPECT_EQ(set_light(*module_, 8), lit(5, 3));
  ASSERT_GE(click(kBaroSetPoint), 0);
  EXPECT_EQ(set_light(*module_, 12), lit(10, 2)) << "a click after the light ends lights it again";
}

TEST_P(Strip, SetLightWaitsForPowerAndPausesWithoutIt) {
  Panel& panel = Panel::instance();
  panel.set_variable(kPower, 0.0);
  ASSERT_GE(click(kBaroSetPoint), 0);
  EXPECT_EQ(module_->frame().key_events, std::vector<KeyEvent>{}) << "the event went out with the click";
  EXPECT_EQ(set_light(*module_, 4), lit(0, 4));
  panel.set_variable(kPower, 1.0);
  EXPECT_EQ(set_light(*module_, 4), lit(4, 0));
  panel.set_variable(kPower, 2.0);  // unpowered again
  EXPECT_EQ(set_light(*module_, 3), lit(0, 3));
  panel.set_variable(kPower, 1.7);
  EXPECT_EQ(set_light(*module_, 8), lit(6, 2)) << "ten powered updates in all";
}

TEST_P(Strip, FirstDrawResetClearsAPendingSetLight) {
  module_.reset();
  module_ = load(GetParam());
  ASSERT_NE(module_, nullptr);
  Panel::instance().set_variable(kPower, 1.0);
  module_->install();
  ASSERT_GE(click(kBaroSetPoint), 0);  // before the first draw
  module_->frame();
  EXPECT_EQ(set_light(*module_, 3), lit(0, 3));
}

// Each area: a point inside sends its event at once, with or without power.
TEST_P(Strip, AreasSendTheirEventsWithOrWithoutPower) {
  for (double power : {1.0, 0.0}) {
    SCOPED_TRACE(power);
    start_with_power(power);
    Panel& panel = Panel::instance();
    panel.clear_key_events();
    EXPECT_EQ(click(kVorInputPoint), 1);
    EXPECT_EQ(panel.key_events(), std::vector<KeyEvent>{kVorInputEvent});
    EXPECT_EQ(click(kBaroSetPoint), 2);
    EXPECT_EQ(panel.key_events(), (std::vector<KeyEvent>{kVorInputEvent, kBaroSetEvent}));
    EXPECT_EQ(click(kBrakeHelpPoint), 3);
    EXPECT_EQ(panel.key_events().size(), 2u) << "arming sends nothing by itself";
    EXPECT_EQ(module_->frame()[kBrakeHelpLegend].values, std::vector<double>{1.0});
  }
}

// Right of the VOR input area, though still inside the GPS legend's picture.
TEST_P(Strip, ClicksRightOfTheVorInputAreaDoNothing) {
  const host::FrameSnapshot before = module_->frame();
  for (int x = 255; x <= 257; ++x)
    for (int y : {56, 70, 96}) EXPECT_EQ(module_->click(x, y), -1) << x << "," << y;
  const host::FrameSnapshot after = module_->frame();
  EXPECT_TRUE(Panel::instance().key_events().empty());
  for (size_t i = 0; i < before.elements.size(); ++i) EXPECT_EQ(after[i].values, before[i].values) << "element " << i;
}

INSTANTIATE_TEST_SUITE_P(Strips, Strip, ::testing::Values("Tarnwix_Utils", "Tarnwix_UtilsVC"),
                         [](const auto& info) { return info.param; });

// The 2D strip's published switches.

TEST(UtilsSwitches, LegendsAreGatedAndShowTheSlotsAsUnsigned) {
  auto module = start("Tarnwix_Utils", 1.0);
  ASSERT_NE(module, nullptr);
  Panel& panel = Panel::instance();
  host::FrameSnapshot frame = module->frame();
  EXPECT_EQ(frame[kCallout].values, std::vector<double>{0.0});
  EXPECT_EQ(frame[kCheck].values, std::vector<double>{0.0});
  EXPECT_FALSE(frame[kCallout].hidden);
  EXPECT_FALSE(frame[kCheck].hidden);
  // Written by another gauge through the host.
  ASSERT_TRUE(panel.write_named("callout", 5));
  ASSERT_TRUE(panel.write_named("testbutton", 0xFFFFFFFFu));
  frame = module->frame();
  EXPECT_EQ(frame[kCallout].values, std::vector<double>{5.0});
  EXPECT_EQ(frame[kCheck].values, std::vector<double>{4294967295.0});
  EXPECT_EQ(module->frame()[kCallout].values, std::vector<double>{5.0}) << "until the next click";
  panel.set_variable(kPower, 0.0);
  frame = module->frame();
  EXPECT_TRUE(frame[kCallout].hidden);
  EXPECT_TRUE(frame[kCheck].hidden);
  EXPECT_TRUE(frame[kCallout].bright);
  EXPECT_TRUE(frame[kCheck].bright);
  // Any value but 0 toggles to 0, with or without power.
  EXPECT_EQ(module->click(kCalloutPoint.x, kCalloutPoint.y), 5);
  EXPECT_EQ(module->click(kAnnunciatorTestPoint.x, kAnnunciatorTestPoint.y), 4);
  EXPECT_EQ(panel.read_named("callout"), 0u);
  EXPECT_EQ(panel.read_named("testbutton"), 0u);
  frame = module->frame();
  EXPECT_EQ(frame[kCallout].values, std::vector<double>{0.0});
  EXPECT_EQ(frame[kCheck].values, std::vector<double>{0.0});
  EXPECT_TRUE(panel.key_events().empty()) << "the switches send no key event";
}

TEST(UtilsSwitches, ClicksToggleThePublishedWords) {
  auto module = start("Tarnwix_Utils", 0.0);
  ASSERT_NE(module, nullptr);
  Panel& panel = Panel::instance();
  struct Row {
    const char* name;
    Point point;
    Element legend;
  };
  const Row rows[] = {{"callout", kCalloutPoint, kCallout}, {"testbutton", kAnnunciatorTestPoint, kCheck}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    for (uint32_t expected : {1u, 0u, 1u}) {
      ASSERT_GT(module->click(row.point.x, row.point.y), 0);
      EXPECT_EQ(panel.read_named(row.name), expected);
      EXPECT_EQ(module->frame()[row.legend].values, std::vector<double>{static_cast<double>(expected)});
    }
  }
  EXPECT_EQ(panel.read_named("callout"), 1u) << "each area toggles its own word only";
  EXPECT_EQ(panel.read_named("testbutton"), 1u);
}

TEST(UtilsSwitches, FirstDrawResetClearsBothWords) {
  auto module = load("Tarnwix_Utils");
  ASSERT_NE(module, nullptr);
  Panel& panel = Panel::instance();
  panel.set_variable(kPower, 1.0);
  module->install();
  module->click(kCalloutPoint.x, kCalloutPoint.y);
  module->click(kAnnunciatorTestPoint.x, kAnnunciatorTestPoint.y);
  EXPECT_EQ(panel.read_named("callout"), 1u);
  module->update_only();
  EXPECT_EQ(panel.read_named("testbutton"), 1u) << "an update leaves them";
  module->service(10);
  EXPECT_EQ(panel.read_named("callout"), 0u);
  EXPECT_EQ(panel.read_named("testbutton"), 0u);
  module->click(kCalloutPoint.x, kCalloutPoint.y);
  module->service(10);
  EXPECT_EQ(panel.read_named("callout"), 1u) << "only the first pre-draw resets";
}

// The virtual-cockpit strip paints CALL OUT and ANNUN. TEST but has no area
// and no legend for them.
TEST(UtilsVcPaintedButtons, DoNothing) {
  auto module = start("Tarnwix_UtilsVC", 1.0);
  ASSERT_NE(module, nullptr);
  const host::FrameSnapshot before = module->frame();
  ASSERT_EQ(before.elements.size(), 6u);
  for (Point p : {kCalloutPoint, kAnnunciatorTestPoint, Point{363, 55}, Point{424, 95}, Point{457, 55}, Point{519, 96}})
    EXPECT_EQ(module->click(p.x, p.y), -1) << p.x << "," << p.y;
  const host::FrameSnapshot after = module->frame();
  EXPECT_TRUE(Panel::instance().key_events().empty());
  EXPECT_TRUE(Panel::instance().named_variables().empty());
  for (size_t i = 0; i < before.elements.size(); ++i) {
    EXPECT_EQ(after[i].values, before[i].values) << "element " << i;
    EXPECT_EQ(after[i].image_flags, before[i].image_flags) << "element " << i;
  }
}

}  // namespace
}  // namespace tarnwix::test
