// The bezel of the attitude display: a grey frame with rounded corners around
// the near-black screen, and a name plate along the bottom edge. Pure black
// appears only outside the rounded corners, where the panel shows through.
#include "bitmap.h"

namespace tarnwix::art {
namespace {

constexpr int kWidth = 736;
constexpr int kHeight = 770;
constexpr Rgb kFrame{92, 95, 100};
constexpr Rgb kFrameLight{128, 131, 137};
constexpr Rgb kFrameShadow{58, 60, 64};
constexpr Rgb kScreen{5, 5, 5};
constexpr Rgb kPlate{70, 72, 76};
constexpr Rgb kPlateText{200, 202, 206};

// Corner radii, top left, top right, bottom left, bottom right: together they
// leave 53 + 53 + 25 + 32 = 163 pixels outside the frame.
constexpr int kTopRadius = 16;
constexpr int kBottomLeftRadius = 11;
constexpr int kBottomRightRadius = 12;

// Pixels outside a corner's quarter circle become pure black.
void cut_corner(Canvas& bezel, int radius, bool right, bool bottom) {
  for (int row = 0; row < radius; ++row) {
    for (int col = 0; col < radius; ++col) {
      const double dx = col + 0.5 - radius, dy = row + 0.5 - radius;
      if (dx * dx + dy * dy <= static_cast<double>(radius) * radius) continue;
      bezel.set(right ? kWidth - 1 - col : col, bottom ? kHeight - 1 - row : row, kBlack);
    }
  }
}

std::vector<Bitmap> draw() {
  Canvas bezel(kWidth, kHeight, kFrame);
  // A bevel: light along the top and left, shadow along the bottom and right.
  bezel.fill_rect(0, 0, kWidth, 4, kFrameLight);
  bezel.fill_rect(0, 0, 4, kHeight, kFrameLight);
  bezel.fill_rect(0, kHeight - 4, kWidth, 4, kFrameShadow);
  bezel.fill_rect(kWidth - 4, 0, 4, kHeight, kFrameShadow);
  // The screen, with a thin recess line around it.
  bezel.outline_rect(34, 34, kWidth - 68, 640, 3, kFrameShadow);
  bezel.fill_rounded_rect(37, 37, kWidth - 74, 634, 10, kScreen);
  // The plate along the bottom edge.
  bezel.fill_rect(120, 694, kWidth - 240, 56, kPlate);
  bezel.outline_rect(120, 694, kWidth - 240, 56, 2, kFrameShadow);
  bezel.text(sans_bold(), 30, kWidth / 2, 733, "TARNWIX  ATTITUDE", kPlateText, Align::kCentre);
  cut_corner(bezel, kTopRadius, false, false);
  cut_corner(bezel, kTopRadius, true, false);
  cut_corner(bezel, kBottomLeftRadius, false, true);
  cut_corner(bezel, kBottomRightRadius, true, true);
  return {{.id = 0x1400, .picture = bezel, .bits_per_pixel = 24}};
}

const Registration registration{"Tarnwix_Background_S", &draw};

}  // namespace
}  // namespace tarnwix::art
