// The altimeter's pre-update and pre-draw: the variables it looks up, the
// working values it derives from them, the first pre-draw's reset, and the
// sound library's terminate at kill. The working values are seen through the
// elements that show them.
#include <windows.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

#include "altimeter_support.h"

namespace tarnwix::test::altimeter {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

using AltimeterUpdate = AltimeterTest;

TEST_F(AltimeterUpdate, LooksUpElevenVariablesInTableOrderOnEveryUpdate) {
  const std::vector<uint32_t> table{769, 74, 109, 108, 76, 75, 275, 614, 556, 119, 120};
  for (double power : {1.0, 0.0, 2.0}) {
    host::Panel::instance().clear_lookups();
    frame({.power = power});
    EXPECT_EQ(host::Panel::instance().lookups(), table) << "power " << power;
  }
  // The element callbacks and the pre-draw look nothing up.
  host::Panel::instance().clear_lookups();
  module->callbacks_only();
  module->service(10);
  EXPECT_TRUE(host::Panel::instance().lookups().empty());
}

// What the displays tell of the power flag: 0 hides everything, 1 shows the
// tape, any other value shows the ground marker without the tape.
enum class PowerSeen { kZero, kOne, kOther };

PowerSeen power_seen(const host::FrameSnapshot& frame) {
  if (!row(frame, kTape).hidden) return PowerSeen::kOne;
  if (!row(frame, kGroundMarker).hidden) return PowerSeen::kOther;
  return PowerSeen::kZero;
}

TEST_F(AltimeterUpdate, PowerFlagIsThePowerVariableTruncatedTowardZero) {
  const struct {
    double power;
    PowerSeen flag;
  } table[] = {
      {0.99, PowerSeen::kZero},  {1.0, PowerSeen::kOne},    {1.5, PowerSeen::kOne},
      {1.99, PowerSeen::kOne},   {2.0, PowerSeen::kOther},  {-0.5, PowerSeen::kZero},
      {-1.0, PowerSeen::kOther}, {-1.5, PowerSeen::kOther}, {0.0, PowerSeen::kZero},
  };
  for (const auto& r : table) EXPECT_EQ(power_seen(frame({.power = r.power})), r.flag) << "power variable " << r.power;
}

TEST_F(AltimeterUpdate, HeightInFeetIsMetresTimesTheFactorLessNineTruncatedOnce) {
  const struct {
    double metres;
    const char* text;  // the height window, raised to 0 if below
    double marker;     // the ground marker's y value, clamped to [0, 460]
  } table[] = {
      {0.0, "00000", 0.0},       // -9
      {10.0, "00023", 23.0},     // 32.8084 - 9
      {100.0, "00319", 319.0},   // 328.084 - 9
      {100.5, "00320", 320.0},   // 329.724 - 9: not the metres truncated first
      {2.0, "00000", 0.0},       // -2.44: toward zero, not down
      {1000.0, "03271", 460.0},  // 3280.84 - 9
      // The product is a hair under 10 and rounds to 10 in double precision:
      // not truncated while still wider than a double.
      {3.047999902464003, "00001", 1.0},
  };
  for (const auto& r : table) {
    const host::FrameSnapshot f = frame({.height = r.metres});
    EXPECT_EQ(row(f, kHeightWindow).text, r.text) << "height " << r.metres << " m";
    EXPECT_EQ(y_value(f, kGroundMarker), r.marker) << "height " << r.metres << " m";
  }
}

TEST_F(AltimeterUpdate, VerticalSpeedInFeetPerMinuteIsTimesSixtyTruncatedOnce) {
  const struct {
    double feet_per_second;
    int shown;  // the one row of the vertical speed window that shows
    const char* text;
  } table[] = {
      {-0.01, kVsZero, " 00000"},           // -0.6 toward zero, not down to -1
      {0.01, kVsZero, " 00000"},            //
      {25.0, kVsAbove, "+01500"},           //
      {-25.0, kVsBelow, "-01500"},          //
      {0.5, kVsAbove, "+00030"},            // not the feet per second truncated first
      {-0.5, kVsBelow, "-00030"},           //
      {5000.0 / 60.0, kVsAbove, "+05000"},  // a hair under 5000, which is 5000 in double precision
  };
  for (const auto& r : table) {
    const host::FrameSnapshot f = frame({.vertical_speed = r.feet_per_second});
    for (int window : {kVsAbove, kVsZero, kVsBelow})
      EXPECT_EQ(row(f, window).hidden, window != r.shown) << r.feet_per_second << " ft/s, row " << window;
    EXPECT_EQ(row(f, r.shown).text, r.text) << r.feet_per_second << " ft/s";
  }
}

TEST_F(AltimeterUpdate, WorkingValuesAreZeroUntilTheFirstUpdateAndClearedByTheFirstPreDrawOnly) {
  set_inputs({.power = 1.0, .height = 100.0, .vertical_speed = 25.0});
  // Before any pre-update: power flag 0, so only the background and the icon show.
  const host::FrameSnapshot before = module->callbacks_only();
  EXPECT_EQ(shown_rows(before), (std::set<int>{kBackground, kScale})) << describe(shown_rows(before));
  EXPECT_EQ(row(before, kScale).image_index(), 1);

  const host::FrameSnapshot first = module->frame();  // pre-update, callbacks, first pre-draw
  EXPECT_FALSE(row(first, kTape).hidden);
  EXPECT_EQ(row(first, kHeightWindow).text, "00319");

  // The first pre-draw cleared power flag, height and vertical speed.
  const host::FrameSnapshot cleared = module->callbacks_only();
  EXPECT_EQ(shown_rows(cleared), (std::set<int>{kBackground, kScale})) << describe(shown_rows(cleared));
  EXPECT_EQ(row(cleared, kHeightWindow).text, "00000");
  EXPECT_EQ(row(cleared, kVsZero).text, " 00000");

  // The next pre-update derives them again, and later pre-draws leave them.
  module->frame();
  const host::FrameSnapshot kept = module->callbacks_only();
  EXPECT_FALSE(row(kept, kTape).hidden);
  EXPECT_EQ(row(kept, kHeightWindow).text, "00319");
  EXPECT_EQ(row(kept, kVsAbove).text, "+01500");
}

// Converting NaN, an infinity or a double beyond the 32-bit range straight to
// an integer is undefined; the module's truncation gives NaN 0 and saturates.
TEST_F(AltimeterUpdate, TruncationOfNaNAndOutOfRangeValuesIsDefined) {
  const struct {
    double power;
    PowerSeen flag;
  } powers[] = {
      {kNaN, PowerSeen::kZero},                                           // not INT_MIN, which would pass "not 0"
      {-kNaN, PowerSeen::kZero},         {kInfinity, PowerSeen::kOther},  // saturates at the largest integer
      {-kInfinity, PowerSeen::kOther},   {1e300, PowerSeen::kOther},
      {4294967297.0, PowerSeen::kOther},  // 2^32 + 1: a wrapping conversion would give 1
      {2147483648.5, PowerSeen::kOther},
  };
  for (const auto& r : powers) EXPECT_EQ(power_seen(frame({.power = r.power})), r.flag) << "power " << r.power;

  const struct {
    double metres;
    const char* text;
    double marker;
  } heights[] = {
      {kNaN, "00000", 0.0},         {kInfinity, "2147483647", 460.0}, {-kInfinity, "00000", 0.0},
      {1e300, "2147483647", 460.0}, {-1e300, "00000", 0.0},
  };
  for (const auto& r : heights) {
    const host::FrameSnapshot f = frame({.height = r.metres});
    EXPECT_EQ(row(f, kHeightWindow).text, r.text) << "height " << r.metres;
    EXPECT_EQ(y_value(f, kGroundMarker), r.marker) << "height " << r.metres;
  }

  const struct {
    double feet_per_second;
    int shown;
    const char* text;
    double climb, descent;
  } speeds[] = {
      {kNaN, kVsZero, " 00000", 0.0, 0.0},
      {kInfinity, kVsAbove, "+2147483647", 3000.0, 2147483647.0},
      {-kInfinity, kVsBelow, "-2147483648", -2147483648.0, -3000.0},
      {1e12, kVsAbove, "+2147483647", 3000.0, 2147483647.0},
  };
  for (const auto& r : speeds) {
    const host::FrameSnapshot f = frame({.vertical_speed = r.feet_per_second});
    EXPECT_FALSE(row(f, r.shown).hidden) << r.feet_per_second;
    EXPECT_EQ(row(f, r.shown).text, r.text) << r.feet_per_second;
    EXPECT_EQ(y_value(f, kClimbBar), r.climb) << r.feet_per_second;
    EXPECT_EQ(y_value(f, kDescentBar), r.descent) << r.feet_per_second;
  }
}

TEST_F(AltimeterUpdate, OtherServiceCodesDoNothing) {
  frame({});  // past the first pre-draw's reset
  module->update_only();
  host::Panel::instance().clear_lookups();
  for (uint32_t code : {0u, 1u, 3u, 5u, 7u, 8u, 9u, 11u, 13u, 0xFFFFFFFFu}) module->service(code);
  EXPECT_TRUE(host::Panel::instance().lookups().empty());
  // Still powered: no code cleared the working values.
  EXPECT_FALSE(row(module->callbacks_only(), kTape).hidden);
}

// The fake sound library counts its calls in the process environment.
int environment_count(const char* name) {
  char text[32] = "0";
  if (GetEnvironmentVariableA(name, text, sizeof text) == 0) return 0;
  return std::atoi(text);
}

TEST(AltimeterSound, TerminatesSoundsOnceAtKillAndNeverPlaysOrStops) {
  const int terminate_before = environment_count("TARNWIX_FAKE_SOUND_TERMINATE");
  const int play_before = environment_count("TARNWIX_FAKE_SOUND_PLAY");
  const int stop_before = environment_count("TARNWIX_FAKE_SOUND_STOP");
  auto module = load_with_sound("Tarnwix_Altimeter");
  ASSERT_NE(module, nullptr);
  module->install();
  for (int i = 0; i < 3; ++i) {
    set_inputs({});
    module->frame();
  }
  EXPECT_EQ(module->imports().terminate_sounds, 0);
  module->kill();
  EXPECT_EQ(module->imports().terminate_sounds, 1);
  EXPECT_EQ(environment_count("TARNWIX_FAKE_SOUND_TERMINATE") - terminate_before, 1);
  EXPECT_EQ(environment_count("TARNWIX_FAKE_SOUND_PLAY"), play_before);
  EXPECT_EQ(environment_count("TARNWIX_FAKE_SOUND_STOP"), stop_before);
  EXPECT_EQ(module->imports().allocations, 0);
  EXPECT_TRUE(module->call_faults().empty());
}

}  // namespace
}  // namespace tarnwix::test::altimeter
