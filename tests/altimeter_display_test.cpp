// The altimeter's element callbacks: which rows each test shows, the values
// and clamps of the moving pictures, the texts and their formatter, and what
// NaN and extreme inputs give.
#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "altimeter_support.h"
#include "host/pe.h"

namespace tarnwix::test::altimeter {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kLargest = std::numeric_limits<double>::max();

const std::string kAltitudeOff = " OFF" + std::string(45, ' ') + "0";       // 50 characters
const std::string kVerticalSpeedOff = " OFF" + std::string(30, ' ') + "0";  // 35 characters

using AltimeterDisplay = AltimeterTest;

TEST_F(AltimeterDisplay, PowerFlagZeroOneAndTwoShowTheirRows) {
  const struct {
    const char* name;
    Inputs in;
    std::set<int> shown;
    int icon_image;
  } table[] = {
      {"power 0", {.power = 0.0}, {kBackground, kScale}, 1},
      {"power 0, below zero, preselect off",
       {.power = 0.0, .altitude = -50.0, .preselect = 0.0},
       {kBackground, kScale},
       1},
      {"power 1",
       {.power = 1.0},
       {kBackground, kTape, kGroundMarker, kSelectedMarker, kAltitudeWindow, kSelectedAltitude, kHeightWindow,
        kBarometricWindow, kScale, kClimbBar, kDescentBar, kSelectedVsAbove, kVsZero, kPointer},
       0},
      {"power 2",
       {.power = 2.0},
       {kBackground, kGroundMarker, kAltitudeWindow, kSelectedAltitude, kHeightWindow, kBarometricWindow, kScale,
        kClimbBar, kDescentBar},
       1},
      {"power 2, below zero",
       {.power = 2.0, .altitude = -50.0},
       {kBackground, kGroundMarker, kAltitudeBelowZero, kSelectedAltitude, kHeightWindow, kBarometricWindow, kScale,
        kClimbBar, kDescentBar},
       1},
      {"power 2, preselect off, climbing",
       {.power = 2.0, .preselect = 0.0, .vertical_speed = 25.0},
       {kBackground, kGroundMarker, kAltitudeWindow, kHeightWindow, kBarometricWindow, kScale, kClimbBar},
       1},
      {"power -1, descending",
       {.power = -1.0, .vertical_speed = -25.0},
       {kBackground, kGroundMarker, kAltitudeWindow, kSelectedAltitude, kHeightWindow, kBarometricWindow, kScale,
        kDescentBar},
       1},
  };
  for (const auto& r : table) {
    const host::FrameSnapshot f = frame(r.in);
    EXPECT_EQ(shown_rows(f), r.shown) << r.name << ": shown " << describe(shown_rows(f));
    EXPECT_EQ(row(f, kScale).values.at(0), r.icon_image) << r.name;
  }
}

TEST_F(AltimeterDisplay, PreselectSwitchIsComparedAsADouble) {
  const std::set<int> always{kBackground,       kTape,  kGroundMarker, kAltitudeWindow, kHeightWindow,
                             kBarometricWindow, kScale, kClimbBar,     kDescentBar,     kVsZero};
  const std::set<int> on{kSelectedMarker, kSelectedAltitude, kSelectedVsAbove, kPointer};
  const std::set<int> off{kSelectedAltitudeOff, kSelectedVsOff};
  const std::set<int> neither{kSelectedAltitude};
  const struct {
    double preselect;
    const std::set<int>& extra;
  } table[] = {
      {1.0, on},
      {0.0, off},
      {-0.0, off},
      {0.5, neither},        // not 0, and neither 1 nor 0
      {1.0000001, neither},  // truncated it would be 1
      {-1.0, neither},
      {kNaN, neither},
      {kInfinity, neither},
  };
  for (const auto& r : table) {
    std::set<int> expected = always;
    expected.insert(r.extra.begin(), r.extra.end());
    const host::FrameSnapshot f = frame({.preselect = r.preselect});
    EXPECT_EQ(shown_rows(f), expected) << "preselect " << r.preselect << ": shown " << describe(shown_rows(f));
  }
}

TEST_F(AltimeterDisplay, EachSharedPositionGroupShowsAtMostOneRow) {
  const std::vector<std::vector<int>> groups{{kAltitudeWindow, kAltitudeBelowZero},
                                             {kSelectedAltitude, kSelectedAltitudeOff},
                                             {kSelectedVsAbove, kSelectedVsZero, kSelectedVsBelow, kSelectedVsOff},
                                             {kVsAbove, kVsZero, kVsBelow}};
  int frames = 0;
  for (double power : {0.0, 1.0, 2.0, -1.0})
    for (double preselect : {0.0, 1.0, 0.5, kNaN})
      for (double altitude : {-0.4, 0.0, 12345.0, kNaN})
        for (double selected : {-500.0, 0.0, 500.0, kNaN})
          for (double speed : {-25.0, 0.0, 25.0}) {
            const host::FrameSnapshot f = frame({.power = power,
                                                 .altitude = altitude,
                                                 .preselect = preselect,
                                                 .vertical_speed = speed,
                                                 .selected_vertical_speed = selected});
            ++frames;
            for (const std::vector<int>& group : groups) {
              int shown = 0;
              for (int r : group) shown += row(f, r).hidden ? 0 : 1;
              // Powered at 1 with finite values and a switch of 0 or 1, exactly one.
              const bool defined = power == 1.0 && (preselect == 0.0 || preselect == 1.0) && !std::isnan(altitude) &&
                                   !std::isnan(selected);
              EXPECT_LE(shown, 1) << "group from row " << group[0] << ", power " << power << ", preselect " << preselect
                                  << ", altitude " << altitude << ", selected " << selected;
              if (defined) {
                EXPECT_EQ(shown, 1) << "group from row " << group[0] << ", preselect " << preselect << ", altitude "
                                    << altitude << ", selected " << selected << ", speed " << speed;
              }
            }
          }
  EXPECT_EQ(frames, 768);
}

TEST_F(AltimeterDisplay, MovingPartsAreClampedToTheirRanges) {
  const struct {
    const char* name;
    Inputs in;
    int row;
    double y;
  } table[] = {
      {"tape, 12345 ft", {.altitude = 12345.0}, kTape, 12345.0},
      {"tape, 150000 ft", {.altitude = 150000.0}, kTape, 70600.0},
      {"tape, 70600 ft", {.altitude = 70600.0}, kTape, 70600.0},
      {"tape, -5000 ft", {.altitude = -5000.0}, kTape, -2000.0},
      {"tape, -1999.5 ft", {.altitude = -1999.5}, kTape, -1999.5},
      {"ground marker, on the ground", {.height = 0.0}, kGroundMarker, 0.0},
      {"ground marker, 319 ft", {.height = 100.0}, kGroundMarker, 319.0},
      {"ground marker, 3271 ft", {.height = 1000.0}, kGroundMarker, 460.0},
      {"selected marker, at the selected altitude",
       {.altitude = 3500.0, .selected_altitude = 3500.0},
       kSelectedMarker,
       460.0},
      {"selected marker, 100 ft above", {.altitude = 3600.0, .selected_altitude = 3500.0}, kSelectedMarker, 560.0},
      {"selected marker, 500 ft above", {.altitude = 4000.0, .selected_altitude = 3500.0}, kSelectedMarker, 920.0},
      {"selected marker, 500 ft below", {.altitude = 3000.0, .selected_altitude = 3500.0}, kSelectedMarker, 0.0},
      {"climb bar, 1500 fpm", {.vertical_speed = 25.0}, kClimbBar, 1500.0},
      {"climb bar, 6000 fpm", {.vertical_speed = 100.0}, kClimbBar, 3000.0},
      {"climb bar, -6000 fpm: no lower clamp", {.vertical_speed = -100.0}, kClimbBar, -6000.0},
      {"descent bar, -1500 fpm", {.vertical_speed = -25.0}, kDescentBar, -1500.0},
      {"descent bar, -6000 fpm", {.vertical_speed = -100.0}, kDescentBar, -3000.0},
      {"descent bar, 6000 fpm: no upper clamp", {.vertical_speed = 100.0}, kDescentBar, 6000.0},
      {"pointer, 1000 fpm", {.selected_vertical_speed = 1000.0}, kPointer, 1000.0},
      {"pointer, 4000 fpm", {.selected_vertical_speed = 4000.0}, kPointer, 3000.0},
      {"pointer, -4000 fpm", {.selected_vertical_speed = -4000.0}, kPointer, -3000.0},
  };
  for (const auto& r : table) {
    const host::FrameSnapshot f = frame(r.in);
    EXPECT_EQ(y_value(f, r.row), r.y) << r.name;
    EXPECT_EQ(row(f, r.row).values.at(0), 0.0) << r.name << ": the x callback moves nothing sideways";
  }
}

TEST_F(AltimeterDisplay, BarsFollowTheSignOfTheVerticalSpeedAndBothShowAtZero) {
  const struct {
    double feet_per_second;
    bool climb, descent;
  } table[] = {{0.0, true, true}, {25.0, true, false}, {-25.0, false, true}, {-0.01, true, true}};
  for (const auto& r : table) {
    const host::FrameSnapshot f = frame({.vertical_speed = r.feet_per_second});
    EXPECT_EQ(!row(f, kClimbBar).hidden, r.climb) << r.feet_per_second;
    EXPECT_EQ(!row(f, kDescentBar).hidden, r.descent) << r.feet_per_second;
  }
}

TEST_F(AltimeterDisplay, ExampleTextsComeOutExactly) {
  const struct {
    const char* name;
    Inputs in;
    int row;
    std::string text;
  } table[] = {
      {"altitude 12345", {.altitude = 12345.0}, kAltitudeWindow, "12345"},
      {"altitude -50", {.altitude = -50.0}, kAltitudeBelowZero, "-0050"},
      {"altitude -0.4", {.altitude = -0.4}, kAltitudeBelowZero, "-0000"},
      {"altitude 150000", {.altitude = 150000.0}, kAltitudeWindow, "99999"},
      {"altitude 0", {.altitude = 0.0}, kAltitudeWindow, "00000"},
      {"selected altitude 3500", {.selected_altitude = 3500.0}, kSelectedAltitude, "03500"},
      {"selected altitude -100", {.selected_altitude = -100.0}, kSelectedAltitude, "00000"},
      {"selected altitude 150000", {.selected_altitude = 150000.0}, kSelectedAltitude, "99999"},
      {"selected vertical speed 500", {.selected_vertical_speed = 500.0}, kSelectedVsAbove, "+0500"},
      {"selected vertical speed 0", {.selected_vertical_speed = 0.0}, kSelectedVsZero, "+0000"},
      {"selected vertical speed -500", {.selected_vertical_speed = -500.0}, kSelectedVsBelow, "-0500"},
      {"selected vertical speed 4000", {.selected_vertical_speed = 4000.0}, kSelectedVsAbove, "+4000"},
      {"vertical speed 1500", {.vertical_speed = 25.0}, kVsAbove, "+01500"},
      {"vertical speed -1500", {.vertical_speed = -25.0}, kVsBelow, "-01500"},
      {"vertical speed 0", {.vertical_speed = 0.0}, kVsZero, " 00000"},
      {"vertical speed 6000", {.vertical_speed = 100.0}, kVsAbove, "+06000"},
      {"vertical speed 5000", {.vertical_speed = 5000.0 / 60.0}, kVsAbove, "+05000"},
      {"height 319", {.height = 100.0}, kHeightWindow, "00319"},
      {"height -9", {.height = 0.0}, kHeightWindow, "00000"},
      {"barometric 29.92", {.barometric = 29.92}, kBarometricWindow, "29.92"},
      {"barometric 1013.25", {.barometric = 1013.25}, kBarometricWindow, "1013.25"},
      {"selected altitude off", {.preselect = 0.0}, kSelectedAltitudeOff, kAltitudeOff},
      {"selected vertical speed off", {.preselect = 0.0}, kSelectedVsOff, kVerticalSpeedOff},
  };
  ASSERT_EQ(kAltitudeOff.size(), 50u);
  ASSERT_EQ(kVerticalSpeedOff.size(), 35u);
  for (const auto& r : table) {
    const host::FrameSnapshot f = frame(r.in);
    EXPECT_FALSE(row(f, r.row).hidden) << r.name;
    EXPECT_EQ(row(f, r.row).text, r.text) << r.name;
  }
}

// The texts come from msvcrt's formatter, linked by name: it rounds an exact
// half away from zero where the C99 formatter rounds it to even.
TEST_F(AltimeterDisplay, TextsComeFromTheSystemFormatter) {
  const struct {
    Inputs in;
    int row;
    const char* text;
  } table[] = {
      {{.altitude = 0.5}, kAltitudeWindow, "00001"},
      {{.altitude = 2.5}, kAltitudeWindow, "00003"},
      {{.altitude = -2.5}, kAltitudeBelowZero, "-0003"},
      {{.barometric = 0.125}, kBarometricWindow, "00.13"},
      {{.selected_vertical_speed = 0.5}, kSelectedVsAbove, "+0001"},
  };
  for (const auto& r : table) EXPECT_EQ(row(frame(r.in), r.row).text, r.text) << r.text;

  const std::optional<host::PeFile> file = host::read_pe_file(module_path("Tarnwix_Altimeter"));
  ASSERT_TRUE(file.has_value());
  std::vector<std::string> msvcrt;
  for (const auto& [library, names] : file->imports)
    if (library == "msvcrt.dll") msvcrt = names;
  EXPECT_NE(std::find(msvcrt.begin(), msvcrt.end(), "_snprintf"), msvcrt.end());
}

TEST_F(AltimeterDisplay, StringRowsNarrowTheirValuesToSinglePrecision) {
  const struct {
    Inputs in;
    int row;
    bool hidden;
    const char* text;
  } table[] = {
      // 99999.5 narrows to 99999.5 exactly and is capped; 99999.4 narrows to
      // 99999.3984375, under the cap, and rounds to 99999.
      {{.altitude = 99999.4}, kAltitudeWindow, false, "99999"},
      {{.altitude = 99999.6}, kAltitudeWindow, false, "99999"},
      // -1e-50 is below zero as a double but narrows to -0: zero and above.
      // (How a formatter spells -0 is its own affair: the text is not checked.)
      {{.altitude = -1e-50}, kAltitudeWindow, false, nullptr},
      {{.altitude = -1e-50}, kAltitudeBelowZero, true, nullptr},
      // The selected vertical speed is tested as cached: above zero, shown as +0000.
      {{.selected_vertical_speed = 1e-50}, kSelectedVsAbove, false, "+0000"},
      {{.selected_vertical_speed = 1e-50}, kSelectedVsZero, true, "+0000"},
      // 16777217 is not a single-precision number: it narrows to 16777216.
      {{.selected_vertical_speed = 16777217.0}, kSelectedVsAbove, false, "+16777216"},
  };
  for (const auto& r : table) {
    const host::FrameSnapshot f = frame(r.in);
    EXPECT_EQ(row(f, r.row).hidden, r.hidden) << "row " << r.row << ", " << (r.text ? r.text : "-0");
    if (r.text != nullptr) {
      EXPECT_EQ(row(f, r.row).text, r.text);
    }
  }
}

TEST_F(AltimeterDisplay, TextsAreWrittenWhileHidden) {
  const host::FrameSnapshot f = frame({.power = 0.0});
  const struct {
    int row;
    std::string text;
  } table[] = {
      {kAltitudeWindow, "12345"},   {kAltitudeBelowZero, "12345"},
      {kSelectedAltitude, "03500"}, {kSelectedAltitudeOff, kAltitudeOff},
      {kHeightWindow, "00319"},     {kBarometricWindow, "29.92"},
      {kSelectedVsAbove, "+0500"},  {kSelectedVsZero, "+0500"},
      {kSelectedVsBelow, "00500"},  {kSelectedVsOff, kVerticalSpeedOff},
      {kVsAbove, "+00000"},         {kVsZero, " 00000"},
      {kVsBelow, "000000"},
  };
  for (const auto& r : table) {
    EXPECT_TRUE(row(f, r.row).hidden) << "row " << r.row;
    EXPECT_EQ(row(f, r.row).text, r.text) << "row " << r.row;
    EXPECT_EQ(row(f, r.row).values.at(0), 0.0) << "row " << r.row << " returns 0";
  }
}

TEST_F(AltimeterDisplay, HiddenFlagIsSetAndClearedAloneAndTheBrightFlagAlwaysSet) {
  constexpr uint32_t kShown = 0x83 | 0x4, kHidden = 0x83 | 0x4 | 0x40000000;
  for (double power : {1.0, 0.0, 1.0}) {
    const host::FrameSnapshot f = frame({.power = power});
    for (int r = kTape; r <= kRowCount; ++r) {
      if (r == kScale) continue;
      EXPECT_EQ(row(f, r).image_flags, row(f, r).hidden ? kHidden : kShown) << "row " << r << ", power " << power;
    }
    EXPECT_EQ(row(f, kBackground).image_flags, 0x83u);
  }
}

TEST_F(AltimeterDisplay, IconNeverTouchesTheHiddenFlag) {
  uint8_t* icon = module->chain().at(kScale - 1);
  for (double power : {1.0, 0.0, 2.0}) {
    EXPECT_EQ(frame({.power = power}).elements.at(kScale - 1).image_flags, 0x87u) << "power " << power;
  }
  // A hidden flag set from outside stays set, whatever the power flag.
  host::put_u32(icon, 48, 0x83 | 0x40000000);
  for (double power : {1.0, 0.0}) {
    const host::FrameSnapshot f = frame({.power = power});
    EXPECT_EQ(row(f, kScale).image_flags, 0x83u | 0x4u | 0x40000000u) << "power " << power;
    EXPECT_EQ(row(f, kScale).values.at(0), power == 1.0 ? 0.0 : 1.0);
  }
}

// Every input a simulation could deliver, however wrong, gives bounded texts
// and position values inside their ranges.
TEST_F(AltimeterDisplay, NaNAndExtremeInputsGiveBoundedTextsAndDefinedPositions) {
  const double extremes[] = {kNaN,   -kNaN,   kInfinity, -kInfinity, kLargest,     -kLargest,     1e300, -1e300,
                             3.4e38, -3.4e38, 1e39,      -1e39,      4294967296.0, -4294967296.0, 1e-320};
  const struct {
    int row;
    double lowest, highest;
  } ranges[] = {{kTape, -2000.0, 70600.0},          {kGroundMarker, 0.0, 460.0},          {kSelectedMarker, 0.0, 920.0},
                {kClimbBar, -2147483648.0, 3000.0}, {kDescentBar, -3000.0, 2147483647.0}, {kPointer, -3000.0, 3000.0}};
  for (double value : extremes) {
    for (double power : {1.0, value}) {
      const Inputs in{.power = power,
                      .altitude = value,
                      .selected_altitude = value,
                      .preselect = power == 1.0 ? 1.0 : value,
                      .barometric = value,
                      .height = value,
                      .vertical_speed = value,
                      .selected_vertical_speed = value};
      const host::FrameSnapshot f = frame(in);
      for (const auto& r : ranges) {
        const double y = y_value(f, r.row);
        EXPECT_TRUE(y >= r.lowest && y <= r.highest) << "row " << r.row << " gives " << y << " for " << value;
      }
      for (const host::ElementSnapshot& element : f.elements)
        if (element.kind == host::ElementKind::kString) {
          EXPECT_LT(element.text.size(), host::Module::kTextBufferSize) << "row " << element.index + 1;
        }
    }
  }
  // NaN altitude: neither "zero and above" nor "below zero"; the tape and the
  // markers take NaN as 0.
  const host::FrameSnapshot f = frame({.altitude = kNaN, .selected_altitude = kNaN, .selected_vertical_speed = kNaN});
  EXPECT_TRUE(row(f, kAltitudeWindow).hidden);
  EXPECT_TRUE(row(f, kAltitudeBelowZero).hidden);
  EXPECT_EQ(y_value(f, kTape), 0.0);
  EXPECT_EQ(y_value(f, kSelectedMarker), 0.0);
  EXPECT_EQ(y_value(f, kPointer), 0.0);
  EXPECT_TRUE(row(f, kSelectedVsAbove).hidden && row(f, kSelectedVsZero).hidden && row(f, kSelectedVsBelow).hidden);
  // The widest numbers a window can show still fit: the largest float has 39 digits.
  const host::FrameSnapshot wide = frame({.altitude = -3.4e38, .selected_vertical_speed = 3.4e38});
  EXPECT_EQ(row(wide, kAltitudeBelowZero).text.size(), 40u) << row(wide, kAltitudeBelowZero).text;
  EXPECT_EQ(row(wide, kSelectedVsAbove).text.size(), 40u) << row(wide, kSelectedVsAbove).text;
}

}  // namespace
}  // namespace tarnwix::test::altimeter
