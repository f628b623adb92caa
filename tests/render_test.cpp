// The frame renderer and the scenario files: the drawing rules checked on
// rendered pixels of small made-up frames and of the real modules, the PNG
// and sheet output, and the scenario format's parsing and running.
#include "render.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <sstream>

#include "picture_files.h"
#include "scenario.h"
#include "support.h"

namespace tarnwix::test {
namespace {

using host::Bitmap;
using host::ElementKind;
using host::ElementSnapshot;
using host::FrameSnapshot;
using host::Picture;
using host::Rgb;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr Rgb kBlack{0, 0, 0}, kRed{255, 0, 0}, kGreen{0, 160, 0}, kBlue{0, 0, 255}, kWhite{255, 255, 255};
constexpr Rgb kWindow{1, 1, 1};

// ---- Made-up modules: bitmaps by id, and frames of elements.

Bitmap picture_bitmap(int id, int width, int height, const std::function<Rgb(int, int)>& colour) {
  Bitmap bitmap;
  bitmap.id = id;
  bitmap.width = width;
  bitmap.height = height;
  bitmap.bits_per_pixel = 24;
  bitmap.rgb.resize(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const Rgb c = colour(x, y);
      uint8_t* out = &bitmap.rgb[(static_cast<size_t>(y) * width + x) * 3];
      out[0] = c.r;
      out[1] = c.g;
      out[2] = c.b;
    }
  return bitmap;
}

Bitmap solid(int id, int width, int height, Rgb colour) {
  return picture_bitmap(id, width, height, [colour](int, int) { return colour; });
}

struct Art {
  std::map<int, Bitmap> bitmaps;
  void add(const Bitmap& bitmap) { bitmaps[bitmap.id] = bitmap; }
  host::BitmapSource source() const {
    return [this](int id) -> const Bitmap* {
      auto found = bitmaps.find(id);
      return found == bitmaps.end() ? nullptr : &found->second;
    };
  }
};

constexpr int kBackground = 0x100;

ElementSnapshot element(ElementKind kind, int32_t id, int x, int y, std::vector<double> values = {}) {
  ElementSnapshot e;
  e.kind = kind;
  e.resource_id = id;
  e.x = x;
  e.y = y;
  e.values = std::move(values);
  return e;
}

FrameSnapshot frame_of(std::vector<ElementSnapshot> elements) {
  FrameSnapshot frame;
  frame.elements.push_back(element(ElementKind::kStaticImage, kBackground, 0, 0));
  for (auto& e : elements) frame.elements.push_back(std::move(e));
  for (size_t i = 0; i < frame.elements.size(); ++i) frame.elements[i].index = static_cast<int>(i);
  return frame;
}

Picture render(const FrameSnapshot& frame, const Art& art, std::vector<std::string>* problems = nullptr) {
  return host::render_frame(frame, art.source(), problems);
}

// The rows of column x at which the picture shows `colour`.
std::vector<int> rows_of(const Picture& picture, int x, Rgb colour) {
  std::vector<int> rows;
  for (int y = 0; y < picture.height; ++y)
    if (picture.at(x, y) == colour) rows.push_back(y);
  return rows;
}

// ---- The drawing rules on made-up frames

TEST(RenderRules, TheRootIsDrawnWholeAndOpaqueAndGivesThePictureItsSize) {
  Art art;
  art.add(picture_bitmap(kBackground, 5, 3, [](int x, int y) { return (x + y) % 2 ? kBlack : Rgb{9, 99, 199}; }));
  FrameSnapshot frame = frame_of({});
  frame.elements[0].hidden = true;  // the root has no callback: its flags do not matter
  const Picture picture = render(frame, art);
  ASSERT_EQ(picture.width, 5);
  ASSERT_EQ(picture.height, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(picture.at(x, y), ((x + y) % 2 ? kBlack : Rgb{9, 99, 199})) << x << "," << y;

  std::vector<std::string> problems;
  const Picture none = render(frame_of({}), Art{}, &problems);
  EXPECT_TRUE(none.empty());
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("0x100"), std::string::npos) << problems[0];
  EXPECT_TRUE(render(FrameSnapshot{}, art).empty());
}

// One element of each drawn kind over a green background, each showing red
// and pure black pixels in alternate columns.
struct KindCase {
  const char* name;
  ElementSnapshot element;
};

std::vector<KindCase> striped_elements(Art& art) {
  auto stripes = [](int x, int) { return x % 2 ? kBlack : kRed; };
  art.add(solid(kBackground, 12, 12, kGreen));
  art.add(picture_bitmap(0x200, 4, 4, stripes));  // static image
  art.add(solid(0x300, 4, 4, kBlue));             // icon image 0
  art.add(picture_bitmap(0x301, 4, 4, stripes));  // icon image 1
  art.add(picture_bitmap(0x400, 4, 4, stripes));  // slider
  art.add(picture_bitmap(0x500, 4, 8, stripes));  // strip
  art.add(solid(0x501, 4, 4, kWindow));           // mask: all window
  ElementSnapshot slider = element(ElementKind::kSlider, 0x400, 2, 2, {0, 0});
  slider.y_scale = 1.0;
  ElementSnapshot moving = element(ElementKind::kMovingImage, 0x500, 2, 2, {0, 0});
  moving.first_bound = 0;
  moving.second_bound = 1;
  return {{"static image", element(ElementKind::kStaticImage, 0x200, 2, 2)},
          {"icon", element(ElementKind::kIcon, 0x300, 2, 2, {1})},
          {"slider", slider},
          {"moving image", moving}};
}

TEST(RenderRules, PureBlackIsTransparentInEveryPictureDrawnOverTheBackground) {
  Art art;
  for (const KindCase& c : striped_elements(art)) {
    SCOPED_TRACE(c.name);
    const Picture picture = render(frame_of({c.element}), art);
    for (int y = 2; y < 6; ++y)
      for (int x = 2; x < 6; ++x) EXPECT_EQ(picture.at(x, y), ((x - 2) % 2 ? kGreen : kRed)) << x << "," << y;
    EXPECT_EQ(picture.at(1, 1), kGreen);
    EXPECT_EQ(picture.at(6, 6), kGreen);
  }
}

TEST(RenderRules, AHiddenElementLeavesThePixelsUnderItUntouched) {
  Art art;
  std::vector<KindCase> cases = striped_elements(art);
  ElementSnapshot text = element(ElementKind::kString, -1, 0, 0, {0});
  text.text = "88";
  text.box_width = 12;
  text.box_height = 12;
  text.text_colour = 0xFFFFFF;
  cases.push_back({"string", text});
  const Picture background = render(frame_of({}), art);
  for (KindCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_NE(render(frame_of({c.element}), art), background) << "shown, the element draws something";
    c.element.hidden = true;
    EXPECT_EQ(render(frame_of({c.element}), art), background);
  }
}

TEST(RenderRules, AnIconShowsTheImageItsValueSelects) {
  Art art;
  art.add(solid(kBackground, 4, 4, kGreen));
  art.add(solid(0x300, 2, 2, kBlue));  // image 0
  art.add(solid(0x301, 2, 2, kRed));   // image 1, the last
  const struct {
    double value;
    Rgb shown;
  } rows[] = {{0, kBlue},    {1, kRed},      {0.99, kBlue}, {1.7, kRed},  {-1, kBlue},
              {kNaN, kBlue}, {-kInf, kBlue}, {5, kRed},     {kInf, kRed}, {1e300, kRed}};
  for (const auto& row : rows) {
    const Picture picture = render(frame_of({element(ElementKind::kIcon, 0x300, 1, 1, {row.value})}), art);
    EXPECT_EQ(picture.at(1, 1), row.shown) << "icon value " << row.value;
    EXPECT_EQ(picture.at(0, 0), kGreen);
  }
}

TEST(RenderRules, ASliderMovesByItsValueTimesItsScale) {
  Art art;
  art.add(solid(kBackground, 3, 400, kBlack));
  art.add(solid(0x400, 1, 1, kRed));
  const double scale = -108.5 / 3000;  // the altimeter's pointer
  const struct {
    double value, scale;
    int row;  // -1: out of sight
  } rows[] = {{0, scale, 200},    {3000, scale, 92},  {-3000, scale, 309}, {1500, scale, 146},
              {kNaN, scale, 200}, {10, kNaN, 200},    {0, kInf, 200},      {kInf, scale, -1},
              {-kInf, scale, -1}, {1e300, 1e300, -1}, {90, 2.0, 380}};
  for (const auto& row : rows) {
    ElementSnapshot slider = element(ElementKind::kSlider, 0x400, 1, 200, {0, row.value});
    slider.y_scale = row.scale;
    const std::vector<int> red = rows_of(render(frame_of({slider}), art), 1, kRed);
    EXPECT_EQ(red, row.row < 0 ? std::vector<int>{} : std::vector<int>{row.row})
        << "value " << row.value << " scale " << row.scale;
  }
}

// A strip whose row r has the colour (r, 100, 200), through a mask.
Rgb strip_row_colour(int row) { return {static_cast<uint8_t>(row), 100, 200}; }

TEST(RenderRules, AMovingImageStripTravelsBetweenItsBoundsThroughItsMask) {
  Art art;
  art.add(solid(kBackground, 2, 40, kBlack));
  art.add(picture_bitmap(0x500, 1, 20, [](int, int y) { return strip_row_colour(y); }));
  art.add(solid(0x501, 1, 5, kWindow));  // travel 20 - 5 = 15
  const struct {
    double value, first, second;
    int top_row;  // strip row seen in the mask's top row (may lie off the strip)
  } rows[] = {
      {100, 100, 0, 0},  {0, 100, 0, 15},   {50, 100, 0, 8}, {150, 100, 0, -7},   {-20, 100, 0, 18},   {0, 0, 100, 0},
      {100, 0, 100, 15}, {kNaN, 100, 0, 0}, {7, 5, 5, 0},    {kInf, 100, 0, -99}, {-kInf, 100, 0, 99},
  };
  for (const auto& row : rows) {
    ElementSnapshot moving = element(ElementKind::kMovingImage, 0x500, 1, 10, {0, row.value});
    moving.first_bound = row.first;
    moving.second_bound = row.second;
    const Picture picture = render(frame_of({moving}), art);
    for (int my = 0; my < 5; ++my) {
      const int strip_row = row.top_row + my;
      const Rgb expected = strip_row >= 0 && strip_row < 20 ? strip_row_colour(strip_row) : kBlack;
      EXPECT_EQ(picture.at(1, 10 + my), expected) << "value " << row.value << ", mask row " << my;
    }
    EXPECT_EQ(picture.at(1, 9), kBlack) << "nothing above the mask";
    EXPECT_EQ(picture.at(1, 15), kBlack) << "nothing below the mask";
  }
  // The airspeed tape's geometry: at its first bound the strip is undisplaced,
  // at its second it has travelled the whole 2912 - 310 rows.
  EXPECT_EQ(host::moving_image_offset(1012, 1012, -8, 2602), 0);
  EXPECT_EQ(host::moving_image_offset(-8, 1012, -8, 2602), 2602);
  EXPECT_EQ(host::moving_image_offset(502, 1012, -8, 2602), 1301);
  EXPECT_EQ(host::moving_image_offset(1060, 1012, -8, 2602), -122);
  EXPECT_EQ(host::moving_image_offset(50, 10, 20, 0), 0) << "no travel";
}

// Over every edge of the picture, with a strip narrower than its mask and
// travelled past its ends: each pixel still follows the mask's rule.
TEST(RenderRules, AMovingImageCutByThePictureEdgesFollowsTheMaskPixelByPixel) {
  Art art;
  art.add(solid(kBackground, 6, 6, kGreen));
  art.add(picture_bitmap(0x500, 2, 6,
                         [](int x, int y) { return x == 1 && y == 2 ? kBlack : strip_row_colour(y + 3 * x); }));
  const Rgb mask_columns[] = {kWindow, kBlack, kWindow, kWhite};
  art.add(picture_bitmap(0x501, 4, 4, [&](int x, int y) { return y == 3 ? kWindow : mask_columns[x]; }));
  for (const int x : {-3, -1, 2, 4})
    for (const int y : {-2, 3})
      for (const int offset : {-2, 0, 2, 5}) {
        ElementSnapshot moving = element(ElementKind::kMovingImage, 0x500, x, y, {0, static_cast<double>(offset)});
        moving.first_bound = 0;
        moving.second_bound = 2;  // travel 6 - 4 = 2: the value gives the offset
        const Picture picture = render(frame_of({moving}), art);
        for (int py = 0; py < 6; ++py)
          for (int px = 0; px < 6; ++px) {
            const int mx = px - x, my = py - y, sy = my + offset;
            Rgb expected = kGreen;
            if (mx >= 0 && mx < 4 && my >= 0 && my < 4) {
              const Rgb m = my == 3 ? kWindow : mask_columns[mx];
              if (m == kWhite) expected = kWhite;
              if (m == kWindow && mx < 2 && sy >= 0 && sy < 6 && !(mx == 1 && sy == 2))
                expected = strip_row_colour(sy + 3 * mx);
            }
            ASSERT_EQ(picture.at(px, py), expected)
                << "at " << x << "," << y << " offset " << offset << ": pixel " << px << "," << py;
          }
      }
}

TEST(RenderRules, AMaskIsOutsideWhereBlackWindowWhereNearBlackAndDrawingElsewhere) {
  Art art;
  art.add(solid(kBackground, 4, 4, kGreen));
  art.add(solid(0x500, 4, 4, kRed));
  art.add(picture_bitmap(0x501, 4, 1, [](int x, int) {
    const Rgb columns[] = {kBlack, kWindow, Rgb{8, 8, 8}, kWhite};
    return columns[x];
  }));
  ElementSnapshot moving = element(ElementKind::kMovingImage, 0x500, 0, 1, {0, 0});
  const Picture picture = render(frame_of({moving}), art);
  EXPECT_EQ(picture.at(0, 1), kGreen) << "outside the window";
  EXPECT_EQ(picture.at(1, 1), kRed) << "window (1, 1, 1)";
  EXPECT_EQ(picture.at(2, 1), kRed) << "window (8, 8, 8)";
  EXPECT_EQ(picture.at(3, 1), kWhite) << "the mask's own drawing";

  // Ids at the end of the range name no further image or mask.
  ElementSnapshot last = element(ElementKind::kMovingImage, INT32_MAX, 0, 1, {0, 0});
  ElementSnapshot icon = element(ElementKind::kIcon, INT32_MAX - 1, 0, 1, {200});
  EXPECT_EQ(render(frame_of({last, icon}), art), render(frame_of({}), art));

  std::vector<std::string> problems;
  art.bitmaps.erase(0x501);
  EXPECT_EQ(render(frame_of({moving}), art, &problems), render(frame_of({}), art)) << "no mask, not drawn";
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("0x501"), std::string::npos) << problems[0];
}

// ---- Text

struct Ink {
  int count = 0, full = 0;
  int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;  // bounds of the drawn pixels
};

Ink ink_of(const Picture& picture, Rgb colour) {
  Ink ink;
  for (int y = 0; y < picture.height; ++y)
    for (int x = 0; x < picture.width; ++x) {
      const Rgb p = picture.at(x, y);
      if (p == kBlack) continue;
      ++ink.count;
      if (p == colour) ++ink.full;
      ink.x0 = std::min(ink.x0, x);
      ink.y0 = std::min(ink.y0, y);
      ink.x1 = std::max(ink.x1, x);
      ink.y1 = std::max(ink.y1, y);
    }
  return ink;
}

TEST(RenderText, TextLandsInsideItsBoxInItsColour) {
  ASSERT_TRUE(host::seven_segment_face_available());
  ASSERT_TRUE(host::fallback_face_available());
  // Boxes and texts of the altimeter's and the airspeed's readouts.
  const struct {
    int width, height;
    const char* text;
    uint32_t colour;
  } rows[] = {{150, 50, "12345", 0x00FF00},   {222, 50, "-0050", 0x00FF00},  {243, 36, "03500", 0xFF00FF},
              {180, 50, "00319", 0x00ECFF},   {171, 36, "29.92", 0xFFFFFF},  {86, 36, "+0500", 0xFF00FF},
              {80, 36, "+01500", 0xFFFFFF},   {79, 36, " 00000", 0xFFFFFF},  {84, 50, "250", 0x00FF00},
              {58, 36, "0.80", 0x00FF00},     {52, 36, "194", 0xFFFFFF},     {53, 36, "OFF            0", 0xFF00FF},
              {40, 36, "99999999", 0x00FF00}, {84, 50, "-1e+300", 0x00FF00}, {84, 50, "\x01\xff~", 0x00FF00}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    Picture picture(300, 120);
    const Rgb colour = host::colour_from_word(row.colour);
    host::draw_text(picture, 20, 30, row.width, row.height, row.text, colour);
    const Ink ink = ink_of(picture, colour);
    EXPECT_GT(ink.full, 0) << "some pixels wholly in the text's colour";
    EXPECT_GE(ink.x0, 20);
    EXPECT_GE(ink.y0, 30);
    EXPECT_LT(ink.x1, 20 + row.width);
    EXPECT_LT(ink.y1, 30 + row.height);
    EXPECT_GT(ink.y1 - ink.y0 + 1, row.height / 2) << "the text is sized by its box's height";
  }
  EXPECT_EQ(host::colour_from_word(0x00ECFF), (Rgb{0xFF, 0xEC, 0x00})) << "0x00BBGGRR";
}

TEST(RenderText, TheDigitPushedFarRightOfOffIsCutAtTheBoxEdge) {
  const std::string spaces45(45, ' '), spaces30(30, ' ');
  const struct {
    int width;
    std::string text;
  } rows[] = {{243, " OFF" + spaces45 + "0"}, {86, " OFF" + spaces30 + "0"}};
  for (const auto& row : rows) {
    Picture with_digit(300, 60), without(300, 60);
    host::draw_text(with_digit, 0, 10, row.width, 36, row.text, kWhite);
    host::draw_text(without, 0, 10, row.width, 36, " OFF", kWhite);
    EXPECT_GT(ink_of(without, kWhite).count, 0);
    EXPECT_EQ(with_digit, without) << row.text.size() << " characters in a box " << row.width << " wide";
  }
}

TEST(RenderText, ATextTooWideForItsBoxIsCondensedIntoIt) {
  Picture narrow(200, 60), wide(200, 60);
  host::draw_text(narrow, 0, 0, 40, 36, "8888", kWhite);
  host::draw_text(wide, 0, 0, 200, 36, "8888", kWhite);
  const Ink in_narrow = ink_of(narrow, kWhite), in_wide = ink_of(wide, kWhite);
  EXPECT_LT(in_narrow.x1, 40);
  EXPECT_GT(in_narrow.x1, 30) << "the condensed text still spans its box";
  EXPECT_GT(in_wide.x1, 45) << "with room, the text keeps its width";
  EXPECT_EQ(in_narrow.y0, in_wide.y0) << "condensing keeps the height";
  EXPECT_EQ(in_narrow.y1, in_wide.y1);
}

TEST(RenderText, BoxesOffThePictureOrOfWildSizesDrawOnlyInsideIt) {
  const int kMax = std::numeric_limits<int32_t>::max(), kMin = std::numeric_limits<int32_t>::min();
  const struct {
    int x, y, width, height;
    bool draws;
  } rows[] = {{-10, 5, 60, 36, true},  {70, 50, 60, 36, true},          {0, 0, kMax, 36, true},
              {0, 0, 60, kMax, false}, {kMax, kMax, kMax, kMax, false}, {kMin, kMin, kMax, kMax, false},
              {5, 5, 0, 36, false},    {5, 5, 60, -36, false},          {5, 5, 60, 0, false}};
  for (const auto& row : rows) {
    Picture picture(100, 80);
    host::draw_text(picture, row.x, row.y, row.width, row.height, "8888", kWhite);
    EXPECT_EQ(ink_of(picture, kWhite).count > 0, row.draws)
        << "box " << row.x << "," << row.y << " " << row.width << "x" << row.height;
  }
}

// ---- Files and sheets

TEST(RenderFiles, APngReadsBackAsTheSamePicture) {
  const TemporaryFolder temporary("png");
  const std::string& folder = temporary.path;
  Picture picture(37, 11);
  for (int y = 0; y < 11; ++y)
    for (int x = 0; x < 37; ++x) picture.set(x, y, {static_cast<uint8_t>(x * 7), static_cast<uint8_t>(y * 23), 77});
  std::string error;
  ASSERT_TRUE(host::write_png(picture, folder + "/p.png", &error)) << error;
  EXPECT_EQ(read_png(folder + "/p.png"), picture);
  EXPECT_FALSE(host::write_png(Picture{}, folder + "/empty.png", &error));
  EXPECT_NE(error.find("empty"), std::string::npos);
  EXPECT_FALSE(host::write_png(picture, folder + "/no/such/folder/p.png", &error));
  EXPECT_NE(error.find("no/such/folder"), std::string::npos);
}

// Where `tile` appears whole in `whole`, if it does.
std::optional<std::pair<int, int>> find(const Picture& whole, const Picture& tile) {
  for (int y = 0; y + tile.height <= whole.height; ++y)
    for (int x = 0; x + tile.width <= whole.width; ++x) {
      bool same = true;
      for (int py = 0; py < tile.height && same; ++py)
        for (int px = 0; px < tile.width && same; ++px) same = whole.at(x + px, y + py) == tile.at(px, py);
      if (same) return std::make_pair(x, y);
    }
  return std::nullopt;
}
bool contains(const Picture& whole, const Picture& tile) { return find(whole, tile).has_value(); }

TEST(RenderFiles, AContactSheetHoldsEveryTileUnchangedInRows) {
  std::vector<Picture> tiles;
  for (int i = 0; i < 5; ++i) {
    Picture tile(20 + i, 15);
    for (int y = 0; y < 15; ++y)
      for (int x = 0; x < tile.width; ++x)
        tile.set(x, y, {static_cast<uint8_t>(40 * i + x), static_cast<uint8_t>(y), 9});
    tiles.push_back(tile);
  }
  const Picture sheet = host::contact_sheet(tiles, {"one", "two", "three", "four", "five"}, 2, "heading");
  std::vector<std::pair<int, int>> at;
  for (size_t i = 0; i < tiles.size(); ++i) {
    const auto place = find(sheet, tiles[i]);
    ASSERT_TRUE(place.has_value()) << "tile " << i << " whole and unchanged";
    at.push_back(*place);
  }
  EXPECT_EQ(at[0].second, at[1].second) << "two a row";
  EXPECT_LT(at[0].first, at[1].first);
  EXPECT_GT(at[2].second, at[0].second);
  EXPECT_EQ(at[2].first, at[0].first);
  EXPECT_EQ(at[3].second, at[2].second);
  EXPECT_GT(at[4].second, at[2].second);
  EXPECT_TRUE(host::contact_sheet({}, {}, 3).empty());
}

// ---- The real modules

bool built(const std::string& name) { return GetFileAttributesA(module_path(name).c_str()) != INVALID_FILE_ATTRIBUTES; }

// The five modules that are built, in panel order.
std::vector<std::string> built_modules() {
  std::vector<std::string> names;
  for (const std::string& name : host::all_module_names())
    if (built(name)) names.push_back(name);
  return names;
}

#define SKIP_UNLESS_BUILT(name) \
  if (!built(name)) GTEST_SKIP() << name << " is not built yet (" << module_path(name) << ")"

struct TapeView;

// A real module, loaded with its gauge installed, and its bitmaps.
class RenderModules : public testing::Test {
 protected:
  void start(const std::string& name) {
    bitmaps.reset();
    module = load(name);
    ASSERT_NE(module, nullptr);
    module->install();
    bitmaps = std::make_unique<host::BitmapCache>(*module);
  }
  // The tape of a powered airspeed or altimeter (element 1) under its window,
  // once the variable it shows is at `value`; the frame's readout element
  // shows `value` as `pattern` formats it.
  void view_tape(uint32_t token, double value, size_t readout, const char* pattern, TapeView* view);

