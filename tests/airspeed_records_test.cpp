// Tarnwix_Airspeed as the simulator reads it: the module's data, the element
// chain and its records byte for byte, the mouse rectangle list and the
// bitmaps with the geometry the strips share with the element bounds.

#include <algorithm>
#include <cmath>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "host/pe.h"
#include "support.h"

namespace tarnwix::test {
namespace {

using namespace host;

constexpr uint32_t kTokens[] = {61, 769, 64, 832, 116, 115, 118, 117, 63};

class AirspeedRecords : public ::testing::Test {
 protected:
  void SetUp() override {
    module = load("Tarnwix_Airspeed");
    ASSERT_NE(module, nullptr);
  }
  std::unique_ptr<Module> module;
};

// The loaded image's section that holds `address`, if any.
std::optional<host::LoadedSection> section_of(const Module& module, const void* address) {
  for (const host::LoadedSection& section : host::loaded_sections(module.handle()))
    if (section.holds(address)) return section;
  return std::nullopt;
}

TEST_F(AirspeedRecords, NameOpensTheDataThenHeaderFirstDrawFlagAndVariablesInTableOrder) {
  uint8_t* header = module->gauge_header();
  const auto* name = reinterpret_cast<const uint8_t*>(ptr(header, gauge_header::kName));
  ASSERT_NE(name, nullptr);
  EXPECT_STREQ(reinterpret_cast<const char*>(name), "Tarnwix_Airspeed");

  const std::optional<host::LoadedSection> data = section_of(*module, name);
  ASSERT_TRUE(data.has_value());
  EXPECT_EQ(data->name, ".data");
  EXPECT_EQ(name, data->start) << "the name is not first in the data";

  // The header follows the 17-byte name at the next 4-byte boundary.
  EXPECT_EQ(header, name + 20);
  EXPECT_EQ(u32(header, gauge_header::kSize), 0u) << "first-draw flag directly after the header, 0 at load";
  const uint8_t* variables = header + gauge_header::kSize + 4;
  for (size_t k = 0; k < std::size(kTokens); ++k) {
    const uint8_t* record = variables + k * module_variable::kSize;
    SCOPED_TRACE(::testing::Message() << "variable " << k + 1);
    EXPECT_EQ(u32(record, module_variable::kToken), kTokens[k]);
    for (uint32_t offset = 4; offset < module_variable::kSize; offset += 4)
      EXPECT_EQ(u32(record, offset), 0u) << offset;
  }

  module->install();
  module->frame();
  EXPECT_EQ(u32(header, gauge_header::kSize), 1u) << "the first pre-draw sets the flag";
  Panel::instance().set_variable(61, 123.25);
  module->frame();
  EXPECT_EQ(f64(variables, module_variable::kValue), 123.25)
      << "the table the lookups refresh is the one after the flag";
}

// One row of the chain table.
struct ChainRow {
  const char* element;
  uint32_t kind;
  int32_t id;
  int32_t x, y;
};

constexpr ChainRow kChain[] = {
    {"background image", 0, 0x100, 0, 0},
    {"airspeed tape", 5, 0x1400, 34, 0},
    {"readout frame", 4, 0x1200, 1, 0},
    {"airspeed readout", 2, -1, 19, 138},
    {"Mach readout", 2, -1, 45, 278},
    {"white speed readout", 2, -1, 51, 305},
    {"selected speed readout", 2, -1, 51, 6},
    {"selected Mach readout", 2, -1, 46, 6},
    {"selection-off readout", 2, -1, 50, 6},
    {"red band", 5, 0x1600, 80, 38},
    {"selected speed marker", 5, 0x1800, 80, 39},
};

// Byte ranges [from, to) of the words each kind's record sets beyond the
// header's kind, id and position; every other byte of the record is zero.
std::vector<std::pair<uint32_t, uint32_t>> set_fields(uint32_t kind) {
  std::vector<std::pair<uint32_t, uint32_t>> fields = {{0, 16}, {32, 36}, {40, 52}};
  switch (kind) {
    case 2:
      fields.insert(fields.end(), {{192, 200}, {208, 212}, {248, 288}, {292, 296}, {312, 316}});
      break;
    case 4:
      fields.insert(fields.end(), {{92, 96}, {112, 116}, {132, 136}});
      break;
    case 5:
      fields.insert(fields.end(), {{144, 160}, {244, 252}});
      break;
    default:
      break;
  }
  return fields;
}

TEST_F(AirspeedRecords, ChainInDrawingOrderWithHeadersFailureListsAndNothingElseSet) {
  const std::vector<uint8_t*> chain = module->chain();
  ASSERT_EQ(chain.size(), std::size(kChain));
  std::set<const uint8_t*> failure_lists;
  for (size_t i = 0; i < chain.size(); ++i) {
    const ChainRow& row = kChain[i];
    const uint8_t* element = chain[i];
    SCOPED_TRACE(row.element);
    EXPECT_EQ(u32(element, element::kKind), row.kind);
    EXPECT_EQ(i32(element, element::kResourceId), row.id);
    EXPECT_EQ(i32(element, element::kX), row.x);
    EXPECT_EQ(i32(element, element::kY), row.y);
    EXPECT_EQ(ptr(element, element::kGauge), module->gauge_header());
    EXPECT_EQ(u32(element, element::kImageFlags), element::kFlagsAtLoad);
    const uint8_t* children = ptr(element, element::kChildren);
    if (i + 1 < chain.size()) {
      ASSERT_NE(children, nullptr);
      EXPECT_EQ(ptr(children, 0), chain[i + 1]);
      EXPECT_EQ(u32(children, 4), 0u) << "exactly one child";
    } else {
      EXPECT_EQ(children, nullptr) << "the marker ends the chain";
    }
    const uint8_t* failures = ptr(element, element::kFailures);
    ASSERT_NE(failures, nullptr);
    EXPECT_TRUE(failure_lists.insert(failures).second) << "failure list shared";
    for (uint32_t offset = 0; offset < 12; offset += 4) EXPECT_EQ(u32(failures, offset), 0u);

    const uint32_t size = element_size(row.kind);
    const auto fields = set_fields(row.kind);
    for (uint32_t offset = 0; offset < size; ++offset) {
      const bool named = std::any_of(fields.begin(), fields.end(),
                                     [&](const auto& field) { return offset >= field.first && offset < field.second; });
      if (!named) {
        EXPECT_EQ(element[offset], 0) << "byte " << offset << " belongs to the simulator";
      }
    }
  }
}

struct StringRow {
  const char* element;
  int32_t width, height;
  uint32_t colour;
};

constexpr StringRow kStrings[] = {
    {"airspeed readout", 84, 50, 0x00FF00},      {"Mach readout", 58, 36, 0x00FF00},
    {"white speed readout", 52, 36, 0xFFFFFF},   {"selected speed readout", 52, 36, 0xFF00FF},
    {"selected Mach readout", 57, 36, 0xFF00FF}, {"selection-off readout", 53, 36, 0xFF00FF},
};

TEST_F(AirspeedRecords, StringIconAndMovingImageFields) {
  const std::vector<uint8_t*> chain = module->chain();
  ASSERT_EQ(chain.size(), std::size(kChain));
  for (size_t i = 0; i < std::size(kStrings); ++i) {
    const StringRow& row = kStrings[i];
    const uint8_t* element = chain[3 + i];
    SCOPED_TRACE(row.element);
    EXPECT_EQ(i32(element, string_element::kBoxWidth), row.width);
    EXPECT_EQ(i32(element, string_element::kBoxHeight), row.height);
    EXPECT_EQ(i32(element, element::kX) + row.width, 103) << "every box ends at column 103";
    EXPECT_EQ(u32(element, string_element::kColour), row.colour);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(element + string_element::kFontFace), 32),
              std::string("Quartz").append(26, '\0'));
    EXPECT_EQ(u32(element, string_element::kFontWeight), 400u);
    EXPECT_EQ(u32(element, string_element::kCharset), 1u);
    EXPECT_EQ(u32(element, string_element::kDrawingFlags), 0x4240u);
    EXPECT_EQ(u32(element, string_element::kText), 0u) << "the buffer is the simulator's";
    EXPECT_NE(u32(element, string_element::kCallback), 0u);
  }

