// Tarnwix_Background_S: the fixed bezel of the attitude display. One static
// picture, no variables, no callbacks of its own and no clickable area.
#include "framework/gauge.h"

namespace tarnwix::background_s {

struct Steps {};  // nothing beyond the common pattern

extern GaugeRecords<sizeof "Tarnwix_Background_S", 0> records;

constinit ElementChain<StaticImage> elements{
    records.header,
    StaticImageRow{.id = 0x1400, .at = {0, 0}},  // the bezel
};

constinit std::array mouse_rects = kNoMouseAreas;

constinit GaugeRecords<sizeof "Tarnwix_Background_S", 0> records = gauge_records(
    "Tarnwix_Background_S", std::array<uint32_t, 0>{},
    {.root_cell = elements.root_cell(), .mouse_rects = mouse_rects.data(), .callback = &gauge_callback<records, Steps>},
    records);

}  // namespace tarnwix::background_s

extern "C" {
__declspec(dllexport) constinit tarnwix::ModuleLinkage Linkage = tarnwix::linkage_for(tarnwix::background_s::records.header);
}
