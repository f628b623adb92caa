#include "canvas.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>

#define STB_TRUETYPE_IMPLEMENTATION
#include <stb_truetype.h>

namespace tarnwix::art {

Canvas::Canvas(int width, int height, Rgb fill)
    : width_(width), height_(height), pixels_(static_cast<std::size_t>(width) * height, fill) {}

void Canvas::set(int x, int y, Rgb colour) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  pixels_[static_cast<std::size_t>(y) * width_ + x] = colour;
}

void Canvas::fill_rect(int x, int y, int width, int height, Rgb colour) {
  for (int row = std::max(y, 0); row < std::min(y + height, height_); ++row)
    for (int col = std::max(x, 0); col < std::min(x + width, width_); ++col) set(col, row, colour);
}

void Canvas::outline_rect(int x, int y, int width, int height, int thickness, Rgb colour) {
  fill_rect(x, y, width, thickness, colour);
  fill_rect(x, y + height - thickness, width, thickness, colour);
  fill_rect(x, y, thickness, height, colour);
  fill_rect(x + width - thickness, y, thickness, height, colour);
}

void Canvas::fill_rounded_rect(int x, int y, int width, int height, int radius, Rgb colour) {
  for (int row = 0; row < height; ++row) {
    for (int col = 0; col < width; ++col) {
      const bool corner_column = col < radius || col >= width - radius;
      const bool corner_row = row < radius || row >= height - radius;
      if (corner_column && corner_row) {
        // Pixel centres outside the corner's quarter circle stay unpainted.
        const double cx = col < radius ? radius : width - radius;
        const double cy = row < radius ? radius : height - radius;
        const double dx = col + 0.5 - cx, dy = row + 0.5 - cy;
        if (dx * dx + dy * dy > static_cast<double>(radius) * radius) continue;
      }
      set(x + col, y + row, colour);
    }
  }
}

void Canvas::fill_polygon(const std::vector<Point>& outline, Rgb colour) {
  if (outline.size() < 3) return;
  double top = outline[0].y, bottom = outline[0].y;
  for (const Point& p : outline) {
    top = std::min(top, p.y);
    bottom = std::max(bottom, p.y);
  }
  for (int row = std::max(0, static_cast<int>(std::floor(top))); row <= std::min(height_ - 1, static_cast<int>(std::ceil(bottom))); ++row) {
    const double sample_y = row + 0.5;
    std::vector<double> crossings;
    for (std::size_t i = 0; i < outline.size(); ++i) {
      const Point a = outline[i];
      const Point b = outline[(i + 1) % outline.size()];
      if ((a.y <= sample_y && b.y > sample_y) || (b.y <= sample_y && a.y > sample_y))
        crossings.push_back(a.x + (sample_y - a.y) * (b.x - a.x) / (b.y - a.y));
    }
    std::sort(crossings.begin(), crossings.end());
    for (std::size_t i = 0; i + 1 < crossings.size(); i += 2)
      for (int col = static_cast<int>(std::ceil(crossings[i] - 0.5)); col + 0.5 < crossings[i + 1]; ++col) set(col, row, colour);
  }
}

void Canvas::line(Point from, Point to, double thickness, Rgb colour) {
  const double dx = to.x - from.x, dy = to.y - from.y;
  const double length = std::hypot(dx, dy);
  if (length == 0) {
    fill_rect(static_cast<int>(from.x - thickness / 2 + 0.5), static_cast<int>(from.y - thickness / 2 + 0.5),
              static_cast<int>(thickness), static_cast<int>(thickness), colour);
    return;
  }
  const double nx = -dy / length * thickness / 2, ny = dx / length * thickness / 2;
  fill_polygon({{from.x + 0.5 + nx, from.y + 0.5 + ny},
                {to.x + 0.5 + nx, to.y + 0.5 + ny},
                {to.x + 0.5 - nx, to.y + 0.5 - ny},
                {from.x + 0.5 - nx, from.y + 0.5 - ny}},
               colour);
}

struct Font::Info {
  stbtt_fontinfo face;
};

Font::Font(const std::string& path) : info_(new Info{}) {
  std::ifstream file(path, std::ios::binary);
  data_.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  if (data_.empty() || !stbtt_InitFont(&info_->face, data_.data(), stbtt_GetFontOffsetForIndex(data_.data(), 0))) {
    std::fprintf(stderr, "artwork: cannot read the font %s\n", path.c_str());
    std::exit(2);
  }
}

Font::~Font() { delete info_; }

int Font::measure(double pixel_height, std::string_view text) const {
  const float scale = stbtt_ScaleForPixelHeight(&info_->face, static_cast<float>(pixel_height));
  int width = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    int advance = 0, bearing = 0;
    stbtt_GetCodepointHMetrics(&info_->face, static_cast<unsigned char>(text[i]), &advance, &bearing);
    width += static_cast<int>(std::lround(advance * scale));
  }
  return width;
}

double Font::cap_height(double pixel_height) const {
  const float scale = stbtt_ScaleForPixelHeight(&info_->face, static_cast<float>(pixel_height));
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  stbtt_GetCodepointBox(&info_->face, 'H', &x0, &y0, &x1, &y1);
  return y1 * scale;
}

int Canvas::text(const Font& font, double pixel_height, int x, int baseline, std::string_view text, Rgb colour,
                 Align align) {
  const int width = font.measure(pixel_height, text);
  if (align == Align::kCentre) x -= width / 2;
  if (align == Align::kRight) x -= width;
  const stbtt_fontinfo* face = &font.info_->face;
  const float scale = stbtt_ScaleForPixelHeight(face, static_cast<float>(pixel_height));
  int pen = x;
  for (char c : text) {
    const int codepoint = static_cast<unsigned char>(c);
    int advance = 0, bearing = 0;
    stbtt_GetCodepointHMetrics(face, codepoint, &advance, &bearing);
    int w = 0, h = 0, xoff = 0, yoff = 0;
    unsigned char* glyph = stbtt_GetCodepointBitmap(face, scale, scale, codepoint, &w, &h, &xoff, &yoff);
    for (int gy = 0; gy < h; ++gy)
      for (int gx = 0; gx < w; ++gx)
        if (glyph[gy * w + gx] >= 128) set(pen + xoff + gx, baseline + yoff + gy, colour);
    stbtt_FreeBitmap(glyph, nullptr);
    pen += static_cast<int>(std::lround(advance * scale));
  }
  return pen - x;
}

namespace {
std::string font_folder = "/usr/share/fonts/truetype/dejavu";
}

void set_font_folder(const std::string& folder) { font_folder = folder; }

const Font& sans_bold() {
  static const Font font(font_folder + "/DejaVuSans-Bold.ttf");
  return font;
}

const Font& mono_bold() {
  static const Font font(font_folder + "/DejaVuSansMono-Bold.ttf");
  return font;
}

}  // namespace tarnwix::art
