// Tarnwix_Background_S: one fixed bezel picture, no variables, no areas.
#include <limits>

#include "support.h"

namespace tarnwix::test {
namespace {

using host::u32;

constexpr char kName[] = "Tarnwix_Background_S";
constexpr int kBezel = 0x1400;

TEST(BackgroundRecords, OneStaticBezelAtTheOriginWithNoChildren) {
  auto module = load(kName);
  ASSERT_NE(module, nullptr);
  const auto chain = module->chain();
  ASSERT_EQ(chain.size(), 1u);
  const uint8_t* bezel = chain[0];
  EXPECT_EQ(u32(bezel, host::element::kKind), 0u);
  EXPECT_EQ(u32(bezel, host::element::kResourceId), 0x1400u);
  EXPECT_EQ(u32(bezel, host::element::kX), 0u);
  EXPECT_EQ(u32(bezel, host::element::kY), 0u);
  EXPECT_EQ(u32(bezel, host::element::kChildren), 0u);
  for (uint32_t offset = host::element::kHeaderSize; offset < host::static_image::kSize; offset += 4)
    EXPECT_EQ(u32(bezel, offset), 0u) << "host-owned word at " << offset;
}

TEST(BackgroundRecords, GaugeNameComesFirstAndTheFirstDrawFlagFollowsTheHeader) {
  auto module = load(kName);
  ASSERT_NE(module, nullptr);
  const uint8_t* header = module->gauge_header();
  const uint8_t* name = host::ptr(header, host::gauge_header::kName);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(name)), kName);
  EXPECT_LT(name, header) << "the name lies before the gauge header in the module's data";
  EXPECT_EQ(u32(header, host::gauge_header::kSize), 0u) << "first-draw flag at load";
}

TEST(BackgroundRecords, MouseListIsAnEmptyParentWithoutTooltip) {
  auto module = load(kName);
  ASSERT_NE(module, nullptr);
  const auto rects = module->mouse_rects();
  ASSERT_EQ(rects.size(), 3u);
  const uint32_t kinds[] = {1, 3, 0};
  for (size_t i = 0; i < rects.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(rects[i].kind, kinds[i]);
    EXPECT_EQ(rects[i].x | rects[i].y | rects[i].width | rects[i].height, 0);
    EXPECT_EQ(rects[i].cursor, -1);
    EXPECT_EQ(rects[i].help_id | rects[i].event_flags | rects[i].event_id | rects[i].handler | rects[i].data, 0u);
  }
  EXPECT_EQ(module->click(10, 10), -1);
}

TEST(BackgroundBitmap, BezelIs736By770TwentyFourBitsBottomUpInUsEnglish) {
  auto module = load(kName);
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(module->bitmap_ids(), (std::vector<int>{kBezel}));
  const auto bezel = module->bitmap(kBezel);
  ASSERT_TRUE(bezel.has_value());
  EXPECT_EQ(bezel->width, 736);
  EXPECT_EQ(bezel->height, 770);
  EXPECT_EQ(bezel->bits_per_pixel, 24);
  EXPECT_EQ(bezel->compression, 0u);
  EXPECT_EQ(bezel->palette_entries, 0);
  EXPECT_TRUE(bezel->bottom_up);
  EXPECT_EQ(bezel->languages, (std::vector<uint16_t>{1033}));
}

TEST(BackgroundBitmap, PureBlackOnlyOutsideTheFourRoundedCornersAndANearBlackScreen) {
  auto module = load(kName);
  ASSERT_NE(module, nullptr);
  const auto bezel = module->bitmap(kBezel);
  ASSERT_TRUE(bezel.has_value());
  int black = 0;
  int black_away_from_corners = 0;
  for (int y = 0; y < bezel->height; ++y)
    for (int x = 0; x < bezel->width; ++x) {
      if (bezel->r(x, y) != 0 || bezel->g(x, y) != 0 || bezel->b(x, y) != 0) continue;
      ++black;
      const bool near_corner = (x < 40 || x >= bezel->width - 40) && (y < 40 || y >= bezel->height - 40);
      if (!near_corner) ++black_away_from_corners;
    }
  EXPECT_EQ(black, 163);
  EXPECT_EQ(black_away_from_corners, 0);
  const int cx = bezel->width / 2, cy = bezel->height / 2;
  EXPECT_EQ(bezel->r(cx, cy), 5);
  EXPECT_EQ(bezel->g(cx, cy), 5);
  EXPECT_EQ(bezel->b(cx, cy), 5);
}

TEST(BackgroundLifecycle, FirstPreDrawSetsTheFlagOnceAndLaterOnesChangeNothing) {
  auto module = load(kName);
  ASSERT_NE(module, nullptr);
  module->install();
  module->update_only();
  const uint8_t* header = module->gauge_header();
  EXPECT_EQ(u32(header, host::gauge_header::kSize), 0u);
  module->service(10);
  EXPECT_EQ(u32(header, host::gauge_header::kSize), 1u);
  const auto after_first = writable_image_bytes(*module);
  module->service(10);
  module->service(10);
  EXPECT_EQ(writable_image_bytes(*module), after_first);
}

TEST(BackgroundLifecycle, PictureNeverChangesAndNothingIsLookedUp) {
  auto module = load(kName);
  ASSERT_NE(module, nullptr);
  module->install();
  host::Panel& panel = host::Panel::instance();
  for (double power : {0.0, 1.0, -1e300, std::numeric_limits<double>::quiet_NaN()}) {
    panel.set_variable(769, power);
    const auto frame = module->frame();
    ASSERT_EQ(frame.elements.size(), 1u);
    EXPECT_EQ(frame[0].resource_id, kBezel);
    EXPECT_FALSE(frame[0].hidden);
    EXPECT_EQ(frame[0].image_flags, 0x83u);
  }
  EXPECT_TRUE(panel.lookups().empty());
}

TEST(BackgroundLifecycle, SecondPreInitialiseKeepsTheHandleAndResolvesAfresh) {
  auto module = load_with_sound(kName);
  ASSERT_NE(module, nullptr);
  module->install();
  module->service(4);
  EXPECT_EQ(module->imports().load_library, 1);
  EXPECT_EQ(module->imports().get_proc_address, 6);
  module->kill();
  EXPECT_EQ(module->imports().free_library, 1);
}

TEST(BackgroundLifecycle, KillWithoutInstallAndASecondKillAreHarmless) {
  auto module = load_with_sound(kName);
  ASSERT_NE(module, nullptr);
  module->kill();  // takes the library by loading it, terminates and releases
  EXPECT_EQ(module->imports().terminate_sounds, 1);
  EXPECT_EQ(module->imports().free_library, 1);
  module->install();
  module->kill();
  module->kill();
  EXPECT_EQ(module->imports().free_library, module->imports().load_library_loaded);
  EXPECT_TRUE(module->call_faults().empty());
}

}  // namespace
}  // namespace tarnwix::test
