// Drawing a window of a panel.cfg (panel_config.h reads the file): its
// background bitmap, and each gauge line's frame resampled to its place.
//
//   - A window with a background is the bitmap's size; size_mm's width is
//     mapped onto the bitmap's width (without size_mm one design unit is one
//     pixel). Without a background, or with one that cannot be read (drawn
//     black), size_mm gives the window's size in pixels; without that either,
//     the window just holds its gauges. A virtual cockpit's canvas is its
//     pixel_size, its background (if any) resampled to it.
//   - A gauge's top-left corner is at its X, Y times the window's scale; its
//     size is W x H times the scale; W alone keeps the gauge's aspect;
//     neither keeps its own size (times the scale). Coordinates are rounded
//     to the nearest pixel.
//   - Gauges are drawn in gaugeNN order, each over the earlier ones, opaque
//     (the whole of the gauge's picture, as a single-gauge render shows it).
//     As in the simulator, a gap in the numbering ends the window's gauges.
//   - A gauge that is not one of ours, or whose module is not built, is drawn
//     as a labelled outline of its place (a box of kUnknownSize when the line
//     gives no size), and listed with the reason.
//   - A window or a gauge larger than kMaxPanelPixels on a side is cut to it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "panel_config.h"
#include "render.h"

namespace tarnwix::host {

inline constexpr int kMaxPanelPixels = 8192;
inline constexpr int kUnknownSize = 64;
inline constexpr Rgb kOutlineColour{255, 160, 0};
// Modules placed by name rather than by a panel.cfg: left to right this far
// apart, on this grey when there are several.
inline constexpr int kPanelGap = 10;
inline constexpr Rgb kPanelGrey{28, 28, 30};

struct GaugeSize {
  int width = 0, height = 0;
};

// Where one gauge line of the window is drawn, in the window's pixels.
struct PanelPlacement {
  PanelGauge line;
  int x = 0, y = 0, width = 0, height = 0;
  bool drawn = false;  // else outlined
  std::string why;     // why it is not drawn
  // The picture last drawn here and its scaled copy: a gauge unchanged since
  // the last frame is not resampled again (resampling dominates a frame).
  mutable Picture last_picture, last_scaled;
};

struct WindowLayout {
  std::string name;    // "Window00"
  double scale = 1;    // pixels per design unit
  Picture background;  // the canvas with the background drawn (black without one)
  std::vector<PanelPlacement> placements;
  std::vector<std::string> notes;  // what could not be drawn, one line each
};

// A part of a window, in its pixels.
struct PixelRect {
  int x = 0, y = 0, width = 0, height = 0;
  bool empty() const { return width <= 0 || height <= 0; }
  friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// The background bitmaps read, kept from one layout of a window to the
// next: laying a window out again (each step of a drag) neither reads nor
// resamples its bitmap. A file is read again when its written time or size
// differs from when it was read.
class BackgroundCache {
 public:
  // The bitmap in the file, or null with why in *error.
  const Picture* read(const std::string& path, std::string* error);
  // That bitmap (read first) resampled to width x height.
  const Picture& sized(const std::string& path, int width, int height);
  // How many files were read so far: a layout during which it grew has a
  // new background.
  uint64_t reads() const { return reads_; }

 private:
  struct Entry {
    uint64_t written = 0, size = 0;
    bool exists = false;
    std::optional<Picture> picture;
    std::string error;
    Picture sized;  // the last size asked for
  };
  std::map<std::string, Entry> entries_;
  uint64_t reads_ = 0;
};

// The gauge's own size when it is drawn, or nothing with the reason in *why.
using GaugeSizeOf = std::function<std::optional<GaugeSize>(const PanelGauge&, std::string* why)>;
// The gauge's picture of this frame (at its own size).
using GaugePictureOf = std::function<const Picture*(const PanelGauge&)>;

// Reads the background from the panel's folder (through the cache when
// given), sizes the window and places every gauge line.
WindowLayout lay_out_window(const PanelWindow& window, const std::string& panel_folder, const GaugeSizeOf& size_of,
                            BackgroundCache* backgrounds = nullptr);

// The window with every gauge of this frame drawn, or outlined.
Picture draw_window(const WindowLayout& layout, const GaugePictureOf& picture_of);

// Draws the part of the window again into `window` (drawn before from the
// same layout, at its size), as draw_window draws it there: the background,
// then every placement reaching into the part, in order, outlines included.
// `over`, when given, draws on top of the part before it goes in: it gets
// the part's picture and the part's place in the window. Nothing outside
// the part changes.
using PartOverlay = std::function<void(Picture& part, const PixelRect& where)>;
void redraw_window_part(Picture& window, const WindowLayout& layout, const GaugePictureOf& picture_of, PixelRect part,
                        const PartOverlay& over = nullptr);

// The outline of a place (x, y, width, height) two pixels thick in `colour`,
// with each label a line of text inside its top-left corner, as far as the
// place holds them: how a gauge that is not drawn is shown.
void draw_outline(Picture& picture, int x, int y, int width, int height, const std::vector<std::string>& labels,
                  Rgb colour);

// A BMP file (8 or 24 bits, and the other depths a BMP reader takes);
// nothing, with the reason in *error, when it cannot be read.
std::optional<Picture> read_bmp(const std::string& path, std::string* error);

// The picture resampled to width x height (each at least 1) by stb's resizer.
Picture resample(const Picture& picture, int width, int height);

// The file stem a window's picture is named by: "Window00_Main_panel".
std::string window_file_stem(const PanelWindow& window);

}  // namespace tarnwix::host
