// The viewer's session without a display: the inputs it learns from the
// modules, its pictures against gaugerender's, clicks at scaled places, the
// recording replayed, faulty modules stopped while the rest runs, reloads,
// the log file and the command line.
#include <windows.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <fstream>
#include <sstream>

#include "arguments.h"
#include "picture_files.h"
#include "scenario.h"
#include "session.h"
#include "support.h"

namespace tarnwix::test {
namespace {

using view::EventLog;
using view::Session;
using view::SessionOptions;

std::string example_panel() { return dist_dir() + "/example_panel/panel.cfg"; }
std::string faulty_module(const std::string& name) { return std::string(TARNWIX_FAULTY_DIR) + "/" + name + ".gau"; }

bool contains_line(const EventLog& log, const std::string& text) {
  for (const std::string& line : log.lines())
    if (line.find(text) != std::string::npos) return true;
  return false;
}
int count_lines(const EventLog& log, const std::string& text) {
  int count = 0;
  for (const std::string& line : log.lines())
    if (line.find(text) != std::string::npos) ++count;
  return count;
}

std::string all_lines(const EventLog& log) {
  std::string text;
  for (const std::string& line : log.lines()) text += line + "\n";
  return text;
}

void write_file(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::unique_ptr<Session> open_or_fail(const std::string& path, EventLog& log, SessionOptions options = {}) {
  if (options.modules_folder.empty()) options.modules_folder = dist_dir();
  std::string error;
  std::unique_ptr<Session> session = Session::open(path, options, log, &error);
  EXPECT_NE(session, nullptr) << error;
  return session;
}

// The panel's main window after gaugerender plays `steps` on it.
host::Picture rendered(const std::string& scenario_text, const std::string& modules, const std::string& name) {
  TemporaryFolder folder(name);
  std::string error;
  auto scenario = host::parse_scenario(scenario_text, folder.path + "/" + name + ".txt", &error);
  EXPECT_TRUE(scenario.has_value()) << error;
  if (!scenario) return {};
  host::RunOptions options{.modules_folder = modules,
                           .output_folder = folder.path,
                           .last_frame = true,
                           .write_log = false,
                           .progress = false};
  const host::RunResult result = host::run_scenario(*scenario, options);
  EXPECT_TRUE(result.ok) << result.message;
  return read_png(folder.path + "/" + name + ".png");
}

// ---- What the session learns and draws

TEST(GaugeviewSession, LearnsEveryVariableInTheOrderTheGaugesLookThemUpWithItsMeaning) {
  EventLog log;
  auto session = open_or_fail(example_panel(), log);
  ASSERT_NE(session, nullptr);
  EXPECT_TRUE(session->inputs().empty()) << "nothing is known before the first frame";
  session->frame();
  std::vector<uint32_t> tokens;
  for (const view::Input& input : session->inputs()) tokens.push_back(input.token);
  // The airspeed, the bezel (none), the altimeter, the strip: each token once, where it first comes.
  const std::vector<uint32_t> expected = {61,  769, 64, 832, 116, 115, 118, 117, 63,  74, 109,
                                          108, 76,  75, 275, 614, 556, 119, 120, 848, 60, 322};
  EXPECT_EQ(tokens, expected);
  const view::Input& power = session->inputs()[1];
  EXPECT_TRUE(power.is_switch);
  EXPECT_EQ(power.name, "power");
  const view::Input& altitude = session->inputs()[9];
  EXPECT_EQ(altitude.name, "altitude");
  EXPECT_EQ(altitude.unit, "feet");
  EXPECT_LT(altitude.low, 0);
  EXPECT_GE(altitude.high, 40000);
  session->frame();
  EXPECT_EQ(session->inputs().size(), expected.size()) << "a second frame adds no row";
  EXPECT_TRUE(contains_line(log, "register \"callout\" (Tarnwix_Utils)"));
  EXPECT_TRUE(contains_line(log, "not drawn: Window00 gauge04"));
}

TEST(GaugeviewSession, DrawsTheWindowAsGaugerenderDoesAndOnlyWhatChanged) {
  EventLog log;
  auto session = open_or_fail(example_panel(), log);
  ASSERT_NE(session, nullptr);
  session->set_input(769, 1);
  session->frame();
  ASSERT_EQ(session->changed().size(), 1u);
  EXPECT_EQ(session->changed()[0].width, 1024) << "the first frame draws all of it";
  session->frame();
  const host::Picture expected =
      rendered("panel " + example_panel() + " window 0\nset 769 1\nframes 2\n", dist_dir(), "panel");
  EXPECT_TRUE(session->picture() == expected) << "the window differs from gaugerender's";
  session->frame();
  EXPECT_TRUE(session->changed().empty()) << "an unchanged frame changes no pixel";
  session->set_input(61, 180);
  session->frame();
  ASSERT_EQ(session->changed().size(), 1u) << "only the airspeed moved";
  const view::Rect rect = session->changed()[0];
  EXPECT_EQ(rect.x, 160);
  EXPECT_EQ(rect.y, 120);
  EXPECT_EQ(rect.width, 101);
  EXPECT_EQ(rect.height, 330);
}

TEST(GaugeviewSession, PointsAndClicksReachTheGaugeAtItsOwnPixelsThroughTheScaling) {
  EventLog log;
  SessionOptions options;
  options.window = "VCockpit01";  // the strip at 512 wide, from its own 546
  auto session = open_or_fail(example_panel(), log, options);
  ASSERT_NE(session, nullptr);
  session->set_input(769, 1);
  session->frame();
  // Window pixel 50 is the strip's pixel 50 * 546 / 512 = 53, inside BRAKE HELP (26..86).
  const view::PointInfo brake = session->at(50, 70);
  EXPECT_EQ(brake.gauge, "Tarnwix_UtilsVC");
  EXPECT_GE(brake.area, 0);
  EXPECT_EQ(brake.cursor, 5);
  EXPECT_EQ(session->at(5, 5).area, -1) << "no area in the corner";
  session->click(50, 70);
  EXPECT_TRUE(contains_line(log, "click Tarnwix_UtilsVC (53, 74): area")) << all_lines(log);
  session->click(130, 70);  // VOR 1 INPUT at 138
  EXPECT_TRUE(contains_line(log, "key 66375 value 0 from Tarnwix_UtilsVC")) << all_lines(log);
  session->frame();
  EXPECT_EQ(host::Panel::instance().variable(848), 1.0) << "the panel answers the key event";
  for (const view::Input& input : session->inputs())
    if (input.token == 848) {
      EXPECT_EQ(input.value, 1.0) << "the row shows the answer";
    }

  EventLog main_log;
  auto main = open_or_fail(example_panel(), main_log);
  ASSERT_NE(main, nullptr);
  main->frame();
  EXPECT_EQ(main->at(762 + 50, 120 + 100).tooltip, "Altimeter");
  EXPECT_EQ(main->at(34 + 20, 600 + 20).gauge, "") << "another maker's gauge is only outlined";
  main->click(34 + 20, 600 + 20);
  EXPECT_FALSE(contains_line(main_log, "click ")) << "nothing is clicked there";
}

// The same strip placed twice, as a main window and its pop-up place it: the
// module is one load with one state, each placement its own calls and picture.
TEST(GaugeviewSession, AWindowThatPlacesOneModuleTwiceRunsEachPlacementOnTheOneState) {
  TemporaryFolder folder("placed_twice");
  const std::string panel_file = folder.path + "/panel.cfg";
  write_file(panel_file,
             "[Window00]\nsize_mm=546,230\ngauge00=Tarnwix_Utils!Tarnwix_Utils, 0, 0\n"
             "gauge01=Tarnwix_Utils!Tarnwix_Utils, 0, 115\n");
  EventLog log;
  auto session = open_or_fail(panel_file, log);
  ASSERT_NE(session, nullptr);
  session->set_input(769, 1);
  session->frame();
  const host::Picture before = session->picture();
  auto changed_rows = [&](int top) {
    int differing = 0;
    for (int y = top; y < top + 115; ++y)
      for (int x = 0; x < 546; ++x) differing += !(session->picture().at(x, y) == before.at(x, y));
    return differing;
  };
  const std::string brake_key = "key 65786 value 16384 from Tarnwix_Utils";
  // BRAKE HELP of the lower placement, at the strip's own pixels.
  session->click(56, 115 + 76);
  EXPECT_TRUE(contains_line(log, "click Tarnwix_Utils (56, 76): area")) << all_lines(log);
  session->set_input(60, 1);
  session->set_input(322, 11);
  session->set_input(832, 6);
  session->frame();
  EXPECT_GT(changed_rows(0), 0) << "armed in the upper picture too";
  EXPECT_GT(changed_rows(115), 0);
  EXPECT_EQ(count_lines(log, brake_key), 2) << "each placement's update sends\n" << all_lines(log);
  // BARO SET's light counts its ten updates over both placements.
  session->click(300, 70);
  for (int i = 0; i < 6; ++i) session->frame();
  const std::string head = "panel " + panel_file +
                           " window 0\nset 769 1\nframes 1\nclick Tarnwix_Utils 56 76\nset 60 1\nset 322 11\n"
                           "set 832 6\nframes 1\nclick Tarnwix_Utils 300 70\nframes 6\n";
  EXPECT_TRUE(session->picture() == rendered(head, dist_dir(), "twice")) << "the window differs from gaugerender's";

  // One placement taken out: the other runs on, still armed. Its pre-kill
  // withdraws the names, as the simulator's does.
  const host::PanelConfig both = *session->panel();
  host::PanelConfig one = both;
  one.windows[0].gauges.pop_back();
  std::string error;
  ASSERT_TRUE(session->set_panel(one, &error)) << error;
  EXPECT_TRUE(contains_line(log, "remove Tarnwix_Utils gauge01")) << all_lines(log);
  EXPECT_EQ(host::Panel::instance().named_variables().count("callout"), 0u);
  EXPECT_EQ(*session->fault_of("Tarnwix_Utils"), "");
  int sent = count_lines(log, brake_key);
  session->frame();
  EXPECT_EQ(count_lines(log, brake_key) - sent, 1) << all_lines(log);
  EXPECT_TRUE(session->picture().at(20, 150) == session->layout().background.at(20, 150))
      << "the removed place shows the background";
  // Put back, it is a placement of the same load again.
  ASSERT_TRUE(session->set_panel(both, &error)) << error;
  EXPECT_EQ(host::Panel::instance().named_variables().count("callout"), 1u);
  sent = count_lines(log, brake_key);
  session->frame();
  EXPECT_EQ(count_lines(log, brake_key) - sent, 2) << all_lines(log);
  EXPECT_EQ(count_lines(log, "load Tarnwix_Utils"), 1) << "never loaded again";

  // A reload takes both placements to the new load, armed afresh.
  session->reload_all();
  session->frame();
  EXPECT_EQ(count_lines(log, "reload Tarnwix_Utils"), 1);
  EXPECT_TRUE(session->picture() ==
              rendered("panel " + panel_file + " window 0\nset 769 1\nset 60 1\nset 322 11\nset 832 6\nframes 1\n",
                       dist_dir(), "twice_reloaded"))
      << "both placements run afresh";
  session->click(56, 76);
  sent = count_lines(log, brake_key);
  session->frame();
  EXPECT_EQ(count_lines(log, brake_key) - sent, 2) << all_lines(log);
}

// ---- Recording

TEST(GaugeviewRecording, ASessionRecordedReplaysInGaugerenderToTheSamePicture) {
  TemporaryFolder folder("recording");
  EventLog log;
  SessionOptions options;
  options.start_values = {{769, 1}, {74, std::nan("")}};
  auto session = open_or_fail(example_panel(), log, options);
  ASSERT_NE(session, nullptr);
  for (int i = 0; i < 3; ++i) session->frame();
  session->click(239 + 50, 575 + 75);  // BRAKE HELP
  session->set_input(60, 1);
  session->set_input(322, 20);
  session->set_input(832, 40);  // brake help applies: key events every frame
  for (int i = 0; i < 4; ++i) session->frame();
  session->set_input(61, 1.0 / 3.0);
  session->click(239 + 180, 575 + 70);  // VOR 1 INPUT
  for (int i = 0; i < 5; ++i) session->frame();
  EXPECT_TRUE(contains_line(log, "key 65786 value 16384 from Tarnwix_Utils")) << all_lines(log);
  const std::string path = folder.path + "/recorded.txt";
  std::string error;
  ASSERT_TRUE(session->save_scenario(path, &error)) << error;
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  EXPECT_NE(text.str().find("set 74 nan\nframes 3\nclick Tarnwix_Utils 50 75\n"), std::string::npos) << text.str();
  EXPECT_NE(text.str().find("set 61 0.33333333333333331\n"), std::string::npos) << "exact to the last bit";
  EXPECT_NE(text.str().find("frames 5 last frame\n"), std::string::npos) << text.str();
  EXPECT_TRUE(rendered(text.str(), dist_dir(), "replay") == session->picture())
      << "gaugerender's replay ends elsewhere:\n"
      << text.str();
}

TEST(GaugeviewRecording, FramesGoBetweenEventsAndAnEmptyRecordingHoldsItsHeadAlone) {
  view::Recorder recorder;
  recorder.start({"module Tarnwix_Utils"}, 10);
  EXPECT_EQ(recorder.text(10), "module Tarnwix_Utils\n");
  recorder.set(10, 769, 1);
  recorder.click(12, "Tarnwix_Utils", 5, 6);
  recorder.named(12, "callout", 1);
  recorder.note(15, "a\nnote");
  recorder.set(15, 74, -INFINITY);
  EXPECT_EQ(recorder.text(20),
            "module Tarnwix_Utils\nset 769 1\nframes 2\nclick Tarnwix_Utils 5 6\nnamed callout 1\n"
            "frames 3\n# a note\nset 74 -inf\nframes 5 last frame\n");
  std::string error;
  EXPECT_FALSE(recorder.write("Z:\\no\\such\\folder\\x.txt", 20, &error));
  EXPECT_NE(error.find("cannot write"), std::string::npos);
  EXPECT_FALSE(recorder.write("x.txt", 10 + 100001, &error)) << "longer than a scenario may be";
}

// ---- Faults, reloads

struct FaultyPanel {
  TemporaryFolder folder{"faulty"};
  EventLog log;
  std::unique_ptr<Session> session;
  explicit FaultyPanel(const std::vector<std::string>& faulty) {
    CopyFileA(module_path("Tarnwix_Utils").c_str(), (folder.path + "/Tarnwix_Utils.gau").c_str(), FALSE);
    std::string text = "module Tarnwix_Utils\n";
    for (const std::string& name : faulty) {
      CopyFileA(faulty_module(name).c_str(), (folder.path + "/" + name + ".gau").c_str(), FALSE);
      text += "module " + name + "\n";
    }
    write_file(folder.path + "/panel.txt", text + "set 769 1\nframes 1\n");
    SessionOptions options;
    options.modules_folder = folder.path;
    options.call_budget_ms = 300;
    session = open_or_fail(folder.path + "/panel.txt", log, options);
  }
};

TEST(GaugeviewFaults, AModuleThatCrashesHangsOrUnbalancesTheStackIsStoppedOutlinedAndTheRestRuns) {
  FaultyPanel panel({"faulty_crash_on_nan", "faulty_hang_on_nan", "faulty_cdecl_callback"});
  ASSERT_NE(panel.session, nullptr);
  Session& session = *panel.session;
  session.frame();
  EXPECT_NE(session.fault_of("faulty_cdecl_callback")->find("left the stack pointer"), std::string::npos)
      << all_lines(panel.log);
  // The faulty modules' own variable is one the table of meanings does not know.
  const auto unknown = std::find_if(session.inputs().begin(), session.inputs().end(),
                                    [](const view::Input& input) { return input.token == 900; });
  ASSERT_NE(unknown, session.inputs().end());
  EXPECT_FALSE(unknown->known);
  EXPECT_EQ(unknown->name, "unknown");
  EXPECT_EQ(unknown->low, -100000);
  EXPECT_EQ(unknown->high, 100000);
  EXPECT_EQ(*session.fault_of("faulty_crash_on_nan"), "");
  session.set_input(900, std::nan(""));
  session.frame();
  EXPECT_NE(session.fault_of("faulty_crash_on_nan")->find("crashed with exception 0xC0000005"), std::string::npos)
      << all_lines(panel.log);
  EXPECT_NE(session.fault_of("faulty_hang_on_nan")->find("ran past the budget of 300 ms"), std::string::npos)
      << all_lines(panel.log);
  for (int i = 0; i < 3; ++i) session.frame();
  EXPECT_EQ(count_lines(panel.log, "fault faulty_crash_on_nan"), 1) << "a stopped module is not called again";
  // Each stopped gauge's place is outlined in red; the strip runs on. (The
  // faulty modules carry no bitmaps: each is a box of the unknown size.)
  const int crash_x = 546 + host::kPanelGap;
  EXPECT_TRUE(session.picture().at(crash_x, 0) == view::kFaultColour);
  const host::Picture before = session.picture();
  session.click(50, 75);  // BRAKE HELP
  session.frame();
  EXPECT_FALSE(session.picture() == before) << "the strip's legend lights beside the stopped gauges";
  EXPECT_EQ(*session.fault_of("Tarnwix_Utils"), "");
  session.click_gauge("faulty_crash_on_nan", 85, 45);  // its click area
  EXPECT_TRUE(contains_line(panel.log, "the gauge is stopped, nothing called"));

  // Reload tries again: the crash comes back only with its NaN.
  session.set_input(900, 1);
  session.reload_all();
  EXPECT_EQ(*session.fault_of("faulty_crash_on_nan"), "");
  session.frame();
  EXPECT_EQ(*session.fault_of("faulty_crash_on_nan"), "") << all_lines(panel.log);
  EXPECT_FALSE(session.picture().at(crash_x, 0) == view::kFaultColour);
  EXPECT_NE(session.fault_of("faulty_cdecl_callback")->find("left the stack pointer"), std::string::npos);
}

TEST(GaugeviewFaults, AChangedModuleFileIsReloadedInPlaceWithTheInputsKept) {
  FaultyPanel panel({"faulty_crash_on_nan"});
  ASSERT_NE(panel.session, nullptr);
  Session& session = *panel.session;
  session.set_input(900, std::nan(""));
  session.frame();
  ASSERT_NE(*session.fault_of("faulty_crash_on_nan"), "");
  const std::string file = panel.folder.path + "/faulty_crash_on_nan.gau";
  session.reload_changed();
  EXPECT_FALSE(contains_line(panel.log, "reload ")) << "nothing changed yet";
  // The fixed build lands; it is taken once the file has stopped changing.
  Sleep(20);
  ASSERT_TRUE(CopyFileA(faulty_module("faulty_control").c_str(), file.c_str(), FALSE));
  session.reload_changed();
  EXPECT_FALSE(contains_line(panel.log, "reload ")) << "a file may still be being written";
  session.reload_changed();
  EXPECT_TRUE(contains_line(panel.log, "reload faulty_crash_on_nan: its file changed")) << all_lines(panel.log);
  session.frame();
  EXPECT_EQ(*session.fault_of("faulty_crash_on_nan"), "") << all_lines(panel.log);
  EXPECT_TRUE(std::isnan(host::Panel::instance().variable(900))) << "the inputs are kept";
  EXPECT_EQ(host::Panel::instance().variable(769), 1.0);
  // A module file that cannot load is outlined with the reason, and tried again later.
  Sleep(20);
  write_file(file, "not a module");
  session.reload_changed();
  session.reload_changed();
  EXPECT_NE(session.fault_of("faulty_crash_on_nan")->find("does not load"), std::string::npos);
  session.frame();
  EXPECT_TRUE(session.picture().at(556, 0) == view::kFaultColour);
}

TEST(GaugeviewFaults, WhatCannotBeOpenedIsSaidInOneLine) {
  TemporaryFolder folder("open");
  write_file(folder.path + "/bad.cfg", "[Window00]\ngauge00=Tarnwix_Airspeed, 10\n");
  write_file(folder.path + "/bad.txt", "frames 3\n");
  write_file(folder.path + "/bad.gau", "MZ but no module");
  const struct {
    std::string path, expected;
  } rows[] = {
      {folder.path + "/missing.cfg", "cannot read"},
      {folder.path + "/bad.cfg", "bad.cfg:2:"},
      {folder.path + "/bad.txt", "no module or panel line"},
      {folder.path + "/bad.gau", "does not load"},
  };
  for (const auto& row : rows) {
    EventLog log;
    std::string error;
    SessionOptions options;
    options.modules_folder = dist_dir();
    EXPECT_EQ(Session::open(row.path, options, log, &error), nullptr) << row.path;
    EXPECT_NE(error.find(row.expected), std::string::npos) << row.path << ": " << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  }
}

// ---- Laying the window out anew (the layout editor's side)

// A 24-bit BMP of the picture.
void write_bmp(const std::string& path, const host::Picture& picture) {
  const uint32_t row = (static_cast<uint32_t>(picture.width) * 3 + 3) / 4 * 4;
  std::string out = "BM";
  auto u32 = [&](uint32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [&](uint16_t v) { out.append(reinterpret_cast<const char*>(&v), 2); };
  for (uint32_t v : {54 + row * picture.height, 0u, 54u, 40u, uint32_t(picture.width), uint32_t(picture.height)})
    u32(v);
  u16(1);
  u16(24);
  for (uint32_t v : {0u, row * picture.height, 2835u, 2835u, 0u, 0u}) u32(v);
  for (int y = picture.height - 1; y >= 0; --y) {
    std::string line;
    for (int x = 0; x < picture.width; ++x) {
      const host::Rgb c = picture.at(x, y);
      line += {static_cast<char>(c.b), static_cast<char>(c.g), static_cast<char>(c.r)};
    }
    line.resize(row, '\0');
    out += line;
  }
  write_file(path, out);
}

std::string read_text(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// The session's model with the airspeed (the main window's first gauge) at x, y.
host::PanelConfig with_airspeed_at(const Session& session, double x, double y) {
  host::PanelConfig config = *session.panel();
  config.windows[0].gauges[0].x = x;
  config.windows[0].gauges[0].y = y;
  return config;
}

TEST(GaugeviewLayout, AMovedGaugeRedrawsItsOldAndNewPlacesAloneIntoTheFullDrawingOfTheMovedLayout) {
  EventLog log;
  auto session = open_or_fail(example_panel(), log);
  ASSERT_NE(session, nullptr);
  session->set_input(769, 1);
  session->set_input(61, 150);
  session->frame();
  session->frame();
  const std::vector<view::Input> inputs = session->inputs();
  std::string error;
  ASSERT_TRUE(session->set_panel(with_airspeed_at(*session, 165, 123), &error)) << error;
  ASSERT_EQ(session->changed().size(), 1u);
  const view::Rect rect = session->changed()[0];
  EXPECT_EQ(rect.x, 160);
  EXPECT_EQ(rect.y, 120);
  EXPECT_EQ(rect.width, 101 + 5) << "the union of 160..261 and 165..266";
  EXPECT_EQ(rect.height, 330 + 3);
  EXPECT_EQ(session->layout().placements[0].x, 165);
  // A drag on: over the bezel's place, out past the window's corner, back in.
  const std::pair<double, double> steps[] = {{250, 60}, {262, 61}, {-40, 500}, {168, 125}};
  for (const auto& [x, y] : steps) {
    ASSERT_TRUE(session->set_panel(with_airspeed_at(*session, x, y), &error)) << error;
    ASSERT_EQ(session->changed().size(), 1u) << x << ", " << y;
    for (const view::Rect& part : session->changed()) {
      EXPECT_GE(part.x, 0);
      EXPECT_GE(part.y, 0);
      EXPECT_LE(part.x + part.width, 1024) << "cut to the window";
      EXPECT_LE(part.y + part.height, 720);
    }
  }
  EXPECT_EQ(count_lines(log, "load Tarnwix_Airspeed"), 1) << "the gauge runs on, not loaded again";
  ASSERT_EQ(session->inputs().size(), inputs.size());
  for (size_t i = 0; i < inputs.size(); ++i) EXPECT_EQ(session->inputs()[i].value, inputs[i].value) << i;
  EXPECT_EQ(host::Panel::instance().variable(61), 150.0);

  // gaugerender's drawing of the same panel.cfg, written with the airspeed there.
  TemporaryFolder folder("moved_panel");
  std::string text = read_text(example_panel());
  const std::string line = "Tarnwix_Airspeed!Tarnwix_Airspeed, 160, 120";
  ASSERT_NE(text.find(line), std::string::npos);
  text.replace(text.find(line), line.size(), "Tarnwix_Airspeed!Tarnwix_Airspeed, 168, 125");
  write_file(folder.path + "/panel.cfg", text);
  ASSERT_TRUE(CopyFileA((dist_dir() + "/example_panel/background.bmp").c_str(),
                        (folder.path + "/background.bmp").c_str(), FALSE));
  const std::string head = "panel " + folder.path + "/panel.cfg window 0\nset 769 1\nset 61 150\nframes 2\n";
  EXPECT_TRUE(session->picture() == rendered(head, dist_dir(), "moved")) << "the window differs from gaugerender's";
  // The frames after go on drawing only what changed, into the moved layout.
  session->set_input(61, 180);
  session->frame();
  const view::Rect place{168, 125, 101, 330};
  EXPECT_TRUE(std::any_of(session->changed().begin(), session->changed().end(), [&](const view::Rect& r) {
    return r.x == place.x && r.y == place.y && r.width == place.width && r.height == place.height;
  }));
  EXPECT_TRUE(session->picture() == rendered(head + "set 61 180\nframes 1\n", dist_dir(), "moved_on"));
}

TEST(GaugeviewLayout, AGaugeOfANewModuleRunsAndAModuleNoLongerNamedGoesWithWhatItRegistered) {
  EventLog log;
  auto session = open_or_fail(example_panel(), log);
  ASSERT_NE(session, nullptr);
  session->set_input(769, 1);
  session->frame();
  const host::Panel& panel = host::Panel::instance();
  ASSERT_EQ(panel.named_variables().count("callout"), 1u);
  host::PanelConfig config = *session->panel();
  std::vector<host::PanelGauge>& gauges = config.windows[0].gauges;
  ASSERT_EQ(gauges[3].module, "Tarnwix_Utils");
  gauges.erase(gauges.begin() + 3);
  std::string error;
  ASSERT_TRUE(session->set_panel(config, &error)) << error;
  EXPECT_TRUE(contains_line(log, "remove Tarnwix_Utils: the window no longer names it")) << all_lines(log);
  EXPECT_TRUE(contains_line(log, "unregister \"callout\" (Tarnwix_Utils)")) << all_lines(log);
  EXPECT_EQ(panel.named_variables().count("callout"), 0u);
  EXPECT_FALSE(session->fault_of("Tarnwix_Utils").has_value());
  EXPECT_EQ(session->picture().at(239 + 200, 575 + 50), session->layout().background.at(239 + 200, 575 + 50))
      << "its place shows the background";

  host::PanelGauge added;
  added.number = 3;
  added.module = added.gauge = "Tarnwix_UtilsVC";
  added.x = 239;
  added.y = 575;
  gauges.insert(gauges.begin() + 3, added);
  ASSERT_TRUE(session->set_panel(config, &error)) << error;
  EXPECT_TRUE(contains_line(log, "load Tarnwix_UtilsVC from")) << all_lines(log);
  EXPECT_EQ(*session->fault_of("Tarnwix_UtilsVC"), "");
  EXPECT_TRUE(session->picture().at(239, 575) == host::kOutlineColour) << "outlined until its first frame";
  session->frame();
  EXPECT_FALSE(session->picture().at(239, 575) == host::kOutlineColour);
  int differing = 0;
  for (int y = 575; y < 575 + 100; ++y)
    for (int x = 239; x < 239 + 500; ++x)
      differing += !(session->picture().at(x, y) == session->layout().background.at(x, y));
  EXPECT_GT(differing, 5000) << "the strip is drawn over the background";
  EXPECT_EQ(count_lines(log, "load Tarnwix_Airspeed"), 1);
}

TEST(GaugeviewLayout, AModelWithoutTheOpenWindowIsRefusedAndNothingChanges) {
  EventLog log;
  auto session = open_or_fail(example_panel(), log);
  ASSERT_NE(session, nullptr);
  session->frame();
  const host::Picture before = session->picture();
  const std::vector<std::string> names = session->gauge_names();
  host::PanelConfig config = with_airspeed_at(*session, 300, 300);
  config.windows.erase(config.windows.begin());
  std::string error;
  EXPECT_FALSE(session->set_panel(config, &error));
  EXPECT_NE(error.find("Window00"), std::string::npos) << error;
  EXPECT_TRUE(session->picture() == before);
  EXPECT_EQ(session->gauge_names(), names);
  EXPECT_EQ(session->panel()->windows.size(), 3u);
  EXPECT_EQ(session->layout().placements[0].x, 160);

  EventLog module_log;
  auto module = open_or_fail(dist_dir() + "/Tarnwix_Airspeed.gau", module_log);
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(module->panel(), nullptr);
  EXPECT_FALSE(module->set_panel(*session->panel(), &error)) << "a module alone has no window to lay out";
  EXPECT_FALSE(error.empty());
}

TEST(GaugeviewLayout, ABackgroundChangedOnDiskIsReadAgainOnceItStopsChanging) {
  TemporaryFolder folder("background");
  const std::string bitmap = folder.path + "/background.bmp";
  write_file(folder.path + "/panel.cfg",
             "[Window00]\nfile=background.bmp\nsize_mm=64,48\ngauge00=Tarnwix_Airspeed!Tarnwix_Airspeed, 40, 0, 20\n");
  const host::Rgb first{10, 20, 30}, second{200, 100, 50};
  write_bmp(bitmap, host::Picture(64, 48, first));
  EventLog log;
  auto session = open_or_fail(folder.path + "/panel.cfg", log);
  ASSERT_NE(session, nullptr);
  session->frame();
  EXPECT_TRUE(session->picture().at(5, 5) == first);
  session->reload_changed();
  Sleep(20);
  write_bmp(bitmap, host::Picture(64, 48, second));
  session->reload_changed();
  session->frame();
  EXPECT_FALSE(contains_line(log, "reload background.bmp")) << "a file may still be being written";
  EXPECT_TRUE(session->picture().at(5, 5) == first);
  session->reload_changed();
  EXPECT_TRUE(contains_line(log, "reload background.bmp: its file changed")) << all_lines(log);
  session->frame();
  EXPECT_TRUE(session->picture().at(5, 5) == second);
  ASSERT_EQ(session->changed().size(), 1u);
  EXPECT_EQ(session->changed()[0].width, 64) << "all of it";
  // One that no longer reads is drawn black, and said.
  Sleep(20);
  write_file(bitmap, "not a bitmap");
  session->reload_changed();
  session->reload_changed();
  EXPECT_TRUE(contains_line(log, "not drawn: Window00: background background.bmp:")) << all_lines(log);
  session->frame();
  EXPECT_TRUE(session->picture().at(5, 5) == host::kPureBlack);
}

TEST(GaugeviewLayout, APartDrawnAgainIsTheFullDrawingThereAndNothingElseChanges) {
  const host::Picture gauge(10, 10, {90, 90, 90});
  host::WindowLayout layout;
  layout.background = host::Picture(40, 30, {1, 2, 3});
  host::PanelPlacement drawn{{.module = "G", .gauge = "G"}};
  drawn.x = 2;
  drawn.y = 3;
  drawn.width = 12;
  drawn.height = 8;
  drawn.drawn = true;
  host::PanelPlacement outlined{{.module = "Other", .gauge = "Clock"}};
  outlined.x = 8;
  outlined.y = 6;
  outlined.width = 20;
  outlined.height = 20;
  layout.placements = {drawn, outlined};
  auto picture_of = [&](const host::PanelGauge& line) { return line.module == "G" ? &gauge : nullptr; };
  host::Picture window = host::draw_window(layout, picture_of);
  host::WindowLayout moved = layout;
  moved.placements[0].x = 16;  // now over the outline's corner
  moved.placements[0].y = 10;
  host::redraw_window_part(window, moved, picture_of, {2, 3, 26, 15});
  EXPECT_TRUE(window == host::draw_window(moved, picture_of));
  const host::Picture full = window;
  const host::PixelRect wild[] = {{-5, -5, INT_MAX, INT_MAX},
                                  {INT_MAX, INT_MAX, INT_MAX, INT_MAX},
                                  {100, 100, 5, 5},
                                  {0, 0, -3, 4},
                                  {INT_MIN, INT_MIN, 10, 10}};
  for (const host::PixelRect& part : wild) {
    host::redraw_window_part(window, moved, picture_of, part);
    EXPECT_TRUE(window == full) << part.x << ", " << part.y << ", " << part.width << ", " << part.height;
  }
  // What `over` draws lands inside the part alone, at the window's place.
  host::redraw_window_part(window, moved, picture_of, {30, 0, 5, 5},
                           [](host::Picture& part, const host::PixelRect& where) {
                             for (int y = -10; y < 20; ++y)
                               for (int x = -10; x < 50; ++x) part.set(x - where.x, y - where.y, {255, 0, 255});
                           });
  int marked = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      const bool inside = x >= 30 && x < 35 && y < 5;
      marked += window.at(x, y) == host::Rgb{255, 0, 255};
      if (!inside) {
        EXPECT_TRUE(window.at(x, y) == full.at(x, y)) << x << ", " << y;
      }
    }
  EXPECT_EQ(marked, 25);
}

// ---- The log file and the command line

TEST(GaugeviewLog, EveryLineIsInTheFileAsSoonAsItHappensOneEventALine) {
  TemporaryFolder folder("log");
  const std::string path = folder.path + "/events.log";
  EventLog log;
  std::string error;
  ASSERT_TRUE(log.open_file(path, &error)) << error;
  log.add(3, "key 1\nsecond line");
  log.add_to_file(4, "place canvas 0,0 1x1 zoom 100");
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  EXPECT_EQ(text.str(), "frame 3: key 1 second line\nframe 4: place canvas 0,0 1x1 zoom 100\n");
  EXPECT_EQ(log.lines().size(), 1u) << "place lines are for the file alone";
  EXPECT_FALSE(log.open_file(folder.path + "/no/such/folder/x.log", &error));
}

TEST(GaugeviewArguments, ReadsEveryOptionAndRefusesWhatCannotRunInOneLine) {
  std::string error;
  const auto parsed =
      view::parse_arguments({"--modules", "M", "--rate", "30", "--zoom", "150", "--set", "769=1", "--set", "0x4A=nan",
                             "--log", "L", "--record", "R", "--no-sound", "panel.cfg", "--window", "VCockpit01"},
                            &error);
  ASSERT_TRUE(parsed.has_value()) << error;
  EXPECT_EQ(parsed->modules_folder, "M");
  EXPECT_EQ(parsed->rate, 30);
  EXPECT_EQ(parsed->zoom, 150);
  ASSERT_EQ(parsed->start_values.size(), 2u);
  EXPECT_EQ(parsed->start_values[1].first, 74u);
  EXPECT_TRUE(std::isnan(parsed->start_values[1].second));
  EXPECT_FALSE(parsed->sound);
  EXPECT_EQ(parsed->window, "VCockpit01");
  const auto drag = view::parse_arguments({"--bench-drag", "500", "p.cfg"}, &error);
  ASSERT_TRUE(drag.has_value()) << error;
  EXPECT_EQ(drag->bench_drag_steps, 500);
  const struct {
    std::vector<std::string> arguments;
    const char* expected;
  } refused[] = {
      {{"--rate", "0"}, "--rate wants frames a second above 0"},
      {{"--rate", "nan"}, "--rate"},
      {{"--rate", "1e9"}, "--rate"},
      {{"--rate"}, "--rate wants"},
      {{"--zoom", "5"}, "--zoom wants a whole percentage from 10 to 800"},
      {{"--zoom", "99.5"}, "--zoom"},
      {{"--set", "769"}, "--set wants TOKEN=VALUE"},
      {{"--set", "4294967296=1"}, "--set"},
      {{"--set", "74=1x"}, "--set"},
      {{"--frobnicate"}, "unknown option --frobnicate"},
      {{"a.cfg", "b.cfg"}, "one file at a time"},
      {{"a.gau", "--window", "1"}, "--window goes with a panel.cfg"},
      {{"--bench", "0"}, "--bench"},
      {{"--bench-drag", "2.5"}, "--bench-drag wants a whole number of drag steps"},
      {{"--bench-drag", "inf"}, "--bench-drag"},
      {{"--bench-drag", "5", "a.gau"}, "--bench-drag drags a gauge of a panel.cfg"},
      {{"--bench", "5", "--bench-drag", "5"}, "one at a time"},
  };
  for (const auto& row : refused) {
    error.clear();
    EXPECT_FALSE(view::parse_arguments(row.arguments, &error).has_value()) << row.arguments[0];
    EXPECT_NE(error.find(row.expected), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace tarnwix::test