  std::unique_ptr<host::Module> module;
  std::unique_ptr<host::BitmapCache> bitmaps;  // of `module`, so declared after it
};

TEST_F(RenderModules, TheBezelIsDrawnAsItsBitmap) {
  ASSERT_NO_FATAL_FAILURE(start("Tarnwix_Background_S"));
  std::vector<std::string> problems;
  const Picture picture = host::render_frame(module->frame(), bitmaps->source(), &problems);
  EXPECT_TRUE(problems.empty());
  const Bitmap* bezel = bitmaps->find(0x1400);
  ASSERT_NE(bezel, nullptr);
  ASSERT_EQ(picture.width, 736);
  ASSERT_EQ(picture.height, 770);
  EXPECT_EQ(picture.rgb, bezel->rgb);
}

TEST_F(RenderModules, EveryModuleDrawsPoweredAndUnpoweredWithEveryBitmapItNeeds) {
  for (const std::string& name : built_modules()) {
    SCOPED_TRACE(name);
    ASSERT_NO_FATAL_FAILURE(start(name));
    for (double power : {0.0, 1.0}) {
      host::Panel::instance().set_variable(769, power);
      std::vector<std::string> problems;
      const FrameSnapshot frame = module->frame();
      const Picture picture = host::render_frame(frame, bitmaps->source(), &problems);
      const Bitmap* root = bitmaps->find(frame[0].resource_id);
      ASSERT_NE(root, nullptr);
      EXPECT_EQ(picture.width, root->width);
      EXPECT_EQ(picture.height, root->height);
      for (const std::string& problem : problems) ADD_FAILURE() << "power " << power << ": " << problem;
    }
  }
}

// A mask's window is its near-black pixels: a mask drawn with pure black for
// its window would hide its strip for good.
TEST_F(RenderModules, EveryMovingImagesMaskHasAWindowOverItsStrip) {
  for (const std::string& name : built_modules()) {
    SCOPED_TRACE(name);
    ASSERT_NO_FATAL_FAILURE(start(name));
    for (const ElementSnapshot& e : module->frame().elements) {
      if (e.kind != ElementKind::kMovingImage) continue;
      const Bitmap* strip = bitmaps->find(e.resource_id);
      const Bitmap* mask = bitmaps->find(e.resource_id + 1);
      ASSERT_TRUE(strip && mask) << "element " << e.index;
      std::vector<bool> window_rows(mask->height, false);
      for (int y = 0; y < mask->height; ++y)
        for (int x = 0; x < mask->width && x < strip->width; ++x) {
          if (host::is_window(host::pixel(*mask, x, y))) window_rows[y] = true;
        }
      const auto rows = std::count(window_rows.begin(), window_rows.end(), true);
      EXPECT_GE(rows * 2, mask->height) << "element " << e.index << " (0x" << std::hex << e.resource_id
                                        << "): its window covers " << std::dec << rows << " of the mask's "
                                        << mask->height << " rows";
    }
  }
}

// The strip row seen at the mask's centre row, found from the rendered
// pixels alone: the displacement d at which every window pixel of the mask
// shows strip row (mask row + d). Only the root and the tape are drawn.
struct TapeView {
  bool found = false;
  int window_pixels = 0;
  double centre_row = 0;
};

TapeView tape_view(const FrameSnapshot& frame, size_t tape, host::BitmapCache& bitmaps) {
  TapeView view;
  FrameSnapshot alone;
  alone.elements = {frame[0], frame[tape]};
  const Picture picture = host::render_frame(alone, bitmaps.source());
  const Bitmap* background = bitmaps.find(frame[0].resource_id);
  const Bitmap* strip = bitmaps.find(frame[tape].resource_id);
  const Bitmap* mask = bitmaps.find(frame[tape].resource_id + 1);
  if (!background || !strip || !mask) return view;
  const int ex = frame[tape].x, ey = frame[tape].y;
  std::vector<std::pair<int, int>> window;
  for (int y = 0; y < mask->height; ++y)
    for (int x = 0; x < mask->width && x < strip->width; ++x)
      if (host::is_window(host::pixel(*mask, x, y)) && picture.contains(ex + x, ey + y)) window.emplace_back(x, y);
  view.window_pixels = static_cast<int>(window.size());
  if (window.empty()) return view;
  for (int d = -mask->height; d <= strip->height; ++d) {
    bool all = true;
    for (const auto& [x, y] : window) {
      const int sy = y + d;
      Rgb expected = host::pixel(*background, ex + x, ey + y);
      if (sy >= 0 && sy < strip->height && host::pixel(*strip, x, sy) != kBlack) expected = host::pixel(*strip, x, sy);
      if (picture.at(ex + x, ey + y) != expected) {
        all = false;
        break;
      }
    }
    if (all) {
      view.found = true;
      view.centre_row = d + (mask->height - 1) / 2.0;
      return view;
    }
  }
  return view;
}

std::string format(const char* pattern, double value) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, value);
  return text;
}

