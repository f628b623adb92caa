// Draws the example panel's background bitmap at build time: a 24-bit BMP,
// 1024 x 720, a brushed grey panel with a recess under each gauge's place
// and a screw in every corner. Integer arithmetic only, so every build draws
// the same bytes.
//   panel_background OUTPUT.bmp
#include <cstdint>
#include <cstdio>
#include <vector>

#include "bitmap.h"

namespace {

constexpr int kWidth = 1024, kHeight = 720;

struct Box {
  int x, y, width, height;
  bool contains(int px, int py) const { return px >= x && py >= y && px < x + width && py < y + height; }
};
// The recesses, a little larger than the places panel.cfg gives the gauges.
constexpr Box kRecesses[] = {{150, 110, 121, 350}, {262, 30, 500, 522}, {752, 110, 198, 350}, {229, 565, 566, 131}};
constexpr Box kPlate{24, 590, 170, 110};  // the outlined third-party gauge's place

// The panel's colour at (x, y).
tarnwix::art::Rgb colour_at(int x, int y) {
  int level = 70 + (y * 24) / kHeight + ((x * 7 + y * 3) % 5);  // a slope and a brushed grain
  for (const Box& box : kRecesses)
    if (box.contains(x, y)) level = 30;
  if (kPlate.contains(x, y)) level = 52;
  const int corners[4][2] = {{18, 18}, {kWidth - 19, 18}, {18, kHeight - 19}, {kWidth - 19, kHeight - 19}};
  for (const auto& corner : corners) {
    const int dx = x - corner[0], dy = y - corner[1];
    if (dx * dx + dy * dy <= 64) level = (dx == dy || dx == -dy) ? 40 : 150;
  }
  return {static_cast<uint8_t>(level), static_cast<uint8_t>(level + 3), static_cast<uint8_t>(level + 6)};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: panel_background OUTPUT.bmp\n");
    return 2;
  }
  tarnwix::art::Canvas picture(kWidth, kHeight);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) picture.set(x, y, colour_at(x, y));
  const std::vector<uint8_t> bmp = tarnwix::art::encode_bmp({.id = 0, .picture = picture, .bits_per_pixel = 24});
  std::FILE* file = std::fopen(argv[1], "wb");
  if (file == nullptr || std::fwrite(bmp.data(), 1, bmp.size(), file) != bmp.size() || std::fclose(file) != 0) {
    std::fprintf(stderr, "panel_background: cannot write %s\n", argv[1]);
    std::remove(argv[1]);
    return 1;
  }
  return 0;
}