  const uint8_t* frame = chain[2];
  EXPECT_EQ(u32(frame, icon::kSwitchingMode), 3u);
  EXPECT_EQ(u32(frame, icon::kImageCount), 2u);
  EXPECT_NE(u32(frame, icon::kCallback), 0u);

  const struct {
    size_t index;
    double first, second;
  } moving[] = {{1, 1012.0, -8.0}, {9, 92.0, 0.0}, {10, 92.0, 0.0}};
  std::set<uint32_t> callbacks;
  for (const auto& row : moving) {
    const uint8_t* element = chain[row.index];
    SCOPED_TRACE(kChain[row.index].element);
    EXPECT_EQ(f64(element, moving_image::kFirstBound), row.first);
    EXPECT_EQ(f64(element, moving_image::kSecondBound), row.second);
    EXPECT_TRUE(callbacks.insert(u32(element, moving_image::kXCallback)).second);
    EXPECT_TRUE(callbacks.insert(u32(element, moving_image::kYCallback)).second);
  }
  for (size_t i = 2; i < chain.size(); ++i) {
    const uint32_t offset = u32(chain[i], element::kKind) == 2 ? string_element::kCallback : icon::kCallback;
    if (u32(chain[i], element::kKind) != 5) callbacks.insert(u32(chain[i], offset));
  }
  EXPECT_EQ(callbacks.size(), 13u) << "one callback per string and icon element, two per moving image";
}

