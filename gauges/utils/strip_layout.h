// Where the utilities strip's pictures are: bitmap ids, sizes and the places
// of the legends. Read by the element records and by the artwork, so that
// every lit legend is drawn for exactly the place its element shows it.
#pragma once

namespace tarnwix::utils::layout {

// The panel image and the label overlay cover the whole strip.
inline constexpr int kStripWidth = 546;
inline constexpr int kStripHeight = 111;
inline constexpr int kPanelImageId = 0x2400;
inline constexpr int kLabelOverlayId = 0x2500;  // state 1 (id + 1) is never chosen

// Every legend is a 62 x 42 picture on its button; state 0 is its id, state
// 1 the next id.
inline constexpr int kLegendWidth = 62;
inline constexpr int kLegendHeight = 42;
inline constexpr int kLegendY = 56;

struct Legend {
  int id;
  int x;
};
inline constexpr Legend kBrakeHelpOn{.id = 0x1300, .x = 27};
inline constexpr Legend kNav{.id = 0x1400, .x = 120};
inline constexpr Legend kGps{.id = 0x2000, .x = 196};
inline constexpr Legend kSet{.id = 0x2100, .x = 290};
inline constexpr Legend kCalloutOn{.id = 0x1900, .x = 364};
inline constexpr Legend kCheck{.id = 0x2200, .x = 458};

}  // namespace tarnwix::utils::layout
