// The bitmaps of one gauge and how they are written: Windows device-
// independent bitmaps with a 40-byte information header, no compression,
// bottom-up rows; 8 bits per pixel with a colour table, or 24 bits per pixel.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "canvas.h"

namespace tarnwix::art {

struct Bitmap {
  int id;
  Canvas picture;
  int bits_per_pixel = 8;
  // For an 8-bit bitmap: the colour table. Empty means the picture's own
  // colours in order of first appearance (top row first), at least two.
  std::vector<Rgb> palette = {};
};

// Encodes a bitmap as a .bmp file's bytes. An 8-bit picture whose colours are
// not all in its palette, or that has more than 256, is refused (empty result).
std::vector<uint8_t> encode_bmp(const Bitmap& bitmap);

// The colours of a picture in order of first appearance, padded to two.
std::vector<Rgb> colours_of(const Canvas& picture);

using DrawGauge = std::vector<Bitmap> (*)();

// Each gauge's artwork source registers its drawing routine under the gauge's
// name with one namespace-scope Registration.
struct Registration {
  Registration(const char* gauge, DrawGauge draw);
};

struct RegisteredGauge {
  std::string gauge;
  DrawGauge draw;
};

const std::vector<RegisteredGauge>& registered_gauges();

}  // namespace tarnwix::art