TEST_F(AirspeedRecords, TooltipOnlyAndNoClickArea) {
  const std::vector<MouseRectView> rects = module->mouse_rects();
  ASSERT_EQ(rects.size(), 4u);
  const uint32_t kinds[] = {mouse_rect::kParent, mouse_rect::kTooltip, mouse_rect::kParentEnd, mouse_rect::kListEnd};
  for (size_t i = 0; i < rects.size(); ++i) {
    const MouseRectView& r = rects[i];
    SCOPED_TRACE(::testing::Message() << "record " << i + 1);
    EXPECT_EQ(r.kind, kinds[i]);
    EXPECT_EQ(r.x | r.y | r.width | r.height, 0);
    EXPECT_EQ(r.cursor, -1);
    EXPECT_EQ(r.help_id | r.event_flags | r.event_id, 0u);
    if (r.kind == mouse_rect::kTooltip) {
      EXPECT_EQ(r.tooltip, "Airspeed");
      ASSERT_NE(r.data, 0u);
      EXPECT_EQ(u32(reinterpret_cast<const void*>(static_cast<uintptr_t>(r.data)), 0), 0u) << "empty argument list";
    } else {
      EXPECT_EQ(r.handler | r.data, 0u);
    }
  }
  module->install();
  for (const auto& [x, y] : {std::pair{0, 0}, {50, 155}, {90, 10}, {100, 329}}) EXPECT_EQ(module->click(x, y), -1);
}

// ---------------------------------------------------------------- bitmaps

struct BitmapRow {
  int id;
  int width, height;
};

constexpr BitmapRow kBitmaps[] = {
    {0x100, 101, 330}, {0x1200, 97, 310}, {0x1201, 3, 4},    {0x1400, 66, 2912}, {0x1401, 66, 310},
    {0x1600, 21, 474}, {0x1601, 21, 236}, {0x1800, 21, 474}, {0x1801, 21, 236},
};

