// Tarnwix_Airspeed driven frame by frame through the host: the power flag, the
// four display conditions, the tape and marker positions, the readout texts,
// bad input, and the order of the services.
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "support.h"

namespace tarnwix::test {
namespace {

using namespace host;

// Tokens of the nine variables, in table order.
enum Token : uint32_t {
  kAirspeed = 61,
  kPower = 769,
  kMach = 64,
  kMetresPerSecond = 832,
  kSelectedSpeed = 116,
  kSelectedSpeedFlag = 115,
  kSelectedMach = 118,
  kSelectedMachFlag = 117,
  kRedBandSpeed = 63,
};
const std::vector<uint32_t> kTableOrder = {61, 769, 64, 832, 116, 115, 118, 117, 63};

// The chain, in drawing order.
enum Element : size_t {
  kBackground,
  kTape,
  kFrame,
  kAirspeedReadout,
  kMachReadout,
  kWhiteSpeedReadout,
  kSelectedSpeedReadout,
  kSelectedMachReadout,
  kSelectionOffReadout,
  kRedBand,
  kMarker,
  kElementCount,
};

constexpr const char* kElementNames[] = {
    "background",     "tape",          "readout frame", "airspeed readout", "Mach readout", "white speed readout",
    "selected speed", "selected Mach", "selection off", "red band",         "marker"};

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

class AirspeedDisplay : public InstalledModule {
 protected:
  AirspeedDisplay() : InstalledModule("Tarnwix_Airspeed") {}
  void TearDown() override {
    InstalledModule::TearDown();
    if (module == nullptr) return;
    EXPECT_EQ(module->imports().allocations, 0) << "the module allocates no memory";
  }
  static void set(uint32_t token, double value) { Panel::instance().set_variable(token, value); }
  // A frame with the power variable at 1.0 and the given values.
  FrameSnapshot powered_frame(std::initializer_list<std::pair<uint32_t, double>> values) {
    set(kPower, 1.0);
    for (const auto& [token, value] : values) set(token, value);
    return module->frame();
  }
};

// Which elements show: the conditioned ones follow their condition, the
// background and the frame are never hidden; every callback brightens.
struct Shown {
  bool powered, speed_selection, mach_selection, no_selection;
};

void expect_shown(const FrameSnapshot& frame, const Shown& shown) {
  ASSERT_EQ(frame.elements.size(), kElementCount);
  const bool expected[kElementCount] = {
      true,
      shown.powered,
      true,
      shown.powered,
      shown.powered,
      shown.powered,
      shown.speed_selection,
      shown.mach_selection,
      shown.no_selection,
      shown.powered,
      shown.speed_selection,
  };
  for (size_t i = 0; i < kElementCount; ++i) {
    EXPECT_EQ(!frame[i].hidden, expected[i]) << kElementNames[i];
    if (i == kBackground) continue;
    // Only the hidden flag ever changes beside the bright flag.
    EXPECT_EQ(frame[i].image_flags, 0x87u | (expected[i] ? 0u : 0x40000000u)) << kElementNames[i];
  }
  EXPECT_EQ(frame[kFrame].image_index(), shown.powered ? 0 : 1) << "the frame switches picture";
}

TEST_F(AirspeedDisplay, PowerFlagTruncatesThePowerVariable) {
  const struct {
    double power;
    bool powered;
  } rows[] = {{1.0, true},   {1.9, true},   {0.99, false},  {0.0, false},   {-0.5, false}, {2.0, false}, {5.0, false},
              {kNaN, false}, {kInf, false}, {-kInf, false}, {1e300, false}, {-1.5, false}, {1.0, true}};
  set(kSelectedSpeedFlag, 1.0);
  set(kSelectedMachFlag, 0.0);
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::Message() << "power variable " << row.power);
    set(kPower, row.power);
    expect_shown(module->frame(), {row.powered, row.powered, false, false});
  }
}

