// Drawing a panel.cfg window: the layout rules of panel.h, stb_image for the
// background bitmaps and stb_image_resize for the scaling.
#include "panel.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#include <stb_image.h>
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#define STB_IMAGE_RESIZE_STATIC
#include <stb_image_resize.h>
#pragma GCC diagnostic pop

#include <fstream>
#include <sstream>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace tarnwix::host {

namespace {

// A length in design units as pixels, kept within [0, kMaxPanelPixels].
int to_pixels(double units, double scale) {
  const double pixels = std::round(units * scale);
  if (!(pixels > 0)) return 0;
  return pixels > kMaxPanelPixels ? kMaxPanelPixels : static_cast<int>(pixels);
}

// A position in design units as pixels, kept well inside int's range.
int to_position(double units, double scale) {
  const double pixels = std::round(units * scale);
  if (!std::isfinite(pixels)) return 0;
  return static_cast<int>(std::clamp(pixels, -4.0 * kMaxPanelPixels, 4.0 * kMaxPanelPixels));
}

std::string number_text(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

// "gauge04", as the line's key is usually written.
std::string gauge_key(const PanelGauge& gauge) {
  std::string digits = std::to_string(gauge.number);
  return "gauge" + std::string(digits.size() < 2 ? 1 : 0, '0') + digits;
}

bool reaches(const PanelPlacement& place, const PixelRect& part) {
  return place.x < part.x + part.width && place.y < part.y + part.height && place.x + place.width > part.x &&
         place.y + place.height > part.y;
}

// One placement drawn into `target`, whose top-left pixel is the window's
// (left, top).
void draw_placement(Picture& target, int left, int top, const PanelPlacement& place, const GaugePictureOf& picture_of) {
  const Picture* picture = place.drawn ? picture_of(place.line) : nullptr;
  if (picture == nullptr || picture->empty()) {
    draw_outline(target, place.x - left, place.y - top, place.width, place.height,
                 {place.line.module + "!" + place.line.gauge}, kOutlineColour);
    return;
  }
  // Only the part inside the target is resampled and drawn; a gauge wholly
  // outside costs nothing.
  if (!reaches(place, {left, top, target.width, target.height})) return;
  if (place.last_scaled.empty() || !(place.last_picture == *picture)) {
    place.last_picture = *picture;
    place.last_scaled = resample(*picture, place.width, place.height);
  }
  target.paste(place.last_scaled, place.x - left, place.y - top);
}

// Written time and size; an unchanged file has the same stamp.
struct Stamp {
  uint64_t written = 0, size = 0;
  bool exists = false;
};
Stamp stamp_of(const std::string& path) {
#ifdef _WIN32
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return {};
  return {(uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime,
          (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow, true};
#else
  struct stat data;
  if (stat(path.c_str(), &data) != 0) return {};
  return {static_cast<uint64_t>(data.st_mtim.tv_sec) * 1000000000u + static_cast<uint64_t>(data.st_mtim.tv_nsec),
          static_cast<uint64_t>(data.st_size), true};
#endif
}

}  // namespace

void draw_outline(Picture& picture, int x, int y, int width, int height, const std::vector<std::string>& labels,
                  Rgb colour) {
  if (width <= 0 || height <= 0) return;
  const int thickness = std::min({2, std::max(width / 2, 1), std::max(height / 2, 1)});
  for (int t = 0; t < thickness; ++t) {
    for (int px = x; px < x + width; ++px) {
      picture.set(px, y + t, colour);
      picture.set(px, y + height - 1 - t, colour);
    }
    for (int py = y; py < y + height; ++py) {
      picture.set(x + t, py, colour);
      picture.set(x + width - 1 - t, py, colour);
    }
  }
  const int label_height = std::min(14, height - 6);
  if (label_height < 6 || width <= 8) return;
  for (size_t i = 0; i < labels.size(); ++i) {
    const int top = y + 4 + static_cast<int>(i) * (label_height + 2);
    if (top + label_height > y + height - 2) break;
    Picture label(width - 8, label_height, kPureBlack);
    draw_caption(label, 0, 0, label_height, labels[i], colour);
    // Only the label's ink goes onto the window.
    for (int ly = 0; ly < label.height; ++ly)
      for (int lx = 0; lx < label.width; ++lx)
        if (label.at(lx, ly) != kPureBlack) picture.set(x + 4 + lx, top + ly, label.at(lx, ly));
  }
}

std::optional<Picture> read_bmp(const std::string& path, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    if (error) *error = "cannot read " + path;
    return std::nullopt;
  }
  std::ostringstream bytes;
  bytes << file.rdbuf();
  const std::string data = bytes.str();
  if (data.size() < 2 || data[0] != 'B' || data[1] != 'M' || data.size() > (1u << 30)) {
    if (error) *error = path + " is not a BMP file";
    return std::nullopt;
  }
  int width = 0, height = 0, channels = 0;
  if (!stbi_info_from_memory(reinterpret_cast<const stbi_uc*>(data.data()), static_cast<int>(data.size()), &width,
                             &height, &channels) ||
      width <= 0 || height <= 0 || width > kMaxPanelPixels || height > kMaxPanelPixels) {
    if (error)
      *error = path + " is not a readable BMP of at most " + std::to_string(kMaxPanelPixels) + " pixels a side";
    return std::nullopt;
  }
  stbi_uc* pixels = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(data.data()), static_cast<int>(data.size()),
                                          &width, &height, &channels, 3);
  if (pixels == nullptr) {
    if (error) *error = path + " is not a readable BMP: " + stbi_failure_reason();
    return std::nullopt;
  }
  Picture picture(width, height);
  std::copy(pixels, pixels + picture.rgb.size(), picture.rgb.begin());
  stbi_image_free(pixels);
  return picture;
}

Picture resample(const Picture& picture, int width, int height) {
  width = std::clamp(width, 1, kMaxPanelPixels);
  height = std::clamp(height, 1, kMaxPanelPixels);
  if (picture.empty()) return Picture(width, height);
  if (picture.width == width && picture.height == height) return picture;
  Picture out(width, height);
  stbir_resize_uint8(picture.rgb.data(), picture.width, picture.height, 0, out.rgb.data(), width, height, 0, 3);
  return out;
}

std::string window_file_stem(const PanelWindow& window) {
  std::string stem = window.name();
  std::string label;
  for (char c : window.virtual_cockpit ? window.texture : window.title) {
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '-')
      label += c;
    else if (!label.empty() && label.back() != '_')
      label += '_';
    if (label.size() >= 40) break;
  }
  while (!label.empty() && label.back() == '_') label.pop_back();
  return label.empty() ? stem : stem + "_" + label;
}

