// The altimeter's records as the simulator reads them, at the byte offsets it
// reads: the gauge header, the element chain row by row, the mouse rectangle
// list and the bitmap resources.
#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

#include "altimeter_support.h"

namespace tarnwix::test::altimeter {
namespace {

using host::ElementKind;
using host::f64;
using host::i32;
using host::ptr;
using host::u32;

using AltimeterRecords = AltimeterTest;

TEST_F(AltimeterRecords, GaugeHeaderNamesTheGauge) {
  const uint8_t* header = module->gauge_header();
  EXPECT_EQ(u32(header, 0), 800u);
  EXPECT_EQ(module->gauge_name(), "Tarnwix_Altimeter");
  EXPECT_EQ(u32(header, 44), 100u);
  EXPECT_NE(u32(header, 84), 0u);
  EXPECT_EQ(ptr(module->linkage(), 24), header);
  EXPECT_EQ(u32(module->linkage(), 28), 0u);
}

TEST_F(AltimeterRecords, ChainHasTheTwentyOneRowsInDrawingOrder) {
  const struct {
    ElementKind kind;
    int32_t id, x, y;
  } table[kRowCount] = {
      {ElementKind::kStaticImage, 0x2500, 0, 0},
      {ElementKind::kMovingImage, 0x100, 0, 0},
      {ElementKind::kMovingImage, 0x1200, 0, 38},
      {ElementKind::kMovingImage, 0x1400, 0, 38},
      {ElementKind::kString, -1, 30, 138},
      {ElementKind::kString, -1, 30, 138},
      {ElementKind::kString, -1, 9, 6},
      {ElementKind::kString, -1, 9, 6},
      {ElementKind::kString, -1, 0, 273},
      {ElementKind::kString, -1, 9, 305},
      {ElementKind::kIcon, 0x1600, 120, 0},
      {ElementKind::kMovingImage, 0x1800, 141, 45},
      {ElementKind::kMovingImage, 0x2000, 141, 155},
      {ElementKind::kString, -1, 106, 6},
      {ElementKind::kString, -1, 106, 6},
      {ElementKind::kString, -1, 106, 6},
      {ElementKind::kString, -1, 106, 6},
      {ElementKind::kString, -1, 100, 278},
      {ElementKind::kString, -1, 101, 278},
      {ElementKind::kString, -1, 101, 278},
      {ElementKind::kSlider, 0x2200, 131, 152},
  };
  const std::vector<uint8_t*> chain = module->chain();
  ASSERT_EQ(chain.size(), static_cast<size_t>(kRowCount));
  for (int r = 1; r <= kRowCount; ++r) {
    const uint8_t* e = chain[r - 1];
    const auto& expected = table[r - 1];
    EXPECT_EQ(u32(e, 0), static_cast<uint32_t>(expected.kind)) << "row " << r;
    EXPECT_EQ(i32(e, 4), expected.id) << "row " << r;
    EXPECT_EQ(i32(e, 8), expected.x) << "row " << r;
    EXPECT_EQ(i32(e, 12), expected.y) << "row " << r;
    EXPECT_EQ(u32(e, 48), 0x83u) << "row " << r << ": image flags at load";
    EXPECT_EQ(ptr(e, 32), module->gauge_header()) << "row " << r;
    // One child, the next row; the last row has none.
    const uint8_t* children = ptr(e, 40);
    if (r < kRowCount) {
      ASSERT_NE(children, nullptr) << "row " << r;
      EXPECT_EQ(ptr(children, 0), chain[r]) << "row " << r;
      EXPECT_EQ(ptr(children, 4), nullptr) << "row " << r;
    } else {
      EXPECT_EQ(children, nullptr);
    }
    // A failure list of its own, holding only the all-zero end record.
    const uint8_t* failures = ptr(e, 44);
    ASSERT_NE(failures, nullptr) << "row " << r;
    for (int word = 0; word < 3; ++word) {
      EXPECT_EQ(u32(failures, 4 * word), 0u) << "row " << r;
    }
    for (int other = 1; other < r; ++other)
      EXPECT_NE(ptr(chain[other - 1], 44), failures) << "rows " << other << ", " << r;
  }
}

// Every byte of a record that the module does not set is zero. The fields it
// sets, by kind, as (offset, width).
std::vector<std::pair<uint32_t, uint32_t>> fields_set(uint32_t kind) {
  std::vector<std::pair<uint32_t, uint32_t>> fields{{0, 4},  {4, 4},  {8, 4},  {12, 4},
                                                    {32, 4}, {40, 4}, {44, 4}, {48, 4}};
  switch (kind) {
    case 2:
      fields.insert(fields.end(), {{192, 4}, {196, 4}, {208, 4}, {248, 32}, {280, 4}, {284, 4}, {292, 4}, {312, 4}});
      break;
    case 3:
      fields.insert(fields.end(), {{136, 8}, {168, 4}, {172, 4}});
      break;
    case 4:
      fields.insert(fields.end(), {{92, 4}, {112, 4}, {132, 4}});
      break;
    case 5:
      fields.insert(fields.end(), {{144, 8}, {152, 8}, {244, 4}, {248, 4}});
      break;
    default:
      break;
  }
  return fields;
}

TEST_F(AltimeterRecords, EveryWordTheModuleDoesNotSetIsZero) {
  const std::map<uint32_t, uint32_t> sizes{{0, 96}, {2, 324}, {3, 192}, {4, 140}, {5, 268}};
  int r = 0;
  for (const uint8_t* e : module->chain()) {
    ++r;
    const uint32_t kind = u32(e, 0);
    ASSERT_EQ(sizes.count(kind), 1u) << "row " << r;
    std::vector<bool> set(sizes.at(kind), false);
    for (auto [offset, width] : fields_set(kind))
      for (uint32_t i = 0; i < width; ++i) set[offset + i] = true;
    for (uint32_t i = 0; i < set.size(); ++i)
      if (!set[i]) {
        EXPECT_EQ(e[i], 0) << "row " << r << ", byte " << i;
      }
    // The embedded module variable's token, where there is one, is 0.
    if (kind != 0) {
      EXPECT_EQ(u32(e, 60), 0u) << "row " << r;
    }
  }
}

TEST_F(AltimeterRecords, StringElementSettings) {
  const struct {
    int row;
    int32_t width, height;
    uint32_t colour, weight;
  } table[] = {
      {kAltitudeWindow, 150, 50, 0x00FF00, 500},   {kAltitudeBelowZero, 222, 50, 0x00FF00, 500},
      {kSelectedAltitude, 243, 36, 0xFF00FF, 400}, {kSelectedAltitudeOff, 243, 36, 0xFF00FF, 400},
      {kHeightWindow, 180, 50, 0x00ECFF, 400},     {kBarometricWindow, 171, 36, 0xFFFFFF, 400},
      {kSelectedVsAbove, 86, 36, 0xFF00FF, 400},   {kSelectedVsZero, 86, 36, 0xFF00FF, 400},
      {kSelectedVsBelow, 86, 36, 0xFF00FF, 400},   {kSelectedVsOff, 86, 36, 0xFF00FF, 400},
      {kVsAbove, 80, 36, 0xFFFFFF, 400},           {kVsZero, 79, 36, 0xFFFFFF, 400},
      {kVsBelow, 79, 36, 0xFFFFFF, 400},
  };
  const std::vector<uint8_t*> chain = module->chain();
  for (const auto& r : table) {
    const uint8_t* e = chain.at(r.row - 1);
    EXPECT_EQ(i32(e, 192), r.width) << "row " << r.row;
    EXPECT_EQ(i32(e, 196), r.height) << "row " << r.row;
    EXPECT_EQ(u32(e, 208), r.colour) << "row " << r.row;
    EXPECT_EQ(u32(e, 280), r.weight) << "row " << r.row;
    EXPECT_EQ(u32(e, 284), 1u) << "row " << r.row;
    EXPECT_EQ(u32(e, 292), 0x4240u) << "row " << r.row;
    char face[32];
    std::memcpy(face, e + 248, sizeof face);
    EXPECT_EQ(std::memcmp(face, "Quartz\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 32), 0) << "row " << r.row;
    EXPECT_EQ(u32(e, 184), 0u) << "row " << r.row << ": the text buffer is the simulator's to supply";
    EXPECT_NE(u32(e, 312), 0u) << "row " << r.row;
  }
  int strings = 0;
  for (const uint8_t* e : chain) strings += u32(e, 0) == 2 ? 1 : 0;
  EXPECT_EQ(strings, 13);
}

TEST_F(AltimeterRecords, MovingImageSliderAndIconSettings) {
  const struct {
    int row;
    double first, second;
  } bounds[] = {{kTape, 70160, -1500},
                {kGroundMarker, 460, -460},
                {kSelectedMarker, 920, 0},
                {kClimbBar, 0, 3000},
                {kDescentBar, -3000, 0}};
  const std::vector<uint8_t*> chain = module->chain();
  for (const auto& r : bounds) {
    const uint8_t* e = chain.at(r.row - 1);
    EXPECT_EQ(f64(e, 144), r.first) << "row " << r.row;
    EXPECT_EQ(f64(e, 152), r.second) << "row " << r.row;
    EXPECT_NE(u32(e, 244), 0u) << "row " << r.row;
    EXPECT_NE(u32(e, 248), 0u) << "row " << r.row;
  }
  const uint8_t* pointer = chain.at(kPointer - 1);
  EXPECT_EQ(f64(pointer, 136), -0.0361666666666667);
  EXPECT_NEAR(f64(pointer, 136) * 3000.0, -108.5, 1e-9);
  const uint8_t* icon = chain.at(kScale - 1);
  EXPECT_EQ(u32(icon, 92), 3u);
  EXPECT_EQ(u32(icon, 112), 2u);
  EXPECT_NE(u32(icon, 132), 0u);
}

TEST_F(AltimeterRecords, MouseListHoldsTheTooltipAndNoClickArea) {
  const std::vector<host::MouseRectView> rects = module->mouse_rects();
  ASSERT_EQ(rects.size(), 4u);
  const uint32_t kinds[] = {1, 4, 3, 0};
  for (size_t i = 0; i < rects.size(); ++i) {
    const host::MouseRectView& r = rects[i];
    EXPECT_EQ(r.kind, kinds[i]) << "record " << i;
    EXPECT_EQ(r.x | r.y | r.width | r.height, 0) << "record " << i;
    EXPECT_EQ(r.cursor, -1) << "record " << i;
    EXPECT_EQ(r.help_id | r.event_flags | r.event_id, 0u) << "record " << i;
    if (r.kind != 4) {
      EXPECT_EQ(r.handler | r.data, 0u) << "record " << i;
    }
  }
  EXPECT_EQ(rects[1].tooltip, "Altimeter");
  ASSERT_NE(rects[1].data, 0u);
  EXPECT_EQ(u32(reinterpret_cast<const void*>(static_cast<uintptr_t>(rects[1].data)), 0), 0u);
  // Nothing anywhere on the gauge answers a click.
  set_inputs({});
  host::Panel::instance().clear_key_events();
  for (int x = 0; x < 178; x += 11)
    for (int y = 0; y < 330; y += 11) {
      EXPECT_EQ(module->click(x, y), -1);
    }
  EXPECT_TRUE(host::Panel::instance().key_events().empty());
}

TEST_F(AltimeterRecords, FourteenBitmapsInTheirSizesAtEightBitsPerPixel) {
  const struct {
    int id, width, height;
  } table[] = {
      {0x100, 75, 18342}, {0x101, 114, 310}, {0x1200, 75, 474}, {0x1201, 75, 236},  {0x1400, 21, 474},
      {0x1401, 21, 236},  {0x1600, 32, 275}, {0x1601, 3, 3},    {0x1800, 6, 220},   {0x1801, 6, 110},
      {0x2000, 6, 220},   {0x2001, 6, 110},  {0x2200, 21, 8},   {0x2500, 178, 330},
  };
  std::vector<int> ids;
  for (const auto& r : table) {
    ids.push_back(r.id);
    const std::optional<host::Bitmap> bitmap = module->bitmap(r.id);
    ASSERT_TRUE(bitmap.has_value()) << std::hex << r.id;
    EXPECT_EQ(bitmap->width, r.width) << std::hex << r.id;
    EXPECT_EQ(bitmap->height, r.height) << std::hex << r.id;
    EXPECT_EQ(bitmap->bits_per_pixel, 8) << std::hex << r.id;
    EXPECT_EQ(bitmap->compression, 0u) << std::hex << r.id;
    EXPECT_TRUE(bitmap->bottom_up) << std::hex << r.id;
    EXPECT_EQ(bitmap->languages, std::vector<uint16_t>{1033}) << std::hex << r.id;
    const int entries = bitmap->colours_used == 0 ? 256 : bitmap->colours_used;
    EXPECT_GE(entries, 2) << std::hex << r.id;
    EXPECT_EQ(bitmap->palette_entries, entries) << std::hex << r.id;
  }
  std::vector<int> found = module->bitmap_ids();
  std::sort(found.begin(), found.end());
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(found, ids);
  // The unpowered icon image and the background are black.
  const host::Bitmap blank = *module->bitmap(0x1601);
  for (uint8_t c : blank.rgb) {
    EXPECT_EQ(c, 0);
  }
  const host::Bitmap background = *module->bitmap(0x2500);
  for (uint8_t c : background.rgb) ASSERT_EQ(c, 0);
}

TEST_F(AltimeterRecords, EveryIdAnElementNamesResolves) {
  for (const uint8_t* e : module->chain()) {
    const uint32_t kind = u32(e, 0);
    const int32_t id = i32(e, 4);
    if (kind == 2) continue;  // a string element has no bitmap
    EXPECT_TRUE(module->bitmap(id).has_value()) << std::hex << id;
    if (kind == 4 || kind == 5) {
      EXPECT_TRUE(module->bitmap(id + 1).has_value()) << std::hex << id + 1;
    }
  }
}

}  // namespace
}  // namespace tarnwix::test::altimeter
