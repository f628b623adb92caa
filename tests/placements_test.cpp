// One gauge placed twice, as a panel places a strip in its main window and
// again in a pop-up: the simulator loads the module once and drives each
// placement with its own calls, so the two share one state block. Checked
// on the host (two instances of one load) and on the renderer (a window
// that places one module twice).
#include <windows.h>

#include <fstream>

#include "panel.h"
#include "picture_files.h"
#include "scenario.h"
#include "support.h"

namespace tarnwix::test {
namespace {

using host::FrameSnapshot;
using host::KeyEvent;
using host::Module;
using host::Panel;

constexpr int kOnLegend = 0x1300, kSetLegend = 0x2100, kCallOutLegend = 0x1900;
constexpr int kBrakeHelpX = 56, kBrakeHelpY = 76, kBaroSetX = 300, kBaroSetY = 70, kCallOutX = 390, kCallOutY = 70;
const std::vector<KeyEvent> kApply = {{65786, 16384}, {65820, 0xFFFFF000u}, {65821, 0xFFFFF000u}};

size_t element_with(const FrameSnapshot& frame, int id) {
  for (size_t i = 0; i < frame.elements.size(); ++i)
    if (frame.elements[i].resource_id == id) return i;
  ADD_FAILURE() << "no element with resource id " << id;
  return 0;
}

int state_of(const FrameSnapshot& frame, int id) { return frame[element_with(frame, id)].image_index(); }

// A second placement of a module the test loaded already: the panel is kept.
std::unique_ptr<Module> second_placement(const std::string& name) {
  std::string error;
  auto module = Module::load(module_path(name), &error);
  EXPECT_NE(module, nullptr) << error;
  return module;
}

TEST(Placements, TwoPlacementsOfTarnwixUtilsAreOneLoadWithOneState) {
  auto first = load("Tarnwix_Utils");
  ASSERT_NE(first, nullptr);
  first->install();
  Panel& panel = Panel::instance();
  panel.set_variable(769, 1.0);
  first->frame();
  const int loads = first->imports().load_library;
  ASSERT_GT(loads, 0);
  auto second = second_placement("Tarnwix_Utils");
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->handle(), first->handle()) << "one load";
  EXPECT_EQ(first->imports().load_library, loads) << "the second placement keeps the load's counts";
  second->install();
  EXPECT_EQ(panel.registration_log(), (std::vector<std::string>{"register testbutton", "register callout",
                                                                "register testbutton", "register callout"}));
  second->frame();

  // A click on one placement shows in both; each placement's update sends.
  ASSERT_GE(first->click(kBrakeHelpX, kBrakeHelpY), 0);
  ASSERT_GE(first->click(kCallOutX, kCallOutY), 0);
  EXPECT_EQ(state_of(first->frame(), kOnLegend), 1);
  const FrameSnapshot seen = second->frame();
  EXPECT_EQ(state_of(seen, kOnLegend), 1) << "armed in both";
  EXPECT_EQ(state_of(seen, kCallOutLegend), 1);
  for (const auto& [token, value] : {std::pair{60u, 1.0}, std::pair{322u, 11.0}, std::pair{832u, 6.0}})
    panel.set_variable(token, value);
  EXPECT_EQ(first->frame().key_events, kApply);
  EXPECT_EQ(second->frame().key_events, kApply);

  // The SET light's ten updates are counted over both placements.
  ASSERT_GE(second->click(kBaroSetX, kBaroSetY), 0);
  int lit_first = 0, lit_second = 0;
  for (int round = 0; round < 10; ++round) {
    lit_first += state_of(first->frame(), kSetLegend) == 1;
    lit_second += state_of(second->frame(), kSetLegend) == 1;
  }
  EXPECT_EQ(lit_first, 5);
  EXPECT_EQ(lit_second, 5);

