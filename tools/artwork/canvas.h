// A small deterministic drawing surface for the gauges' artwork: integer
// geometry, solid colours, antialiasing only where the text rasteriser gives
// coverage. The same source gives the same bytes on every build.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwix::art {

struct Rgb {
  uint8_t r;
  uint8_t g;
  uint8_t b;
  friend constexpr bool operator==(Rgb, Rgb) = default;
};

inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kWhite{255, 255, 255};
// In a mask: near-black is the window through which the strip shows, pure
// black lies outside it, and any other colour is drawn over the strip. Pure
// black is also the transparent colour of every picture drawn over another.
inline constexpr Rgb kMaskWindow{1, 1, 1};

struct Point {
  double x;
  double y;
};

enum class Align { kLeft, kCentre, kRight };

class Font;

class Canvas {
 public:
  Canvas(int width, int height, Rgb fill = kBlack);

  int width() const { return width_; }
  int height() const { return height_; }
  Rgb at(int x, int y) const { return pixels_[static_cast<std::size_t>(y) * width_ + x]; }
  void set(int x, int y, Rgb colour);  // ignores points outside

  void fill_rect(int x, int y, int width, int height, Rgb colour);
  // An outline `thickness` pixels wide, inside the rectangle.
  void outline_rect(int x, int y, int width, int height, int thickness, Rgb colour);
  // A filled rectangle whose corners are quarter circles of `radius`.
  void fill_rounded_rect(int x, int y, int width, int height, int radius, Rgb colour);
  // A filled polygon: pixel centres inside the outline are painted.
  void fill_polygon(const std::vector<Point>& outline, Rgb colour);
  // A straight line `thickness` pixels wide between two pixel centres.
  void line(Point from, Point to, double thickness, Rgb colour);

  // Text with its baseline at y; coverage is thresholded so that the picture
  // keeps a small palette. Returns the advance in pixels.
  int text(const Font& font, double pixel_height, int x, int baseline, std::string_view text, Rgb colour,
           Align align = Align::kLeft);

  const std::vector<Rgb>& pixels() const { return pixels_; }

 private:
  int width_;
  int height_;
  std::vector<Rgb> pixels_;
};

// A TrueType face read from a font file of the build machine.
class Font {
 public:
  explicit Font(const std::string& path);
  ~Font();
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;

  // The width in pixels of `text` at `pixel_height`.
  int measure(double pixel_height, std::string_view text) const;
  // The height in pixels of a capital letter (cap height) at `pixel_height`.
  double cap_height(double pixel_height) const;

 private:
  friend class Canvas;
  std::vector<unsigned char> data_;
  struct Info;
  Info* info_;
};

// The fonts every gauge's artwork draws with, from the font folder named on
// the tool's command line.
const Font& sans_bold();
const Font& mono_bold();
void set_font_folder(const std::string& folder);

}  // namespace tarnwix::art
