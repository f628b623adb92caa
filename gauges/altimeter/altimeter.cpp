// Tarnwix_Altimeter: the electronic altitude display. A scrolling altitude
// tape with its digital window, ground and selected-altitude markers on the
// tape, the selected altitude and selected vertical speed windows, a vertical
// speed scale with climb and descent bars and a selected vertical speed
// pointer, and windows for height, vertical speed and barometric setting.
// The tooltip is the only mouse record; nothing is clickable.
#include "framework/gauge.h"

namespace tarnwix::altimeter {

// The module variable table, in the order every pre-update refreshes it.
enum Variable : std::size_t {
  kPower,                  // token 769: truncated, it is the power flag
  kAltitude,               // token 74: feet
  kSelectedAltitude,       // token 109: feet
  kPreselect,              // token 108: 1 on, 0 off, compared as a double
  kBarometric,             // token 76
  kUnread75,               // token 75: refreshed, read by no element
  kUnread275,              // token 275: refreshed, read by no element
  kHeight,                 // token 614: metres
  kVerticalSpeed,          // token 556: feet per second
  kUnread119,              // token 119: refreshed, read by no element
  kSelectedVerticalSpeed,  // token 120: feet per minute
  kVariableCount,
};

constexpr std::array<uint32_t, kVariableCount> kTokens{769, 74, 109, 108, 76, 75, 275, 614, 556, 119, 120};

constexpr double kFeetPerMetre = 3.28084;
constexpr double kHeightOffsetFeet = 9.0;
constexpr double kSecondsPerMinute = 60.0;

extern GaugeRecords<sizeof "Tarnwix_Altimeter", kVariableCount> records;

// The working values of the gauge state block: 0 at load, derived on every
// pre-update, cleared once by the first pre-draw.
struct WorkingValues {
  int32_t power_flag;
  int32_t height_feet;
  int32_t vertical_speed_fpm;
};
constinit WorkingValues working{};

struct Steps {
  static void derive() {
    working.power_flag = truncate_to_int32(records.value(kPower));
    // Each step rounded to double precision; truncated once, at the end.
    const double feet = in_double(records.value(kHeight) * kFeetPerMetre);
    working.height_feet = truncate_to_int32(in_double(feet - kHeightOffsetFeet));
    working.vertical_speed_fpm = truncate_to_int32(in_double(records.value(kVerticalSpeed) * kSecondsPerMinute));
  }
  static void first_draw_reset() { working = {}; }
};

// ---- The tests the elements apply; each element uses exactly the one its row names.

bool power_flag_is_1() { return working.power_flag == 1; }
bool power_flag_not_0() { return working.power_flag != 0; }
bool preselect_is_1() { return records.value(kPreselect) == 1.0; }
bool preselect_is_0() { return records.value(kPreselect) == 0.0; }
bool preselect_not_0() { return records.value(kPreselect) != 0.0; }

// ---- Moving images and the slider: both callbacks apply the element's test.

bool tape_shown() { return power_flag_is_1(); }
bool ground_marker_shown() { return power_flag_not_0(); }
bool selected_marker_shown() { return power_flag_is_1() && preselect_is_1(); }
bool climb_bar_shown() { return power_flag_not_0() && working.vertical_speed_fpm >= 0; }
bool descent_bar_shown() { return power_flag_not_0() && working.vertical_speed_fpm <= 0; }
bool pointer_shown() { return power_flag_is_1() && preselect_is_1(); }

double GAUGE_CALL tape_y(MovingImageElement* element) {
  return show_value_if(element, tape_shown(), position_within(records.value(kAltitude), -2000.0, 70600.0));
}

double GAUGE_CALL ground_marker_y(MovingImageElement* element) {
  return show_value_if(element, ground_marker_shown(), clamp_upper_first(working.height_feet, 0.0, 460.0));
}

double GAUGE_CALL selected_marker_y(MovingImageElement* element) {
  const double offset = records.value(kAltitude) - records.value(kSelectedAltitude) + 460.0;
  return show_value_if(element, selected_marker_shown(), position_within(offset, 0.0, 920.0));
}

double GAUGE_CALL climb_bar_y(MovingImageElement* element) {
  return show_value_if(element, climb_bar_shown(), cap_at(working.vertical_speed_fpm, 3000.0));
}

double GAUGE_CALL descent_bar_y(MovingImageElement* element) {
  return show_value_if(element, descent_bar_shown(), floor_at(working.vertical_speed_fpm, -3000.0));
}

double GAUGE_CALL pointer_y(SliderElement* element) {
  return show_value_if(element, pointer_shown(),
                       position_within(records.value(kSelectedVerticalSpeed), -3000.0, 3000.0));
}

// ---- The icon: the scale while powered, a blank image otherwise. It never
// touches the hidden flag.

double GAUGE_CALL vertical_speed_scale(IconElement* element) {
  brighten(element);
  return power_flag_is_1() ? 0.0 : 1.0;
}

// ---- String elements: the text is written whether shown or hidden.

constexpr char kFiveDigits[] = "%05.0f";
// " OFF", then spaces that push the digit past the right edge of the box.
constexpr char kAltitudeOff[] = " OFF                                             %.0f";
constexpr char kVerticalSpeedOff[] = " OFF                              %00.0f";
static_assert(sizeof kAltitudeOff - 1 == 53 && sizeof kVerticalSpeedOff - 1 == 40);

constexpr double kLargestFiveDigits = 99999.0;

float altitude_narrowed() { return narrow_to_float(records.value(kAltitude)); }

double GAUGE_CALL altitude_window(StringElement* element) {
  const float altitude = altitude_narrowed();
  return show_text_if(element, power_flag_not_0() && altitude >= 0.0f, kFiveDigits,
                      cap_at(altitude, kLargestFiveDigits));
}

double GAUGE_CALL altitude_window_below_zero(StringElement* element) {
  const float altitude = altitude_narrowed();
  return show_text_if(element, power_flag_not_0() && altitude < 0.0f, kFiveDigits, altitude);
}

double GAUGE_CALL selected_altitude_window(StringElement* element) {
  const float selected = narrow_to_float(records.value(kSelectedAltitude));
  return show_text_if(element, power_flag_not_0() && preselect_not_0(), kFiveDigits,
                      floor_at(cap_at(selected, kLargestFiveDigits), 0.0));
}

double GAUGE_CALL selected_altitude_off(StringElement* element) {
  return show_text_if(element, preselect_is_0() && power_flag_is_1(), kAltitudeOff,
                      narrow_to_float(element->source_variable.value));
}

double GAUGE_CALL height_window(StringElement* element) {
  return show_text_if(element, power_flag_not_0(), kFiveDigits, floor_at(working.height_feet, 0.0));
}

double GAUGE_CALL barometric_window(StringElement* element) {
  return show_text_if(element, power_flag_not_0(), "%05.2f", narrow_to_float(records.value(kBarometric)));
}

// Rows 14 to 16 test the selected vertical speed as cached; only the text
// uses the narrowed value.
double selected_vertical_speed() { return records.value(kSelectedVerticalSpeed); }
float selected_vertical_speed_narrowed() { return narrow_to_float(selected_vertical_speed()); }

double GAUGE_CALL selected_vs_above_zero(StringElement* element) {
  return show_text_if(element, power_flag_is_1() && preselect_is_1() && selected_vertical_speed() > 0.0, "+%04.0f",
                      selected_vertical_speed_narrowed());
}

double GAUGE_CALL selected_vs_zero(StringElement* element) {
  return show_text_if(element, selected_vertical_speed() == 0.0 && power_flag_is_1() && preselect_is_1(), "+%04.0f",
                      selected_vertical_speed_narrowed());
}

double GAUGE_CALL selected_vs_below_zero(StringElement* element) {
  return show_text_if(element, power_flag_is_1() && preselect_is_1() && selected_vertical_speed() < 0.0, kFiveDigits,
                      selected_vertical_speed_narrowed());
}

double GAUGE_CALL selected_vs_off(StringElement* element) {
  return show_text_if(element, power_flag_is_1() && preselect_is_0(), kVerticalSpeedOff,
                      narrow_to_float(element->source_variable.value));
}

double GAUGE_CALL vertical_speed_above_zero(StringElement* element) {
  return show_text_if(element, power_flag_is_1() && working.vertical_speed_fpm > 0, "+%05.0f",
                      working.vertical_speed_fpm);
}

double GAUGE_CALL vertical_speed_zero(StringElement* element) {
  return show_text_if(element, power_flag_is_1() && working.vertical_speed_fpm == 0, " %05.0f",
                      working.vertical_speed_fpm);
}

double GAUGE_CALL vertical_speed_below_zero(StringElement* element) {
  return show_text_if(element, power_flag_is_1() && working.vertical_speed_fpm < 0, "%06.0f",
                      working.vertical_speed_fpm);
}

// ---- The element chain, from the root to the top.

constexpr uint32_t kBoldWeight = 500;
constexpr double kPointerScale = -0.0361666666666667;  // -108.5 pixels per 3000 feet per minute

constinit ElementChain<StaticImage, MovingImageElement, MovingImageElement, MovingImageElement, StringElement,
                       StringElement, StringElement, StringElement, StringElement, StringElement, IconElement,
                       MovingImageElement, MovingImageElement, StringElement, StringElement, StringElement,
                       StringElement, StringElement, StringElement, StringElement, SliderElement>
    elements{
        records.header,
        StaticImageRow{.id = 0x2500, .at = {0, 0}},  // 1 background
        MovingImageRow{.id = 0x100,
                       .at = {0, 0},
                       .first_bound = 70160.0,
                       .second_bound = -1500.0,
                       .x = &own_x<tape_shown>,
                       .y = &tape_y},  // 2 altitude tape
        MovingImageRow{.id = 0x1200,
                       .at = {0, 38},
                       .first_bound = 460.0,
                       .second_bound = -460.0,
                       .x = &own_x<ground_marker_shown>,
                       .y = &ground_marker_y},  // 3 ground marker
        MovingImageRow{.id = 0x1400,
                       .at = {0, 38},
                       .first_bound = 920.0,
                       .second_bound = 0.0,
                       .x = &own_x<selected_marker_shown>,
                       .y = &selected_marker_y},  // 4 selected-altitude marker
        StringRow{.at = {30, 138},
                  .box = {150, 50},
                  .colour = kGreen,
                  .weight = kBoldWeight,
                  .callback = &altitude_window},  // 5 altitude window, zero and above
        StringRow{.at = {30, 138},
                  .box = {222, 50},
                  .colour = kGreen,
                  .weight = kBoldWeight,
                  .callback = &altitude_window_below_zero},  // 6 altitude window, below zero
        StringRow{.at = {9, 6}, .box = {243, 36}, .colour = kMagenta, .callback = &selected_altitude_window},  // 7
        StringRow{.at = {9, 6}, .box = {243, 36}, .colour = kMagenta, .callback = &selected_altitude_off},     // 8
        StringRow{.at = {0, 273}, .box = {180, 50}, .colour = kAmber, .callback = &height_window},             // 9
        StringRow{.at = {9, 305}, .box = {171, 36}, .colour = kWhite, .callback = &barometric_window},         // 10
        IconRow{.id = 0x1600, .at = {120, 0}, .callback = &vertical_speed_scale},  // 11 vertical speed scale
        MovingImageRow{.id = 0x1800,
                       .at = {141, 45},
                       .first_bound = 0.0,
                       .second_bound = 3000.0,
                       .x = &own_x<climb_bar_shown>,
                       .y = &climb_bar_y},  // 12 climb bar
        MovingImageRow{.id = 0x2000,
                       .at = {141, 155},
                       .first_bound = -3000.0,
                       .second_bound = 0.0,
                       .x = &own_x<descent_bar_shown>,
                       .y = &descent_bar_y},  // 13 descent bar
        StringRow{.at = {106, 6}, .box = {86, 36}, .colour = kMagenta, .callback = &selected_vs_above_zero},     // 14
        StringRow{.at = {106, 6}, .box = {86, 36}, .colour = kMagenta, .callback = &selected_vs_zero},           // 15
        StringRow{.at = {106, 6}, .box = {86, 36}, .colour = kMagenta, .callback = &selected_vs_below_zero},     // 16
        StringRow{.at = {106, 6}, .box = {86, 36}, .colour = kMagenta, .callback = &selected_vs_off},            // 17
        StringRow{.at = {100, 278}, .box = {80, 36}, .colour = kWhite, .callback = &vertical_speed_above_zero},  // 18
        StringRow{.at = {101, 278}, .box = {79, 36}, .colour = kWhite, .callback = &vertical_speed_zero},        // 19
        StringRow{.at = {101, 278}, .box = {79, 36}, .colour = kWhite, .callback = &vertical_speed_below_zero},  // 20
        SliderRow{.id = 0x2200,
                  .at = {131, 152},
                  .y_scale = kPointerScale,
                  .x = &own_x<pointer_shown>,
                  .y = &pointer_y},  // 21 selected vertical speed pointer
    };

constinit std::array mouse_rects = mouse_rect_list(std::array{tooltip_record("Altimeter")});

constinit GaugeRecords<sizeof "Tarnwix_Altimeter", kVariableCount> records = gauge_records(
    "Tarnwix_Altimeter", kTokens,
    {.root_cell = elements.root_cell(), .mouse_rects = mouse_rects.data(), .callback = &gauge_callback<records, Steps>},
    records);

}  // namespace tarnwix::altimeter

extern "C" {
__declspec(dllexport) constinit tarnwix::ModuleLinkage Linkage =
    tarnwix::linkage_for(tarnwix::altimeter::records.header);
}