TEST_F(AirspeedDisplay, FlagVariablesAgainstTheFourConditions) {
  const double flags[] = {0.0, 1.0, 0.5, 2.0};
  for (double power : {1.0, 0.0}) {
    for (double speed_flag : flags) {
      for (double mach_flag : flags) {
        SCOPED_TRACE(::testing::Message() << "power " << power << ", selected-speed flag " << speed_flag
                                          << ", selected-Mach flag " << mach_flag);
        set(kPower, power);
        set(kSelectedSpeedFlag, speed_flag);
        set(kSelectedMachFlag, mach_flag);
        const bool on = power == 1.0;
        expect_shown(module->frame(), {on, on && speed_flag == 1.0, on && mach_flag == 1.0,
                                       on && speed_flag == 0.0 && mach_flag == 0.0});
      }
    }
  }
}

TEST_F(AirspeedDisplay, TapePositionAndMarkerOffsetsClampedUpperBoundFirst) {
  const struct {
    const char* row;
    double airspeed, selected, red_band;  // red band in 1/128 knot
    double tape, band, marker;
  } rows[] = {
      {"250.4 kt, never rounded to single precision", 250.4, 250.4, 250.4 * 128, 250.4, 46, 46},
      {"1100 kt caps at 1060", 1100, 1100, 1100 * 128, 1060, 46, 46},
      {"-3 kt floors at 0", -3, -3, -3 * 128, 0, 46, 46},
      {"selected speed equal", 120, 120, 0, 120, 92, 46},
      {"selected 60 kt: 106 caps at 92", 120, 60, 0, 120, 92, 92},
      {"selected 200 kt: -34 floors at 0", 120, 200, 0, 120, 92, 0},
      {"red band 32000 (250 kt) at 250 kt", 250, 0, 32000, 250, 46, 92},
      {"red band 260 kt at 250 kt", 250, 255.5, 260 * 128, 250, 36, 40.5},
      {"red band 200 kt at 250 kt", 250, 0, 200 * 128, 250, 92, 92},
      {"red band 300 kt at 250 kt", 250, 0, 300 * 128, 250, 0, 92},
      {"differences stay in double precision", 120.3, 100.1, 0, 120.3, 92, 120.3 - 100.1 + 46},
      {"NaN airspeed gives 0", kNaN, 100, 100, 0, 0, 0},
      {"NaN selected and red-band speeds give 0", 100, kNaN, kNaN, 100, 0, 0},
      {"infinite airspeed", kInf, 100, 0, 1060, 92, 92},
      {"minus infinite airspeed", -kInf, 100, 0, 0, 0, 0},
      {"infinity minus infinity gives 0", kInf, kInf, kInf, 1060, 0, 0},
      {"huge values", 1e300, 2e300, 1e300, 1060, 92, 0},
  };
  set(kSelectedSpeedFlag, 1.0);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.row);
    const FrameSnapshot frame =
        powered_frame({{kAirspeed, row.airspeed}, {kSelectedSpeed, row.selected}, {kRedBandSpeed, row.red_band}});
    ASSERT_EQ(frame.elements.size(), kElementCount);
    EXPECT_EQ(frame[kTape].values, (std::vector<double>{0.0, row.tape}));
    EXPECT_EQ(frame[kRedBand].values, (std::vector<double>{0.0, row.band}));
    EXPECT_EQ(frame[kMarker].values, (std::vector<double>{0.0, row.marker}));
  }
}

TEST_F(AirspeedDisplay, PositionsAreComputedWhileHiddenToo) {
  set(kPower, 0.0);
  set(kAirspeed, 300.0);
  set(kSelectedSpeed, 290.0);
  set(kRedBandSpeed, 310 * 128);
  const FrameSnapshot frame = module->frame();
  EXPECT_TRUE(frame[kTape].hidden && frame[kRedBand].hidden && frame[kMarker].hidden);
  EXPECT_EQ(frame[kTape].values.back(), 300.0);
  EXPECT_EQ(frame[kRedBand].values.back(), 36.0);
  EXPECT_EQ(frame[kMarker].values.back(), 56.0);
}