const Picture* BackgroundCache::read(const std::string& path, std::string* error) {
  const Stamp now = stamp_of(path);
  Entry& entry = entries_[path];
  const bool never_read = !entry.picture && entry.error.empty();
  if (never_read || entry.written != now.written || entry.size != now.size || entry.exists != now.exists) {
    entry = {now.written, now.size, now.exists, {}, {}, {}};
    entry.picture = read_bmp(path, &entry.error);
    ++reads_;
  }
  if (!entry.picture) {
    if (error) *error = entry.error;
    return nullptr;
  }
  return &*entry.picture;
}

const Picture& BackgroundCache::sized(const std::string& path, int width, int height) {
  read(path, nullptr);
  Entry& entry = entries_[path];
  if (entry.sized.width != width || entry.sized.height != height || entry.sized.empty())
    entry.sized = entry.picture ? resample(*entry.picture, width, height) : Picture(width, height);
  return entry.sized;
}

WindowLayout lay_out_window(const PanelWindow& window, const std::string& panel_folder, const GaugeSizeOf& size_of,
                            BackgroundCache* backgrounds) {
  WindowLayout layout;
  layout.name = window.name();
  const std::string background_path = window.background.empty() ? "" : join_path(panel_folder, window.background);
  std::optional<Picture> read;
  const Picture* background = nullptr;
  if (!window.background.empty()) {
    std::string error;
    if (backgrounds != nullptr) {
      background = backgrounds->read(background_path, &error);
    } else {
      read = read_bmp(background_path, &error);
      background = read ? &*read : nullptr;
    }
    if (background == nullptr)
      layout.notes.push_back(layout.name + ": background " + window.background + ": " + error + "; drawn on black");
  }

  // Each gauge's own size first: the window's size may depend on them.
  struct Line {
    const PanelGauge* gauge;
    std::optional<GaugeSize> own;
    std::string why;
  };
  std::vector<Line> lines;
  for (size_t i = 0; i < window.gauges.size(); ++i) {
    const PanelGauge& gauge = window.gauges[i];
    if (i > 0 && gauge.number > window.gauges[i - 1].number + 1) {
      for (size_t k = i; k < window.gauges.size(); ++k)
        layout.notes.push_back(layout.name + " " + gauge_key(window.gauges[k]) + " (line " +
                               std::to_string(window.gauges[k].line) + ") " + window.gauges[k].module + "!" +
                               window.gauges[k].gauge + ": after a gap in the numbering, which ends the window");
      break;
    }
    Line line{&gauge};
    line.own = size_of(gauge, &line.why);
    lines.push_back(line);
  }

  int width = 0, height = 0;
  if (window.virtual_cockpit && window.pixel_width) {
    width = *window.pixel_width;
    height = *window.pixel_height;
  } else if (background) {
    width = background->width;
    height = background->height;
    if (window.size_mm_width) layout.scale = background->width / *window.size_mm_width;
  } else if (window.size_mm_width) {
    width = to_pixels(*window.size_mm_width, 1);
    height = window.size_mm_height ? to_pixels(*window.size_mm_height, 1) : 0;
  }
  for (const Line& line : lines) {
    PanelPlacement place{*line.gauge};
    place.x = to_position(line.gauge->x, layout.scale);
    place.y = to_position(line.gauge->y, layout.scale);
    const double own_width = line.own ? line.own->width : kUnknownSize / layout.scale;
    const double own_height = line.own ? line.own->height : kUnknownSize / layout.scale;
    const double units_width = line.gauge->width.value_or(own_width);
    const double units_height = line.gauge->height                   ? *line.gauge->height
                                : line.gauge->width && own_width > 0 ? *line.gauge->width * own_height / own_width
                                                                     : own_height;
    place.width = to_pixels(units_width, layout.scale);
    place.height = to_pixels(units_height, layout.scale);
    place.drawn = line.own.has_value() && place.width > 0 && place.height > 0;
    place.why = line.why;
    if (line.own && !place.drawn) place.why = "a size of no pixels";
    if (!place.drawn)
      layout.notes.push_back(layout.name + " " + gauge_key(*line.gauge) + " (line " + std::to_string(line.gauge->line) +
                             ") " + line.gauge->module + "!" + line.gauge->gauge + " at " + number_text(line.gauge->x) +
                             ", " + number_text(line.gauge->y) + ": " + place.why + "; outlined");
    layout.placements.push_back(place);
  }
  // A side nothing else sizes holds the gauges, from the window's origin.
  int extent_width = 0, extent_height = 0;
  for (const PanelPlacement& place : layout.placements) {
    extent_width = std::max(extent_width, place.x + place.width);
    extent_height = std::max(extent_height, place.y + place.height);
  }
  if (width == 0) width = extent_width;
  if (height == 0) height = extent_height;
  width = std::clamp(width, 1, kMaxPanelPixels);
  height = std::clamp(height, 1, kMaxPanelPixels);
  if (background == nullptr)
    layout.background = Picture(width, height);
  else if (backgrounds != nullptr)
    layout.background = backgrounds->sized(background_path, width, height);
  else
    layout.background = resample(*background, width, height);
  return layout;
}