TEST_F(AirspeedRecords, NineEightBitBitmapsForEveryIdTheElementsName) {
  std::vector<int> ids = module->bitmap_ids();
  std::sort(ids.begin(), ids.end());
  std::vector<int> expected;
  for (const BitmapRow& row : kBitmaps) expected.push_back(row.id);
  EXPECT_EQ(ids, expected);
  for (const BitmapRow& row : kBitmaps) {
    SCOPED_TRACE(::testing::Message() << "bitmap " << row.id);
    const auto bitmap = module->bitmap(row.id);
    ASSERT_TRUE(bitmap.has_value());
    EXPECT_EQ(bitmap->width, row.width);
    EXPECT_EQ(bitmap->height, row.height);
    EXPECT_EQ(bitmap->bits_per_pixel, 8);
    EXPECT_GE(bitmap->palette_entries, 2);
    EXPECT_EQ(bitmap->compression, 0u);
    EXPECT_TRUE(bitmap->bottom_up);
    EXPECT_EQ(bitmap->languages, std::vector<uint16_t>{1033});
    EXPECT_EQ(bitmap->rgb.size(), static_cast<size_t>(row.width) * row.height * 3);
  }
  // Each element's id, and id + 1 for the icon and the moving images.
  for (const uint8_t* element : module->chain()) {
    const uint32_t kind = u32(element, element::kKind);
    const int32_t id = i32(element, element::kResourceId);
    if (kind == 2) continue;
    EXPECT_TRUE(module->bitmap(id).has_value()) << id;
    if (kind == 4 || kind == 5) {
      EXPECT_TRUE(module->bitmap(id + 1).has_value()) << id + 1;
    }
  }
}

struct Rgb {
  uint8_t r, g, b;
  friend bool operator==(Rgb, Rgb) = default;
};
Rgb at(const Bitmap& bitmap, int x, int y) { return {bitmap.r(x, y), bitmap.g(x, y), bitmap.b(x, y)}; }
constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kWindow{1, 1, 1};
constexpr Rgb kWhite{255, 255, 255};

struct Box {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
  void add(int x, int y) {
    left = std::min(left, x), top = std::min(top, y), right = std::max(right, x), bottom = std::max(bottom, y);
  }
};

template <typename Test>
Box box_of(const Bitmap& bitmap, Test test) {
  Box box;
  for (int y = 0; y < bitmap.height; ++y)
    for (int x = 0; x < bitmap.width; ++x)
      if (test(at(bitmap, x, y))) box.add(x, y);
  return box;
}

bool every_pixel(const Bitmap& bitmap, Rgb colour) {
  return box_of(bitmap, [&](Rgb c) { return c != colour; }).right < 0;
}

TEST_F(AirspeedRecords, BlankPicturesAndMasks) {
  EXPECT_TRUE(every_pixel(*module->bitmap(0x100), kBlack)) << "background";
  EXPECT_TRUE(every_pixel(*module->bitmap(0x1201), kBlack)) << "readout frame image 1";
  EXPECT_TRUE(every_pixel(*module->bitmap(0x1601), kWindow)) << "red band mask";
  EXPECT_TRUE(every_pixel(*module->bitmap(0x1801), kWindow)) << "marker mask";
  const Bitmap mask = *module->bitmap(0x1401);
  for (int y = 0; y < mask.height; ++y)
    for (int x = 0; x < mask.width; ++x)
      ASSERT_EQ(at(mask, x, y), (y >= 37 && y <= 272) ? kWindow : kBlack) << "tape mask at " << x << ", " << y;
}

