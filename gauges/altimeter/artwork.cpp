// The bitmaps of the altimeter. Every moving picture is drawn where the
// simulator's placement brings it for the value it stands for:
//
// A moving image's strip slides behind its mask by (strip height - mask
// height) pixels while the y value goes from the first bound to the second:
// at the first bound the strip's top row is at the mask's top row, at the
// second bound its bottom row is at the mask's bottom row, linearly between.
// So the strip row seen at the middle of the mask for a value v is
//   mask height / 2 + (first - v) / (first - second) * (strip height - mask height).
// A slider's image moves by its y value times its y scale, in pixels.
//
// Rows here are continuous coordinates: row r covers [r, r + 1).
// In a mask, near-black (1, 1, 1) is the window through which the strip shows,
// pure black (0, 0, 0) lies outside it, and every other colour is drawn over
// the strip.
#include <cmath>
#include <cstdio>
#include <string>

#include "bitmap.h"

namespace tarnwix::art {
namespace {

constexpr Rgb kFrameGrey{150, 150, 150};
constexpr Rgb kMagenta{255, 0, 255};
constexpr Rgb kGroundAmber{255, 190, 0};
const std::vector<Rgb> kWindowPalette{kBlack, kMaskWindow};

struct Travel {
  int strip_height;
  int mask_height;
  double first_bound;
  double second_bound;
};

// The strip row (continuous) that the middle of the mask shows for `value`.
double strip_row_at_window_middle(const Travel& travel, double value) {
  const double fraction = (travel.first_bound - value) / (travel.first_bound - travel.second_bound);
  return travel.mask_height / 2.0 + fraction * (travel.strip_height - travel.mask_height);
}

// A horizontal mark two rows thick whose span contains `centre`.
void mark(Canvas& canvas, double centre, int from_x, int to_x, Rgb colour) {
  const int row = static_cast<int>(std::floor(centre));
  const int neighbour = centre - row < 0.5 ? row - 1 : row + 1;
  canvas.fill_rect(from_x, row, to_x - from_x, 1, colour);
  canvas.fill_rect(from_x, neighbour, to_x - from_x, 1, colour);
}

// A label whose capital height is centred on `centre`.
void label(Canvas& canvas, double pixel_height, int right, double centre, const std::string& text) {
  const double cap = mono_bold().cap_height(pixel_height);
  const int baseline = static_cast<int>(std::lround(centre + cap / 2.0));
  canvas.text(mono_bold(), pixel_height, right, baseline, text, kWhite, Align::kRight);
}

// ---- The altitude tape: a tick every 100 feet, a label every 200 feet.

constexpr Travel kTape{.strip_height = 18342, .mask_height = 310, .first_bound = 70160.0, .second_bound = -1500.0};
constexpr int kTapeWidth = 75;
constexpr int kTapeMaskWidth = 114;
constexpr int kLowestMark = -2000;  // the ends of the tape's range of values
constexpr int kHighestMark = 70600;

Canvas altitude_tape() {
  Canvas tape(kTapeWidth, kTape.strip_height);
  for (int feet = kLowestMark; feet <= kHighestMark; feet += 100) {
    const double centre = strip_row_at_window_middle(kTape, feet);
    const bool labelled = feet % 200 == 0;
    mark(tape, centre, 0, labelled ? 16 : 10, kWhite);
    if (labelled) label(tape, 15, kTapeWidth - 3, centre, std::to_string(feet));
  }
  return tape;
}

// The window over the tape's width; the outlined box of the digital altitude
// keeps the tape out from behind its digits, and a white pointer at the
// middle points at the box.
Canvas altitude_tape_mask() {
  Canvas mask(kTapeMaskWidth, kTape.mask_height, kBlack);
  mask.fill_rect(0, 0, kTapeWidth, kTape.mask_height, kMaskWindow);
  const int middle = kTape.mask_height / 2;
  mask.fill_rect(28, middle - 21, kTapeMaskWidth - 28, 42, kBlack);
  mask.outline_rect(28, middle - 21, kTapeMaskWidth - 28, 42, 2, kFrameGrey);
  mask.fill_polygon({{13, double(middle)}, {28, middle - 6.0}, {28, middle + 6.0}}, kWhite);
  return mask;
}

// ---- The ground marker: the ground line at mid-height reaches the middle of
// the window at a height of 0 and the window's lower edge at 460 feet.

constexpr Travel kGround{.strip_height = 474, .mask_height = 236, .first_bound = 460.0, .second_bound = -460.0};
constexpr int kMarkerWidth = 75;

Canvas ground_marker() {
  Canvas marker(kMarkerWidth, kGround.strip_height);
  const int ground = kGround.strip_height / 2;
  for (int x = -kGround.strip_height; x < kMarkerWidth; x += 8)
    marker.line({double(x), double(ground + 2)},
                {double(x + kGround.strip_height), double(ground + 2 + kGround.strip_height)}, 1.5, kGroundAmber);
  marker.fill_rect(0, ground - 1, kMarkerWidth, 2, kGroundAmber);  // the ground line, across mid-height
  marker.fill_rect(kMarkerWidth - 2, ground, 2, kGround.strip_height - ground, kGroundAmber);  // the edge line
  return marker;
}

// ---- The selected-altitude marker: a notched magenta bug at mid-height.

constexpr Travel kSelected{.strip_height = 474, .mask_height = 236, .first_bound = 920.0, .second_bound = 0.0};
constexpr int kBugWidth = 21;

Canvas selected_altitude_marker() {
  Canvas marker(kBugWidth, kSelected.strip_height);
  const int middle = kSelected.strip_height / 2;
  marker.fill_rect(6, middle - 12, kBugWidth - 6, 24, kMagenta);
  marker.fill_polygon({{6, middle - 8.0}, {14, double(middle)}, {6, middle + 8.0}}, kBlack);
  return marker;
}

// ---- The vertical speed scale, its bars and the pointer.

constexpr int kScaleWidth = 32;
constexpr int kScaleHeight = 275;
constexpr double kPointerTop = 152.0;  // the slider's position, the scale's at 0
constexpr int kPointerWidth = 21;
constexpr int kPointerHeight = 8;
constexpr double kPointerScale = -108.5 / 3000.0;

// The pointer's middle row on the scale for a selected vertical speed.
double pointer_middle(double feet_per_minute) {
  return kPointerTop + kPointerHeight / 2.0 + feet_per_minute * kPointerScale;
}

Canvas vertical_speed_scale() {
  Canvas scale(kScaleWidth, kScaleHeight);
  mark(scale, pointer_middle(0), 8, kScaleWidth, kWhite);  // the centre mark
  for (int thousands = 1; thousands <= 3; ++thousands) {
    for (int sign : {1, -1}) {
      const double centre = pointer_middle(sign * thousands * 1000.0);
      mark(scale, centre, 11, 20, kWhite);
      label(scale, 12, 9, centre, std::to_string(thousands));
    }
  }
  return scale;
}

Canvas pointer() {
  Canvas shape(kPointerWidth, kPointerHeight);
  const double middle = kPointerHeight / 2.0;
  shape.fill_polygon({{0, middle}, {10, 0}, {10, double(kPointerHeight)}}, kMagenta);
  shape.fill_rect(10, 3, kPointerWidth - 10, 2, kMagenta);
  return shape;
}

constexpr int kBarWidth = 6;
constexpr int kBarStrip = 220;
constexpr int kBarMask = 110;

// Half black, half white: the window shows as much white as the value has
// travelled from its zero bound.
Canvas bar(bool white_upper) {
  Canvas strip(kBarWidth, kBarStrip);
  strip.fill_rect(0, white_upper ? 0 : kBarStrip / 2, kBarWidth, kBarStrip / 2, kWhite);
  return strip;
}

std::vector<Bitmap> draw() {
  return {
      {.id = 0x2500, .picture = Canvas(178, 330)},
      {.id = 0x100, .picture = altitude_tape()},
      {.id = 0x101, .picture = altitude_tape_mask()},
      {.id = 0x1200, .picture = ground_marker()},
      {.id = 0x1201, .picture = Canvas(kMarkerWidth, kGround.mask_height, kMaskWindow), .palette = kWindowPalette},
      {.id = 0x1400, .picture = selected_altitude_marker()},
      {.id = 0x1401, .picture = Canvas(kBugWidth, kSelected.mask_height, kMaskWindow), .palette = kWindowPalette},
      {.id = 0x1600, .picture = vertical_speed_scale()},
      {.id = 0x1601, .picture = Canvas(3, 3, kBlack)},
      {.id = 0x1800, .picture = bar(false)},
      {.id = 0x1801, .picture = Canvas(kBarWidth, kBarMask, kMaskWindow), .palette = kWindowPalette},
      {.id = 0x2000, .picture = bar(true)},
      {.id = 0x2001, .picture = Canvas(kBarWidth, kBarMask, kMaskWindow), .palette = kWindowPalette},
      {.id = 0x2200, .picture = pointer()},
  };
}

const Registration registration{"Tarnwix_Altimeter", &draw};

}  // namespace
}  // namespace tarnwix::art
