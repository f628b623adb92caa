// The utilities strip: a dark grey panel with six raised buttons under five
// captions, the label overlay that lights the captions, and the green legends
// that light the buttons. Pure black is transparent: the unlit legends and the
// overlay's background are pure black, and the panel image holds none, so the
// panel shows through everywhere but the lit words. Every lit word is drawn in
// the same font, size and place as its unlit counterpart on the panel image,
// so lighting it changes only its colour.
#include <algorithm>

#include "strip_artwork.h"
#include "strip_layout.h"

namespace tarnwix::art::utils_strip {
namespace {

using namespace tarnwix::utils::layout;

constexpr Rgb kPanel{46, 48, 52};
constexpr Rgb kButtonFace{72, 75, 80};
constexpr Rgb kButtonLight{112, 116, 122};
constexpr Rgb kButtonShadow{28, 29, 32};
constexpr Rgb kUnlitLegend{36, 62, 40};
constexpr Rgb kUnlitCaption{96, 99, 104};
constexpr Rgb kLitCaption{214, 216, 220};
constexpr Rgb kLitLegend{0, 255, 0};

constexpr double kLegendTextHeight = 20;
constexpr int kLegendBaseline = 29;  // from the top of the legend
constexpr double kCaptionTextHeight = 15;
constexpr int kCaptionBaseline = 44;  // above the buttons, which start at 56

struct Caption {
  const char* text;
  int centre_x;
};
constexpr int centre_of(Legend legend) { return legend.x + kLegendWidth / 2; }
// Each caption is centred over its button, VOR 1 INPUT over both of its own.
constexpr Caption kCaptions[] = {
    {"BRAKE HELP", centre_of(kBrakeHelpOn)},
    {"VOR 1 INPUT", (kNav.x + kGps.x + kLegendWidth) / 2},
    {"BARO", centre_of(kSet)},
    {"CALL OUT", centre_of(kCalloutOn)},
    {"ANNUN. TEST", centre_of(kCheck)},
};

struct Button {
  Legend legend;
  const char* word;
};
constexpr Button kButtons[] = {
    {kBrakeHelpOn, "ON"}, {kNav, "NAV"}, {kGps, "GPS"}, {kSet, "SET"}, {kCalloutOn, "ON"}, {kCheck, "CHK"},
};

// A legend word centred in a legend-sized box whose top left is (x, y).
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
    const int x = button.legend.x;
    // Raised: light along the top and left edges, shadow along the bottom and right.
    panel.fill_rect(x, kLegendY, kLegendWidth, kLegendHeight, kButtonShadow);
    panel.fill_rect(x, kLegendY, kLegendWidth - 2, kLegendHeight - 2, kButtonLight);
    panel.fill_rect(x + 2, kLegendY + 2, kLegendWidth - 4, kLegendHeight - 4, kButtonFace);
    legend_word(panel, x, kLegendY, button.word, kUnlitLegend);
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

// Each legend's two states, with the palette size each bitmap carries.
std::vector<Bitmap> draw(bool with_switch_legends) {
  std::vector<Bitmap> bitmaps;
  bitmaps.push_back(bitmap(kBrakeHelpOn.id, unlit_legend(), 70));
  bitmaps.push_back(bitmap(kBrakeHelpOn.id + 1, lit_legend("ON"), 68));
  bitmaps.push_back(bitmap(kNav.id, lit_legend("NAV"), 82));  // NAV is lit in state 0
  bitmaps.push_back(bitmap(kNav.id + 1, unlit_legend(), 70));
  if (with_switch_legends) {
    bitmaps.push_back(bitmap(kCalloutOn.id, unlit_legend(), 70));
    bitmaps.push_back(bitmap(kCalloutOn.id + 1, lit_legend("ON"), 68));
  }
  bitmaps.push_back(bitmap(kGps.id, unlit_legend(), 70));
  bitmaps.push_back(bitmap(kGps.id + 1, lit_legend("GPS"), 78));
  bitmaps.push_back(bitmap(kSet.id, unlit_legend(), 70));
  bitmaps.push_back(bitmap(kSet.id + 1, lit_legend("SET"), 54));
  if (with_switch_legends) {
    bitmaps.push_back(bitmap(kCheck.id, unlit_legend(), 70));
    bitmaps.push_back(bitmap(kCheck.id + 1, lit_legend("CHK"), 70));
  }
  bitmaps.push_back(bitmap(kPanelImageId, panel_image(), 256));
  bitmaps.push_back(bitmap(kLabelOverlayId, label_overlay(), 102));
  bitmaps.push_back(bitmap(kLabelOverlayId + 1, Canvas(3, 2, kBlack), 256));  // never chosen
  return bitmaps;
}

namespace {
std::vector<Bitmap> draw_utils() { return draw(true); }
const Registration registration{"Tarnwix_Utils", &draw_utils};
}  // namespace

}  // namespace tarnwix::art::utils_strip