struct TextRow {
  const char* row;
  uint32_t token;
  double value;
  Element element;
  const char* text;
};

TEST_F(AirspeedDisplay, ReadoutTexts) {
  const TextRow rows[] = {
      {"airspeed 250.4", kAirspeed, 250.4, kAirspeedReadout, "250"},
      {"airspeed 1100", kAirspeed, 1100, kAirspeedReadout, "1100"},
      {"airspeed -3", kAirspeed, -3, kAirspeedReadout, "-03"},
      {"airspeed 7", kAirspeed, 7, kAirspeedReadout, "007"},
      {"airspeed narrowed before formatting", kAirspeed, 99.4999999999, kAirspeedReadout, "100"},
      {"Mach variable 16384", kMach, 16384, kMachReadout, "0.80"},
      {"Mach variable 20480", kMach, 20480, kMachReadout, "1.00"},
      {"Mach variable -100", kMach, -100, kMachReadout, "0.00"},
      {"Mach variable -0", kMach, -0.0, kMachReadout, "0.00"},
      {"Mach variable -inf", kMach, -kInf, kMachReadout, "0.00"},
      {"100 m/s", kMetresPerSecond, 100, kWhiteSpeedReadout, "194"},
      {"51.5 m/s", kMetresPerSecond, 51.5, kWhiteSpeedReadout, "100"},
      {"negative m/s", kMetresPerSecond, -20, kWhiteSpeedReadout, "000"},
      {"tiny negative m/s, -0 in single precision", kMetresPerSecond, -1e-50, kWhiteSpeedReadout, "000"},
      {"-inf m/s", kMetresPerSecond, -kInf, kWhiteSpeedReadout, "000"},
      {"selected speed 120", kSelectedSpeed, 120, kSelectedSpeedReadout, "120"},
      {"selected speed -5", kSelectedSpeed, -5, kSelectedSpeedReadout, "-05"},
      {"selected Mach 0.82", kSelectedMach, 0.82, kSelectedMachReadout, "0.82"},
      {"selected Mach narrowed before formatting", kSelectedMach, 0.8449999999, kSelectedMachReadout, "0.85"},
      {"selected Mach -0.5, no clamp", kSelectedMach, -0.5, kSelectedMachReadout, "-0.50"},
  };
  for (const TextRow& row : rows) {
    SCOPED_TRACE(row.row);
    const FrameSnapshot frame = powered_frame({{row.token, row.value}});
    EXPECT_EQ(frame[row.element].text, row.text);
    EXPECT_EQ(frame[row.element].values, std::vector<double>{0.0}) << "a string callback returns 0";
    set(row.token, 0.0);
  }
  const FrameSnapshot frame = module->frame();
  EXPECT_EQ(frame[kSelectionOffReadout].text, "OFF            0") << "OFF, twelve spaces and the readout's own 0";
}

TEST_F(AirspeedDisplay, TextsAreWrittenWhileHidden) {
  set(kPower, 0.0);
  set(kAirspeed, 250.0);
  set(kMach, 16384);
  set(kMetresPerSecond, 100);
  set(kSelectedSpeed, 120);
  set(kSelectedMach, 0.78);
  const FrameSnapshot frame = module->frame();
  expect_shown(frame, {false, false, false, false});
  EXPECT_EQ(frame[kAirspeedReadout].text, "250");
  EXPECT_EQ(frame[kMachReadout].text, "0.80");
  EXPECT_EQ(frame[kWhiteSpeedReadout].text, "194");
  EXPECT_EQ(frame[kSelectedSpeedReadout].text, "120");
  EXPECT_EQ(frame[kSelectedMachReadout].text, "0.78");
  EXPECT_EQ(frame[kSelectionOffReadout].text, "OFF            0");
}

