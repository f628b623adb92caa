// Tarnwix_Airspeed: the electronic airspeed display. A speed tape scrolling
// behind a window with a boxed digital readout, Mach and second-speed readouts
// below the tape, the selected speed, selected Mach or "OFF" above it, and a
// red band and a selected-speed marker beside it. One power flag, truncated
// from the power variable on every pre-update, switches everything but the
// black background; the readout frame switches to a blank picture instead.
//
// The records come in the order the simulator reads them: the gauge records
// (name, header, first-draw flag, variable table) first in the module's data,
// then the element chain and the mouse rectangle list.
#include "framework/gauge.h"

namespace tarnwix::airspeed {

// The module variable table, in table order (also the order of the lookups).
enum Variable : std::size_t {
  kAirspeed,           // knots
  kPower,              // truncated into the power flag
  kMach,               // Mach number in units of 3.2 / 65536
  kMetresPerSecond,    // the second speed, metres per second
  kSelectedSpeed,      // knots
  kSelectedSpeedFlag,  // 1.0 selects the speed readout and marker
  kSelectedMach,       // Mach number
  kSelectedMachFlag,   // 1.0 selects the Mach readout
  kRedBandSpeed,       // units of 1/128 knot
  kVariableCount,
};

inline constexpr std::array<uint32_t, kVariableCount> kTokens = {61, 769, 64, 832, 116, 115, 118, 117, 63};

using Records = GaugeRecords<sizeof "Tarnwix_Airspeed", kVariableCount>;

using Elements = ElementChain<StaticImage,          // background
                              MovingImageElement,   // airspeed tape
                              IconElement,          // readout frame
                              StringElement,        // airspeed readout
                              StringElement,        // Mach readout
                              StringElement,        // white speed readout
                              StringElement,        // selected speed readout
                              StringElement,        // selected Mach readout
                              StringElement,        // selection-off readout
                              MovingImageElement,   // red band
                              MovingImageElement>;  // selected speed marker

extern Elements elements;
extern std::array<MouseRect, 4> mouse_rects;

// The gauge state block beyond the sound slots: the power flag, 1 when the
// displays are on. Written by the pre-update and the first pre-draw.
constinit int32_t power_flag = 0;

struct Steps {
  static void derive();
  static void first_draw_reset() { power_flag = 0; }
};

constinit Records records = gauge_records(
    "Tarnwix_Airspeed", kTokens,
    {.root_cell = elements.root_cell(), .mouse_rects = mouse_rects.data(), .callback = &gauge_callback<records, Steps>},
    records);

void Steps::derive() { power_flag = truncate_to_int32(records.value(kPower)); }

// Display conditions: exact comparisons of the flag variables with 1.0 and 0.0.
bool powered() { return power_flag == 1; }
bool speed_selection_shown() { return powered() && records.value(kSelectedSpeedFlag) == 1.0; }
bool mach_selection_shown() { return powered() && records.value(kSelectedMachFlag) == 1.0; }
bool no_selection_shown() {
  return powered() && records.value(kSelectedMachFlag) == 0.0 && records.value(kSelectedSpeedFlag) == 0.0;
}

// Positions and scales.
inline constexpr double kTapeTop = 1060.0;                 // knots; above the tape's first bound
inline constexpr double kOffsetCentre = 46.0;              // a difference of zero sits mid-travel
inline constexpr double kOffsetTravel = 92.0;              // the red band's and marker's travel
inline constexpr double kRedBandKnotsPerUnit = 0.0078125;  // 1/128 knot
inline constexpr double kMachScale = 3.2;
inline constexpr double kMachPerUnit = 0.0000152587890625;  // 1/65536
inline constexpr double kKnotsPerMetrePerSecond = 1.943844;

// The offset of the red band or the marker from the current airspeed.
double marker_offset(double speed) {
  return position_within(records.value(kAirspeed) - speed + kOffsetCentre, 0.0, kOffsetTravel);
}

// A text value: the number rounded to single precision and widened back.
double text_value(double value) { return narrow_to_float(value); }

// Below zero reads zero. A negative that rounds to -0 in single precision
// reads zero as well, rather than a signed "-00".
double not_below_zero(double value) { return value <= 0.0 ? 0.0 : value; }

inline constexpr char kSpeedFormat[] = "%03.0f";
inline constexpr char kMachFormat[] = "%04.2f";
inline constexpr char kSelectionOffFormat[] = "OFF            %0.0f";  // "OFF", twelve spaces

// Element callbacks, in chain order, one routine of its own for each.
double GAUGE_CALL tape_x(MovingImageElement* tape) { return own_x<powered>(tape); }

double GAUGE_CALL tape_y(MovingImageElement* tape) {
  return show_value_if(tape, powered(), position_within(records.value(kAirspeed), 0.0, kTapeTop));
}

double GAUGE_CALL frame_picture(IconElement* frame) {
  brighten(frame);
  return powered() ? 0.0 : 1.0;
}

double GAUGE_CALL airspeed_text(StringElement* readout) {
  return show_text_if(readout, powered(), kSpeedFormat, text_value(records.value(kAirspeed)));
}

double GAUGE_CALL mach_text(StringElement* readout) {
  const double mach = in_double(in_double(records.value(kMach) * kMachScale) * kMachPerUnit);
  return show_text_if(readout, powered(), kMachFormat, not_below_zero(text_value(mach)));
}

double GAUGE_CALL white_speed_text(StringElement* readout) {
  const double knots = in_double(records.value(kMetresPerSecond) * kKnotsPerMetrePerSecond);
  return show_text_if(readout, powered(), kSpeedFormat, not_below_zero(text_value(knots)));
}

double GAUGE_CALL selected_speed_text(StringElement* readout) {
  return show_text_if(readout, speed_selection_shown(), kSpeedFormat, text_value(records.value(kSelectedSpeed)));
}

double GAUGE_CALL selected_mach_text(StringElement* readout) {
  return show_text_if(readout, mach_selection_shown(), kMachFormat, text_value(records.value(kSelectedMach)));
}

double GAUGE_CALL selection_off_text(StringElement* readout) {
  return show_text_if(readout, no_selection_shown(), kSelectionOffFormat, text_value(readout->source_variable.value));
}

double GAUGE_CALL band_x(MovingImageElement* band) { return own_x<powered>(band); }

double GAUGE_CALL band_y(MovingImageElement* band) {
  return show_value_if(band, powered(), marker_offset(in_double(records.value(kRedBandSpeed) * kRedBandKnotsPerUnit)));
}

double GAUGE_CALL marker_x(MovingImageElement* marker) { return own_x<speed_selection_shown>(marker); }

double GAUGE_CALL marker_y(MovingImageElement* marker) {
  return show_value_if(marker, speed_selection_shown(), marker_offset(records.value(kSelectedSpeed)));
}

// The chain from the black background upward.
constinit Elements elements{
    records.header,
    StaticImageRow{.id = 0x100, .at = {0, 0}},
    MovingImageRow{
        .id = 0x1400, .at = {34, 0}, .first_bound = 1012.0, .second_bound = -8.0, .x = &tape_x, .y = &tape_y},
    IconRow{.id = 0x1200, .at = {1, 0}, .callback = &frame_picture},
    StringRow{.at = {19, 138}, .box = {84, 50}, .colour = kGreen, .callback = &airspeed_text},
    StringRow{.at = {45, 278}, .box = {58, 36}, .colour = kGreen, .callback = &mach_text},
    StringRow{.at = {51, 305}, .box = {52, 36}, .colour = kWhite, .callback = &white_speed_text},
    StringRow{.at = {51, 6}, .box = {52, 36}, .colour = kMagenta, .callback = &selected_speed_text},
    StringRow{.at = {46, 6}, .box = {57, 36}, .colour = kMagenta, .callback = &selected_mach_text},
    StringRow{.at = {50, 6}, .box = {53, 36}, .colour = kMagenta, .callback = &selection_off_text},
    MovingImageRow{.id = 0x1600, .at = {80, 38}, .first_bound = 92.0, .second_bound = 0.0, .x = &band_x, .y = &band_y},
    MovingImageRow{
        .id = 0x1800, .at = {80, 39}, .first_bound = 92.0, .second_bound = 0.0, .x = &marker_x, .y = &marker_y},
};

// A tooltip and no clickable area.
constinit std::array<MouseRect, 4> mouse_rects = mouse_rect_list(std::array{tooltip_record("Airspeed")});

}  // namespace tarnwix::airspeed

extern "C" {
__declspec(dllexport) constinit tarnwix::ModuleLinkage Linkage =
    tarnwix::linkage_for(tarnwix::airspeed::records.header);
}
