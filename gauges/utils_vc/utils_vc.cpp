// Tarnwix_UtilsVC: the utilities strip of the virtual cockpit. The same strip
// as the 2D panel's with three working buttons, BRAKE HELP, VOR 1 INPUT and
// BARO SET; the CALL OUT and ANNUN. TEST buttons are only painted, and the
// module publishes nothing.
#include "gauges/utils/strip.h"

namespace tarnwix::utils_vc {

using namespace tarnwix::utils;

extern GaugeRecords<sizeof "Tarnwix_UtilsVC", kVariableTokens.size()> records;

namespace {

struct Steps {
  static void derive() { update_strip<records>(); }
  static void first_draw_reset() {
    reset_brake_help();
    reset_power_and_baro();
  }
};

}  // namespace

constinit ElementChain<StaticImage, IconElement, IconElement, IconElement, IconElement, IconElement> elements{
    records.header, kPanelImage, kLabelOverlay, kBrakeHelpLegend, kNavLegend<records>, kGpsLegend<records>, kSetLegend,
};

constinit std::array mouse_rects = mouse_rect_list(std::array{
    child_record(kVorInputArea),
    child_record(kBaroSetArea),
    child_record(kBrakeHelpArea),
});

constinit GaugeRecords<sizeof "Tarnwix_UtilsVC", kVariableTokens.size()> records = gauge_records(
    "Tarnwix_UtilsVC", kVariableTokens,
    {.root_cell = elements.root_cell(), .mouse_rects = mouse_rects.data(), .callback = &gauge_callback<records, Steps>},
    records);

}  // namespace tarnwix::utils_vc

extern "C" {
__declspec(dllexport) constinit tarnwix::ModuleLinkage Linkage =
    tarnwix::linkage_for(tarnwix::utils_vc::records.header);
}
