// Drawing a frame of a loaded gauge module into an RGB picture, as the
// simulator draws it, from the module's own bitmap resources and the element
// records of the frame's snapshot; writing pictures as PNG.
//
// The drawing rules, in one place (the modules' artwork is drawn to agree):
//
// Order and place
//   - The chain is drawn in its order, from the root up; each element is drawn
//     over the earlier ones, the last element is on top.
//   - Every position is relative to the top-left pixel of the background (the
//     root's bitmap), never to a parent element. The picture has the size of
//     the background; whatever falls outside it is cut off.
//   - The root is drawn whole and opaque, black included, whatever its flags
//     say. Every other element whose hidden flag is set is not drawn at all.
//   - The bright flag changes nothing: the panel's lighting is not modelled.
//
// Transparency
//   - Pure black (0, 0, 0) is transparent in every picture drawn over the
//     background: the static image, the icon image, the slider image and the
//     moving strip leave the pixels under their pure black ones untouched.
//
// Static image: its bitmap with its top-left pixel at the element's position.
//
// Icon: the bitmap of resource id + image index, at the element's position.
//   The index is the callback's value truncated toward zero; a negative value,
//   NaN, or a value that is not a number gives 0. An index past the module's
//   last image of the icon shows that last image (the highest id + i <= index
//   that the module holds).
//
// Slider: its bitmap at the element's position moved down by the y value
//   times the y scale, rounded to the nearest pixel (a negative product moves
//   it up). The x axis moves nothing: every module's x scale is 0.
//
// Moving image: a strip (resource id) seen through its mask (id + 1).
//   - The mask's top-left pixel is at the element's position; the strip's
//     left column is the mask's left column.
//   - Travel = strip height - mask height (0 when the strip is the shorter).
//     The strip is raised by
//         offset = (value - first bound) / (second bound - first bound) * travel
//     pixels, rounded to the nearest pixel: at the first bound the strip's
//     top row lies on the mask's top row, at the second bound its bottom row
//     on the mask's bottom row, linearly between and beyond (the first bound
//     may be the larger one). So the strip row seen at the mask's centre row
//     (mask height - 1) / 2 is offset + (mask height - 1) / 2. Equal bounds, or
//     a value that is NaN, give offset 0; an infinite value puts the strip out
//     of sight. The x axis moves nothing: every module's x bounds are 0.
//   - Each mask pixel is one of three kinds:
//       pure black (0, 0, 0): outside the window; nothing of the element is
//         drawn there;
//       window colour, every channel at most kWindowLevel, e.g. (1, 1, 1):
//         inside the window; the strip's pixel under it is drawn, unless it is
//         pure black or beyond the strip;
//       any other colour: the window's own drawing (a frame line, a pointer),
//         drawn as it is over the strip.
//   - A moving image whose strip or mask is missing is not drawn.
//
// String: its text in its box (position, box width and height), in its colour
//   (0x00BBGGRR). The modules ask for the face "Quartz", which nobody ships
//   with them; the stand-in is the seven-segment face of fonts-dseg, with
//   DejaVu Sans Mono for any character that face lacks (and for every
//   character when it is absent). Both are built into the host.
//   - Size: the face's line fills the box: the digits are kTextHeight of the
//     box height tall, and the baseline lies kTextMargin of the box height
//     above the box's bottom edge (the rest is the line's space above).
//   - The stand-in face is drawn narrower than it is, to kTextNarrowing of
//     its width, as an LCD face like the one asked for is narrow.
//   - The text starts at the box's left edge. When its leading text (up to
//     the first run of two spaces, or the whole text) is still wider than the
//     box, the text is condensed further until that text fits; the rest is
//     laid out at the same scale and cut at the box's edge. So " OFF" with
//     its far-away digit shows " OFF" alone, as the readout means.
//   - A space is a blank digit cell, as wide as the digit 8, so that " 00000"
//     lines up with "+01500" and "-01500".
//   - Nothing is drawn outside the box; characters below 0x20 count as spaces.
//   - Glyph edges are blended with what lies under them by their coverage.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/host.h"

namespace tarnwix::host {

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  friend constexpr bool operator==(Rgb, Rgb) = default;
};

inline constexpr Rgb kPureBlack{0, 0, 0};
// A mask pixel with no channel above this level is window, not drawing.
inline constexpr uint8_t kWindowLevel = 8;
constexpr bool is_window(Rgb mask) {
  return mask != kPureBlack && mask.r <= kWindowLevel && mask.g <= kWindowLevel && mask.b <= kWindowLevel;
}
inline constexpr double kTextHeight = 0.65;
inline constexpr double kTextMargin = 0.15;
inline constexpr double kTextNarrowing = 0.7;

// An RGB picture, top row first, 3 bytes a pixel.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;

  Picture() = default;
  Picture(int width, int height, Rgb fill = kPureBlack);
  bool empty() const { return width <= 0 || height <= 0; }
  bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
  Rgb at(int x, int y) const;
  void set(int x, int y, Rgb colour);  // ignores points outside
  // Copies `from` with its top-left pixel at (x, y), black included.
  void paste(const Picture& from, int x, int y);
  friend bool operator==(const Picture&, const Picture&) = default;
};

// A bitmap's pixel; (x, y) must lie inside it.
inline Rgb pixel(const Bitmap& bitmap, int x, int y) { return {bitmap.r(x, y), bitmap.g(x, y), bitmap.b(x, y)}; }

// The colour of a string element's colour word, 0x00BBGGRR.
Rgb colour_from_word(uint32_t bbggrr);

// Finds a module's bitmap by resource id; null when there is none (or it
// cannot be decoded).
using BitmapSource = std::function<const Bitmap*(int id)>;

// A module's bitmaps, decoded once and kept.
class BitmapCache {
 public:
  explicit BitmapCache(const Module& module) : module_(module) {}
  const Bitmap* find(int id);
  BitmapSource source() {
    return [this](int id) { return find(id); };
  }

 private:
  const Module& module_;
  std::map<int, std::optional<Bitmap>> bitmaps_;
};

// The placement rules above, as numbers.
int icon_image_index(double value);
int slider_displacement(double value, double scale);
int moving_image_offset(double value, double first_bound, double second_bound, int travel);

// Draws a frame by the rules above. The picture has the size of the root's
// bitmap (empty when the frame has no root or its bitmap is missing). Each
// bitmap that an element needs and the module lacks is named in *problems.
Picture render_frame(const FrameSnapshot& frame, const BitmapSource& bitmaps,
                     std::vector<std::string>* problems = nullptr);

// A string element's text in its box, by the rules above.
void draw_text(Picture& picture, int x, int y, int box_width, int box_height, std::string_view text, Rgb colour);

// A caption for a contact sheet: DejaVu Sans Mono, `pixel_height` tall, its
// top-left at (x, y), cut at the picture's edges.
void draw_caption(Picture& picture, int x, int y, int pixel_height, std::string_view text, Rgb colour);

// True when the seven-segment face is built in (else every text is drawn in
// DejaVu Sans Mono); false for both when the build found no font at all.
bool seven_segment_face_available();
bool fallback_face_available();

// Pictures laid out in rows of `columns`, each with its caption under it, on
// a dark grey sheet, under the heading when there is one.
Picture contact_sheet(const std::vector<Picture>& tiles, const std::vector<std::string>& captions, int columns,
                      const std::string& heading = {});

// Writes a PNG; false, with the reason in *error, when it cannot.
bool write_png(const Picture& picture, const std::string& path, std::string* error = nullptr);

}  // namespace tarnwix::host