TEST_F(AirspeedRecords, ReadoutFrameBoxOpenToTheLeftAndPointerAtTheWindowCentre) {
  const Bitmap frame = *module->bitmap(0x1200);
  auto blue = [](Rgb c) { return c.b > 128 && c.r < 128; };
  const Box outline = box_of(frame, blue);
  EXPECT_EQ(outline.left, 18);
  EXPECT_EQ(outline.right, 75);
  EXPECT_EQ(outline.top, 134);
  EXPECT_EQ(outline.bottom, 176);
  for (int y = 140; y <= 170; ++y) {
    EXPECT_FALSE(blue(at(frame, 18, y))) << "the box is open to the left, row " << y;
    EXPECT_TRUE(blue(at(frame, 75, y))) << "the right side is closed, row " << y;
  }
  for (int x = 18; x <= 75; ++x) EXPECT_TRUE(blue(at(frame, x, 134)) && blue(at(frame, x, 176))) << x;

  const Box pointer = box_of(frame, [](Rgb c) { return c == kWhite; });
  EXPECT_EQ(pointer.left, 76);
  EXPECT_EQ(pointer.right, 90);
  EXPECT_EQ(pointer.top, 141);
  EXPECT_EQ(pointer.bottom, 169);
  for (int y = pointer.top; y <= pointer.bottom; ++y)
    EXPECT_EQ(at(frame, 90, y) == kWhite, y == 155) << "the tip is on row 155 alone, row " << y;
  EXPECT_TRUE(box_of(frame, [&](Rgb c) { return c != kBlack && !blue(c) && c != kWhite; }).right < 0)
      << "black, blue and white only";
}

// Rows of the tick marks in one column of the scale strip, as runs.
std::vector<std::pair<int, int>> runs_in_column(const Bitmap& strip, int x, Rgb colour) {
  std::vector<std::pair<int, int>> runs;
  for (int y = 0; y < strip.height; ++y) {
    if (at(strip, x, y) != colour) continue;
    if (!runs.empty() && runs.back().second == y - 1)
      runs.back().second = y;
    else
      runs.push_back({y, y});
  }
  return runs;
}

constexpr double kPixelsPerKnot = 2.5509;

TEST_F(AirspeedRecords, ScaleStripMarksEveryTenKnotsLabelsEveryTwentyAndBands) {
  const Bitmap strip = *module->bitmap(0x1400);
  // A column through every tick: one 2-row mark per 10 knots from 1060 down to 0.
  const auto ticks = runs_in_column(strip, 55, kWhite);
  ASSERT_EQ(ticks.size(), 107u);
  EXPECT_EQ(ticks.front(), std::pair(31, 32)) << "the 1060 mark";
  EXPECT_EQ(ticks.back(), std::pair(2735, 2736)) << "the 0 mark";
  for (size_t i = 0; i < ticks.size(); ++i) {
    const int knots = 1060 - 10 * static_cast<int>(i);
    SCOPED_TRACE(::testing::Message() << "mark " << knots);
    EXPECT_EQ(ticks[i].second - ticks[i].first, 1);
    EXPECT_NEAR(ticks[i].first, 31 + (1060 - knots) * kPixelsPerKnot, 1.0);
  }
  // Labels left of the ticks beside every 20-knot mark, none beside the others.
  const Rgb background = at(strip, 0, 0);
  for (size_t i = 0; i < ticks.size(); ++i) {
    const int knots = 1060 - 10 * static_cast<int>(i);
    int label_pixels = 0;
    for (int y = ticks[i].first - 8; y <= ticks[i].second + 8; ++y)
      for (int x = 0; x < 44; ++x) label_pixels += at(strip, x, y) != background;
    EXPECT_EQ(label_pixels > 20, knots % 20 == 0) << "beside the " << knots << " mark";
  }
  // The bands along the right edge, from the low end upward: red, white, green, yellow.
  std::vector<Rgb> bands;
  for (int y = ticks.back().second; y >= ticks.front().first; --y) {
    const Rgb c = at(strip, 64, y);
    if (bands.empty() || bands.back() != c) bands.push_back(c);
  }
  const std::vector<Rgb> expected = {{255, 0, 0}, kWhite, {0, 220, 0}, {255, 220, 0}};
  ASSERT_EQ(bands.size(), expected.size());
  for (size_t i = 0; i < bands.size(); ++i) {
    EXPECT_GT(bands[i].r + bands[i].g + bands[i].b, 200) << "band " << i;
    EXPECT_EQ(bands[i].r > 128, expected[i].r > 128) << "band " << i;
    EXPECT_EQ(bands[i].g > 128, expected[i].g > 128) << "band " << i;
    EXPECT_EQ(bands[i].b > 128, expected[i].b > 128) << "band " << i;
  }
  EXPECT_EQ(at(strip, 64, 10), background) << "no band above the 1060 mark";
  EXPECT_EQ(at(strip, 64, 2800), background) << "no band below the 0 mark";
}