void RenderModules::view_tape(uint32_t token, double value, size_t readout, const char* pattern, TapeView* view) {
  host::Panel::instance().set_variable(token, value);
  const FrameSnapshot frame = module->frame();
  ASSERT_GT(frame.elements.size(), readout);
  ASSERT_EQ(frame[1].kind, ElementKind::kMovingImage);
  EXPECT_EQ(frame[readout].text, format(pattern, value)) << "the readout";
  *view = tape_view(frame, 1, *bitmaps);
  ASSERT_GT(view->window_pixels, 0) << "the tape's mask has a window";
  ASSERT_TRUE(view->found) << "the window shows the strip, whole";
}

TEST_F(RenderModules, TheSpeedUnderTheTapeWindowsCentreIsTheSpeedInTheReadout) {
  SKIP_UNLESS_BUILT("Tarnwix_Airspeed");
  ASSERT_NO_FATAL_FAILURE(start("Tarnwix_Airspeed"));
  host::Panel::instance().set_variable(769, 1);
  // The scale's own geometry: the 1060 mark on rows 31 to 32, the 0 mark on
  // rows 2735 to 2736, linearly between.
  auto mark_row = [](double knots) { return 31.5 + (1060 - knots) * (2735.5 - 31.5) / 1060; };
  for (double knots : {0.0, 40.0, 120.0, 250.0, 437.0, 800.0, 1000.0}) {
    SCOPED_TRACE(knots);
    TapeView view;
    ASSERT_NO_FATAL_FAILURE(view_tape(61, knots, 3, "%03.0f", &view));
    // Within a pixel and a half: the strip moves by whole pixels, and the
    // marks, on whole rows, lie within half a pixel of their exact places.
    EXPECT_NEAR(view.centre_row, mark_row(knots), 1.5);
  }
}

