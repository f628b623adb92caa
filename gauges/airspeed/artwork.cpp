// The bitmaps of the airspeed display. Pure black is where the panel shows
// through; the masks are near-black, (1, 1, 1) marking the window.
//
// The scale strip and the tape element's bounds share one geometry: the marks
// lie 2704 / 1060 (about 2.5509) pixels per knot apart, the 1060 mark on rows
// 31 to 32 and the 0 mark on rows 2735 to 2736. The red band and the marker
// strips put their reference row 237 on the centre of their 236-row masks at
// an offset of 46.
#include <cmath>
#include <string>

#include "bitmap.h"

namespace tarnwix::art {
namespace {

constexpr Rgb kScaleBlue{18, 26, 74};
constexpr Rgb kFrameBlue{40, 110, 255};
constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kGreen{0, 220, 0};
constexpr Rgb kYellow{255, 220, 0};
constexpr Rgb kMagenta{255, 0, 255};

// The speed scale.
constexpr int kScaleWidth = 66;
constexpr int kScaleHeight = 2912;
constexpr int kTopKnots = 1060;
constexpr int kTopMarkRow = 31;       // the 1060 mark's first row
constexpr int kBottomMarkRow = 2735;  // the 0 mark's first row
constexpr int kMarkThickness = 2;

// First row of the mark for a speed in knots.
int mark_row(int knots) {
  const double pixels_per_knot = static_cast<double>(kBottomMarkRow - kTopMarkRow) / kTopKnots;
  return kTopMarkRow + static_cast<int>(std::lround((kTopKnots - knots) * pixels_per_knot));
}

// The coloured bands along the right edge, from the low end upward.
struct Band {
  int from_knots;
  int to_knots;
  Rgb colour;
};
constexpr Band kBands[] = {
    {0, 60, kRed},
    {60, 180, kWhite},
    {180, 350, kGreen},
    {350, kTopKnots, kYellow},
};
constexpr int kBandX = 61;  // to the strip's right edge
constexpr int kMajorTickX = 46;
constexpr int kMinorTickX = 52;
constexpr int kTickEndX = 59;
constexpr int kLabelRight = 43;
constexpr double kLabelHeight = 16;

Canvas speed_scale() {
  Canvas scale(kScaleWidth, kScaleHeight, kScaleBlue);
  for (const Band& band : kBands) {
    const int top = mark_row(band.to_knots);
    scale.fill_rect(kBandX, top, kScaleWidth - kBandX, mark_row(band.from_knots) + kMarkThickness - top, band.colour);
  }
  const double cap = sans_bold().cap_height(kLabelHeight);
  for (int knots = 0; knots <= kTopKnots; knots += 10) {
    const int row = mark_row(knots);
    const bool labelled = knots % 20 == 0;
    const int from = labelled ? kMajorTickX : kMinorTickX;
    scale.fill_rect(from, row, kTickEndX - from + 1, kMarkThickness, kWhite);
    if (labelled) {
      const int baseline = row + static_cast<int>(std::lround(kMarkThickness / 2.0 + cap / 2));
      scale.text(sans_bold(), kLabelHeight, kLabelRight, baseline, std::to_string(knots), kWhite, Align::kRight);
    }
  }
  return scale;
}

// The window through which the scale shows: rows 37 to 272.
Canvas tape_mask() {
  Canvas mask(66, 310, kBlack);
  mask.fill_rect(0, 37, 66, 236, kMaskWindow);
  return mask;
}

// A blue box open to the left around the readout, and a white pointer whose
// tip (row 155) is level with the tape window's centre.
Canvas readout_frame() {
  Canvas frame(97, 310, kBlack);
  constexpr int kLeft = 18, kRight = 75, kTop = 134, kBottom = 176, kLine = 2;
  frame.fill_rect(kLeft, kTop, kRight - kLeft + 1, kLine, kFrameBlue);
  frame.fill_rect(kLeft, kBottom - kLine + 1, kRight - kLeft + 1, kLine, kFrameBlue);
  frame.fill_rect(kRight - kLine + 1, kTop, kLine, kBottom - kTop + 1, kFrameBlue);
  frame.fill_polygon({{76, 141}, {76, 170}, {91, 155.5}}, kWhite);
  return frame;
}

// A red bar along the strip's right side down to row 236.
Canvas red_band() {
  Canvas band(21, 474, kBlack);
  band.fill_rect(15, 0, 6, 237, kRed);
  return band;
}

// A bow tie outline, rows 217 to 257, crossing at row 237.
Canvas speed_marker() {
  Canvas marker(21, 474, kBlack);
  constexpr int kTop = 217, kBottom = 257, kLeft = 2, kRight = 17;
  marker.fill_rect(kLeft, kTop, 2, kBottom - kTop + 1, kMagenta);
  marker.fill_rect(kRight, kTop, 2, kBottom - kTop + 1, kMagenta);
  marker.line({kLeft + 1, kTop}, {kRight, kBottom}, 2, kMagenta);
  marker.line({kLeft + 1, kBottom}, {kRight, kTop}, 2, kMagenta);
  return marker;
}

std::vector<Bitmap> draw() {
  return {
      {.id = 0x100, .picture = Canvas(101, 330, kBlack)},
      {.id = 0x1200, .picture = readout_frame()},
      {.id = 0x1201, .picture = Canvas(3, 4, kBlack)},
      {.id = 0x1400, .picture = speed_scale()},
      {.id = 0x1401, .picture = tape_mask()},
      {.id = 0x1600, .picture = red_band()},
      {.id = 0x1601, .picture = Canvas(21, 236, kMaskWindow)},
      {.id = 0x1800, .picture = speed_marker()},
      {.id = 0x1801, .picture = Canvas(21, 236, kMaskWindow)},
  };
}

const Registration registration{"Tarnwix_Airspeed", &draw};

}  // namespace
}  // namespace tarnwix::art