TEST_F(AirspeedRecords, TapeStripTravelAgreesWithTheBoundsAndTheWindowCentre) {
  module->install();
  const FrameSnapshot frame = module->frame();
  const ElementSnapshot& tape = frame[1];
  const Bitmap strip = *module->bitmap(0x1400);
  const Bitmap mask = *module->bitmap(0x1401);
  const auto ticks = runs_in_column(strip, 55, kWhite);
  ASSERT_EQ(ticks.size(), 107u);
  // Pixels per knot measured on the artwork against the travel between the bounds.
  const double measured = (ticks.back().first - ticks.front().first) / 1060.0;
  const double travel = (strip.height - mask.height) / (tape.first_bound - tape.second_bound);
  EXPECT_NEAR(measured, travel, 0.001);
  // At the first bound the strip is undisplaced: the mask's centre row shows that speed.
  const double centre_row = (37 + 272) / 2.0;
  const double top_mark_centre = (ticks.front().first + ticks.front().second) / 2.0;
  EXPECT_NEAR(top_mark_centre + (1060 - tape.first_bound) * measured, centre_row, 1.0);
}

TEST_F(AirspeedRecords, RedBandAndMarkerStripsCentredOnTheirMaskAtOffset46) {
  module->install();
  const FrameSnapshot frame = module->frame();
  const Bitmap band = *module->bitmap(0x1600);
  const Bitmap marker = *module->bitmap(0x1800);
  const Bitmap mask = *module->bitmap(0x1601);

  const Rgb red{255, 0, 0};
  const Box bar = box_of(band, [](Rgb c) { return c != kBlack; });
  EXPECT_EQ(bar.left, 15);
  EXPECT_EQ(bar.right, 20);
  EXPECT_EQ(bar.top, 0);
  EXPECT_EQ(bar.bottom, 236);
  for (int y = bar.top; y <= bar.bottom; ++y)
    for (int x = bar.left; x <= bar.right; ++x) ASSERT_EQ(at(band, x, y), red) << x << ", " << y;

  const Rgb magenta{255, 0, 255};
  const Box tie = box_of(marker, [](Rgb c) { return c != kBlack; });
  EXPECT_EQ(tie.top, 217);
  EXPECT_EQ(tie.bottom, 257);
  EXPECT_TRUE(box_of(marker, [&](Rgb c) { return c != kBlack && c != magenta; }).right < 0) << "magenta only";
  for (int d = 1; d <= 20; ++d)
    for (int x = 0; x < marker.width; ++x)
      EXPECT_EQ(at(marker, x, 237 - d), at(marker, x, 237 + d)) << "symmetric about row 237: " << x << ", " << d;
  EXPECT_EQ(at(marker, 10, 237), magenta) << "the outline crosses at the centre";
  EXPECT_EQ(at(marker, 10, 227), kBlack) << "an outline, not a filled shape";

  // The strip row on the mask's centre at a value of 46, from the records' bounds.
  for (size_t index : {9u, 10u}) {
    const ElementSnapshot& element = frame[index];
    const double per_unit = (band.height - mask.height) / (element.first_bound - element.second_bound);
    const double row_at_centre = (element.first_bound - 46.0) * per_unit + mask.height / 2.0;
    EXPECT_DOUBLE_EQ(row_at_centre, bar.bottom + 1) << "the red bar's lower end";
    EXPECT_DOUBLE_EQ(row_at_centre, (tie.top + tie.bottom) / 2.0) << "the marker's centre";
  }
}

}  // namespace
}  // namespace tarnwix::test
