// The altimeter's bitmaps against the records that move them. The strip of a
// moving image slides behind its mask by (strip height - mask height) pixels
// while the y value goes from the first bound to the second: at the first
// bound the strip's top row meets the mask's top row, at the second its bottom
// row meets the mask's bottom row, linearly between. A slider's image moves by
// its y value times its y scale. Sizes come from the module's bitmaps, bounds
// and scales from its records, so the pictures are checked against both.
#include <cmath>
#include <optional>
#include <vector>

#include "altimeter_support.h"

namespace tarnwix::test::altimeter {
namespace {

bool white(const host::Bitmap& b, int x, int y) { return b.r(x, y) > 200 && b.g(x, y) > 200 && b.b(x, y) > 200; }
bool magenta(const host::Bitmap& b, int x, int y) { return b.r(x, y) > 200 && b.g(x, y) < 60 && b.b(x, y) > 200; }
bool pure_black(const host::Bitmap& b, int x, int y) { return b.r(x, y) == 0 && b.g(x, y) == 0 && b.b(x, y) == 0; }
bool window(const host::Bitmap& b, int x, int y) { return b.r(x, y) == 1 && b.g(x, y) == 1 && b.b(x, y) == 1; }
bool ink(const host::Bitmap& b, int x, int y) { return b.r(x, y) > 60 || b.g(x, y) > 60 || b.b(x, y) > 60; }

// How far the strip has slid up behind the mask at value v, in pixels.
double strip_offset(const host::ElementSnapshot& element, const host::Bitmap& strip, const host::Bitmap& mask,
                    double v) {
  const double fraction = (element.first_bound - v) / (element.first_bound - element.second_bound);
  return fraction * (strip.height - mask.height);
}

// The middle of the rows in [from, to) for which `test` holds at column x, or
// nullopt when there are none.
template <typename Test>
std::optional<double> middle_of_rows(const host::Bitmap& b, int x, int from, int to, Test test) {
  int first = -1, last = -1;
  for (int y = std::max(from, 0); y < std::min(to, b.height); ++y) {
    if (!test(b, x, y)) continue;
    if (first < 0) first = y;
    last = y;
  }
  if (first < 0) return std::nullopt;
  return (first + last + 1) / 2.0;
}

// The same over every column.
template <typename Test>
std::optional<double> middle_of_drawn_rows(const host::Bitmap& b, Test test) {
  int first = -1, last = -1;
  for (int y = 0; y < b.height; ++y)
    for (int x = 0; x < b.width; ++x) {
      if (!test(b, x, y)) continue;
      if (first < 0) first = y;
      last = y;
    }
  if (first < 0) return std::nullopt;
  return (first + last + 1) / 2.0;
}

class AltimeterArtwork : public AltimeterTest {
 protected:
  host::Bitmap bitmap(int id) {
    std::optional<host::Bitmap> found = module->bitmap(id);
    EXPECT_TRUE(found.has_value()) << std::hex << id;
    return found.value_or(host::Bitmap{});
  }
};

TEST_F(AltimeterArtwork, TapeTicksAndLabelsReachTheWindowMiddleAtTheirAltitude) {
  const host::ElementSnapshot tape = row(frame({}), kTape);
  const host::Bitmap strip = bitmap(0x100), mask = bitmap(0x101);
  ASSERT_EQ(strip.height, 18342);
  const double middle = mask.height / 2.0;
  int ticks = 0, labels = 0;
  for (int feet = -2000; feet <= 70600; feet += 100) {
    const double centre = middle + strip_offset(tape, strip, mask, feet);  // the strip row at the middle
    const int y = static_cast<int>(std::floor(centre));
    // A tick every 100 feet, across the middle row and clear of its neighbours.
    EXPECT_TRUE(white(strip, 2, y)) << feet << " ft: no tick at strip row " << y;
    EXPECT_FALSE(ink(strip, 2, y - 4)) << feet << " ft";
    EXPECT_FALSE(ink(strip, 2, y + 4)) << feet << " ft";
    ++ticks;
    if (feet % 200 != 0) continue;
    // A label every 200 feet, centred on the same row.
    int top = strip.height, bottom = -1;
    for (int x = 20; x < strip.width; ++x)
      for (int r = y - 20; r <= y + 20; ++r)
        if (r >= 0 && r < strip.height && ink(strip, x, r)) top = std::min(top, r), bottom = std::max(bottom, r);
    ASSERT_LE(top, bottom) << feet << " ft: no label";
    EXPECT_NEAR((top + bottom + 1) / 2.0, centre, 1.5) << feet << " ft";
    ++labels;
  }
  EXPECT_EQ(ticks, 727);
  EXPECT_EQ(labels, 364);
  // 70600 is the highest mark: nothing is drawn above its label.
  const int highest = static_cast<int>(middle + strip_offset(tape, strip, mask, 70600));
  for (int y = 0; y < highest - 12; ++y)
    for (int x = 0; x < strip.width; ++x) ASSERT_FALSE(ink(strip, x, y)) << "row " << y;
}

TEST_F(AltimeterArtwork, TapeMaskIsAWindowWithTheAltitudeBoxAndPointerAtItsMiddle) {
  const host::Bitmap mask = bitmap(0x101), strip = bitmap(0x100);
  const double middle = mask.height / 2.0;
  // The tape shows through above and below the box, over the strip's width.
  for (int x = 0; x < strip.width; ++x) {
    for (int y = 0; y < middle - 30; ++y) ASSERT_TRUE(window(mask, x, y)) << x << ", " << y;
    for (int y = static_cast<int>(middle + 30); y < mask.height; ++y) ASSERT_TRUE(window(mask, x, y)) << x << ", " << y;
  }
  // Beside the tape and inside the box the mask is outside the window.
  for (int y = 0; y < mask.height; ++y)
    ASSERT_TRUE(pure_black(mask, mask.width - 10, y) || ink(mask, mask.width - 10, y));
  EXPECT_TRUE(pure_black(mask, strip.width - 5, static_cast<int>(middle)));
  // The box's outline and the white pointer are centred on the middle row.
  const std::optional<double> box = middle_of_rows(mask, mask.width - 1, 0, mask.height, ink);
  ASSERT_TRUE(box.has_value());
  EXPECT_NEAR(*box, middle, 1.0);
  const std::optional<double> pointer = middle_of_drawn_rows(mask, white);
  ASSERT_TRUE(pointer.has_value());
  EXPECT_NEAR(*pointer, middle, 1.0);
}

TEST_F(AltimeterArtwork, GroundLineReachesTheWindowMiddleOnTheGroundAndItsEdgeAt460Feet) {
  const host::ElementSnapshot marker = row(frame({}), kGroundMarker);
  const host::Bitmap strip = bitmap(0x1200), mask = bitmap(0x1201);
  // The ground line: the first row drawn, with only black above it.
  int ground = -1;
  for (int y = 0; y < strip.height && ground < 0; ++y)
    for (int x = 0; x < strip.width; ++x)
      if (ink(strip, x, y)) ground = y;
  ASSERT_GE(ground, 0);
  for (int x = 0; x < strip.width; ++x) EXPECT_TRUE(ink(strip, x, ground)) << "the line spans the strip at " << x;
  // Seen through the mask: mask row = strip row - offset.
  EXPECT_NEAR(ground - strip_offset(marker, strip, mask, 0.0), mask.height / 2.0, 1.0);
  EXPECT_GE(ground - strip_offset(marker, strip, mask, 460.0), mask.height - 1.0);
  const double halfway = ground - strip_offset(marker, strip, mask, 230.0);
  EXPECT_GT(halfway, mask.height / 2.0);
  EXPECT_LT(halfway, mask.height);
  for (int y = 0; y < mask.height; ++y)
    for (int x = 0; x < mask.width; ++x) ASSERT_TRUE(window(mask, x, y));
}

TEST_F(AltimeterArtwork, SelectedAltitudeMarkerReachesTheWindowMiddleAtTheSelectedAltitude) {
  const host::ElementSnapshot marker = row(frame({}), kSelectedMarker);
  const host::Bitmap strip = bitmap(0x1400), mask = bitmap(0x1401);
  const std::optional<double> bug = middle_of_rows(strip, strip.width - 1, 0, strip.height, magenta);
  ASSERT_TRUE(bug.has_value());
  EXPECT_NEAR(*bug - strip_offset(marker, strip, mask, 460.0), mask.height / 2.0, 1.0);
  // 500 feet above the selected altitude (920) the marker sits at the window's lower edge.
  EXPECT_NEAR(*bug - strip_offset(marker, strip, mask, 920.0), mask.height, 1.5);
  EXPECT_NEAR(*bug - strip_offset(marker, strip, mask, 0.0), 0.0, 1.5);
  for (int y = 0; y < mask.height; ++y)
    for (int x = 0; x < mask.width; ++x) ASSERT_TRUE(window(mask, x, y));
}

// The white rows of a bar's window at value v, as (count, first row).
std::pair<int, int> white_in_window(const host::ElementSnapshot& bar, const host::Bitmap& strip,
                                    const host::Bitmap& mask, double v) {
  const double offset = strip_offset(bar, strip, mask, v);
  int count = 0, first = -1;
  for (int m = 0; m < mask.height; ++m) {
    const int y = static_cast<int>(std::floor(m + offset + 0.5));
    if (y < 0 || y >= strip.height || !white(strip, 0, y)) continue;
    if (first < 0) first = m;
    ++count;
  }
  return {count, first};
}

TEST_F(AltimeterArtwork, BarsFillTheirWindowInProportionToTheVerticalSpeed) {
  const host::FrameSnapshot f = frame({});
  const host::Bitmap climb = bitmap(0x1800), climb_mask = bitmap(0x1801);
  const host::Bitmap descent = bitmap(0x2000), descent_mask = bitmap(0x2001);
  for (double fpm : {0.0, 300.0, 750.0, 1500.0, 2250.0, 3000.0}) {
    const int expected = static_cast<int>(std::lround(fpm / 3000.0 * climb_mask.height));
    // Climbing: white grows up from the window's lower edge.
    const auto [up, up_first] = white_in_window(row(f, kClimbBar), climb, climb_mask, fpm);
    EXPECT_NEAR(up, expected, 1) << fpm << " fpm";
    if (up > 0) {
      EXPECT_EQ(up_first + up, climb_mask.height) << fpm << " fpm";
    }
    // Descending: white grows down from the window's upper edge.
    const auto [down, down_first] = white_in_window(row(f, kDescentBar), descent, descent_mask, -fpm);
    EXPECT_NEAR(down, expected, 1) << -fpm << " fpm";
    if (down > 0) {
      EXPECT_EQ(down_first, 0) << -fpm << " fpm";
    }
  }
  // The climb window ends where the descent window begins.
  EXPECT_EQ(row(f, kClimbBar).y + climb_mask.height, row(f, kDescentBar).y);
}

TEST_F(AltimeterArtwork, PointerMeetsTheScaleMarkOfItsValue) {
  const host::FrameSnapshot f = frame({});
  const host::ElementSnapshot& scale = row(f, kScale);
  const host::ElementSnapshot& slider = row(f, kPointer);
  const host::Bitmap marks = bitmap(0x1600), pointer = bitmap(0x2200);
  const std::optional<double> tip = middle_of_drawn_rows(pointer, magenta);
  ASSERT_TRUE(tip.has_value());
  // The marks, as runs of white rows in one column of the scale.
  const int column = 15;
  std::vector<double> runs;
  for (int y = 0; y < marks.height; ++y) {
    if (!white(marks, column, y)) continue;
    int end = y;
    while (end + 1 < marks.height && white(marks, column, end + 1)) ++end;
    runs.push_back((y + end + 1) / 2.0);
    y = end;
  }
  ASSERT_EQ(runs.size(), 7u) << "marks 3, 2, 1, centre, 1, 2, 3";
  for (int thousands = -3; thousands <= 3; ++thousands) {
    const double on_screen = slider.y + *tip + thousands * 1000.0 * slider.y_scale;
    EXPECT_NEAR(runs[3 - thousands], on_screen - scale.y, 1.0) << thousands * 1000 << " fpm";
  }
}

}  // namespace
}  // namespace tarnwix::test::altimeter