TEST_F(RenderModules, TheLabelUnderTheAltitudeTapesPointerIsTheAltitudeInTheBigWindow) {
  SKIP_UNLESS_BUILT("Tarnwix_Altimeter");
  ASSERT_NO_FATAL_FAILURE(start("Tarnwix_Altimeter"));
  host::Panel::instance().set_variable(769, 1);
  const Bitmap* strip = bitmaps->find(0x100);
  ASSERT_NE(strip, nullptr);
  // Rows of the strip that carry any drawing, and the run of them around a row.
  auto inked = [&](int row) {
    if (row < 0 || row >= strip->height) return false;
    for (int x = 0; x < strip->width; ++x)
      if (host::pixel(*strip, x, row) != kBlack) return true;
    return false;
  };
  for (double feet : {0.0, 1000.0, 12400.0, 35000.0, -1000.0, 65000.0}) {
    SCOPED_TRACE(feet);
    TapeView view;
    ASSERT_NO_FATAL_FAILURE(view_tape(74, feet, 4, "%05.0f", &view));  // 4: the big window
    // A label (taller than a tick) is centred on the strip row under the pointer.
    const int centre = static_cast<int>(std::lround(view.centre_row));
    int top = centre, bottom = centre;
    for (int shift = 1; shift <= 4 && !inked(top); ++shift)
      top = bottom = centre + (shift % 2 ? shift / 2 + 1 : -(shift / 2));
    ASSERT_TRUE(inked(top)) << "a drawing under the pointer, strip row " << view.centre_row;
    while (inked(top - 1)) --top;
    while (inked(bottom + 1)) ++bottom;
    EXPECT_GE(bottom - top + 1, 6) << "a label, not a tick alone";
    EXPECT_NEAR((top + bottom) / 2.0, view.centre_row, 2.0);
  }
}

