// The utilities strip: a dark grey panel with six raised buttons under five
// captions, the label overlay that lights the captions, and the green legends
// that light the buttons. Pure black is transparent: the unlit legends and the
// overlay's background are pure black, and the panel image holds none, so the
// panel shows through everywhere but the lit words. Every lit word is drawn in
// the same font, size and place as its unlit counterpart on the panel image,
// so lighting it changes only its colour.
#include <algorithm>

#include "strip_artwork.h"

namespace tarnwix::art::utils_strip {
namespace {

constexpr int kStripWidth = 546;
constexpr int kStripHeight = 111;
constexpr int kLegendWidth = 62;
constexpr int kLegendHeight = 42;
constexpr int kButtonTop = 56;

// The left edges of the six buttons, which are also the legend elements'
// positions: BRAKE HELP ON, NAV, GPS, SET, CALL OUT ON, CHK.
constexpr int kBrakeHelpX = 27, kNavX = 120, kGpsX = 196, kSetX = 290, kCalloutX = 364, kCheckX = 458;

constexpr Rgb kPanel{46, 48, 52};
constexpr Rgb kButtonFace{72, 75, 80};
constexpr Rgb kButtonLight{112, 116, 122};
constexpr Rgb kButtonShadow{28, 29, 32};
constexpr Rgb kUnlitLegend{36, 62, 40};
constexpr Rgb kUnlitCaption{96, 99, 104};
constexpr Rgb kLitCaption{214, 216, 220};
constexpr Rgb kLitLegend{0, 255, 0};

constexpr double kLegendTextHeight = 20;
constexpr int kLegendBaseline = 29;  // from the top of the button
constexpr double kCaptionTextHeight = 15;
constexpr int kCaptionBaseline = 44;

struct Caption {
  const char* text;
  int centre_x;
};
// Each caption is centred over its button, VOR 1 INPUT over both of its own.
constexpr Caption kCaptions[] = {
    {"BRAKE HELP", kBrakeHelpX + kLegendWidth / 2},
    {"VOR 1 INPUT", (kNavX + kGpsX + kLegendWidth) / 2},
    {"BARO", kSetX + kLegendWidth / 2},
    {"CALL OUT", kCalloutX + kLegendWidth / 2},
    {"ANNUN. TEST", kCheckX + kLegendWidth / 2},
};

struct Button {
  int x;
  const char* legend;
};
constexpr Button kButtons[] = {
    {kBrakeHelpX, "ON"}, {kNavX, "NAV"}, {kGpsX, "GPS"}, {kSetX, "SET"}, {kCalloutX, "ON"}, {kCheckX, "CHK"},
};

// A legend word centred in a 62 x 42 box whose top left is (x, y).
void legend_word(Canvas& canvas, int x, int y, const char* word, Rgb colour) {
  canvas.text(sans_bold(), kLegendTextHeight, x + kLegendWidth / 2, y + kLegendBaseline, word, colour, Align::kCentre);
}

void captions(Canvas& canvas, Rgb colour) {
  for (const Caption& caption : kCaptions)
    canvas.text(sans_bold(), kCaptionTextHeight, caption.centre_x, kCaptionBaseline, caption.text, colour,
                Align::kCentre);
}

Canvas panel_image() {
  Canvas panel(kStripWidth, kStripHeight, kPanel);
  panel.outline_rect(0, 0, kStripWidth, kStripHeight, 2, kButtonShadow);
  for (const Button& button : kButtons) {
    // Raised: light along the top and left edges, shadow along the bottom and right.
    panel.fill_rect(button.x, kButtonTop, kLegendWidth, kLegendHeight, kButtonShadow);
    panel.fill_rect(button.x, kButtonTop, kLegendWidth - 2, kLegendHeight - 2, kButtonLight);
    panel.fill_rect(button.x + 2, kButtonTop + 2, kLegendWidth - 4, kLegendHeight - 4, kButtonFace);
    legend_word(panel, button.x, kButtonTop, button.legend, kUnlitLegend);
  }
  captions(panel, kUnlitCaption);
  return panel;
}

Canvas label_overlay() {
  Canvas overlay(kStripWidth, kStripHeight, kBlack);
  captions(overlay, kLitCaption);
  return overlay;
}

Canvas unlit_legend() { return Canvas(kLegendWidth, kLegendHeight, kBlack); }

Canvas lit_legend(const char* word) {
  Canvas legend(kLegendWidth, kLegendHeight, kBlack);
  legend_word(legend, 0, 0, word, kLitLegend);
  return legend;
}

// The picture's own colours first, then unused greys, to `entries` in all.
std::vector<Rgb> palette_of(const Canvas& picture, std::size_t entries) {
  std::vector<Rgb> palette = colours_of(picture);
  for (int level = 1; palette.size() < entries && level < 256; ++level) {
    const Rgb grey{static_cast<uint8_t>(level), static_cast<uint8_t>(level), static_cast<uint8_t>(level)};
    if (std::find(palette.begin(), palette.end(), grey) == palette.end()) palette.push_back(grey);
  }
  return palette;
}

Bitmap bitmap(int id, Canvas picture, std::size_t palette_entries) {
  std::vector<Rgb> palette = palette_of(picture, palette_entries);
  return {.id = id, .picture = std::move(picture), .bits_per_pixel = 8, .palette = std::move(palette)};
}

}  // namespace

std::vector<Bitmap> draw(bool with_switch_legends) {
  std::vector<Bitmap> bitmaps;
  bitmaps.push_back(bitmap(0x1300, unlit_legend(), 70));
  bitmaps.push_back(bitmap(0x1301, lit_legend("ON"), 68));
  bitmaps.push_back(bitmap(0x1400, lit_legend("NAV"), 82));
  bitmaps.push_back(bitmap(0x1401, unlit_legend(), 70));
  if (with_switch_legends) {
    bitmaps.push_back(bitmap(0x1900, unlit_legend(), 70));
    bitmaps.push_back(bitmap(0x1901, lit_legend("ON"), 68));
  }
  bitmaps.push_back(bitmap(0x2000, unlit_legend(), 70));
  bitmaps.push_back(bitmap(0x2001, lit_legend("GPS"), 78));
  bitmaps.push_back(bitmap(0x2100, unlit_legend(), 70));
  bitmaps.push_back(bitmap(0x2101, lit_legend("SET"), 54));
  if (with_switch_legends) {
    bitmaps.push_back(bitmap(0x2200, unlit_legend(), 70));
    bitmaps.push_back(bitmap(0x2201, lit_legend("CHK"), 70));
  }
  bitmaps.push_back(bitmap(0x2400, panel_image(), 256));
  bitmaps.push_back(bitmap(0x2500, label_overlay(), 102));
  bitmaps.push_back(bitmap(0x2501, Canvas(3, 2, kBlack), 256));  // never chosen
  return bitmaps;
}

namespace {
std::vector<Bitmap> draw_utils() { return draw(true); }
const Registration registration{"Tarnwix_Utils", &draw_utils};
}  // namespace

}  // namespace tarnwix::art::utils_strip
