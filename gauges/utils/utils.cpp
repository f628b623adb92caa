// Tarnwix_Utils: the utilities strip of the 2D panel. Five buttons: BRAKE
// HELP, VOR 1 INPUT (NAV and GPS), BARO SET, and the CALL OUT and ANNUN. TEST
// switches, which the module publishes to the panel's other gauges as the
// named variables "callout" and "testbutton".
#include "gauges/utils/strip.h"

namespace tarnwix::utils {

extern GaugeRecords<sizeof "Tarnwix_Utils", kVariableTokens.size()> records;

namespace {

// The published switches: 32-bit words whose addresses the host is given, so
// a value another gauge writes there is what the legends show next.
constinit uint32_t testbutton_slot = 0;
constinit uint32_t callout_slot = 0;

constexpr char kTestbuttonName[] = "testbutton";
constexpr char kCalloutName[] = "callout";

struct Steps {
  // Again on every pre-install: there is no guard.
  static void pre_install() {
    panel().register_named_variable(&testbutton_slot, kNamedVariableType, kTestbuttonName);
    panel().register_named_variable(&callout_slot, kNamedVariableType, kCalloutName);
  }
  static void derive() { update_strip<records>(); }
  static void first_draw_reset() {
    reset_brake_help();
    testbutton_slot = 0;
    callout_slot = 0;
    reset_power_and_baro();
  }
  // After the sound library is released.
  static void pre_kill() {
    panel().unregister_named_variable(kTestbuttonName);
    panel().unregister_named_variable(kCalloutName);
  }
};

// Both legends show their word as an unsigned state, so a 5 written by
// another gauge is returned as 5.0.
double GAUGE_CALL callout_legend(IconElement* element) {
  return show_value_if(element, powered(), static_cast<double>(callout_slot));
}

double GAUGE_CALL check_legend(IconElement* element) {
  return show_value_if(element, powered(), static_cast<double>(testbutton_slot));
}

uint32_t GAUGE_CALL annunciator_test_click(void*, uint32_t) {
  toggle(testbutton_slot);
  return 0;
}

uint32_t GAUGE_CALL callout_click(void*, uint32_t) {
  toggle(callout_slot);
  return 0;
}

}  // namespace

constinit ElementChain<StaticImage, IconElement, IconElement, IconElement, IconElement, IconElement, IconElement,
                       IconElement>
    elements{
        records.header,
        kPanelImage,
        kLabelOverlay,
        kBrakeHelpLegend,
        kNavLegend<records>,
        kGpsLegend<records>,
        kSetLegend,
        IconRow{.id = layout::kCalloutOn.id, .at = {layout::kCalloutOn.x, kLegendY}, .callback = &callout_legend},
        IconRow{.id = layout::kCheck.id, .at = {layout::kCheck.x, kLegendY}, .callback = &check_legend},
    };

constinit std::array mouse_rects = mouse_rect_list(std::array{
    child_record(kVorInputArea),
    child_record(kBaroSetArea),
    child_record(kBrakeHelpArea),
    child_record({.x = 457, .y = 55, .width = 63, .height = 42, .handler = &annunciator_test_click}),
    child_record({.x = 363, .y = 55, .width = 62, .height = 41, .cursor = kArrowCursor, .handler = &callout_click}),
});

constinit GaugeRecords<sizeof "Tarnwix_Utils", kVariableTokens.size()> records = gauge_records(
    "Tarnwix_Utils", kVariableTokens,
    {.root_cell = elements.root_cell(), .mouse_rects = mouse_rects.data(), .callback = &gauge_callback<records, Steps>},
    records);

}  // namespace tarnwix::utils

extern "C" {
__declspec(dllexport) constinit tarnwix::ModuleLinkage Linkage = tarnwix::linkage_for(tarnwix::utils::records.header);
}