TEST_F(RenderModules, AnIconsSecondImageAppearsAtValueOneAndBlackLetsThePanelShow) {
  SKIP_UNLESS_BUILT("Tarnwix_Utils");
  ASSERT_NO_FATAL_FAILURE(start("Tarnwix_Utils"));
  host::Panel::instance().set_variable(769, 1);
  const Bitmap* panel_image = bitmaps->find(0x2400);
  const Bitmap* overlay = bitmaps->find(0x2500);
  const Bitmap* lit = bitmaps->find(0x1301);
  ASSERT_TRUE(panel_image && overlay && lit);
  auto legend_at = [](int x, int y) { return y >= 56 && y < 98 && x >= 27 && x < 520; };

  module->frame();
  const Picture unarmed = host::render_frame(module->frame(), bitmaps->source());
  ASSERT_GE(module->click(50, 75), 0);  // BRAKE HELP: arm
  const FrameSnapshot frame = module->frame();
  ASSERT_EQ(frame[2].kind, ElementKind::kIcon);
  EXPECT_EQ(frame[2].values.back(), 1.0);
  const Picture armed = host::render_frame(frame, bitmaps->source());
  int lit_pixels = 0, changed = 0;
  for (int y = 0; y < lit->height; ++y)
    for (int x = 0; x < lit->width; ++x) {
      const Rgb l = host::pixel(*lit, x, y);
      if (l != kBlack) {
        ++lit_pixels;
        EXPECT_EQ(armed.at(27 + x, 56 + y), l) << x << "," << y;
      }
      changed += armed.at(27 + x, 56 + y) != unarmed.at(27 + x, 56 + y);
    }
  EXPECT_GT(lit_pixels, 0) << "the ON legend has a drawing";
  EXPECT_EQ(changed, lit_pixels) << "only the legend's drawing changed";
  // Where the caption overlay is black and no legend lies, the panel image shows.
  int through = 0;
  for (int y = 0; y < overlay->height; ++y)
    for (int x = 0; x < overlay->width; ++x) {
      if (host::pixel(*overlay, x, y) != kBlack || legend_at(x, y)) continue;
      ++through;
      ASSERT_EQ(armed.at(x, y), host::pixel(*panel_image, x, y)) << x << "," << y;
    }
  EXPECT_GT(through, 546 * 111 / 2);
}

