// The utilities strip both utilities modules are built from: the module
// variable table, the brake-help automatic, the power-gated legends, the SET
// light and the three clickable areas the 2D and the virtual-cockpit strips
// have in common. Each module includes this once, so each keeps its own copy
// of every state word here and nothing passes between the two.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "framework/gauge.h"
#include "gauges/utils/strip_layout.h"

namespace tarnwix::utils {

// Module variable table, in refresh order.
inline constexpr std::array<uint32_t, 5> kVariableTokens{
    848,  // VOR input variable: 0 lights NAV, 1 lights GPS
    60,   // brake-help gate variable
    322,  // brake-help threshold variable
    832,  // metres-per-second speed variable
    769,  // power variable
};
enum Variable : std::size_t { kVorInput = 0, kBrakeGate, kBrakeThreshold, kSpeed, kPower };

// The gauge state block beyond the sound slots; all zero at load.
struct StripState {
  int32_t power_flag;    // the power variable truncated toward zero; 1 is powered
  int32_t armed;         // 1 while brake help is armed
  int32_t brake_active;  // 1 when every brake-help condition held at the latest update
  int32_t brake_latch;   // 1 from the first apply until its release
  int32_t baro_pending;  // set by a click on the baro-set area
  int32_t baro_counter;  // powered calls of the SET light since the click
};
inline constinit StripState state{};

inline bool powered() { return state.power_flag == 1; }

// Brake help: the conditions, tested in this order with exact comparisons, so
// that a value that is not a number fails every one of them.
inline constexpr double kBrakeGateOpen = 1.0;
inline constexpr double kBrakeThresholdAbove = 10.0;
inline constexpr double kSpeedAbove = 5.0;

// The three key events brake help sends, in sending order, with the values of
// an apply; a release sends each of them with 0.
struct BrakeEvent {
  uint32_t id;
  int32_t apply_value;
};
inline constexpr std::array<BrakeEvent, 3> kBrakeEvents{{
    {.id = 65786, .apply_value = 16384},
    {.id = 65820, .apply_value = -4096},
    {.id = 65821, .apply_value = -4096},
}};

// Key events sent by the clickable areas.
inline constexpr uint32_t kVorInputEvent = 66375;
inline constexpr uint32_t kBaroSetEvent = 65584;

// The SET light stays on for this many powered calls after a click.
inline constexpr int32_t kSetLightCalls = 10;

inline void send_key_event(uint32_t id, int32_t value) {
  panel().trigger_key_event(id, static_cast<uint32_t>(value));  // negative values go in two's complement
}

// Brake help's four conditions, in this order; power is not among them.
template <auto& Records>
bool brake_help_conditions_hold() {
  return state.armed == 1 && Records.value(kBrakeGate) == kBrakeGateOpen &&
         Records.value(kBrakeThreshold) > kBrakeThresholdAbove && Records.value(kSpeed) > kSpeedAbove;
}

// The pre-update work after the lookups: power flag, brake-help conditions and
// the key events of an apply (every update) or of a release (once).
template <auto& Records>
void update_strip() {
  state.power_flag = truncate_to_int32(Records.value(kPower));
  state.brake_active = brake_help_conditions_hold<Records>() ? 1 : 0;
  if (state.brake_active == 1) {
    send_key_event(kBrakeEvents[0].id, kBrakeEvents[0].apply_value);
    state.brake_latch = 1;
    send_key_event(kBrakeEvents[1].id, kBrakeEvents[1].apply_value);
    send_key_event(kBrakeEvents[2].id, kBrakeEvents[2].apply_value);
  } else if (state.brake_latch == 1) {
    for (const BrakeEvent& event : kBrakeEvents) send_key_event(event.id, 0);
    state.brake_latch = 0;
  }
}

// The first-draw reset, in two steps so that the 2D strip can clear its
// published words between them. Sends nothing, even mid-apply.
inline void reset_brake_help() {
  state.armed = 0;
  state.brake_latch = 0;
  state.brake_active = 0;
}
inline void reset_power_and_baro() {
  state.power_flag = 0;
  state.baro_pending = 0;
  state.baro_counter = 0;
}

// Set a word to 1 if it is 0, and to 0 if it holds anything else.
template <typename Word>
void toggle(Word& word) {
  word = word == 0 ? 1 : 0;
}

// Element callbacks.

// The captions: the icon's own source variable (token 0, so always state 0).
inline double GAUGE_CALL label_overlay(IconElement* element) {
  return show_value_if(element, powered(), element->source.value);
}

inline double GAUGE_CALL brake_help_legend(IconElement* element) {
  return show_value_if(element, powered(), static_cast<double>(state.armed));
}

// NAV and GPS both return the VOR input variable as delivered, 0 or 1: NAV's
// lit image is its state 0, GPS's its state 1. Each has only those two
// images, so any other value (NaN, infinities, 0.5, 1e300) is taken as 0
// rather than handed to the simulator as an image it does not have.
inline double vor_input_state(double delivered) { return delivered == 1.0 ? 1.0 : 0.0; }

template <auto& Records>
double GAUGE_CALL vor_input_legend(IconElement* element) {
  return show_value_if(element, powered(), vor_input_state(Records.value(kVorInput)));
}

// Lit for ten powered calls after a baro-set click; never hidden. Calls
// without power neither light it nor advance the count.
inline double GAUGE_CALL set_light(IconElement* element) {
  double value = 0.0;
  if (state.baro_pending == 1 && powered()) {
    ++state.baro_counter;
    value = 1.0;
  }
  if (state.baro_counter > kSetLightCalls) {
    state.baro_pending = 0;
    state.baro_counter = 0;
    value = 0.0;
  }
  brighten(element);
  return value;
}

// Mouse handlers; none looks at power.

inline uint32_t GAUGE_CALL vor_input_click(void*, uint32_t) {
  send_key_event(kVorInputEvent, 0);
  return 0;
}

inline uint32_t GAUGE_CALL baro_set_click(void*, uint32_t) {
  send_key_event(kBaroSetEvent, 0);
  state.baro_pending = 1;
  return 0;
}

inline uint32_t GAUGE_CALL brake_help_click(void*, uint32_t) {
  toggle(state.armed);
  return 0;
}

// The first six elements of the chain, in drawing order.
using layout::kLegendY;
inline constexpr StaticImageRow kPanelImage{.id = layout::kPanelImageId, .at = {0, 0}};
inline constexpr IconRow kLabelOverlay{.id = layout::kLabelOverlayId, .at = {0, 0}, .callback = &label_overlay};
inline constexpr IconRow kBrakeHelpLegend{
    .id = layout::kBrakeHelpOn.id, .at = {layout::kBrakeHelpOn.x, kLegendY}, .callback = &brake_help_legend};
template <auto& Records>
inline constexpr IconRow kNavLegend{
    .id = layout::kNav.id, .at = {layout::kNav.x, kLegendY}, .callback = &vor_input_legend<Records>};
template <auto& Records>
inline constexpr IconRow kGpsLegend{
    .id = layout::kGps.id, .at = {layout::kGps.x, kLegendY}, .callback = &vor_input_legend<Records>};
inline constexpr IconRow kSetLegend{.id = layout::kSet.id, .at = {layout::kSet.x, kLegendY}, .callback = &set_light};

// The first three clickable areas, in list order. The VOR input area spans
// both VOR 1 INPUT buttons and the gap between them (x 120 to 254).
inline constexpr ClickArea kVorInputArea{.x = 120, .y = 54, .width = 135, .height = 43, .handler = &vor_input_click};
inline constexpr ClickArea kBaroSetArea{.x = 289, .y = 54, .width = 61, .height = 42, .handler = &baro_set_click};
inline constexpr ClickArea kBrakeHelpArea{.x = 26, .y = 56, .width = 61, .height = 40, .handler = &brake_help_click};

}  // namespace tarnwix::utils
