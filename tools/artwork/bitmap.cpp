#include "bitmap.h"

#include <algorithm>

namespace tarnwix::art {

namespace {

void put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(v & 0xFF);
  out.push_back((v >> 8) & 0xFF);
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

}  // namespace

std::vector<Rgb> colours_of(const Canvas& picture) {
  std::vector<Rgb> colours;
  for (Rgb c : picture.pixels()) {
    if (std::find(colours.begin(), colours.end(), c) == colours.end()) colours.push_back(c);
    if (colours.size() > 256) break;
  }
  for (Rgb pad : {kBlack, Rgb{1, 1, 1}}) {
    if (colours.size() >= 2) break;
    if (std::find(colours.begin(), colours.end(), pad) == colours.end()) colours.push_back(pad);
  }
  return colours;
}

std::vector<uint8_t> encode_bmp(const Bitmap& bitmap) {
  const Canvas& picture = bitmap.picture;
  const int width = picture.width(), height = picture.height();
  const bool paletted = bitmap.bits_per_pixel == 8;
  if (!paletted && bitmap.bits_per_pixel != 24) return {};
  std::vector<Rgb> palette = paletted ? (bitmap.palette.empty() ? colours_of(picture) : bitmap.palette) : std::vector<Rgb>{};
  if (paletted && (palette.size() < 2 || palette.size() > 256)) return {};

  const uint32_t row_bytes = ((static_cast<uint32_t>(width) * bitmap.bits_per_pixel + 31) / 32) * 4;
  const uint32_t table_bytes = static_cast<uint32_t>(palette.size()) * 4;
  const uint32_t pixel_offset = 14 + 40 + table_bytes;
  const uint32_t image_bytes = row_bytes * height;

  std::vector<uint8_t> out;
  out.reserve(pixel_offset + image_bytes);
  out.push_back('B');
  out.push_back('M');
  put32(out, pixel_offset + image_bytes);
  put32(out, 0);
  put32(out, pixel_offset);
  // BITMAPINFOHEADER: positive height means bottom-up rows.
  put32(out, 40);
  put32(out, static_cast<uint32_t>(width));
  put32(out, static_cast<uint32_t>(height));
  put16(out, 1);
  put16(out, static_cast<uint32_t>(bitmap.bits_per_pixel));
  put32(out, 0);  // no compression
  put32(out, image_bytes);
  put32(out, 2835);  // 72 dots per inch
  put32(out, 2835);
  // Colours used: 0 stands for a full table of 256.
  put32(out, palette.size() == 256 ? 0 : static_cast<uint32_t>(palette.size()));
  put32(out, 0);
  for (Rgb c : palette) {
    out.push_back(c.b);
    out.push_back(c.g);
    out.push_back(c.r);
    out.push_back(0);
  }
  for (int row = height - 1; row >= 0; --row) {
    const std::size_t start = out.size();
    for (int col = 0; col < width; ++col) {
      const Rgb c = picture.at(col, row);
      if (paletted) {
        const auto found = std::find(palette.begin(), palette.end(), c);
        if (found == palette.end()) return {};
        out.push_back(static_cast<uint8_t>(found - palette.begin()));
      } else {
        out.push_back(c.b);
        out.push_back(c.g);
        out.push_back(c.r);
      }
    }
    while (out.size() - start < row_bytes) out.push_back(0);
  }
  return out;
}

namespace {
std::vector<RegisteredGauge>& registry() {
  static std::vector<RegisteredGauge> gauges;
  return gauges;
}
}  // namespace

Registration::Registration(const char* gauge, DrawGauge draw) { registry().push_back({gauge, draw}); }

const std::vector<RegisteredGauge>& registered_gauges() { return registry(); }

}  // namespace tarnwix::art