// ---- Scenario files

struct BadScenario {
  const char* text;
  const char* message;  // the whole message: source, line and what is wrong
};

TEST(ScenarioParsing, RefusesBadInputNamingTheLine) {
  const BadScenario rows[] = {
      {"module Tarnwix_Altimeter\nfly 3\n", "s.txt:2: unknown key 'fly'"},
      {"module Tarnwix_Altimeter\n\n# note\nset 769 1.2.3\n", "s.txt:4: malformed number '1.2.3'"},
      {"module Tarnwix_Altimeter\nset 769 0x1p3\n", "s.txt:2: malformed number '0x1p3'"},
      {"module Tarnwix_Altimeter\nset 769 nan(1)\n", "s.txt:2: malformed number 'nan(1)'"},
      {"module Tarnwix_Altimeter\nset 769\n", "s.txt:2: set wants TOKEN VALUE"},
      {"module Tarnwix_Altimeter\nset 769 1 2\n", "s.txt:2: set wants TOKEN VALUE"},
      {"module Tarnwix_Altimeter\nset -1 1\n", "s.txt:2: malformed token '-1' (a whole number from 0 to 4294967295)"},
      {"module Tarnwix_Altimeter\nset 4294967296 1\n",
       "s.txt:2: malformed token '4294967296' (a whole number from 0 to 4294967295)"},
      {"module Tarnwix_Altimeter\nramp 7.5 1\n",
       "s.txt:2: malformed token '7.5' (a whole number from 0 to 4294967295)"},
      {"module Tarnwix_Altimeter\nframes 0\n", "s.txt:2: frames wants a count from 1 to 100000, not '0'"},
      {"module Tarnwix_Altimeter\nframes 2.5\n", "s.txt:2: frames wants a count from 1 to 100000, not '2.5'"},
      {"module Tarnwix_Altimeter\nframes\n", "s.txt:2: frames wants a count from 1 to 100000"},
      {"module Tarnwix_Altimeter\nframes 100001\n", "s.txt:2: frames wants a count from 1 to 100000, not '100001'"},
      {"module Tarnwix_Altimeter\nframes 60000\nframes 60000\n", "s.txt: more than 100000 frames in all"},
      {"module Tarnwix_Altimeter\nclick 10\n", "s.txt:2: click wants [MODULE] X Y"},
      {"module Tarnwix_Altimeter\nclick 10 y\n", "s.txt:2: click wants whole-number coordinates, not '10 y'"},
      {"module Tarnwix_Altimeter\nnamed callout -1\n",
       "s.txt:2: malformed named value '-1' (a whole number from 0 to 4294967295)"},
      {"module Tarnwix_Altimeter\nset 769 1\nmodule Tarnwix_Airspeed\n",
       "s.txt:3: module lines come before every action"},
      {"module Tarnwix_Altimeter\nmodule Tarnwix_Altimeter\n",
       "s.txt:2: module Tarnwix_Altimeter is already on the panel"},
      {"module ../evil\n", "s.txt:1: not a module name: '../evil'"},
      {"module Tarnwix_Altimeter at 5\n", "s.txt:1: module wants NAME or NAME at X Y"},
      {"module Tarnwix_Altimeter on 5 5\n", "s.txt:1: module wants NAME at X Y, not 'on'"},
      {"module all at 0 0\n", "s.txt:1: module all takes no position"},
      {"title\n", "s.txt:1: title wants a text"},
      {"module Tarnwix_Altimeter\nframes 1\nramp 61 5\nset 3 1\n", "s.txt:3: ramp without a frames line after it"},
      {"# nothing\nset 769 1\n", "s.txt: no module or panel line"},
      {"", "s.txt: no module or panel line"},
  };
  for (const BadScenario& row : rows) {
    std::string error;
    EXPECT_FALSE(host::parse_scenario(row.text, "s.txt", &error).has_value()) << row.text;
    EXPECT_EQ(error, row.message) << row.text;
  }
}