Picture draw_window(const WindowLayout& layout, const GaugePictureOf& picture_of) {
  Picture window = layout.background;
  for (const PanelPlacement& place : layout.placements) draw_placement(window, 0, 0, place, picture_of);
  return window;
}

void redraw_window_part(Picture& window, const WindowLayout& layout, const GaugePictureOf& picture_of, PixelRect part,
                        const PartOverlay& over) {
  const Picture& background = layout.background;
  // Cut to the window; widened first, so that no sum of a wild part overflows.
  const int64_t right = std::min({int64_t{part.x} + part.width, int64_t{window.width}, int64_t{background.width}});
  const int64_t bottom = std::min({int64_t{part.y} + part.height, int64_t{window.height}, int64_t{background.height}});
  part.x = std::max(part.x, 0);
  part.y = std::max(part.y, 0);
  if (right <= part.x || bottom <= part.y) return;
  part.width = static_cast<int>(right - part.x);
  part.height = static_cast<int>(bottom - part.y);
  Picture piece(part.width, part.height);
  for (int row = 0; row < part.height; ++row) {
    const auto source = background.rgb.begin() + (int64_t{part.y + row} * background.width + part.x) * 3;
    std::copy(source, source + int64_t{part.width} * 3, piece.rgb.begin() + int64_t{row} * part.width * 3);
  }
  for (const PanelPlacement& place : layout.placements)
    if (reaches(place, part)) draw_placement(piece, part.x, part.y, place, picture_of);
  if (over) over(piece, part);
  window.paste(piece, part.x, part.y);
}

}  // namespace tarnwix::host
