// Panels: the panel.cfg reader as the simulator reads it, the layout checked
// on the pixels it draws (places, scaling, outlines, backgrounds), and runs
// of real modules in a panel's layout.
#include "panel.h"

#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>

#include "panel_config.h"
#include "picture_files.h"
#include "scenario.h"
#include "support.h"

namespace tarnwix::test {
namespace {

using host::GaugeSize;
using host::PanelConfig;
using host::PanelGauge;
using host::Picture;
using host::Rgb;

constexpr Rgb kMagenta{255, 0, 255};

std::optional<PanelConfig> parse(const std::string& text, std::string* error = nullptr) {
  std::string ignored;
  return host::parse_panel_config(text, "p.cfg", error ? error : &ignored);
}

// ---- Reading panel.cfg

TEST(PanelConfigReading, ReadsCommentsLineEndsSpacingAndCaseAsTheSimulator) {
  const std::string text =
      "// a whole-line comment\r\n"
      "[window titles]\r\n"
      "WINDOW00 = Main panel // its title\r\n"
      "[Views]\r\n"
      "gauge00=Ignored!Ignored, 1, 2\r\n"
      "  [ Window00 ]  \r\n"
      "FILE = back.bmp\r\n"
      "file=second.bmp\r\n"
      "Size_MM= 300 ,200\r\n"
      "Visible=0\r\n"
      "ident = MAIN_PANEL\r\n"
      "position=7\r\n"
      "unknown_key=anything at all\r\n"
      "a line without an equals sign\r\n"
      "gauge01 =Tarnwix_Altimeter ,  10.5,20 ,  30\r\n"
      "Gauge00= Tarnwix_Airspeed!Tarnwix_Airspeed,1,2,3,4 ,param one, two  // trailing words\r\n"
      "//gauge02=Commented!Out, 0, 0\r\n"
      "[Window00]\r\n"
      "gauge02=Repeated!Section, 0, 0\r\n"
      "[VCockpit01]\n"
      "pixel_size=512, 256\n"
      "texture=$VC01\n"
      "gauge00=Tarnwix_UtilsVC!Tarnwix_UtilsVC, 0, 0, 512";
  std::string error;
  const auto config = parse(text, &error);
  ASSERT_TRUE(config.has_value()) << error;
  ASSERT_EQ(config->windows.size(), 2u);
  const host::PanelWindow& main = config->windows[0];
  EXPECT_EQ(main.name(), "Window00");
  EXPECT_EQ(main.title, "Main panel");
  EXPECT_EQ(main.background, "back.bmp") << "the first key of a name counts";
  EXPECT_EQ(main.size_mm_width, 300.0);
  EXPECT_EQ(main.size_mm_height, 200.0);
  EXPECT_FALSE(main.visible);
  EXPECT_EQ(main.ident, "MAIN_PANEL");
  EXPECT_EQ(main.position, "7");
  ASSERT_EQ(main.gauges.size(), 2u) << "a repeated section and a commented line add nothing";
  const PanelGauge& first = main.gauges[0];
  EXPECT_EQ(first.number, 0) << "drawn in number order";
  EXPECT_EQ(first.line, 16);
  EXPECT_EQ(first.module, "Tarnwix_Airspeed");
  EXPECT_EQ(first.gauge, "Tarnwix_Airspeed");
  EXPECT_EQ(first.x, 1);
  EXPECT_EQ(first.height, 4.0);
  EXPECT_EQ(first.parameters, "param one, two");
  const PanelGauge& second = main.gauges[1];
  EXPECT_EQ(second.gauge, "Tarnwix_Altimeter") << "without '!' the module names the gauge";
  EXPECT_EQ(second.x, 10.5);
  EXPECT_EQ(second.width, 30.0);
  EXPECT_FALSE(second.height.has_value());
  const host::PanelWindow& cockpit = config->windows[1];
  EXPECT_TRUE(cockpit.virtual_cockpit);
  EXPECT_EQ(cockpit.pixel_width, 512);
  EXPECT_EQ(cockpit.pixel_height, 256);
  EXPECT_EQ(host::window_file_stem(cockpit), "VCockpit01_VC01");
  EXPECT_EQ(host::window_file_stem(main), "Window00_Main_panel");
  for (const char* name : {"0", "window00", "Window0", "WINDOW00"}) EXPECT_EQ(config->find(name), &main) << name;
  EXPECT_EQ(config->find("vcockpit01"), &cockpit);
  EXPECT_EQ(config->find("3"), nullptr);
  EXPECT_EQ(config->find("x"), nullptr);
}

TEST(PanelConfigReading, RefusesAMalformedLineWithItsLineNumber) {
  const struct {
    const char* line;  // the fourth line, after "[Window00]\nfile=a.bmp\n// c\n"
    const char* message;
  } rows[] = {
      {"gauge00=A!B, 10", "p.cfg:4: gauge00 wants Module!Gauge, X, Y[, W[, H]]: a coordinate is missing"},
      {"gauge00=A!B", "p.cfg:4: gauge00 wants Module!Gauge, X, Y[, W[, H]]: a coordinate is missing"},
      {"gauge00=A!B, , 5", "p.cfg:4: gauge00 wants Module!Gauge, X, Y[, W[, H]]: a coordinate is missing"},
      {"gauge00=A!B, ten, 5", "p.cfg:4: gauge00: X is not a number up to 100000: 'ten'"},
      {"gauge00=A!B, 1, 5e2", "p.cfg:4: gauge00: Y is not a number up to 100000: '5e2'"},
      {"gauge00=A!B, 1, 2, nan", "p.cfg:4: gauge00: W is not a number up to 100000: 'nan'"},
      {"gauge00=A!B, 1, 2, inf", "p.cfg:4: gauge00: W is not a number up to 100000: 'inf'"},
      {"gauge00=A!B, 1, 2, 100001", "p.cfg:4: gauge00: W is not a number up to 100000: '100001'"},
      {"gauge00=A!B, 1, 2, 1.2.3", "p.cfg:4: gauge00: W is not a number up to 100000: '1.2.3'"},
      {"gauge00=A!B, 1, 2, -5", "p.cfg:4: gauge00: W is a negative size: '-5'"},
      {"gauge00=A!B, 1, 2, 5, -1", "p.cfg:4: gauge00: H is a negative size: '-1'"},
      {"gauge00=A!B, 1, 2, , 7", "p.cfg:4: gauge00: a height without a width"},
      {"gauge07=!B, 1, 2", "p.cfg:4: gauge07 names no module"},
      {"gauge00=A!, 1, 2", "p.cfg:4: gauge00 names no gauge after '!'"},
      {"size_mm=wide", "p.cfg:4: size_mm wants W[, H], two numbers up to 100000, not 'wide'"},
      {"size_mm=0,100", "p.cfg:4: size_mm wants sizes above 0, not '0,100'"},
      {"pixel_size=512", "p.cfg:4: pixel_size wants W, H, two numbers up to 100000, not '512'"},
  };
  for (const auto& row : rows) {
    std::string error;
    EXPECT_FALSE(parse(std::string("[Window00]\r\nfile=a.bmp\n// c\n") + row.line + "\n", &error).has_value())
        << row.line;
    EXPECT_EQ(error, row.message) << row.line;
  }
  std::string error;
  EXPECT_FALSE(parse("[Views]\nwindow00=x\n", &error).has_value());
  EXPECT_EQ(error, "p.cfg: no [WindowNN] or [VCockpitNN] section");
  EXPECT_FALSE(parse(std::string("\0\xff[", 3), &error).has_value());
}

TEST(PanelConfigReading, AScenarioPanelLineNamesTheFileBesideTheScenarioAndAWindow) {
  std::string error;
  auto scenario = host::parse_scenario("panel my panel/panel.cfg window 1\nframes 1\n", "flights/s.txt", &error);
  ASSERT_TRUE(scenario.has_value()) << error;
  EXPECT_EQ(scenario->panel, "flights/my panel/panel.cfg");
  EXPECT_EQ(scenario->panel_window, "1");
  EXPECT_EQ(scenario->panel_line, 1);
  scenario = host::parse_scenario("panel /abs/panel.cfg\nframes 1\n", "flights/s.txt", &error);
  ASSERT_TRUE(scenario.has_value()) << error;
  EXPECT_EQ(scenario->panel, "/abs/panel.cfg");
  EXPECT_TRUE(scenario->panel_window.empty());
  const struct {
    const char* text;
    const char* message;
  } rows[] = {
      {"panel a.cfg\nmodule Tarnwix_Utils\n", "s.txt:2: a panel line and module lines do not mix"},
      {"module Tarnwix_Utils\npanel a.cfg\n", "s.txt:2: a panel line and module lines do not mix"},
      {"panel a.cfg\npanel b.cfg\n", "s.txt:2: one panel line only"},
      {"panel a.cfg window\n", "s.txt:1: panel wants PATH [window N]: the window is missing"},
      {"panel\n", "s.txt:1: panel wants PATH [window N]"},
      {"set 1 1\npanel a.cfg\n", "s.txt:2: the panel line comes before every action"},
  };
  for (const auto& row : rows) {
    EXPECT_FALSE(host::parse_scenario(row.text, "s.txt", &error).has_value()) << row.text;
    EXPECT_EQ(error, row.message);
  }
}

// ---- Layout and drawing, with made-up gauges

// Writes an uncompressed BMP of 24 bits, or of 8 with a palette of the
// picture's colours (at most 256).
void write_bmp(const std::string& path, const Picture& picture, int bits) {
  std::vector<Rgb> palette;
  if (bits == 8)
    for (int y = 0; y < picture.height; ++y)
      for (int x = 0; x < picture.width; ++x)
        if (std::find(palette.begin(), palette.end(), picture.at(x, y)) == palette.end())
          palette.push_back(picture.at(x, y));
  const int row = ((picture.width * bits / 8) + 3) / 4 * 4;
  const uint32_t offset = 54 + static_cast<uint32_t>(palette.size()) * 4;
  std::string out = "BM";
  auto u32 = [&](uint32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [&](uint16_t v) { out.append(reinterpret_cast<const char*>(&v), 2); };
  u32(offset + row * picture.height);
  u32(0);
  u32(offset);
  u32(40);
  u32(picture.width);
  u32(picture.height);
  u16(1);
  u16(static_cast<uint16_t>(bits));
  for (uint32_t v :
       {0u, static_cast<uint32_t>(row * picture.height), 2835u, 2835u, static_cast<uint32_t>(palette.size()), 0u})
    u32(v);
  for (const Rgb& c : palette) out += {static_cast<char>(c.b), static_cast<char>(c.g), static_cast<char>(c.r), 0};
  for (int y = picture.height - 1; y >= 0; --y) {
    std::string line;
    for (int x = 0; x < picture.width; ++x) {
      const Rgb c = picture.at(x, y);
      if (bits == 8)
        line += static_cast<char>(std::find(palette.begin(), palette.end(), c) - palette.begin());
      else
        line += {static_cast<char>(c.b), static_cast<char>(c.g), static_cast<char>(c.r)};
    }
    line.resize(row, '\0');
    out += line;
  }
  std::ofstream(path, std::ios::binary) << out;
}

// A gauge picture with no magenta in it: a ramp of greens and blues.
Picture gauge_picture(int width, int height) {
  Picture picture(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      picture.set(x, y, {20, static_cast<uint8_t>(40 + x * 3 % 200), static_cast<uint8_t>(60 + y * 5 % 190)});
  return picture;
}

// The layout of one window given as panel.cfg text, with every gauge named
// "Ours" of the given size and every other one not drawn.
struct MadeUpPanel {
  TemporaryFolder folder{"panel"};
  GaugeSize ours{40, 30};
  Picture picture = gauge_picture(40, 30);

  host::WindowLayout lay_out(const std::string& text) {
    std::string error;
    const auto config = host::parse_panel_config(text, "p.cfg", &error);
    EXPECT_TRUE(config.has_value()) << error;
    if (!config) return {};
    return host::lay_out_window(config->windows.front(), folder.path,
                                [&](const PanelGauge& gauge, std::string* why) -> std::optional<GaugeSize> {
                                  if (gauge.module == "Ours") return ours;
                                  *why = "not ours";
                                  return std::nullopt;
                                });
  }
  Picture draw(const std::string& text) {
    return host::draw_window(lay_out(text), [&](const PanelGauge&) { return &picture; });
  }
  void background(int width, int height, int bits = 24, Rgb colour = kMagenta) {
    write_bmp(folder.path + "/back.bmp", Picture(width, height, colour), bits);
  }
};

// The box of every pixel unlike `colour`, and how many there are.
struct Covered {
  int count = 0, left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
};
Covered covered(const Picture& picture, Rgb colour) {
  Covered c;
  for (int y = 0; y < picture.height; ++y)
    for (int x = 0; x < picture.width; ++x)
      if (picture.at(x, y) != colour) {
        ++c.count;
        c.left = std::min(c.left, x);
        c.top = std::min(c.top, y);
        c.right = std::max(c.right, x);
        c.bottom = std::max(c.bottom, y);
      }
  return c;
}

TEST(PanelLayout, AGaugeCoversExactlyItsScaledPlace) {
  MadeUpPanel panel;
  panel.background(200, 150);
  const struct {
    const char* size;
    int width, height;
  } rows[] = {
      {"", 40, 30},                             // its own size
      {", 80, 60", 80, 60},                     // twice its size: four times the area
      {", 80, 30", 80, 30},                     // twice as wide: twice the area
      {", 80", 80, 60},                         // the width alone keeps the aspect
      {", 20", 20, 15},     {", 41, 0", 0, 0},  // a size of no pixels draws nothing
  };
  for (const auto& row : rows) {
    const Picture window = panel.draw(std::string("[Window00]\nfile=back.bmp\ngauge00=Ours, 10, 20") + row.size);
    ASSERT_EQ(window.width, 200);
    ASSERT_EQ(window.height, 150);
    const Covered c = covered(window, kMagenta);
    if (row.width == 0) {
      EXPECT_EQ(c.count, 0);
      continue;
    }
    EXPECT_EQ(c.count, row.width * row.height) << row.size;
    EXPECT_EQ(c.left, 10) << row.size;
    EXPECT_EQ(c.top, 20) << row.size;
    EXPECT_EQ(c.right, 10 + row.width - 1) << row.size;
    EXPECT_EQ(c.bottom, 20 + row.height - 1) << row.size;
  }
}

TEST(PanelLayout, AtItsOwnSizeAGaugeIsCopiedPixelForPixel) {
  MadeUpPanel panel;
  panel.background(100, 100);
  const Picture window = panel.draw("[Window00]\nfile=back.bmp\ngauge00=Ours, 7, 9, 40, 30");
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) ASSERT_EQ(window.at(7 + x, 9 + y), panel.picture.at(x, y)) << x << "," << y;
}

// One layout draws frame after frame: a scaled gauge that changed is drawn
// as it is now, one that did not is drawn as before.
TEST(PanelLayout, EachFrameDrawsTheGaugeAsItIsThen) {
  MadeUpPanel panel;
  panel.background(200, 150);
  const host::WindowLayout layout = panel.lay_out("[Window00]\nfile=back.bmp\ngauge00=Ours, 10, 20, 80, 60");
  const Picture other = Picture(40, 30, {200, 10, 10});
  const Picture* now = &panel.picture;
  auto frame = [&] { return host::draw_window(layout, [&](const PanelGauge&) { return now; }); };
  const Picture first = frame();
  now = &other;
  const Picture second = frame();
  EXPECT_EQ(second.at(50, 50), (Rgb{200, 10, 10}));
  EXPECT_NE(first, second);
  now = &panel.picture;
  EXPECT_EQ(frame(), first);
  EXPECT_EQ(frame(), first);
}

TEST(PanelLayout, SizeMmMapsOntoTheBitmapWidthOrGivesTheWindowItsSize) {
  MadeUpPanel panel;
  panel.background(200, 100);
  // 100 units over 200 pixels: everything twice as large.
  host::WindowLayout layout = panel.lay_out("[Window00]\nfile=back.bmp\nsize_mm=100,50\ngauge00=Ours, 10, 5");
  EXPECT_EQ(layout.scale, 2.0);
  ASSERT_EQ(layout.placements.size(), 1u);
  EXPECT_EQ(layout.placements[0].x, 20);
  EXPECT_EQ(layout.placements[0].y, 10);
  EXPECT_EQ(layout.placements[0].width, 80);
  EXPECT_EQ(layout.placements[0].height, 60);
  Picture window = host::draw_window(layout, [&](const PanelGauge&) { return &panel.picture; });
  EXPECT_EQ(covered(window, kMagenta).count, 80 * 60);
  // 400 units over 200 pixels, the width alone given: half, aspect kept.
  layout = panel.lay_out("[Window00]\nfile=back.bmp\nsize_mm=400\ngauge00=Ours, 10, 5, 60");
  EXPECT_EQ(layout.placements[0].x, 5);
  EXPECT_EQ(layout.placements[0].y, 3) << "2.5 rounds to the nearest";
  EXPECT_EQ(layout.placements[0].width, 30);
  EXPECT_EQ(layout.placements[0].height, 23) << "60 x 30 / 40 = 45 units, 22.5 pixels";
  // Without a background, size_mm is the window's size in pixels.
  layout = panel.lay_out("[Window00]\nsize_mm=300,120\ngauge00=Ours, 10, 5");
  EXPECT_EQ(layout.background.width, 300);
  EXPECT_EQ(layout.background.height, 120);
  EXPECT_EQ(layout.placements[0].width, 40);
  // Without either, the window holds its gauges.
  layout = panel.lay_out("[Window00]\ngauge00=Ours, 10, 5\ngauge01=Ours, 50, 60, 80");
  EXPECT_EQ(layout.background.width, 130);
  EXPECT_EQ(layout.background.height, 120);
  // A virtual cockpit is its texture's size.
  layout = panel.lay_out("[VCockpit01]\npixel_size=256,128\ngauge00=Ours, 0, 0, 256");
  EXPECT_EQ(layout.background.width, 256);
  EXPECT_EQ(layout.background.height, 128);
  EXPECT_EQ(layout.placements[0].height, 192);
}

TEST(PanelLayout, HugeValuesAreCutToTheLargestPicture) {
  MadeUpPanel panel;
  panel.background(64, 64);
  host::WindowLayout layout =
      panel.lay_out("[Window00]\nfile=back.bmp\nsize_mm=0.001\ngauge00=Ours, 99999, -99999, 100000, 100000");
  ASSERT_EQ(layout.placements.size(), 1u);
  EXPECT_EQ(layout.placements[0].width, host::kMaxPanelPixels);
  EXPECT_EQ(layout.placements[0].x, 4 * host::kMaxPanelPixels);
  EXPECT_EQ(layout.placements[0].y, -4 * host::kMaxPanelPixels);
  const Picture window = host::draw_window(layout, [&](const PanelGauge&) { return &panel.picture; });
  EXPECT_EQ(covered(window, kMagenta).count, 0) << "wholly outside";
  layout = panel.lay_out("[Window00]\nsize_mm=100000,100000\ngauge00=Ours, 0, 0");
  EXPECT_EQ(layout.background.width, host::kMaxPanelPixels);
}

TEST(PanelLayout, AGaugeNotDrawnIsOutlinedAndListed) {
  MadeUpPanel panel;
  panel.background(200, 150);
  host::WindowLayout layout = panel.lay_out(
      "[Window00]\nfile=back.bmp\ngauge00=Acme!Clock, 20, 30, 100, 50\ngauge01=Acme!Radio, 120, 90\n"
      "gauge03=Ours, 0, 0");
  ASSERT_EQ(layout.placements.size(), 2u) << "a gap in the numbering ends the window";
  ASSERT_EQ(layout.notes.size(), 3u);
  EXPECT_EQ(layout.notes[0],
            "Window00 gauge03 (line 5) Ours!Ours: after a gap in the numbering, which ends the window");
  EXPECT_EQ(layout.notes[1], "Window00 gauge00 (line 3) Acme!Clock at 20, 30: not ours; outlined");
  const Picture window = host::draw_window(layout, [&](const PanelGauge&) { return &panel.picture; });
  // The outline's corners and edges, and the inside left alone but for the label.
  for (const auto& [x, y] : {std::pair{20, 30}, {119, 30}, {20, 79}, {119, 79}, {70, 31}, {21, 60}})
    EXPECT_EQ(window.at(x, y), host::kOutlineColour) << x << "," << y;
  EXPECT_EQ(window.at(19, 30), kMagenta);
  EXPECT_EQ(window.at(120, 79), kMagenta);
  EXPECT_EQ(window.at(70, 70), kMagenta);
  int label = 0;
  for (int y = 34; y < 48; ++y)
    for (int x = 24; x < 116; ++x) label += window.at(x, y) != kMagenta;
  EXPECT_GT(label, 50) << "the label's ink";
  // Without a size, a box of the unknown size.
  EXPECT_EQ(layout.placements[1].width, host::kUnknownSize);
  EXPECT_EQ(window.at(120 + host::kUnknownSize - 1, 90), host::kOutlineColour);
}

TEST(PanelLayout, BackgroundsOf8And24BitsAreReadAndAnUnreadableOneIsReportedAndBlack) {
  MadeUpPanel panel;
  Picture two_colours(9, 5, {10, 200, 30});
  for (int x = 0; x < 9; ++x) two_colours.set(x, 0, {250, 5, 99});
  for (int bits : {8, 24}) {
    write_bmp(panel.folder.path + "/back.bmp", two_colours, bits);
    const auto read = host::read_bmp(panel.folder.path + "/back.bmp", nullptr);
    ASSERT_TRUE(read.has_value()) << bits;
    EXPECT_EQ(*read, two_colours) << bits << " bits, top row first";
  }
  std::ofstream(panel.folder.path + "/bad.bmp", std::ios::binary) << "BM not a bitmap at all";
  for (const char* file : {"missing.bmp", "bad.bmp"}) {
    const host::WindowLayout layout =
        panel.lay_out(std::string("[Window00]\nfile=") + file + "\nsize_mm=50,40\ngauge00=Ours, 0, 0, 4, 3");
    ASSERT_EQ(layout.notes.size(), 1u) << file;
    EXPECT_NE(layout.notes[0].find(file), std::string::npos) << layout.notes[0];
    EXPECT_NE(layout.notes[0].find("drawn on black"), std::string::npos) << layout.notes[0];
    EXPECT_EQ(layout.background, Picture(50, 40)) << "black, of size_mm's size";
  }
}

// ---- Runs of the real modules in a panel's layout

host::RunOptions options_into(const std::string& folder) {
  host::RunOptions options;
  options.modules_folder = dist_dir();
  options.output_folder = folder;
  options.progress = false;
  options.last_frame = true;
  options.write_log = false;
  return options;
}

host::Scenario parsed(const std::string& text, const std::string& source) {
  std::string error;
  auto scenario = host::parse_scenario(text, source, &error);
  EXPECT_TRUE(scenario.has_value()) << error;
  return scenario.value_or(host::Scenario{});
}

TEST(PanelRun, AGaugeAtItsOwnSizeMatchesItsSingleRenderAndTheOthersAreListed) {
  if (GetFileAttributesA(module_path("Tarnwix_Airspeed").c_str()) == INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << "Tarnwix_Airspeed is not built yet";
  const TemporaryFolder folder("panel_run");
  std::ofstream(folder.path + "/panel.cfg") << "[Window00]\nsize_mm=300,400\n"
                                               "gauge00=Tarnwix_Airspeed!Tarnwix_Airspeed, 7, 9\n"
                                               "gauge01=Tarnwix_Airspeed!Wrong_Gauge, 150, 0, 40, 40\n"
                                               "gauge02=Other_Maker!Clock, 150, 100, 40, 40\n";
  const std::string steps = "set 769 1\nset 61 123\nframes 2\n";
  host::RunOptions options = options_into(folder.path);
  options.output_name = "single";
  host::RunResult single = host::run_scenario(parsed("module Tarnwix_Airspeed\n" + steps, "s.txt"), options);
  ASSERT_TRUE(single.ok) << single.message;
  options.output_name = "panel";
  host::RunResult panel = host::run_scenario(parsed("panel panel.cfg\n" + steps, folder.path + "/s.txt"), options);
  ASSERT_TRUE(panel.ok) << panel.message;
  const Picture alone = read_png(folder.path + "/single.png");
  const Picture window = read_png(folder.path + "/panel.png");
  ASSERT_EQ(alone.width, 101);
  ASSERT_EQ(window.width, 300);
  ASSERT_EQ(window.height, 400);
  for (int y = 0; y < alone.height; ++y)
    for (int x = 0; x < alone.width; ++x) ASSERT_EQ(window.at(7 + x, 9 + y), alone.at(x, y)) << x << "," << y;
  ASSERT_EQ(panel.not_drawn.size(), 2u);
  EXPECT_NE(panel.not_drawn[0].find("Tarnwix_Airspeed holds no gauge Wrong_Gauge"), std::string::npos);
  EXPECT_NE(panel.not_drawn[1].find("Other_Maker!Clock at 150, 100: not one of our modules"), std::string::npos);
  EXPECT_EQ(window.at(150, 100), host::kOutlineColour);
}

TEST(PanelRun, AFaultInThePanelOrItsWindowStopsTheRunBeforeAnythingIsWritten) {
  const TemporaryFolder folder("panel_refused");
  std::ofstream(folder.path + "/panel.cfg") << "[Window00]\r\nsize_mm=100,100\r\ngauge00=Tarnwix_Utils, 1\r\n";
  std::ofstream(folder.path + "/good.cfg") << "[Window00]\nsize_mm=100,100\n";
  const struct {
    const char* text;
    const char* message;
  } rows[] = {
      {"panel panel.cfg\nframes 1\n",
       "panel.cfg:3: gauge00 wants Module!Gauge, X, Y[, W[, H]]: a coordinate is missing"},
      {"panel missing.cfg\nframes 1\n", "s.txt:1: cannot read "},
      {"panel good.cfg window 4\nframes 1\n", " has no window 4"},
      {"panel good.cfg\nclick Tarnwix_Utils 1 1\nframes 1\n", "click on Tarnwix_Utils, which is not on the panel"},
  };
  for (const auto& row : rows) {
    const host::RunResult result =
        host::run_scenario(parsed(row.text, folder.path + "/s.txt"), options_into(folder.path));
    EXPECT_FALSE(result.ok) << row.text;
    EXPECT_NE(result.message.find(row.message), std::string::npos) << result.message;
    EXPECT_EQ(files_in(folder.path), (std::vector<std::string>{"good.cfg", "panel.cfg"})) << row.text;
  }
}

// The unpacked tools ship the example panel beside the scenarios; a built
// tree has it in the modules' folder.
TEST(PanelRun, APanelLinesFileIsReadBesideTheScenarioElseInTheModulesFolder) {
  const TemporaryFolder scenarios("panel_beside"), modules("panel_in_modules");
  std::ofstream(modules.path + "/p.cfg") << "[Window00]\nsize_mm=60,30\n";
  host::RunOptions options = options_into(scenarios.path);
  options.modules_folder = modules.path;
  options.output_name = "s";
  const host::Scenario scenario = parsed("panel p.cfg\nframes 1\n", scenarios.path + "/s.txt");
  const host::RunResult from_modules = host::run_scenario(scenario, options);
  ASSERT_TRUE(from_modules.ok) << from_modules.message;
  EXPECT_EQ(read_png(scenarios.path + "/s.png").width, 60);

  std::ofstream(scenarios.path + "/p.cfg") << "[Window00]\nsize_mm=40,20\n";
  const host::RunResult beside = host::run_scenario(scenario, options);
  ASSERT_TRUE(beside.ok) << beside.message;
  EXPECT_EQ(read_png(scenarios.path + "/s.png").width, 40);

  DeleteFileA((scenarios.path + "/p.cfg").c_str());
  DeleteFileA((modules.path + "/p.cfg").c_str());
  const host::RunResult neither = host::run_scenario(scenario, options);
  EXPECT_FALSE(neither.ok);
  EXPECT_NE(neither.message.find("cannot read " + scenarios.path + "/p.cfg, nor " + modules.path + "/p.cfg"),
            std::string::npos)
      << neither.message;
}

TEST(PanelRun, TheExamplePanelPlacesAllFiveGauges) {
  std::string file = __FILE__;
  const std::string path = file.substr(0, file.find_last_of("/\\")) + "/../examples/panel/panel.cfg";
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  std::string error;
  const auto config = host::parse_panel_config(text.str(), path, &error);
  ASSERT_TRUE(config.has_value()) << error;
  std::vector<std::string> modules;
  for (const auto& window : config->windows)
    for (const auto& gauge : window.gauges)
      if (std::find(modules.begin(), modules.end(), gauge.module) == modules.end()) modules.push_back(gauge.module);
  for (const std::string& name : host::all_module_names())
    EXPECT_NE(std::find(modules.begin(), modules.end(), name), modules.end()) << name;
  EXPECT_FALSE(config->windows.front().background.empty());
  EXPECT_TRUE(config->windows.back().virtual_cockpit);
}

}  // namespace
}  // namespace tarnwix::test