TEST(ScenarioParsing, ReadsEveryKey) {
  const char* text =
      "# a comment line\r\n"
      "title  Climb out   \n"
      "module Tarnwix_Altimeter at 120 5\n"
      "module Tarnwix_Utils\n"
      "set 769 1   # power\n"
      "set 0x4A -2.5e3\n"
      "set 74 -inf\n"
      "ramp 61 250\n"
      "click Tarnwix_Utils 50 75\n"
      "named callout 4294967295\n"
      "\tframes 40   rolling,  fast \n"
      "frames 1\n";
  std::string error;
  const auto scenario = host::parse_scenario(text, "s.txt", &error);
  ASSERT_TRUE(scenario.has_value()) << error;
  EXPECT_EQ(scenario->title, "Climb out");
  ASSERT_EQ(scenario->modules.size(), 2u);
  EXPECT_EQ(scenario->modules[0].name, "Tarnwix_Altimeter");
  EXPECT_TRUE(scenario->modules[0].placed);
  EXPECT_EQ(scenario->modules[0].x, 120);
  EXPECT_EQ(scenario->modules[0].y, 5);
  EXPECT_FALSE(scenario->modules[1].placed);
  using Kind = host::ScenarioStep::Kind;
  ASSERT_EQ(scenario->steps.size(), 8u);
  const auto& s = scenario->steps;
  EXPECT_TRUE(s[0].kind == Kind::kSet && s[0].token == 769 && s[0].value == 1 && s[0].line == 5);
  EXPECT_TRUE(s[1].kind == Kind::kSet && s[1].token == 74 && s[1].value == -2500);
  EXPECT_TRUE(s[2].kind == Kind::kSet && s[2].value == -kInf);
  EXPECT_TRUE(s[3].kind == Kind::kRamp && s[3].token == 61 && s[3].value == 250);
  EXPECT_TRUE(s[4].kind == Kind::kClick && s[4].module == "Tarnwix_Utils" && s[4].x == 50 && s[4].y == 75);
  EXPECT_TRUE(s[5].kind == Kind::kNamed && s[5].name == "callout" && s[5].word == 4294967295u);
  EXPECT_TRUE(s[6].kind == Kind::kFrames && s[6].frames == 40 && s[6].caption == "rolling,  fast");
  EXPECT_TRUE(s[7].kind == Kind::kFrames && s[7].frames == 1 && s[7].caption.empty() && s[7].line == 12);
  EXPECT_EQ(scenario->total_frames(), 41);

  const auto all = host::parse_scenario("module all\n", "a.txt", &error);
  ASSERT_TRUE(all.has_value()) << error;
  ASSERT_EQ(all->modules.size(), 5u);
  for (const auto& m : all->modules) EXPECT_TRUE(m.placed) << m.name;
}

std::string source_folder() {
  std::string file = __FILE__;
  return file.substr(0, file.find_last_of("/\\")) + "/..";
}

host::RunOptions options_into(const std::string& folder) {
  host::RunOptions options;
  options.modules_folder = dist_dir();
  options.output_folder = folder;
  options.progress = false;
  return options;
}

host::Scenario parsed(const std::string& text) {
  std::string error;
  auto scenario = host::parse_scenario(text, "s.txt", &error);
  EXPECT_TRUE(scenario.has_value()) << error;
  return scenario.value_or(host::Scenario{});
}

TEST(ScenarioRun, FaultsFoundWithTheModulesAreRefusedBeforeAnythingRuns) {
  const struct {
    const char* text;
    const char* message;
  } rows[] = {
      {"module Tarnwix_Background_S\nframes 1\nclick 736 10\n",
       "s.txt:3: click at (736, 10) is outside Tarnwix_Background_S (736 x 770)"},
      {"module Tarnwix_Background_S\nframes 1\nclick 5 -1\n",
       "s.txt:3: click at (5, -1) is outside Tarnwix_Background_S (736 x 770)"},
      {"module Tarnwix_Background_S\nclick Tarnwix_Utils 5 5\n",
       "s.txt:2: click on Tarnwix_Utils, which is not on the panel"},
      {"module Tarnwix_Background_S\nframes 2\nnamed callout 1\n",
       "s.txt:3: no module of the panel registers the named variable \"callout\""},
      {"module Tarnwix_Nothing\nframes 1\n", "s.txt: no module Tarnwix_Nothing ("},
  };
  for (const auto& row : rows) {
    const TemporaryFolder temporary("refused");
    const std::string& folder = temporary.path;
    const host::RunResult result = host::run_scenario(parsed(row.text), options_into(folder));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.message.substr(0, std::strlen(row.message)), row.message);
    EXPECT_TRUE(files_in(folder).empty()) << row.text;
    EXPECT_TRUE(result.log.empty());
  }
  const TemporaryFolder skipped_folder("skipped");
  host::RunOptions skipping = options_into(skipped_folder.path);
  skipping.skip_missing = true;
  const host::RunResult skipped = host::run_scenario(parsed("module Tarnwix_Nothing\nframes 1\n"), skipping);
  EXPECT_TRUE(skipped.ok && skipped.skipped);
  EXPECT_NE(skipped.message.find("Tarnwix_Nothing"), std::string::npos);
}

