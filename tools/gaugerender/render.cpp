// The frame renderer: the drawing rules of render.h, stb_truetype for the
// readouts' glyphs and stb_image_write for the PNG files.
#include "render.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#define STB_TRUETYPE_IMPLEMENTATION
#define STBTT_STATIC
#include <stb_truetype.h>
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb_image_write.h>
#pragma GCC diagnostic pop

// The fonts, built into the host by fonts.S (empty when the build found none).
extern "C" const unsigned char tarnwix_seven_segment_font[];
extern "C" const unsigned char tarnwix_seven_segment_font_end[];
extern "C" const unsigned char tarnwix_fallback_font[];
extern "C" const unsigned char tarnwix_fallback_font_end[];

namespace tarnwix::host {

// ---- Pictures

Picture::Picture(int w, int h, Rgb fill_colour) : width(std::max(w, 0)), height(std::max(h, 0)) {
  rgb.resize(static_cast<size_t>(width) * height * 3);
  for (size_t i = 0; i < rgb.size(); i += 3) {
    rgb[i] = fill_colour.r;
    rgb[i + 1] = fill_colour.g;
    rgb[i + 2] = fill_colour.b;
  }
}

Rgb Picture::at(int x, int y) const {
  if (!contains(x, y)) return kPureBlack;
  const size_t i = (static_cast<size_t>(y) * width + x) * 3;
  return {rgb[i], rgb[i + 1], rgb[i + 2]};
}

void Picture::set(int x, int y, Rgb colour) {
  if (!contains(x, y)) return;
  const size_t i = (static_cast<size_t>(y) * width + x) * 3;
  rgb[i] = colour.r;
  rgb[i + 1] = colour.g;
  rgb[i + 2] = colour.b;
}

namespace {

// The part of a width x height image placed at (x, y) that falls inside a
// picture of picture_width x picture_height, in the image's own pixels: cut
// once, then copied row by row.
struct Cut {
  int64_t left, top, right, bottom;
};

Cut cut_to(int picture_width, int picture_height, int x, int y, int width, int height) {
  return {std::max<int64_t>(0, -int64_t{x}), std::max<int64_t>(0, -int64_t{y}),
          std::min<int64_t>(width, int64_t{picture_width} - x), std::min<int64_t>(height, int64_t{picture_height} - y)};
}

}  // namespace

void Picture::paste(const Picture& from, int x, int y) {
  // Row by row, cut to this picture: every gauge of every frame is pasted.
  const auto [left, top, right, bottom] = cut_to(width, height, x, y, from.width, from.height);
  if (left >= right) return;
  for (int64_t py = top; py < bottom; ++py) {
    const auto source = from.rgb.begin() + (py * from.width + left) * 3;
    std::copy(source, source + (right - left) * 3, rgb.begin() + ((y + py) * width + x + left) * 3);
  }
}

Rgb colour_from_word(uint32_t bbggrr) {
  return {static_cast<uint8_t>(bbggrr & 0xFF), static_cast<uint8_t>((bbggrr >> 8) & 0xFF),
          static_cast<uint8_t>((bbggrr >> 16) & 0xFF)};
}

namespace {

// A bitmap with pixels, decoded whole: anything else counts as absent.
bool usable(const Bitmap* bitmap) {
  return bitmap != nullptr && bitmap->width > 0 && bitmap->height > 0 &&
         bitmap->rgb.size() == static_cast<size_t>(bitmap->width) * bitmap->height * 3;
}

}  // namespace

const Bitmap* BitmapCache::find(int id) {
  auto found = bitmaps_.find(id);
  if (found == bitmaps_.end()) {
    std::optional<Bitmap> bitmap = module_.bitmap(id);
    if (bitmap && !usable(&*bitmap)) bitmap.reset();
    found = bitmaps_.emplace(id, std::move(bitmap)).first;
  }
  return found->second ? &*found->second : nullptr;
}

// ---- Placement

namespace {

// Rounds a pixel distance to the nearest integer, NaN to 0 and anything
// beyond +-kFar to +-kFar, which puts any picture of ours out of sight.
constexpr double kFar = 1 << 24;
int round_pixels(double pixels) {
  if (std::isnan(pixels)) return 0;
  return static_cast<int>(std::floor(std::clamp(pixels, -kFar, kFar) + 0.5));
}

// Draws a bitmap with its top-left pixel at (x, y); pure black is skipped
// unless `opaque`.
void draw_bitmap(Picture& picture, const Bitmap& bitmap, int x, int y, bool opaque) {
  // Cut to the picture once; then each row is copied whole, or pixel by
  // pixel past pure black. The bezel alone is half a million pixels a frame.
  const auto [left, top, right, bottom] = cut_to(picture.width, picture.height, x, y, bitmap.width, bitmap.height);
  if (left >= right) return;
  for (int64_t by = top; by < bottom; ++by) {
    const uint8_t* from = bitmap.rgb.data() + (by * bitmap.width + left) * 3;
    uint8_t* to = picture.rgb.data() + ((y + by) * picture.width + x + left) * 3;
    const size_t bytes = static_cast<size_t>(right - left) * 3;
    if (opaque) {
      std::copy(from, from + bytes, to);
      continue;
    }
    for (size_t i = 0; i < bytes; i += 3)
      if ((from[i] | from[i + 1] | from[i + 2]) != 0) {
        to[i] = from[i];
        to[i + 1] = from[i + 1];
        to[i + 2] = from[i + 2];
      }
  }
}

// Resource id + k, or null when that leaves the ids (a record's wild id).
const Bitmap* bitmap_at(const BitmapSource& bitmaps, int32_t id, int k) {
  const int64_t wanted = int64_t{id} + k;
  if (wanted > INT32_MAX) return nullptr;
  return bitmaps(static_cast<int>(wanted));
}

// Cut to the picture once, then row by row through the pixels: the tapes
// move in every frame, tens of thousands of pixels each.
void draw_moving_image(Picture& picture, const Bitmap& strip, const Bitmap& mask, int x, int y, int offset) {
  const auto [left, top, right, bottom] = cut_to(picture.width, picture.height, x, y, mask.width, mask.height);
  if (left >= right) return;
  const int64_t strip_right = std::min<int64_t>(right, strip.width);
  for (int64_t my = top; my < bottom; ++my) {
    const int64_t sy = my + offset;
    const bool strip_row = sy >= 0 && sy < strip.height;
    const uint8_t* mask_row = mask.rgb.data() + my * mask.width * 3;
    const uint8_t* strip_row_pixels = strip_row ? strip.rgb.data() + sy * strip.width * 3 : nullptr;
    uint8_t* to = picture.rgb.data() + ((y + my) * picture.width + x + left) * 3;
    for (int64_t mx = left; mx < right; ++mx, to += 3) {
      const uint8_t* from = mask_row + mx * 3;
      const Rgb m{from[0], from[1], from[2]};
      if (m == kPureBlack) continue;
      if (is_window(m)) {
        if (!strip_row || mx >= strip_right) continue;
        from = strip_row_pixels + mx * 3;
        if ((from[0] | from[1] | from[2]) == 0) continue;
      }
      std::copy(from, from + 3, to);
    }
  }
}

}  // namespace

int icon_image_index(double value) {
  if (!(value >= 1.0)) return 0;  // NaN and everything below 1
  return value >= 255.0 ? 255 : static_cast<int>(value);
}

int slider_displacement(double value, double scale) {
  const double product = value * scale;  // NaN when either is, or for 0 * inf
  return round_pixels(product);
}

int moving_image_offset(double value, double first_bound, double second_bound, int travel) {
  const double span = second_bound - first_bound;
  if (travel <= 0 || std::isnan(value) || !(span != 0.0) || !std::isfinite(span)) return 0;
  const double fraction = (value - first_bound) / span;
  return round_pixels(fraction * travel);
}

// ---- Text

namespace {

struct Face {
  stbtt_fontinfo info{};
  bool ready = false;
  double digit_units = 0;  // the height of the digit 8 in font units