TEST_F(AirspeedDisplay, BadInputGivesTerminatedTextsWithinTheBuffer) {
  const double values[] = {kNaN, -kNaN, kInf, -kInf, 1e300, -1e300, 3.4e38, -3.4e38, 1e38, 4e9};
  const uint32_t tokens[] = {kAirspeed, kMach, kMetresPerSecond, kSelectedSpeed, kSelectedMach};
  for (double value : values) {
    for (uint32_t token : tokens) set(token, value);
    for (double flag : {0.0, 1.0}) {
      set(kSelectedSpeedFlag, flag);
      set(kSelectedMachFlag, flag);
      SCOPED_TRACE(::testing::Message() << "value " << value << ", flags " << flag);
      const FrameSnapshot frame = powered_frame({});
      for (size_t i = kAirspeedReadout; i <= kSelectionOffReadout; ++i) {
        EXPECT_FALSE(frame[i].text.empty()) << kElementNames[i];
        EXPECT_LT(frame[i].text.size(), Module::kTextBufferSize) << kElementNames[i];
      }
      EXPECT_EQ(frame[kSelectionOffReadout].text, "OFF            0");
    }
  }
  EXPECT_TRUE(module->text_faults().empty());
  // Beyond single precision a value reads as infinity; below it, as digits.
  const std::string huge = powered_frame({{kAirspeed, 1e300}})[kAirspeedReadout].text;
  EXPECT_EQ(huge, powered_frame({{kAirspeed, kInf}})[kAirspeedReadout].text);
  // 1e38 rounded to single precision, every digit of it.
  EXPECT_EQ(powered_frame({{kAirspeed, 1e38}})[kAirspeedReadout].text, "99999996802856924650656260769173209088");
}

TEST_F(AirspeedDisplay, NineLookupsPerUpdateInTableOrder) {
  Panel& panel = Panel::instance();
  EXPECT_TRUE(panel.lookups().empty()) << "install looks nothing up";
  module->frame();
  EXPECT_EQ(panel.lookups(), kTableOrder);
  panel.clear_lookups();
  module->callbacks_only();
  module->service(10);
  EXPECT_TRUE(panel.lookups().empty()) << "only the pre-update looks variables up";
  module->frame();
  module->frame();
  std::vector<uint32_t> twice = kTableOrder;
  twice.insert(twice.end(), kTableOrder.begin(), kTableOrder.end());
  EXPECT_EQ(panel.lookups(), twice);
  EXPECT_TRUE(panel.key_events().empty());
  EXPECT_TRUE(panel.trapped_slots().empty());
}

TEST_F(AirspeedDisplay, FirstPreDrawResetsThePowerFlagOnce) {
  set(kPower, 1.0);
  set(kSelectedSpeedFlag, 1.0);
  expect_shown(module->frame(), {true, true, false, false});
  // The first pre-draw has cleared the power flag; the callbacks see it off.
  expect_shown(module->callbacks_only(), {false, false, false, false});
  expect_shown(module->frame(), {true, true, false, false});
  // Later pre-draws leave it.
  expect_shown(module->callbacks_only(), {true, true, false, false});
}

TEST_F(AirspeedDisplay, PreDrawBeforeAnyPreUpdate) {
  set(kPower, 1.0);
  set(kSelectedSpeedFlag, 0.0);
  set(kSelectedMachFlag, 0.0);
  expect_shown(module->callbacks_only(), {false, false, false, false});  // hidden from load on
  module->service(10);
  expect_shown(module->callbacks_only(), {false, false, false, false});
  // The reset is spent: the next update switches the displays on for good.
  expect_shown(module->frame(), {true, false, false, true});
  expect_shown(module->callbacks_only(), {true, false, false, true});
}

TEST_F(AirspeedDisplay, StateOutlivesThePreKill) {
  set(kPower, 1.0);
  set(kAirspeed, 180.0);
  module->frame();
  module->frame();
  module->kill();
  const FrameSnapshot frame = module->callbacks_only();
  EXPECT_FALSE(frame[kTape].hidden) << "the power flag keeps its last value";
  EXPECT_EQ(frame[kTape].values.back(), 180.0) << "and so do the variables";
  EXPECT_EQ(frame[kAirspeedReadout].text, "180");
}

}  // namespace
}  // namespace tarnwix::test
