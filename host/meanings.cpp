#include "host/meanings.h"

#include <cstring>

namespace tarnwix::host {

namespace {

constexpr const char* kAltimeter = "Tarnwix_Altimeter";
constexpr const char* kAirspeed = "Tarnwix_Airspeed";
constexpr const char* kUtils = "Tarnwix_Utils";
constexpr const char* kUtilsVC = "Tarnwix_UtilsVC";
constexpr const char* kBackground = "Tarnwix_Background_S";

constexpr const char* kBrakeHelpConditions =
    "brake help is armed, variable 60 is exactly 1, variable 322 is above 10 and variable 832 is above 5";

Meanings build() {
  Meanings m;
  m.modules = {
      {kAltimeter,
       "electronic altitude display: altitude tape, selected altitude, vertical speed, height, barometric setting",
       {},
       "",
       {108}},
      {kAirspeed,
       "electronic airspeed display: speed tape, Mach, selected speed or Mach, red band",
       {},
       "",
       {115, 117}},
      {kUtils,
       "push-button strip of the 2D panel: BRAKE HELP, VOR 1 INPUT, BARO SET, CALL OUT, ANNUN. TEST",
       {{60, 1.0}, {322, 11.0}, {832, 6.0}},
       kBrakeHelpConditions},
      {kUtilsVC,
       "push-button strip of the virtual cockpit: BRAKE HELP, VOR 1 INPUT, BARO SET",
       {{60, 1.0}, {322, 11.0}, {832, 6.0}},
       kBrakeHelpConditions,
       {},
       kUtils},
      {kBackground, "fixed bezel of the attitude display, one picture", {}, ""},
  };
  m.tokens = {
      {kAltimeter, 769, "power: what each whole part shows is told under \"With and without power\" below"},
      {kAltimeter, 74, "altitude in feet: the tape, the large altitude window, the selected-altitude marker"},
      {kAltimeter, 109, "selected altitude in feet: its window and its marker on the tape"},
      {kAltimeter, 108, "altitude preselect switch, 1 on and 0 off: what each shows is told below"},
      {kAltimeter, 76, "barometric setting, shown with two decimals"},
      {kAltimeter, 75, "looked up on every update; nothing shows it"},
      {kAltimeter, 275, "looked up on every update; nothing shows it"},
      {kAltimeter, 614, "height in metres: shown in feet, less 9 ft, and raises the ground marker below 460 ft"},
      {kAltimeter, 556, "vertical speed in feet per second: shown in feet per minute, and the climb and descent bars"},
      {kAltimeter, 119, "looked up on every update; nothing shows it"},
      {kAltimeter, 120, "selected vertical speed in feet per minute: its window and its pointer"},
      {kAirspeed, 61, "airspeed in knots: the tape, the boxed readout, the red band and the selected-speed marker"},
      {kAirspeed, 769, "power: what each whole part shows is told under \"With and without power\" below"},
      {kAirspeed, 64, "Mach number in units of 3.2/65536: the Mach readout"},
      {kAirspeed, 832, "speed in metres per second: the white readout, in knots"},
      {kAirspeed, 116, "selected speed in knots: its readout and its marker"},
      {kAirspeed, 115, "selected-speed switch, exactly 1 on: what it shows is told below"},
      {kAirspeed, 118, "selected Mach number: its readout"},
      {kAirspeed, 117, "selected-Mach switch, exactly 1 on: what it shows is told below"},
      {kAirspeed, 63, "red-band speed in units of 1/128 knot: the red band"},
      {kUtils, 848, "VOR 1 input: 0 lights NAV, 1 lights GPS"},
      {kUtils, 60, "brake-help gate: brake help acts only while it is exactly 1"},
      {kUtils, 322, "brake-help threshold: brake help acts only while it is above 10"},
      {kUtils, 832, "speed in metres per second: brake help acts only above 5"},
      {kUtils, 769, "power: what each whole part shows is told under \"With and without power\" below"},
      {kUtilsVC, 848, "VOR 1 input: 0 lights NAV, 1 lights GPS"},
      {kUtilsVC, 60, "brake-help gate: brake help acts only while it is exactly 1"},
      {kUtilsVC, 322, "brake-help threshold: brake help acts only while it is above 10"},
      {kUtilsVC, 832, "speed in metres per second: brake help acts only above 5"},
      {kUtilsVC, 769, "power: what each whole part shows is told under \"With and without power\" below"},
  };
  m.variables = {
      {769, "power", "", 0, 1, true},
      {74, "altitude", "feet", -1000, 45000, false},
      {109, "selected altitude", "feet", 0, 45000, false},
      {108, "altitude preselect", "", 0, 1, true},
      {76, "barometric setting", "inHg", 28, 31, false},
      {75, "not shown", "", -100000, 100000, false},
      {275, "not shown", "", -100000, 100000, false},
      {614, "height", "metres", 0, 3000, false},
      {556, "vertical speed", "feet per second", -100, 100, false},
      {119, "not shown", "", -100000, 100000, false},
      {120, "selected vertical speed", "feet per minute", -6000, 6000, false},
      {61, "airspeed", "knots", 0, 500, false},
      {64, "Mach number", "3.2/65536", 0, 26000, false},
      {832, "speed", "metres per second", 0, 300, false},
      {116, "selected speed", "knots", 0, 500, false},
      {115, "selected-speed switch", "", 0, 1, true},
      {118, "selected Mach", "Mach", 0, 1, false},
      {117, "selected-Mach switch", "", 0, 1, true},
      {63, "red-band speed", "1/128 knot", 0, 64000, false},
      {848, "VOR 1 input (0 NAV, 1 GPS)", "", 0, 1, true},
      {60, "brake-help gate", "", 0, 1, true},
      {322, "brake-help threshold", "", 0, 100, false},
  };
  m.key_events = {
      {65786, "brake help, first of three"},
      {65820, "brake help, second of three"},
      {65821, "brake help, third of three"},
      {66375, "the simulator's event that switches its VOR 1 input between NAV and GPS"},
      {65584, "the simulator's BARO SET event, for its barometric setting"},
  };
  m.named = {
      {"callout", "CALL OUT switch: 1 on, 0 off; for other gauges of the panel"},
      {"testbutton", "ANNUN. TEST switch: 1 on, 0 off; for other gauges of the panel"},
  };
  m.areas = {
      {kUtils, 120, 54, "the VOR 1 INPUT area (over both the NAV and GPS buttons)"},
      {kUtils, 289, 54, "the BARO SET button"},
      {kUtils, 26, 56, "the BRAKE HELP button", "brake help between armed and disarmed",
       "that brake help is armed, not that it brakes"},
      {kUtils, 457, 55, "the ANNUN. TEST button"},
      {kUtils, 363, 55, "the CALL OUT button"},
      {kUtilsVC, 120, 54, "the VOR 1 INPUT area (over both the NAV and GPS buttons)"},
      {kUtilsVC, 289, 54, "the BARO SET button"},
      {kUtilsVC, 26, 56, "the BRAKE HELP button", "brake help between armed and disarmed",
       "that brake help is armed, not that it brakes"},
  };
  m.pictures = {
      {kAltimeter, 0x2500, "background"},
      {kAltimeter, 0x100, "altitude tape"},
      {kAltimeter, 0x1200, "ground marker"},
      {kAltimeter, 0x1400, "selected-altitude marker"},
      {kAltimeter, 0x1600, "vertical speed scale"},
      {kAltimeter, 0x1800, "climb bar"},
      {kAltimeter, 0x2000, "descent bar"},
      {kAltimeter, 0x2200, "selected vertical speed pointer"},
      {kAirspeed, 0x100, "background"},
      {kAirspeed, 0x1400, "speed tape"},
      {kAirspeed, 0x1200, "readout frame"},
      {kAirspeed, 0x1600, "red band"},
      {kAirspeed, 0x1800, "selected-speed marker"},
      {kUtils, 0x2400, "panel with the unlit buttons"},
      {kUtils, 0x2500, "lit captions"},
      {kUtils, 0x1300, "BRAKE HELP ON legend"},
      {kUtils, 0x1400, "NAV legend"},
      {kUtils, 0x2000, "GPS legend"},
      {kUtils, 0x2100, "SET legend"},
      {kUtils, 0x1900, "CALL OUT ON legend"},
      {kUtils, 0x2200, "CHK legend"},
      {kUtilsVC, 0x2400, "panel with the unlit buttons"},
      {kUtilsVC, 0x2500, "lit captions"},
      {kUtilsVC, 0x1300, "BRAKE HELP ON legend"},
      {kUtilsVC, 0x1400, "NAV legend"},
      {kUtilsVC, 0x2000, "GPS legend"},
      {kUtilsVC, 0x2100, "SET legend"},
      {kBackground, 0x1400, "bezel"},
  };
  m.windows = {
      {kAltimeter, 30, 138, "altitude window"},
      {kAltimeter, 9, 6, "selected altitude window"},
      {kAltimeter, 0, 273, "height window"},
      {kAltimeter, 9, 305, "barometric window"},
      {kAltimeter, 106, 6, "selected vertical speed window"},
      {kAltimeter, 100, 278, "vertical speed window"},
      {kAltimeter, 101, 278, "vertical speed window"},
      {kAirspeed, 19, 138, "airspeed readout"},
      {kAirspeed, 45, 278, "Mach readout"},
      {kAirspeed, 51, 305, "white speed readout"},
      {kAirspeed, 51, 6, "selected speed readout"},
      {kAirspeed, 46, 6, "selected Mach readout"},
      {kAirspeed, 50, 6, "selection OFF readout"},
  };
  return m;
}

bool same(const char* a, const std::string& b) { return b == a; }

}  // namespace

const ModuleMeaning* Meanings::module(const std::string& name) const {
  for (const ModuleMeaning& entry : modules)
    if (same(entry.module, name)) return &entry;
  return nullptr;
}

const char* Meanings::token(const std::string& module, uint32_t token) const {
  for (const TokenMeaning& entry : tokens)
    if (entry.token == token && same(entry.module, module)) return entry.meaning;
  return nullptr;
}

const VariableMeaning* Meanings::variable(uint32_t token) const {
  for (const VariableMeaning& entry : variables)
    if (entry.token == token) return &entry;
  return nullptr;
}

const char* Meanings::key_event(uint32_t id) const {
  for (const KeyEventMeaning& entry : key_events)
    if (entry.id == id) return entry.meaning;
  return nullptr;
}

const char* Meanings::named_variable(const std::string& name) const {
  for (const NamedMeaning& entry : named)
    if (same(entry.name, name)) return entry.meaning;
  return nullptr;
}

const AreaMeaning* Meanings::area(const std::string& module, int x, int y) const {
  for (const AreaMeaning& entry : areas)
    if (entry.x == x && entry.y == y && same(entry.module, module)) return &entry;
  return nullptr;
}

const char* Meanings::window(const std::string& module, int x, int y) const {
  for (const WindowMeaning& entry : windows)
    if (entry.x == x && entry.y == y && same(entry.module, module)) return entry.name;
  return nullptr;
}

const char* Meanings::picture(const std::string& module, int id) const {
  for (const PictureMeaning& entry : pictures)
    if (entry.id == id && same(entry.module, module)) return entry.name;
  return nullptr;
}

const Meanings& tarnwix_meanings() {
  static const Meanings meanings = build();
  return meanings;
}

}  // namespace tarnwix::host
