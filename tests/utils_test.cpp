// The records, bitmaps and lifecycle of both utilities strips, read through
// the host at the byte offsets the simulator reads.
#include <algorithm>
#include <array>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "host/records.h"
#include "support.h"

namespace tarnwix::test {
namespace {

using host::Panel;
namespace el = host::element;
namespace mr = host::mouse_rect;

constexpr uint32_t kPower = 769;

// The element chain, in drawing order; the virtual-cockpit strip has the
// first six rows.
struct ElementRow {
  const char* name;
  uint32_t kind;
  int32_t id, x, y;
};
constexpr ElementRow kElements[] = {
    {"panel image", 0, 0x2400, 0, 0},
    {"label overlay", 4, 0x2500, 0, 0},
    {"brake-help ON legend", 4, 0x1300, 27, 56},
    {"NAV legend", 4, 0x1400, 120, 56},
    {"GPS legend", 4, 0x2000, 196, 56},
    {"SET legend", 4, 0x2100, 290, 56},
    {"CALL OUT ON legend", 4, 0x1900, 364, 56},
    {"CHK legend", 4, 0x2200, 458, 56},
};

// The mouse rectangle list between the parent and the parent end record.
struct AreaRow {
  const char* name;
  int32_t x, y, width, height, cursor;
};
constexpr AreaRow kAreas[] = {
    {"VOR input area", 120, 54, 135, 43, 5}, {"baro-set area", 289, 54, 61, 42, 5},
    {"brake-help area", 26, 56, 61, 40, 5},  {"annunciator-test area", 457, 55, 63, 42, 5},
    {"callout area", 363, 55, 62, 41, 0},
};

struct BitmapRow {
  int id, width, height, palette_entries;
  bool all_black;
};
constexpr BitmapRow kBitmaps[] = {
    {0x1300, 62, 42, 70, true},     {0x1301, 62, 42, 68, false},    {0x1400, 62, 42, 82, false},
    {0x1401, 62, 42, 70, true},     {0x1900, 62, 42, 70, true},     {0x1901, 62, 42, 68, false},
    {0x2000, 62, 42, 70, true},     {0x2001, 62, 42, 78, false},    {0x2100, 62, 42, 70, true},
    {0x2101, 62, 42, 54, false},    {0x2200, 62, 42, 70, true},     {0x2201, 62, 42, 70, false},
    {0x2400, 546, 111, 256, false}, {0x2500, 546, 111, 102, false}, {0x2501, 3, 2, 256, true},
};
bool only_on_2d_strip(int id) { return id == 0x1900 || id == 0x1901 || id == 0x2200 || id == 0x2201; }

struct Strip {
  const char* name;
  size_t elements;  // rows of kElements
  size_t areas;     // rows of kAreas
};
void PrintTo(const Strip& strip, std::ostream* os) { *os << strip.name; }

class Records : public ::testing::TestWithParam<Strip> {
 protected:
  void SetUp() override {
    module_ = load(GetParam().name);
    ASSERT_NE(module_, nullptr);
  }
  std::unique_ptr<host::Module> module_;
};

TEST_P(Records, GaugeNameAndVariableTable) {
  EXPECT_EQ(module_->gauge_name(), GetParam().name);
  module_->install();
  module_->frame();
  module_->frame();
  EXPECT_EQ(Panel::instance().lookups(), (std::vector<uint32_t>{848, 60, 322, 832, 769, 848, 60, 322, 832, 769}));
}

TEST_P(Records, ElementChainInTableOrder) {
  const std::vector<uint8_t*> chain = module_->chain();
  ASSERT_EQ(chain.size(), GetParam().elements);
  const uint8_t* gauge = module_->gauge_header();
  for (size_t i = 0; i < chain.size(); ++i) {
    const ElementRow& row = kElements[i];
    SCOPED_TRACE(row.name);
    const uint8_t* element = chain[i];
    EXPECT_EQ(host::u32(element, el::kKind), row.kind);
    EXPECT_EQ(host::i32(element, el::kResourceId), row.id);
    EXPECT_EQ(host::i32(element, el::kX), row.x);
    EXPECT_EQ(host::i32(element, el::kY), row.y);
    EXPECT_EQ(host::u32(element, el::kImageFlags), el::kFlagsAtLoad) << "before any callback";
    EXPECT_EQ(host::ptr(element, el::kGauge), gauge);
    const uint8_t* failures = host::ptr(element, el::kFailures);
    ASSERT_NE(failures, nullptr);
    EXPECT_EQ(host::u32(failures, 0) | host::u32(failures, 4) | host::u32(failures, 8), 0u) << "only the end record";
    const uint8_t* children = host::ptr(element, el::kChildren);
    if (i + 1 < chain.size()) {
      ASSERT_NE(children, nullptr);
      EXPECT_EQ(host::ptr(children, 0), chain[i + 1]);
      EXPECT_EQ(host::ptr(children, 4), nullptr) << "exactly one child";
    } else {
      EXPECT_EQ(children, nullptr);
    }
    if (row.kind == 4) {
      EXPECT_EQ(host::u32(element, host::icon::kSwitchingMode), 3u);
      EXPECT_EQ(host::u32(element, host::icon::kImageCount), 2u);
      EXPECT_EQ(host::u32(element, host::icon::kSource + host::module_variable::kToken), 0u);
      EXPECT_NE(host::u32(element, host::icon::kCallback), 0u);
    }
  }
}

TEST_P(Records, MouseRectangleList) {
  const std::vector<host::MouseRectView> rects = module_->mouse_rects();
  const size_t areas = GetParam().areas;
  ASSERT_EQ(rects.size(), areas + 3);
  for (size_t i : {size_t{0}, areas + 1, areas + 2}) {
    const host::MouseRectView& r = rects[i];
    EXPECT_EQ(r.kind, i == 0 ? mr::kParent : i == areas + 1 ? mr::kParentEnd : mr::kListEnd) << "record " << i;
    EXPECT_EQ(r.cursor, -1) << "record " << i;
    EXPECT_EQ(r.x | r.y | r.width | r.height, 0) << "record " << i;
    EXPECT_EQ(r.handler, 0u) << "record " << i;
  }
  std::set<uint32_t> handlers;
  for (size_t i = 0; i < areas; ++i) {
    const AreaRow& row = kAreas[i];
    const host::MouseRectView& r = rects[i + 1];
    SCOPED_TRACE(row.name);
    EXPECT_EQ(r.kind, mr::kChild);
    EXPECT_EQ(r.x, row.x);
    EXPECT_EQ(r.y, row.y);
    EXPECT_EQ(r.width, row.width);
    EXPECT_EQ(r.height, row.height);
    EXPECT_EQ(r.cursor, row.cursor);
    EXPECT_EQ(r.event_flags, 0x20000000u);
    EXPECT_EQ(r.help_id, 0u);
    EXPECT_EQ(r.event_id, 0u);
    EXPECT_EQ(r.data, 0u);
    EXPECT_NE(r.handler, 0u);
    handlers.insert(r.handler);
  }
  EXPECT_EQ(handlers.size(), areas) << "one handler per area";
}

// Clicks at the corners inside each area reach its handler; one pixel beyond
// any edge reaches none.
TEST_P(Records, AreasHitInsideAndMissJustOutside) {
  module_->install();
  module_->frame();
  for (size_t i = 0; i < GetParam().areas; ++i) {
    const AreaRow& row = kAreas[i];
    SCOPED_TRACE(row.name);
    const int right = row.x + row.width - 1, bottom = row.y + row.height - 1;
    for (auto [x, y] : {std::pair{row.x, row.y}, {right, row.y}, {row.x, bottom}, {right, bottom}})
      EXPECT_EQ(module_->click(x, y), static_cast<int>(i + 1)) << x << "," << y;
    for (auto [x, y] : {std::pair{row.x - 1, row.y}, {right + 1, row.y}, {row.x, row.y - 1}, {row.x, bottom + 1}})
      EXPECT_EQ(module_->click(x, y), -1) << x << "," << y;
  }
  EXPECT_TRUE(module_->call_faults().empty());
}

TEST_P(Records, BitmapsInTheirSizesAndDepths) {
  std::vector<int> expected;
  for (const BitmapRow& row : kBitmaps)
    if (GetParam().areas == 5 || !only_on_2d_strip(row.id)) expected.push_back(row.id);
  std::vector<int> ids = module_->bitmap_ids();
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(ids, expected);
  for (int id : expected) {
    const BitmapRow& row = *std::find_if(std::begin(kBitmaps), std::end(kBitmaps), [&](auto& r) { return r.id == id; });
    SCOPED_TRACE(testing::Message() << "bitmap 0x" << std::hex << id);
    const auto bitmap = module_->bitmap(id);
    ASSERT_TRUE(bitmap.has_value());
    EXPECT_EQ(bitmap->width, row.width);
    EXPECT_EQ(bitmap->height, row.height);
    EXPECT_EQ(bitmap->bits_per_pixel, 8);
    EXPECT_EQ(bitmap->compression, 0u);
    EXPECT_EQ(bitmap->palette_entries, row.palette_entries);
    ASSERT_EQ(bitmap->rgb.size(), static_cast<size_t>(row.width * row.height * 3));
    const bool black = std::all_of(bitmap->rgb.begin(), bitmap->rgb.end(), [](uint8_t v) { return v == 0; });
    EXPECT_EQ(black, row.all_black);
  }
}

// The legends and overlay light the panel image in place: black lets the
// panel show through, and every lit pixel falls on the unlit word or caption
// it lights.
TEST_P(Records, LitPicturesAgreeWithThePanelImage) {
  const auto panel = module_->bitmap(0x2400);
  const auto overlay = module_->bitmap(0x2500);
  ASSERT_TRUE(panel && overlay);
  auto pixel = [](const host::Bitmap& b, int x, int y) { return std::vector<int>{b.r(x, y), b.g(x, y), b.b(x, y)}; };
  const std::vector<int> black{0, 0, 0};
  const std::vector<int> background = pixel(*panel, 10, 10);
  for (int y = 0; y < panel->height; ++y)
    for (int x = 0; x < panel->width; ++x) ASSERT_NE(pixel(*panel, x, y), black) << "panel image " << x << "," << y;

  int caption_pixels = 0;
  for (int y = 0; y < overlay->height; ++y)
    for (int x = 0; x < overlay->width; ++x) {
      if (pixel(*overlay, x, y) == black) continue;
      ++caption_pixels;
      EXPECT_NE(pixel(*panel, x, y), background) << "caption pixel " << x << "," << y;
      EXPECT_LT(y, 56) << "captions stand above the buttons";
    }
  EXPECT_GT(caption_pixels, 500);

  for (size_t i = 2; i < GetParam().elements; ++i) {
    const ElementRow& row = kElements[i];
    SCOPED_TRACE(row.name);
    // The lit state: 0 for NAV, 1 for the others.
    const int lit_id = row.id == 0x1400 ? row.id : row.id + 1;
    const auto legend = module_->bitmap(lit_id);
    ASSERT_TRUE(legend.has_value());
    const std::vector<int> face = pixel(*panel, row.x + 4, row.y + 4);
    EXPECT_NE(face, background) << "a button stands at the legend's place";
    int word_pixels = 0;
    for (int y = 0; y < legend->height; ++y)
      for (int x = 0; x < legend->width; ++x) {
        const std::vector<int> p = pixel(*legend, x, y);
        if (p == black) continue;
        ++word_pixels;
        EXPECT_GT(p[1], 2 * std::max(p[0], p[2])) << "green at " << x << "," << y;
        const std::vector<int> under = pixel(*panel, row.x + x, row.y + y);
        EXPECT_NE(under, face) << "over the unlit word at " << x << "," << y;
        EXPECT_NE(under, background) << "inside the button at " << x << "," << y;
      }
    EXPECT_GT(word_pixels, 60);
  }
}

INSTANTIATE_TEST_SUITE_P(Strips, Records,
                         ::testing::Values(Strip{"Tarnwix_Utils", 8, 5}, Strip{"Tarnwix_UtilsVC", 6, 3}),
                         [](const auto& info) { return std::string(info.param.name); });

// The virtual-cockpit strip shows the same pictures as the 2D strip.
TEST(UtilsVcBitmaps, AreThoseOfThe2dStrip) {
  auto utils = load("Tarnwix_Utils");
  ASSERT_NE(utils, nullptr);
  auto utils_vc = host::Module::load(module_path("Tarnwix_UtilsVC"));
  ASSERT_NE(utils_vc, nullptr);
  for (int id : utils_vc->bitmap_ids()) {
    const auto a = utils->bitmap(id), b = utils_vc->bitmap(id);
    ASSERT_TRUE(a && b) << id;
    EXPECT_EQ(a->rgb, b->rgb) << id;
  }
}

// A services table like the host's whose withdrawal service first notes how
// often the module had released the sound library by then.
const host::Module* probed_module = nullptr;
std::vector<int> releases_at_withdrawal;
using WithdrawService = void(__stdcall*)(const char*);
WithdrawService host_withdraw = nullptr;

void __stdcall probing_withdraw(const char* name) {
  releases_at_withdrawal.push_back(probed_module->imports().free_library);
  host_withdraw(name);
}

std::array<void*, host::panel_services::kSlots> probing_services(const host::Module& module) {
  std::array<void*, host::panel_services::kSlots> table;
  std::memcpy(table.data(), Panel::instance().services_table(), sizeof table);
  constexpr size_t kWithdrawSlot = host::panel_services::kUnregisterNamedVariable / 4;
  host_withdraw = reinterpret_cast<WithdrawService>(table[kWithdrawSlot]);
  table[kWithdrawSlot] = reinterpret_cast<void*>(&probing_withdraw);
  probed_module = &module;
  releases_at_withdrawal.clear();
  return table;
}

TEST(UtilsNamedVariables, RegisteredFromPreInstallToPreKill) {
  auto module = load_with_sound("Tarnwix_Utils");
  ASSERT_NE(module, nullptr);
  Panel& panel = Panel::instance();
  module->service(2);
  EXPECT_EQ(panel.registration_log(), (std::vector<std::string>{"register testbutton", "register callout"}));
  ASSERT_EQ(panel.named_variables().size(), 2u);
  const host::NamedVariable testbutton = panel.named_variables().at("testbutton");
  const host::NamedVariable callout = panel.named_variables().at("callout");
  EXPECT_EQ(testbutton.type, 0x13u);
  EXPECT_EQ(callout.type, 0x13u);
  EXPECT_NE(testbutton.address, nullptr);
  EXPECT_NE(testbutton.address, callout.address);
  EXPECT_EQ(panel.read_named("testbutton"), 0u);
  EXPECT_EQ(panel.read_named("callout"), 0u);

  module->service(2);  // no guard: both again, at the same words
  EXPECT_EQ(panel.registration_log().size(), 4u);
  EXPECT_EQ(panel.registration_log()[2], "register testbutton");
  EXPECT_EQ(panel.registration_log()[3], "register callout");
  EXPECT_EQ(panel.named_variables().at("testbutton").address, testbutton.address);

  module->service(4);
  panel.set_variable(kPower, 1.0);
  module->frame();
  ASSERT_TRUE(panel.write_named("testbutton", 1));
  const host::FrameSnapshot frame = module->frame();
  EXPECT_EQ(frame[7].values, std::vector<double>{1.0}) << "the CHK legend reads what another gauge wrote";

  module->reset_import_counts();
  std::array<void*, host::panel_services::kSlots> services = probing_services(*module);
  host::put_u32(module->import_table(), host::import_table::kServices,
                static_cast<uint32_t>(reinterpret_cast<uintptr_t>(services.data())));
  module->kill();
  EXPECT_EQ(module->imports().terminate_sounds, 1);
  EXPECT_EQ(module->imports().free_library, 1);
  EXPECT_EQ(releases_at_withdrawal, (std::vector<int>{1, 1})) << "both withdrawn after the library is released";
  const std::vector<std::string>& log = panel.registration_log();
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[4], "unregister testbutton");
  EXPECT_EQ(log[5], "unregister callout");
  EXPECT_TRUE(panel.named_variables().empty());
  EXPECT_TRUE(panel.trapped_slots().empty());
  EXPECT_TRUE(module->call_faults().empty());
}

TEST(UtilsNamedVariables, PreKillWithoutTheSoundLibraryStillWithdrawsThem) {
  auto module = load("Tarnwix_Utils");
  ASSERT_NE(module, nullptr);
  module->install();
  module->frame();
  module->kill();
  EXPECT_EQ(module->imports().terminate_sounds, 0);
  EXPECT_EQ(Panel::instance().registration_log(),
            (std::vector<std::string>{"register testbutton", "register callout", "unregister testbutton",
                                      "unregister callout"}));
}

TEST(UtilsVcNamedVariables, NoneRegisteredNorWithdrawn) {
  auto module = load_with_sound("Tarnwix_UtilsVC");
  ASSERT_NE(module, nullptr);
  Panel& panel = Panel::instance();
  module->service(2);
  EXPECT_TRUE(panel.registration_log().empty());
  EXPECT_TRUE(panel.lookups().empty());
  EXPECT_TRUE(panel.key_events().empty());
  EXPECT_EQ(module->imports().load_library, 0) << "pre-install does no other work";
  module->service(4);
  module->frame();
  module->reset_import_counts();
  module->kill();
  EXPECT_EQ(module->imports().terminate_sounds, 1);
  EXPECT_TRUE(panel.registration_log().empty());
  EXPECT_TRUE(panel.trapped_slots().empty());
  EXPECT_TRUE(module->call_faults().empty());
}

}  // namespace
}  // namespace tarnwix::test