TEST(ScenarioRun, WritesEveryFrameTheSheetAndTheLog) {
  const TemporaryFolder temporary("run");
  const std::string& folder = temporary.path;
  host::RunOptions options = options_into(folder);
  options.every_frame = true;
  options.output_name = "bezel";
  const host::RunResult result = host::run_scenario(
      parsed("title The bezel\nmodule Tarnwix_Background_S\nset 900 2\nramp 900 10\nframes 4 ramping\nframes 1\n"),
      options);
  ASSERT_TRUE(result.ok) << result.message;
  EXPECT_EQ(files_in(folder),
            (std::vector<std::string>{"bezel-00001.png", "bezel-00002.png", "bezel-00003.png", "bezel-00004.png",
                                      "bezel-00005.png", "bezel.log", "bezel.png"}));
  const Picture frame = read_png(folder + "/bezel-00003.png");
  EXPECT_EQ(frame.width, 736);
  EXPECT_EQ(frame.height, 770);
  const Picture sheet = read_png(folder + "/bezel.png");
  EXPECT_GT(sheet.width, 2 * 736) << "two tiles side by side";
  EXPECT_TRUE(contains(sheet, frame));
  EXPECT_EQ(host::Panel::instance().variable(900), 10.0) << "the ramp ends on its target";
  std::ifstream log(folder + "/bezel.log");
  std::stringstream text;
  text << log.rdbuf();
  EXPECT_EQ(text.str(),
            "title The bezel\n"
            "line 3: set 900 2\n"
            "line 4: ramp 900 to 10\n"
            "after frame 4 (line 5, ramping):\n"
            "after frame 5 (line 6):\n");
}

TEST(ScenarioRun, ARunThatFailsOnItsWayLeavesNoFileBehind) {
  const TemporaryFolder temporary("half");
  const std::string log_in_the_way = temporary.path + "/bezel.log";
  ASSERT_TRUE(CreateDirectoryA(log_in_the_way.c_str(), nullptr));  // the log cannot be written
  host::RunOptions options = options_into(temporary.path);
  options.every_frame = true;
  options.output_name = "bezel";
  const host::RunResult result = host::run_scenario(parsed("module Tarnwix_Background_S\nframes 2\n"), options);
  RemoveDirectoryA(log_in_the_way.c_str());
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.message, "cannot write " + temporary.path + "/bezel.log");
  EXPECT_TRUE(files_in(temporary.path).empty()) << "the frames and the sheet written before are removed";
}

TEST(ScenarioRun, ANamedVariableWrittenByAnotherGaugeIsWhatTheGaugeShows) {
  SKIP_UNLESS_BUILT("Tarnwix_Utils");
  const TemporaryFolder temporary("named");
  host::RunOptions options = options_into(temporary.path);
  options.output_name = "named";
  const host::RunResult result = host::run_scenario(
      parsed("module Tarnwix_Utils\nset 769 1\nframes 1\nnamed callout 5\nframes 1 five\nclick 390 75\nframes 1\n"),
      options);
  ASSERT_TRUE(result.ok) << result.message;
  // The first frame's first-time reset clears the slots; a value written
  // after it stays until the click toggles it to 0.
  const std::vector<std::string> expected{
      "line 2: set 769 1",
      "after frame 1 (line 3): callout=0 testbutton=0",
      "line 4: named callout 5",
      "after frame 2 (line 5, five): callout=5 testbutton=0",
      "line 6: click Tarnwix_Utils (390, 75): area 5",
      "after frame 3 (line 7): callout=0 testbutton=0",
  };
  EXPECT_EQ(result.log, expected);
}

// The shipped flights, each run once every module it needs is built.
class ShippedFlight : public testing::TestWithParam<const char*> {};

TEST_P(ShippedFlight, ParsesAndRunsWithoutFaults) {
  std::string error;
  const auto scenario = host::read_scenario(source_folder() + "/scenarios/" + GetParam() + ".txt", &error);
  ASSERT_TRUE(scenario.has_value()) << error;
  EXPECT_FALSE(scenario->title.empty());
  for (const auto& module : scenario->modules) SKIP_UNLESS_BUILT(module.name);
  const TemporaryFolder temporary(GetParam());
  const std::string& folder = temporary.path;
  // The last frame alone: the contact sheets are the previews' work, and
  // their writing has tests of its own.
  host::RunOptions options = options_into(folder);
  options.last_frame = true;
  const host::RunResult result = host::run_scenario(*scenario, options);
  ASSERT_TRUE(result.ok) << result.message;
  for (const std::string& line : result.log) EXPECT_NE(line.substr(0, 5), "FAULT") << line;
  for (const std::string& line : result.log) EXPECT_NE(line.substr(0, 7), "PROBLEM") << line;
  EXPECT_FALSE(read_png(folder + "/" + GetParam() + ".png").empty());
  if (std::string(GetParam()) == "takeoff_roll") {
    auto logged = [&](const std::string& wanted) {
      return std::any_of(result.log.begin(), result.log.end(),
                         [&](const std::string& line) { return line.find(wanted) != std::string::npos; });
    };
    EXPECT_TRUE(logged("key 65786 16384")) << "brake help applied";
    EXPECT_TRUE(logged("key 65786 0, Tarnwix_Utils key 65820 0, Tarnwix_Utils key 65821 0")) << "and released";
  }
}

INSTANTIATE_TEST_SUITE_P(Flights, ShippedFlight,
                         testing::Values("cold_and_dark", "power_on", "takeoff_roll", "climb", "cruise", "descent",
                                         "panel_takeoff"),
                         [](const testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

}  // namespace
}  // namespace tarnwix::test