  // Removing one placement withdraws the names while the other still runs.
  first->kill();
  first->call_module_deinit();
  expect_clean_calls(*first);
  first.reset();
  EXPECT_TRUE(panel.named_variables().empty());
  EXPECT_EQ(state_of(second->frame(), kOnLegend), 1) << "the other placement runs on, still armed";
  expect_clean_calls(*second);
  second->kill();
}

TEST(Placements, EachPlacementOfTheAirspeedReadsItsOwnTextsAndOutlivesTheOther) {
  auto first = load("Tarnwix_Airspeed");
  ASSERT_NE(first, nullptr);
  auto second = second_placement("Tarnwix_Airspeed");
  ASSERT_NE(second, nullptr);
  first->install();
  second->install();
  Panel& panel = Panel::instance();
  panel.set_variable(769, 1.0);
  constexpr size_t kReadout = 3;  // the airspeed readout, in chain order
  for (const double speed : {120.0, 130.0, 140.0}) {
    panel.set_variable(61, speed);
    const std::string text = std::to_string(static_cast<int>(speed));
    EXPECT_EQ(first->frame()[kReadout].text, text);
    EXPECT_EQ(second->frame()[kReadout].text, text);
  }
  second->kill();
  second->call_module_deinit();
  expect_clean_calls(*second);
  second.reset();
  panel.set_variable(61, 150.0);
  EXPECT_EQ(first->frame()[kReadout].text, "150");
  expect_clean_calls(*first);
}

// ---- The renderer: a window that places Tarnwix_Utils twice

host::RunOptions options_into(const std::string& folder) {
  host::RunOptions options;
  options.modules_folder = dist_dir();
  options.output_folder = folder;
  options.progress = false;
  options.last_frame = true;
  options.output_name = "twice";
  return options;
}

host::RunResult run(const std::string& folder, const std::string& steps) {
  std::string error;
  auto scenario = host::parse_scenario("panel panel.cfg\nset 769 1\n" + steps, folder + "/s.txt", &error);
  EXPECT_TRUE(scenario.has_value()) << error;
  return host::run_scenario(scenario.value_or(host::Scenario{}), options_into(folder));
}

// Pixels of the SET legend's light (green) in the placement whose top is TOP.
int green_in_set_legend(const host::Picture& window, int top) {
  int green = 0;
  for (int y = top + 56; y < top + 98; ++y)
    for (int x = 290; x < 352; ++x) {
      const host::Rgb pixel = window.at(x, y);
      green += pixel.g > 150 && pixel.r < 100 && pixel.b < 100;
    }
  return green;
}

TEST(PlacementsRun, AWindowThatPlacesOneModuleTwiceRunsEachPlacementOnTheOneState) {
  const TemporaryFolder folder("placed_twice");
  std::ofstream(folder.path + "/panel.cfg") << "[Window00]\nsize_mm=546,230\n"
                                               "gauge00=Tarnwix_Utils!Tarnwix_Utils, 0, 0\n"
                                               "gauge01=Tarnwix_Utils!Tarnwix_Utils, 0, 115\n";
  // After the first draw (which resets the light), a click: lit after 4
  // frames (8 updates over both placements), out after 6 (12 updates).
  const host::RunResult lit = run(folder.path, "frames 1\nclick Tarnwix_Utils 300 70\nframes 4\n");
  ASSERT_TRUE(lit.ok) << lit.message;
  host::Picture window = read_png(folder.path + "/twice.png");
  ASSERT_EQ(window.height, 230);
  EXPECT_GT(green_in_set_legend(window, 0), 0);
  EXPECT_GT(green_in_set_legend(window, 115), 0) << "the second placement shows the first one's click";
  const host::RunResult out = run(folder.path, "frames 1\nclick Tarnwix_Utils 300 70\nframes 6\n");
  ASSERT_TRUE(out.ok) << out.message;
  window = read_png(folder.path + "/twice.png");
  EXPECT_EQ(green_in_set_legend(window, 0), 0) << "ten updates counted over both placements";
  EXPECT_EQ(green_in_set_legend(window, 115), 0);

  // Brake help armed once sends from each placement's update.
  const host::RunResult braking =
      run(folder.path, "frames 1\nset 60 1\nset 322 11\nset 832 6\nclick Tarnwix_Utils 56 76\nframes 1\n");
  ASSERT_TRUE(braking.ok) << braking.message;
  const std::string events =
      "Tarnwix_Utils key 65786 16384, Tarnwix_Utils key 65820 -4096, Tarnwix_Utils key 65821 -4096";
  bool twice = false;
  for (const std::string& line : braking.log) twice = twice || line.find(events + ", " + events) != std::string::npos;
  EXPECT_TRUE(twice) << "each placement's update sends the brake events";
}

}  // namespace
}  // namespace tarnwix::test
