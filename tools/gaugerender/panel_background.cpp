// Draws the example panel's background bitmap at build time: a 24-bit BMP,
// 1024 x 720, a brushed grey panel with a recess under each gauge's place
// and a screw in every corner. Integer arithmetic only, so every build draws
// the same bytes.
//   panel_background OUTPUT.bmp
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int kWidth = 1024, kHeight = 720;

struct Box {
  int x, y, width, height;
  bool contains(int px, int py) const { return px >= x && py >= y && px < x + width && py < y + height; }
};
// The recesses, a little larger than the places panel.cfg gives the gauges.
constexpr Box kRecesses[] = {{150, 110, 121, 350}, {262, 30, 500, 522}, {752, 110, 198, 350}, {229, 565, 566, 131}};
constexpr Box kPlate{24, 590, 170, 110};  // the outlined third-party gauge's place

void put_u16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}
void put_u32(std::vector<uint8_t>& out, uint32_t value) {
  put_u16(out, value & 0xFFFF);
  put_u16(out, value >> 16);
}

// The panel's colour at (x, y), as blue, green, red.
void colour_at(int x, int y, uint8_t bgr[3]) {
  int level = 70 + (y * 24) / kHeight + ((x * 7 + y * 3) % 5);  // a slope and a brushed grain
  for (const Box& box : kRecesses)
    if (box.contains(x, y)) level = 30;
  if (kPlate.contains(x, y)) level = 52;
  const int corners[4][2] = {{18, 18}, {kWidth - 19, 18}, {18, kHeight - 19}, {kWidth - 19, kHeight - 19}};
  for (const auto& corner : corners) {
    const int dx = x - corner[0], dy = y - corner[1];
    if (dx * dx + dy * dy <= 64) level = (dx == dy || dx == -dy) ? 40 : 150;
  }
  bgr[0] = static_cast<uint8_t>(level + 6);
  bgr[1] = static_cast<uint8_t>(level + 3);
  bgr[2] = static_cast<uint8_t>(level);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: panel_background OUTPUT.bmp\n");
    return 2;
  }
  constexpr uint32_t kRowBytes = kWidth * 3;  // a multiple of 4 already
  constexpr uint32_t kPixelBytes = kRowBytes * kHeight;
  std::vector<uint8_t> bmp;
  bmp.push_back('B');
  bmp.push_back('M');
  put_u32(bmp, 54 + kPixelBytes);
  put_u32(bmp, 0);
  put_u32(bmp, 54);
  put_u32(bmp, 40);
  put_u32(bmp, kWidth);
  put_u32(bmp, kHeight);
  put_u16(bmp, 1);
  put_u16(bmp, 24);
  for (int i = 0; i < 6; ++i) put_u32(bmp, i == 1 ? kPixelBytes : i == 2 || i == 3 ? 2835 : 0);
  for (int y = kHeight - 1; y >= 0; --y)  // bottom row first
    for (int x = 0; x < kWidth; ++x) {
      uint8_t bgr[3];
      colour_at(x, y, bgr);
      bmp.insert(bmp.end(), bgr, bgr + 3);
    }
  std::FILE* file = std::fopen(argv[1], "wb");
  if (file == nullptr || std::fwrite(bmp.data(), 1, bmp.size(), file) != bmp.size() || std::fclose(file) != 0) {
    std::fprintf(stderr, "panel_background: cannot write %s\n", argv[1]);
    std::remove(argv[1]);
    return 1;
  }
  return 0;
}