  Face(const unsigned char* begin, const unsigned char* end) {
    if (end - begin < 64) return;
    const int offset = stbtt_GetFontOffsetForIndex(begin, 0);
    if (offset < 0 || !stbtt_InitFont(&info, begin, offset)) return;
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    if (!stbtt_GetCodepointBox(&info, '8', &x0, &y0, &x1, &y1) || y1 <= y0) return;
    digit_units = y1 - y0;
    ready = true;
  }
  bool has(int codepoint) const { return ready && stbtt_FindGlyphIndex(&info, codepoint) != 0; }
};

const Face& seven_segment() {
  static const Face face(tarnwix_seven_segment_font, tarnwix_seven_segment_font_end);
  return face;
}

const Face& fallback() {
  static const Face face(tarnwix_fallback_font, tarnwix_fallback_font_end);
  return face;
}

// A character of a text as the faces take it: one below 0x20 counts as a space.
int codepoint_of(char c) {
  const int codepoint = static_cast<unsigned char>(c);
  return codepoint < 0x20 ? ' ' : codepoint;
}

// One character as laid out: its face, glyph and the scale that gives the
// face's digit the wanted height.
struct Placed {
  const Face* face;
  int glyph;
  float scale_y;
  bool blank = false;
};

Placed place(int codepoint, double digit_height, bool seven_segment_first) {
  // A readout's space is a blank digit cell, so that " 00000" lines up
  // with "+01500"; in captions it is the face's own space.
  if (codepoint == ' ' && seven_segment_first) {
    Placed cell = place('8', digit_height, true);
    cell.blank = true;
    return cell;
  }
  const Face* face = nullptr;
  if (seven_segment_first && seven_segment().has(codepoint))
    face = &seven_segment();
  else if (fallback().ready)
    face = &fallback();
  else if (seven_segment().ready)
    face = &seven_segment();
  if (face == nullptr) return {nullptr, 0, 0};
  return {face, stbtt_FindGlyphIndex(&face->info, codepoint), static_cast<float>(digit_height / face->digit_units)};
}

double advance_of(const Placed& placed) {
  if (placed.face == nullptr) return 0;
  int advance = 0, bearing = 0;
  stbtt_GetGlyphHMetrics(&placed.face->info, placed.glyph, &advance, &bearing);
  return advance * placed.scale_y;
}

// A glyph's coverage as the rasteriser gives it, kept for the next frame:
// a readout draws the same glyphs at the same places frame after frame.
struct Coverage {
  int width = 0, height = 0, x_offset = 0, y_offset = 0;
  std::vector<unsigned char> alpha;
};

const Coverage& coverage_of(const Placed& placed, float scale_x, float shift_x) {
  // The scales and the shift by their bits: a key of any value orders.
  using Key = std::tuple<const Face*, int, uint32_t, uint32_t, uint32_t>;
  constexpr size_t kKept = 4096;  // glyphs, sizes and positions; then started again
  thread_local std::map<Key, Coverage> kept;
  const Key key{placed.face, placed.glyph, std::bit_cast<uint32_t>(scale_x), std::bit_cast<uint32_t>(placed.scale_y),
                std::bit_cast<uint32_t>(shift_x)};
  auto found = kept.find(key);
  if (found != kept.end()) return found->second;
  if (kept.size() >= kKept) kept.clear();
  Coverage coverage;
  unsigned char* alpha =
      stbtt_GetGlyphBitmapSubpixel(&placed.face->info, scale_x, placed.scale_y, shift_x, 0.0f, placed.glyph,
                                   &coverage.width, &coverage.height, &coverage.x_offset, &coverage.y_offset);
  if (alpha != nullptr) {
    coverage.alpha.assign(alpha, alpha + static_cast<size_t>(coverage.width) * coverage.height);
    stbtt_FreeBitmap(alpha, nullptr);
  } else {
    coverage.width = coverage.height = 0;
  }
  return kept.emplace(key, std::move(coverage)).first->second;
}

// Blends a glyph's coverage into the picture, inside the clip rectangle.
void draw_glyph(Picture& picture, const Placed& placed, float scale_x, double pen_x, int baseline, Rgb colour,
                int clip_x0, int clip_y0, int clip_x1, int clip_y1) {
  if (placed.face == nullptr || placed.blank || (placed.glyph == 0 && placed.face == &seven_segment())) return;
  const float shift_x = static_cast<float>(pen_x - std::floor(pen_x));
  const Coverage& coverage = coverage_of(placed, scale_x, shift_x);
  const int w = coverage.width, h = coverage.height;
  const int64_t left = static_cast<int64_t>(std::floor(pen_x)) + coverage.x_offset;
  const int64_t top = int64_t{baseline} + coverage.y_offset;
  for (int gy = 0; gy < h; ++gy) {
    const int64_t py = top + gy;
    if (py < clip_y0 || py >= clip_y1) continue;
    for (int gx = 0; gx < w; ++gx) {
      const int64_t px = left + gx;
      const int a = coverage.alpha[static_cast<size_t>(gy) * w + gx];
      if (px < clip_x0 || px >= clip_x1 || a == 0) continue;
      const Rgb under = picture.at(static_cast<int>(px), static_cast<int>(py));
      auto mix = [a](uint8_t from, uint8_t to) {
        return static_cast<uint8_t>((from * (255 - a) + to * a + 127) / 255);
      };
      picture.set(static_cast<int>(px), static_cast<int>(py),
                  {mix(under.r, colour.r), mix(under.g, colour.g), mix(under.b, colour.b)});
    }
  }
}

// Glyph sizes beyond this are not drawn larger: no gauge box comes near it,
// and it bounds the rasteriser's work for a record with a wild box height.
constexpr int kLargestTextBox = 1024;

void lay_out(Picture& picture, int x, int baseline, double digit_height, double condense, bool seven_segment_first,
             std::string_view text, Rgb colour, int clip_x0, int clip_y0, int clip_x1, int clip_y1) {
  double pen = x;
  for (char c : text) {
    if (pen >= clip_x1) break;
    const Placed placed = place(codepoint_of(c), digit_height, seven_segment_first);
    draw_glyph(picture, placed, static_cast<float>(placed.scale_y * condense), pen, baseline, colour, clip_x0, clip_y0,
               clip_x1, clip_y1);
    pen += advance_of(placed) * condense;
  }
}

double width_of(std::string_view text, double digit_height, bool seven_segment_first) {
  double width = 0;
  for (char c : text) width += advance_of(place(codepoint_of(c), digit_height, seven_segment_first));
  return width;
}

}  // namespace

bool seven_segment_face_available() { return seven_segment().ready; }
bool fallback_face_available() { return fallback().ready; }

void draw_text(Picture& picture, int x, int y, int box_width, int box_height, std::string_view text, Rgb colour) {
  if (box_width <= 0 || box_height <= 0 || text.empty()) return;
  const int clip_x0 = std::max(x, 0), clip_y0 = std::max(y, 0);
  const int clip_x1 = static_cast<int>(std::min<int64_t>(int64_t{x} + box_width, picture.width));
  const int clip_y1 = static_cast<int>(std::min<int64_t>(int64_t{y} + box_height, picture.height));
  if (clip_x0 >= clip_x1 || clip_y0 >= clip_y1) return;
  const int size = std::min(box_height, kLargestTextBox);
  const double digit_height = size * kTextHeight;
  // The baseline, kept within reach of the picture (a box far taller than
  // the picture puts it out of sight either way).
  const double wanted = static_cast<double>(y) + box_height - size * kTextMargin;
  const int baseline = static_cast<int>(std::lround(std::clamp(wanted, -kFar, kFar)));
  const size_t gap = text.find("  ");
  const std::string_view leading = text.substr(0, gap);
  const double leading_width = width_of(leading, digit_height, true) * kTextNarrowing;
  const double condense = kTextNarrowing * (leading_width > box_width ? box_width / leading_width : 1.0);
  lay_out(picture, x, baseline, digit_height, condense, true, text, colour, clip_x0, clip_y0, clip_x1, clip_y1);
}

void draw_caption(Picture& picture, int x, int y, int pixel_height, std::string_view text, Rgb colour) {
  if (pixel_height <= 0) return;
  const double digit_height = std::min(pixel_height, kLargestTextBox) * 0.72;
  const int baseline = static_cast<int>(std::lround(std::clamp(y + pixel_height * 0.8, -kFar, kFar)));
  lay_out(picture, x, baseline, digit_height, 1.0, false, text, colour, 0, 0, picture.width, picture.height);
}

// ---- Frames

Picture render_frame(const FrameSnapshot& frame, const BitmapSource& bitmaps, std::vector<std::string>* problems) {
  auto missing = [&](const ElementSnapshot& element, int64_t id, const char* what) {
    if (problems == nullptr) return;
    char line[160];
    std::snprintf(line, sizeof line, "element %d: no usable bitmap 0x%X (%s)", element.index,
                  static_cast<unsigned>(static_cast<uint32_t>(id)), what);
    problems->push_back(line);
  };
  if (frame.elements.empty()) return {};
  const ElementSnapshot& root = frame.elements.front();
  const Bitmap* background = bitmaps(root.resource_id);
  if (!usable(background)) {
    missing(root, root.resource_id, "background");
    return {};
  }
  Picture picture(background->width, background->height);
  draw_bitmap(picture, *background, root.x, root.y, true);

  for (size_t i = 1; i < frame.elements.size(); ++i) {
    const ElementSnapshot& element = frame.elements[i];
    if (element.hidden) continue;
    const double y_value = element.values.empty() ? 0.0 : element.values.back();
    switch (element.kind) {
      case ElementKind::kStaticImage: {
        const Bitmap* image = bitmaps(element.resource_id);
        if (usable(image))
          draw_bitmap(picture, *image, element.x, element.y, false);
        else
          missing(element, element.resource_id, "static image");
        break;
      }
      case ElementKind::kIcon: {
        const int index = icon_image_index(y_value);
        const Bitmap* image = nullptr;
        for (int k = index; k >= 0 && !usable(image); --k) image = bitmap_at(bitmaps, element.resource_id, k);
        if (usable(image))
          draw_bitmap(picture, *image, element.x, element.y, false);
        else
          missing(element, element.resource_id, "icon image");
        break;
      }
      case ElementKind::kSlider: {
        const Bitmap* image = bitmaps(element.resource_id);
        if (usable(image))
          draw_bitmap(picture, *image, element.x, element.y + slider_displacement(y_value, element.y_scale), false);
        else
          missing(element, element.resource_id, "slider image");
        break;
      }
      case ElementKind::kMovingImage: {
        const Bitmap* strip = bitmaps(element.resource_id);
        const Bitmap* mask = bitmap_at(bitmaps, element.resource_id, 1);
        if (!usable(strip)) {
          missing(element, element.resource_id, "moving strip");
          break;
        }
        if (!usable(mask)) {
          missing(element, int64_t{element.resource_id} + 1, "mask");
          break;
        }
        const int travel = std::max(strip->height - mask->height, 0);
        const int offset = moving_image_offset(y_value, element.first_bound, element.second_bound, travel);
        draw_moving_image(picture, *strip, *mask, element.x, element.y, offset);
        break;
      }
      case ElementKind::kString:
        draw_text(picture, element.x, element.y, element.box_width, element.box_height, element.text,
                  colour_from_word(element.text_colour));
        break;
    }
  }
  return picture;
}

// ---- Sheets and files

Picture contact_sheet(const std::vector<Picture>& tiles, const std::vector<std::string>& captions, int columns,
                      const std::string& heading) {
  constexpr int kGap = 12, kCaption = 18, kHeading = 26;
  constexpr Rgb kSheet{48, 48, 52}, kInk{230, 230, 230};
  if (tiles.empty()) return {};
  columns = std::clamp(columns, 1, static_cast<int>(tiles.size()));
  const int rows = (static_cast<int>(tiles.size()) + columns - 1) / columns;
  std::vector<int> column_width(columns, 0), row_height(rows, 0);
  for (size_t i = 0; i < tiles.size(); ++i) {
    column_width[i % columns] = std::max(column_width[i % columns], tiles[i].width);
    row_height[i / columns] = std::max(row_height[i / columns], tiles[i].height);
  }
  const int top = heading.empty() ? kGap : kGap + kHeading;
  int width = kGap, height = top;
  for (int w : column_width) width += w + kGap;
  for (int h : row_height) height += h + kCaption + kGap;
  Picture sheet(width, height, kSheet);
  if (!heading.empty()) draw_caption(sheet, kGap, kGap / 2, kHeading - 4, heading, kInk);
  int y = top;
  for (int row = 0; row < rows; ++row) {
    int x = kGap;
    for (int column = 0; column < columns; ++column) {
      const size_t i = static_cast<size_t>(row) * columns + column;
      if (i >= tiles.size()) break;
      sheet.paste(tiles[i], x, y);
      if (i < captions.size()) {
        Picture caption(column_width[column], kCaption, kSheet);
        draw_caption(caption, 0, 2, kCaption - 4, captions[i], kInk);
        sheet.paste(caption, x, y + row_height[row]);
      }
      x += column_width[column] + kGap;
    }
    y += row_height[row] + kCaption + kGap;
  }
  return sheet;
}

bool write_png(const Picture& picture, const std::string& path, std::string* error) {
  if (picture.empty()) {
    if (error) *error = "the picture is empty";
    return false;
  }
  // No row filter and the encoder's quickest search: a third of the time of
  // its defaults on these flat-coloured pictures, for files of about the
  // same size. Set once, before any picture is written.
  static const bool tuned = (stbi_write_png_compression_level = 5, stbi_write_force_png_filter = 0, true);
  (void)tuned;
  if (!stbi_write_png(path.c_str(), picture.width, picture.height, 3, picture.rgb.data(), picture.width * 3)) {
    std::remove(path.c_str());  // nothing half-written stays
    if (error) *error = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace tarnwix::host
