// What the altimeter's test programs share: its tokens, its rows numbered as
// the chain table numbers them (1 = the background), one set of inputs per
// frame, and a fixture that installs the real module.
#pragma once

#include <set>
#include <string>

#include "support.h"

namespace tarnwix::test::altimeter {

inline constexpr uint32_t kPowerToken = 769, kAltitudeToken = 74, kSelectedAltitudeToken = 109, kPreselectToken = 108,
                          kBarometricToken = 76, kHeightToken = 614, kVerticalSpeedToken = 556,
                          kSelectedVerticalSpeedToken = 120;

enum Row : int {
  kBackground = 1,
  kTape,
  kGroundMarker,
  kSelectedMarker,
  kAltitudeWindow,
  kAltitudeBelowZero,
  kSelectedAltitude,
  kSelectedAltitudeOff,
  kHeightWindow,
  kBarometricWindow,
  kScale,
  kClimbBar,
  kDescentBar,
  kSelectedVsAbove,
  kSelectedVsZero,
  kSelectedVsBelow,
  kSelectedVsOff,
  kVsAbove,
  kVsZero,
  kVsBelow,
  kPointer,
  kRowCount = kPointer,
};

// The simulation as one frame sees it. The defaults give a powered display
// with every window showing a value.
struct Inputs {
  double power = 1.0;
  double altitude = 12345.0;          // feet
  double selected_altitude = 3500.0;  // feet
  double preselect = 1.0;
  double barometric = 29.92;
  double height = 100.0;                   // metres
  double vertical_speed = 0.0;             // feet per second
  double selected_vertical_speed = 500.0;  // feet per minute
};

inline void set_inputs(const Inputs& in) {
  host::Panel& panel = host::Panel::instance();
  panel.set_variable(kPowerToken, in.power);
  panel.set_variable(kAltitudeToken, in.altitude);
  panel.set_variable(kSelectedAltitudeToken, in.selected_altitude);
  panel.set_variable(kPreselectToken, in.preselect);
  panel.set_variable(kBarometricToken, in.barometric);
  panel.set_variable(kHeightToken, in.height);
  panel.set_variable(kVerticalSpeedToken, in.vertical_speed);
  panel.set_variable(kSelectedVerticalSpeedToken, in.selected_vertical_speed);
}

inline const host::ElementSnapshot& row(const host::FrameSnapshot& frame, int number) {
  return frame.elements.at(static_cast<size_t>(number - 1));
}

// The y value a moving image or slider returned.
inline double y_value(const host::FrameSnapshot& frame, int number) { return row(frame, number).values.at(1); }

inline std::set<int> shown_rows(const host::FrameSnapshot& frame) {
  std::set<int> shown;
  for (const host::ElementSnapshot& element : frame.elements)
    if (!element.hidden) shown.insert(element.index + 1);
  return shown;
}

inline std::string describe(const std::set<int>& rows) {
  std::string text = "{";
  for (int r : rows) text += (text.size() > 1 ? ", " : "") + std::to_string(r);
  return text + "}";
}

class AltimeterTest : public InstalledModule {
 protected:
  AltimeterTest() : InstalledModule("Tarnwix_Altimeter") {}
  host::FrameSnapshot frame(const Inputs& in) {
    set_inputs(in);
    return module->frame();
  }
};

}  // namespace tarnwix::test::altimeter
