// The panel builders' guide against the modules: what its reference lists
// for each gauge is checked against what the host sees of that gauge driven
// here on its own (lookups, registrations, areas, key events), and a guide
// that the meanings table cannot explain is refused.
#include "guide.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>
#include <sstream>
#include <tuple>

#include "host/meanings.h"
#include "panel_config.h"
#include "reference.h"
#include "support.h"
#include "words.h"

namespace tarnwix::guide {
namespace {

using host::KeyEvent;
using host::Panel;

const Observed& observed() {
  static const Observed all = [] {
    std::vector<std::string> paths;
    for (const std::string& name : test::module_names()) paths.push_back(test::module_path(name));
    std::string error;
    std::optional<Observed> seen = observe_modules(paths, host::tarnwix_meanings(), &error);
    EXPECT_TRUE(seen.has_value()) << error;
    return seen.value_or(Observed{});
  }();
  return all;
}

const std::vector<ModuleReference>& references() { return observed().modules; }

const std::string& guide() {
  static const std::string text = [] {
    std::string error;
    std::optional<std::string> written = write_guide(observed(), host::tarnwix_meanings(), TARNWIX_VERSION, &error);
    EXPECT_TRUE(written.has_value()) << error;
    return written.value_or("");
  }();
  return text;
}

// The guide is written before any case drives a module itself: a case that
// keeps a module loaded would lend that load's state to the guide's own runs
// of it, and a case run alone would read another guide than the whole run.
class GuideWrittenFirst : public ::testing::Environment {
 public:
  void SetUp() override { guide(); }
};
[[maybe_unused]] const ::testing::Environment* const guide_written_first =
    ::testing::AddGlobalTestEnvironment(new GuideWrittenFirst);

// The lines of the paragraph of MODULE's section that starts with TITLE, up
// to the next blank line, joined with single spaces (the guide wraps lines).
std::string paragraph(const std::string& module, const std::string& title) {
  std::istringstream lines(guide());
  std::string line, joined;
  bool in_section = false, in_paragraph = false;
  while (std::getline(lines, line)) {
    if (line.rfind(module + ", ", 0) == 0)
      in_section = true;
    else if (in_section && line.rfind("Tarnwix_", 0) == 0 && line.find(" pixels") != std::string::npos)
      break;
    if (!in_section) continue;
    if (!in_paragraph && line.rfind(title, 0) == 0) {
      in_paragraph = true;
      continue;
    }
    if (in_paragraph && line.empty()) break;
    if (in_paragraph) joined += line + "\n";
  }
  return joined;
}

// The tokens a paragraph lists: the numbers that open its entries.
std::vector<uint32_t> listed_tokens(const std::string& text) {
  std::vector<uint32_t> tokens;
  const std::regex entry(R"(^  ([ 0-9]{5})  \S)");
  std::istringstream lines(text);
  std::string line;
  std::smatch match;
  while (std::getline(lines, line))
    if (std::regex_search(line, match, entry) && match[1].str().find_first_of("0123456789") != std::string::npos)
      tokens.push_back(static_cast<uint32_t>(std::stoul(match[1].str())));
  return tokens;
}

std::set<std::pair<uint32_t, int32_t>> listed_events(const std::string& text) {
  std::set<std::pair<uint32_t, int32_t>> events;
  const std::regex entry(R"((\d+) = (-?\d+))");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), entry); it != std::sregex_iterator(); ++it)
    events.insert({static_cast<uint32_t>(std::stoul((*it)[1].str())), std::stoi((*it)[2].str())});
  return events;
}

std::string one_line(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  return std::regex_replace(text, std::regex(" +"), " ");
}

// A module loaded, installed and settled by this test, not by the guide.
std::unique_ptr<host::Module> powered(const std::string& name, double power = 1.0) {
  auto module = test::load(name);
  if (!module) return nullptr;
  module->install();
  Panel::instance().set_variable(769, power);
  module->frame();
  Panel::instance().clear_key_events();
  Panel::instance().clear_lookups();
  return module;
}

TEST(Guide, EachGaugeListsTheTokensItLooksUpInLookupOrderAndCarriesTheProjectVersion) {
  ASSERT_EQ(references().size(), test::module_names().size());
  for (const std::string& name : test::module_names()) {
    SCOPED_TRACE(name);
    auto module = powered(name);
    ASSERT_NE(module, nullptr);
    const host::FrameSnapshot frame = module->frame();
    const std::vector<uint32_t> looked_up = Panel::instance().lookups();
    EXPECT_EQ(listed_tokens(paragraph(name, "Simulation variables it reads")), looked_up);
    ASSERT_FALSE(frame.elements.empty());
    const std::optional<host::Bitmap> root = module->bitmap(frame.elements.front().resource_id);
    ASSERT_TRUE(root.has_value());
    const std::string size = std::to_string(root->width) + ", " + std::to_string(root->height);
    EXPECT_NE(guide().find("gaugeNN=" + name + "!" + name + ", X, Y, " + size + "\n"), std::string::npos);
  }
  for (const ModuleReference& reference : references()) EXPECT_EQ(reference.version, TARNWIX_VERSION);
}

TEST(Guide, EachGaugeListsExactlyItsAreasTheKeyEventsTheirClicksSendAndItsNamedVariables) {
  for (const std::string& name : test::module_names()) {
    SCOPED_TRACE(name);
    std::vector<host::MouseRectView> areas;
    std::set<std::string> registered;
    {
      auto module = powered(name);
      ASSERT_NE(module, nullptr);
      for (const host::MouseRectView& rect : module->mouse_rects())
        if (rect.kind == 2) areas.push_back(rect);
      for (const std::string& entry : Panel::instance().registration_log())
        if (entry.rfind("register ", 0) == 0) registered.insert(entry.substr(9));
    }
    // Every area clicked at its centre, powered and not; then the gauge's
    // active settings for two updates and their end for one more.
    const host::ModuleMeaning* meaning = host::tarnwix_meanings().module(name);
    ASSERT_NE(meaning, nullptr);
    std::set<std::pair<uint32_t, int32_t>> sent;
    std::set<std::string> placed;
    for (const host::MouseRectView& area : areas) {
      placed.insert("x " + std::to_string(area.x) + ", y " + std::to_string(area.y) + ", " +
                    std::to_string(area.width) + " x " + std::to_string(area.height) + " pixels");
      for (double power : {1.0, 0.0}) {
        auto module = powered(name, power);
        ASSERT_NE(module, nullptr);
        module->click(area.x + area.width / 2, area.y + area.height / 2);
        for (const host::VariableSetting& setting : meaning->active)
          Panel::instance().set_variable(setting.token, setting.value);
        module->frame();
        module->frame();
        for (const host::VariableSetting& setting : meaning->active) Panel::instance().set_variable(setting.token, 0);
        module->frame();
        for (const KeyEvent& event : Panel::instance().key_events())
          sent.insert({event.id, static_cast<int32_t>(event.value)});
      }
    }
    EXPECT_EQ(listed_events(paragraph(name, "Key events it sends")), sent);

    const std::string listed_areas = one_line(paragraph(name, "Click areas"));
    std::set<std::string> found;
    const std::regex box(R"(x \d+, y \d+, \d+ x \d+ pixels)");
    for (auto it = std::sregex_iterator(listed_areas.begin(), listed_areas.end(), box); it != std::sregex_iterator();
         ++it)
      found.insert(it->str());
    EXPECT_EQ(found, placed);

    std::set<std::string> named;
    std::istringstream lines(paragraph(name, "Named variables it publishes"));
    std::string line;
    while (std::getline(lines, line))
      if (line != "  none") named.insert(line.substr(2, line.find(':') - 2));
    EXPECT_EQ(named, registered);
  }
}

TEST(Guide, RefusesWhatTheMeaningsDoNotNameAVersionTheModulesDoNotCarryAndFilesThatAreNoGauges) {
  ASSERT_FALSE(references().empty());
  std::string error;
  host::Meanings without_token = host::tarnwix_meanings();
  std::erase_if(without_token.tokens, [](const host::TokenMeaning& t) { return t.token == 769; });
  EXPECT_FALSE(write_guide(observed(), without_token, TARNWIX_VERSION, &error));
  EXPECT_NE(error.find("token 769"), std::string::npos) << error;

  host::Meanings without_event = host::tarnwix_meanings();
  std::erase_if(without_event.key_events, [](const host::KeyEventMeaning& k) { return k.id == 65584; });
  error.clear();
  EXPECT_FALSE(write_guide(observed(), without_event, TARNWIX_VERSION, &error));
  EXPECT_NE(error.find("key event 65584"), std::string::npos) << error;

  host::Meanings without_area = host::tarnwix_meanings();
  without_area.areas.pop_back();
  error.clear();
  EXPECT_FALSE(write_guide(observed(), without_area, TARNWIX_VERSION, &error));
  EXPECT_NE(error.find("click area"), std::string::npos) << error;

  host::Meanings without_window = host::tarnwix_meanings();
  without_window.windows.pop_back();
  error.clear();
  EXPECT_FALSE(write_guide(observed(), without_window, TARNWIX_VERSION, &error));
  EXPECT_NE(error.find("the text element"), std::string::npos) << error;

  error.clear();
  EXPECT_FALSE(write_guide(observed(), host::tarnwix_meanings(), "0.0.0-other", &error));
  EXPECT_NE(error.find("not 0.0.0-other"), std::string::npos) << error;
  EXPECT_FALSE(write_guide(Observed{}, host::tarnwix_meanings(), TARNWIX_VERSION, &error));

  std::vector<ModuleReference> no_cockpit = references();
  std::erase_if(no_cockpit, [](const ModuleReference& m) { return m.module == "Tarnwix_UtilsVC"; });
  error.clear();
  EXPECT_FALSE(write_panel_cfg(no_cockpit, TARNWIX_VERSION, &error));
  EXPECT_NE(error.find("Tarnwix_UtilsVC"), std::string::npos) << error;

  error.clear();
  EXPECT_FALSE(observe_modules({test::dist_dir() + "/Tarnwix_Nothing.gau"}, host::tarnwix_meanings(), &error));
  EXPECT_NE(error.find("Tarnwix_Nothing.gau: no such file"), std::string::npos) << error;
  error.clear();
  EXPECT_FALSE(observe(test::fake_sound_path(), {}, {}, &error));
  EXPECT_NE(error.find("not a gauge module"), std::string::npos) << error;
}

// ---- The click reference against sequences of clicks the test drives itself

// The paragraph of MODULE's click area named NAME ("the BARO SET button"),
// joined into one line.
std::string area_paragraph(const std::string& module, const std::string& name) {
  std::istringstream lines(paragraph(module, "Click areas"));
  std::string line, joined;
  bool in_area = false;
  while (std::getline(lines, line)) {
    if (line.rfind("  " + name + ":", 0) == 0)
      in_area = true;
    else if (in_area && line.size() > 2 && line[2] != ' ')
      break;
    if (in_area) joined += line + "\n";
  }
  return one_line(joined);
}

// The index of the element with resource id ID.
size_t element_with(const host::FrameSnapshot& frame, int id) {
  for (size_t i = 0; i < frame.elements.size(); ++i)
    if (frame.elements[i].resource_id == id) return i;
  ADD_FAILURE() << "no element with resource id " << id;
  return 0;
}

constexpr int kSetLegend = 0x2100, kNavLegend = 0x1400, kGpsLegend = 0x2000;
constexpr int kBaroSetX = 300, kBaroSetY = 70, kCallOutX = 390, kCallOutY = 70, kTestX = 480, kTestY = 70;
constexpr int kVorX = 150, kVorY = 70;

// Updates until the SET legend is out again, counting those it is lit.
int lit_updates(host::Module& module) {
  int lit = 0;
  for (int update = 0; update < 40; ++update) {
    const host::FrameSnapshot frame = module.frame();
    const bool on = frame[element_with(frame, kSetLegend)].image_index() == 1;
    if (!on && lit > 0) break;
    lit += on;
  }
  return lit;
}

int number_after(const std::string& text, const std::string& before) {
  std::smatch match;
  if (!std::regex_search(text, match, std::regex(before + R"((\d+) updates)"))) return -1;
  return std::stoi(match[1].str());
}

TEST(GuideClicks, ASecondClickOnCallOutOrAnnunTestReturnsItsSwitchToZeroAndTheGuideSaysSo) {
  for (const auto& [name, x, y, area] : {std::tuple{"callout", kCallOutX, kCallOutY, "the CALL OUT button"},
                                         std::tuple{"testbutton", kTestX, kTestY, "the ANNUN. TEST button"}}) {
    SCOPED_TRACE(name);
    auto module = powered("Tarnwix_Utils");
    ASSERT_NE(module, nullptr);
    ASSERT_GE(module->click(x, y), 0);
    for (int i = 0; i < 20; ++i) module->frame();
    EXPECT_EQ(Panel::instance().read_named(name), 1u) << "it springs back";
    module->click(x, y);
    EXPECT_EQ(Panel::instance().read_named(name), 0u);
    Panel::instance().write_named(name, 5);
    module->click(x, y);
    EXPECT_EQ(Panel::instance().read_named(name), 0u) << "from a value another gauge wrote";

    const std::string text = area_paragraph("Tarnwix_Utils", area);
    EXPECT_NE(text.find(std::string("switches the named variable \"") + name +
                        "\": it becomes 1 when it was 0, and 0 when it held anything else"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("does not spring back); a second click returns it to 0."), std::string::npos) << text;
    EXPECT_EQ(text.find("from 0 to 1"), std::string::npos) << "the first click alone: " << text;
  }
}

TEST(GuideClicks, BaroSetLightsForTheUpdatesTheGuideGivesWithPowerAfterPowerReturnsAndThroughASecondClick) {
  const std::string text = area_paragraph("Tarnwix_Utils", "the BARO SET button");
  // Powered: one click.
  auto module = powered("Tarnwix_Utils");
  ASSERT_NE(module, nullptr);
  module->click(kBaroSetX, kBaroSetY);
  const int powered_lit = lit_updates(*module);
  EXPECT_EQ(powered_lit, 10);
  EXPECT_EQ(number_after(text, "the SET legend lights at the next update and stays lit for "), powered_lit) << text;
  // Clicked without power, then powered.
  module = powered("Tarnwix_Utils", 0.0);
  ASSERT_NE(module, nullptr);
  module->click(kBaroSetX, kBaroSetY);
  EXPECT_EQ(Panel::instance().key_events(), (std::vector<KeyEvent>{{65584, 0}})) << "sent at once, unpowered";
  for (int i = 0; i < 3; ++i) {
    const host::FrameSnapshot frame = module->frame();
    EXPECT_EQ(frame[element_with(frame, kSetLegend)].image_index(), 0) << "lit without power";
  }
  Panel::instance().set_variable(769, 1.0);
  const int returned_lit = lit_updates(*module);
  EXPECT_EQ(returned_lit, 10);
  EXPECT_EQ(number_after(text, "once power returns, the SET legend is lit from the first powered update for "),
            returned_lit)
      << text;
  // A second click while it is lit.
  module = powered("Tarnwix_Utils");
  ASSERT_NE(module, nullptr);
  module->click(kBaroSetX, kBaroSetY);
  int lit = 0;
  for (int i = 0; i < 4; ++i) {
    const host::FrameSnapshot frame = module->frame();
    lit += frame[element_with(frame, kSetLegend)].image_index() == 1;
  }
  Panel::instance().clear_key_events();
  module->click(kBaroSetX, kBaroSetY);
  EXPECT_EQ(Panel::instance().key_events(), (std::vector<KeyEvent>{{65584, 0}})) << "the second click sends again";
  lit += lit_updates(*module);
  EXPECT_EQ(lit, powered_lit) << "neither restarted nor lengthened";
  EXPECT_NE(text.find("sends 65584 = 0 again, but the SET legend still goes out after the same " +
                      std::to_string(powered_lit) + " updates: the second click neither restarts nor lengthens it"),
            std::string::npos)
      << text;
}

TEST(GuideClicks, TheVorLegendsFollowVariable848AndTheGuideTellsTheSimulatorsAnswerApart) {
  for (const std::string name : {"Tarnwix_Utils", "Tarnwix_UtilsVC"}) {
    SCOPED_TRACE(name);
    auto module = powered(name);
    ASSERT_NE(module, nullptr);
    const host::Bitmap nav_lit = module->bitmap(kNavLegend).value_or(host::Bitmap{});
    ASSERT_GT(std::count_if(nav_lit.rgb.begin(), nav_lit.rgb.end(), [](uint8_t c) { return c != 0; }), 0);
    for (double input : {0.0, 1.0}) {
      Panel::instance().set_variable(848, input);
      const host::FrameSnapshot frame = module->frame();
      EXPECT_EQ(frame[element_with(frame, kNavLegend)].image_index(), static_cast<int>(input)) << input;
      EXPECT_EQ(frame[element_with(frame, kGpsLegend)].image_index(), static_cast<int>(input)) << input;
    }
    // The gauge alone: with a simulator that does not answer, a click changes no legend.
    Panel::instance().set_variable(848, 0.0);
    module->frame();
    Panel::instance().set_answers_key_events(false);
    module->click(kVorX, kVorY);
    host::FrameSnapshot frame = module->frame();
    EXPECT_EQ(frame[element_with(frame, kNavLegend)].image_index(), 0);
    Panel::instance().set_answers_key_events(true);
    module->click(kVorX, kVorY);
    EXPECT_EQ(Panel::instance().variable(848), 1.0);
    frame = module->frame();
    EXPECT_EQ(frame[element_with(frame, kGpsLegend)].image_index(), 1);

    const std::string text = area_paragraph(name, "the VOR 1 INPUT area (over both the NAV and GPS buttons)");
    const size_t simulator = text.find("The simulator:");
    ASSERT_NE(simulator, std::string::npos) << text;
    EXPECT_NE(text.find("The gauge: Each click, with or without power, sends 66375 = 0 at once. It changes nothing "
                        "that the gauge shows by itself."),
              std::string::npos)
        << text;
    EXPECT_GT(text.find("by switching variable 848"), simulator) << text;
    EXPECT_GT(text.find("the NAV legend goes out and the GPS legend lights at the next update"), simulator) << text;
    EXPECT_NE(text.find("a second click brings them back"), std::string::npos) << text;
  }
}

// At a whole part of 2 the altimeter shows the displays that only need the
// power variable not to be 0; the selected altitude window among them only
// while the preselect switch is on, and the guide says so.
TEST(Guide, WhatShowsAtPowerTwoFollowsTheSwitchesAsTheGaugeShowsIt) {
  auto module = powered("Tarnwix_Altimeter", 2.0);
  ASSERT_NE(module, nullptr);
  auto shown_texts = [&](double preselect) {
    Panel::instance().set_variable(108, preselect);
    std::set<std::string> names;
    for (const host::ElementSnapshot& element : module->frame().elements)
      if (element.kind == host::ElementKind::kString && !element.hidden)
        names.insert(host::tarnwix_meanings().window("Tarnwix_Altimeter", element.x, element.y));
    return names;
  };
  const std::set<std::string> off = shown_texts(0.0), on = shown_texts(1.0);
  std::vector<std::string> added;
  std::set_difference(on.begin(), on.end(), off.begin(), off.end(), std::back_inserter(added));
  ASSERT_EQ(added.size(), 1u) << "the preselect switch adds one window at power 2";
  EXPECT_EQ(shown_texts(0.5), on) << "any value but 0 shows it";
  const std::string text = one_line(paragraph("Tarnwix_Altimeter", "With and without power"));
  EXPECT_NE(text.find("at 2, or any other whole part: only "), std::string::npos) << text;
  EXPECT_NE(text.find("; the " + added.front() + " shows too when 108 is anything but 0."), std::string::npos) << text;
  for (const std::string& window : off) EXPECT_NE(text.find(window), std::string::npos) << window;
}

// ---- What the switches show, over every combination of the switches an
// element depends on

// The row of a combination in the paragraph: from "LABEL:" to the row's end.
std::string combination_row(const std::string& text, const std::string& label) {
  const size_t start = text.find(label + ":");
  if (start == std::string::npos) return {};
  const size_t end = text.find_first_of(";.", start);
  return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// The names of the elements shown whose visibility changes with TOKENS, for
// each combination of VALUES, as the test sees the gauge show them.
std::set<std::string> switched_names(host::Module& module, const std::vector<uint32_t>& tokens,
                                     const std::vector<double>& values, const std::set<std::string>& among) {
  for (size_t i = 0; i < tokens.size(); ++i) Panel::instance().set_variable(tokens[i], values[i]);
  std::set<std::string> names;
  const host::FrameSnapshot frame = module.frame();
  for (const ModuleReference& reference : references())
    if (reference.module == module.gauge_name())
      for (const host::ElementSnapshot& element : frame.elements) {
        if (element.hidden || element.index == 0) continue;
        const std::string name = element_name(reference, host::tarnwix_meanings(), element.index);
        if (among.count(name) != 0) names.insert(name);
      }
  return names;
}

std::string value_label(double value) { return value == 0 ? "0" : value == 1 ? "1" : "another value"; }

// Each row names exactly what the test sees shown at its combination, of
// AMONG (COMPLETE: every element the switches show or hide).
void expect_rows(const std::string& module_name, const std::vector<uint32_t>& tokens,
                 const std::vector<std::vector<double>>& combinations, const std::set<std::string>& among,
                 bool complete) {
  auto module = powered(module_name);
  ASSERT_NE(module, nullptr);
  const std::string text = one_line(paragraph(module_name, "With and without power"));
  for (const std::vector<double>& values : combinations) {
    std::string label;
    for (size_t i = 0; i < tokens.size(); ++i)
      label += (i == 0 ? "" : " and ") + std::to_string(tokens[i]) + " at " + value_label(values[i]);
    const std::string row = combination_row(text, label);
    ASSERT_FALSE(row.empty()) << "no row " << label << " in: " << text;
    const std::set<std::string> shown = switched_names(*module, tokens, values, among);
    for (const std::string& name : among)
      EXPECT_EQ(row.find(name) != std::string::npos, shown.count(name) != 0) << row << " / " << name;
    if (shown.empty() && complete) {
      EXPECT_NE(row.find("none of these"), std::string::npos) << row;
    }
  }
}

const std::set<std::string> kAboveTheTape = {"the selected speed readout", "the selected Mach readout",
                                             "the selection OFF readout", "the selected-speed marker"};

TEST(GuideSwitches, TheAirspeedsOffReadoutShowsOnlyWithBothSwitchesAtZero) {
  expect_rows("Tarnwix_Airspeed", {115, 117},
              {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {0.5, 0}, {0, 0.5}, {2, 1}, {1, 2}, {0.5, 0.5}}, kAboveTheTape, true);
  const std::string text = one_line(paragraph("Tarnwix_Airspeed", "With and without power"));
  EXPECT_NE(text.find("the selection OFF readout shows when both 115 and 117 are 0"), std::string::npos) << text;
  EXPECT_NE(text.find("115 at 1 and 117 at 1: the selected speed readout and the selected Mach readout (over each "
                      "other)"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("at 0 the selected speed readout and the selected-speed marker are hidden and the selection "
                      "OFF readout shows"),
            std::string::npos)
      << "one switch told alone: " << text;
}

TEST(GuideSwitches, TheAltimetersPreselectSwitchShowsTheSelectedAltitudeAtAnyValueButZero) {
  const std::set<std::string> switched = {"the selected-altitude marker", "the selected vertical speed window",
                                          "the selected vertical speed pointer"};
  expect_rows("Tarnwix_Altimeter", {108}, {{0}, {1}, {0.5}, {2}}, switched, false);
  auto module = powered("Tarnwix_Altimeter");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(switched_names(*module, {108}, {0.5}, {"the selected altitude window"}),
            (std::set<std::string>{"the selected altitude window"}));
  const std::string text = one_line(paragraph("Tarnwix_Altimeter", "With and without power"));
  EXPECT_NE(text.find("the selected altitude window shows when 108 is anything but 0"), std::string::npos) << text;
  EXPECT_NE(combination_row(text, "108 at another value").find("the selected altitude window"), std::string::npos)
      << text;
}

// The sample panel.cfg, read as the simulator reads it, gives each gauge of
// its main window room for the text boxes that reach past the gauge.
TEST(Guide, TheSamplePanelLeavesRoomForTheTextBoxesThatReachPastTheGauges) {
  std::string error;
  const std::optional<std::string> sample = write_panel_cfg(references(), TARNWIX_VERSION, &error);
  ASSERT_TRUE(sample.has_value()) << error;
  const std::optional<host::PanelConfig> config = host::parse_panel_config(*sample, "panel.cfg", &error);
  ASSERT_TRUE(config.has_value()) << error;
  const host::PanelWindow* main = config->find("Window00");
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(main->size_mm_width && main->size_mm_height);
  int reaching_past = 0;
  for (const host::PanelGauge& gauge : main->gauges) {
    const auto module = std::find_if(references().begin(), references().end(),
                                     [&](const ModuleReference& m) { return m.module == gauge.module; });
    ASSERT_NE(module, references().end()) << gauge.module;
    EXPECT_EQ(gauge.width.value_or(0), module->width) << gauge.module << " at its own size";
    for (const ElementReference& element : module->elements) {
      if (element.kind != host::ElementKind::kString) continue;
      reaching_past += element.x + element.box_width > module->width;
      EXPECT_LE(gauge.x + element.x + element.box_width, *main->size_mm_width) << gauge.module << " " << element.index;
      EXPECT_LE(gauge.y + element.y + element.box_height, *main->size_mm_height)
          << gauge.module << " " << element.index;
    }
  }
  EXPECT_GT(reaching_past, 0) << "some box reaches past its gauge, or this test proves nothing";
}

TEST(GuideClicks, TheVirtualCockpitsPaintedCallOutAndAnnunTestDoNothingAndTheGuideSaysSo) {
  auto with_clicks = powered("Tarnwix_UtilsVC");
  ASSERT_NE(with_clicks, nullptr);
  const host::FrameSnapshot before = with_clicks->frame();
  EXPECT_EQ(with_clicks->click(kCallOutX, kCallOutY), -1);
  EXPECT_EQ(with_clicks->click(kTestX, kTestY), -1);
  const host::FrameSnapshot after = with_clicks->frame();
  EXPECT_TRUE(Panel::instance().key_events().empty());
  EXPECT_TRUE(Panel::instance().named_variables().empty());
  ASSERT_EQ(after.elements.size(), before.elements.size());
  for (size_t i = 0; i < after.elements.size(); ++i) {
    EXPECT_EQ(after[i].hidden, before[i].hidden) << i;
    EXPECT_EQ(after[i].values, before[i].values) << i;
  }
  const std::string text = one_line(paragraph("Tarnwix_UtilsVC", "Click areas"));
  EXPECT_NE(text.find("A click on the ANNUN. TEST button or the CALL OUT button, where Tarnwix_Utils has areas, "
                      "reaches no area here and changes nothing."),
            std::string::npos)
      << text;
  EXPECT_NE(one_line(paragraph("Tarnwix_Utils", "It registers \"testbutton\" and \"callout\""))
                .find("other gauges find them only while Tarnwix_Utils is on the loaded panel"),
            std::string::npos);
}

TEST(Guide, PlainTextOf78ColumnsThatPlacesTheStripTheBezelAndGaugeSound) {
  std::istringstream lines(guide());
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    EXPECT_LE(line.size(), 78u) << "line " << number << ": " << line;
    for (char c : line) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << "line " << number << ": " << line;
  }
  const std::string text = one_line(guide());
  EXPECT_NE(text.find("and the line of Tarnwix_UtilsVC to a [VcockpitNN] section"), std::string::npos);
  EXPECT_NE(text.find("put the one you use on a line after Tarnwix_Background_S in the same section"),
            std::string::npos);
  EXPECT_NE(text.find("The Gauges folder is not among them: a GaugeSound.dll put there is not found."),
            std::string::npos);
  // The overhangs are the modules' own boxes: the airspeed's reach x 102 and y 340.
  for (const ModuleReference& module : references()) {
    int right = 0, bottom = 0;
    for (const ElementReference& element : module.elements)
      if (element.kind == host::ElementKind::kString) {
        right = std::max(right, element.x + element.box_width - 1);
        bottom = std::max(bottom, element.y + element.box_height - 1);
      }
    if (right < module.width && bottom < module.height) continue;
    const std::string section = one_line(paragraph(module.module, "Text windows"));
    EXPECT_NE(section.find("to x = " + std::to_string(right) + " (the gauge is"), std::string::npos) << section;
    EXPECT_NE(section.find("to y = " + std::to_string(bottom) + " (the gauge is"), std::string::npos) << section;
  }
  EXPECT_NE(one_line(paragraph("Tarnwix_Airspeed", "Text windows")).find("to x = 102 (the gauge is 101 wide)"),
            std::string::npos);
}

// ---- Two placements of one gauge, named variables and the stand-in's words

constexpr int kOnLegend = 0x1300, kCallOutLegend = 0x1900;
constexpr int kBrakeHelpX = 56, kBrakeHelpY = 76;

TEST(GuidePlacements, TwoPlacementsOfTarnwixUtilsShareOneStateAndTheGuideSaysWhatFollows) {
  auto first = powered("Tarnwix_Utils");
  ASSERT_NE(first, nullptr);
  std::string error;
  auto second = host::Module::load(test::module_path("Tarnwix_Utils"), &error);
  ASSERT_NE(second, nullptr) << error;
  second->install();
  second->frame();
  ASSERT_GE(first->click(kBrakeHelpX, kBrakeHelpY), 0);
  first->frame();
  const host::FrameSnapshot other = second->frame();
  EXPECT_EQ(other[element_with(other, kOnLegend)].image_index(), 1) << "armed in both";
  for (const host::VariableSetting& setting : host::tarnwix_meanings().module("Tarnwix_Utils")->active)
    Panel::instance().set_variable(setting.token, setting.value);
  const std::vector<KeyEvent> sent = first->frame().key_events;
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(second->frame().key_events, sent);
  for (const host::VariableSetting& setting : host::tarnwix_meanings().module("Tarnwix_Utils")->active)
    Panel::instance().set_variable(setting.token, 0);
  first->frame();
  second->frame();
  first->click(kBaroSetX, kBaroSetY);
  int lit_first = 0, lit_second = 0;
  for (int round = 0; round < 10; ++round) {
    const host::FrameSnapshot a = first->frame(), b = second->frame();
    lit_first += a[element_with(a, kSetLegend)].image_index() == 1;
    lit_second += b[element_with(b, kSetLegend)].image_index() == 1;
  }
  first->kill();
  const bool withdrawn = Panel::instance().named_variables().empty();
  second->kill();

  const std::string text = one_line(paragraph("Tarnwix_Utils", "Placed twice"));
  EXPECT_NE(text.find("a click on the BRAKE HELP button of either placement switches brake help between armed and "
                      "disarmed in both: the BRAKE HELP ON legend lights in both"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("each placement's update sends " + events_text(sent)), std::string::npos) << text;
  EXPECT_NE(text.find("the SET legend lights in both for " + std::to_string(lit_first + lit_second) +
                      " updates counted over both placements (" + std::to_string(lit_first) + " of each)"),
            std::string::npos)
      << text;
  EXPECT_EQ(lit_first, lit_second);
  ASSERT_TRUE(withdrawn);
  EXPECT_NE(text.find("Removing either placement withdraws \"testbutton\" and \"callout\", though the other "
                      "stays"),
            std::string::npos)
      << text;
}

TEST(GuideNamed, TheNamedVariablesAreWholeNumbersResetAtTheFirstDrawThatAnyGaugeMayWrite) {
  auto module = test::load("Tarnwix_Utils");
  ASSERT_NE(module, nullptr);
  module->install();
  Panel& panel = Panel::instance();
  ASSERT_EQ(panel.named_variables().count("callout"), 1u);
  EXPECT_EQ(panel.named_variables().at("callout").type, 0x13u);
  panel.set_variable(769, 1.0);
  panel.write_named("callout", 5);
  module->frame();
  EXPECT_EQ(panel.read_named("callout"), 0u) << "reset at the first draw";
  panel.write_named("callout", 1);
  host::FrameSnapshot frame = module->frame();
  EXPECT_EQ(frame[element_with(frame, kCallOutLegend)].image_index(), 1) << "another gauge's 1 lights it";
  panel.write_named("callout", 0);
  frame = module->frame();
  EXPECT_EQ(frame[element_with(frame, kCallOutLegend)].image_index(), 0);
  module->kill();

  // The paragraph after the list of names (the only one that tells them so).
  const std::string all = one_line(guide());
  const size_t at = all.find("Each is a 32-bit whole number (type 0x13)");
  ASSERT_NE(at, std::string::npos);
  const std::string text = all.substr(at, all.find("It registers", at) - at);
  EXPECT_NE(text.find("reset to 0 at the gauge's first draw"), std::string::npos) << text;
  EXPECT_NE(text.find("any gauge of the panel may write them"), std::string::npos) << text;
  EXPECT_NE(text.find("the CALL OUT ON legend follows \"callout\""), std::string::npos) << text;
  EXPECT_NE(text.find("the CHK legend follows \"testbutton\""), std::string::npos) << text;
}

TEST(Guide, TellsTheSimulatorsPartAsWhatTheGaugeExpectsWithoutTheScriptsOwnDetails) {
  const std::string text = one_line(guide());
  for (const char* detail : {"(here after", "seen from 1, and from", "(here the conditions"})
    EXPECT_EQ(text.find(detail), std::string::npos) << detail;
  const std::string vor = area_paragraph("Tarnwix_Utils", "the VOR 1 INPUT area (over both the NAV and GPS buttons)");
  EXPECT_NE(vor.find("The simulator: The gauge expects the simulator to answer 66375 = 0 by switching variable 848"),
            std::string::npos)
      << vor;
}

// Every text box that reaches past its gauge is named by its window, with
// how far, and, where the window's reach changes with a value, when.
TEST(Guide, NamesEveryTextBoxThatReachesPastItsGaugeWithHowFarAndWhen) {
  for (const ModuleReference& module : references()) {
    const std::string text = one_line(paragraph(module.module, "Text windows"));
    std::map<std::string, std::set<int>> reaches;
    for (const ElementReference& element : module.elements)
      if (element.kind == host::ElementKind::kString && element.x + element.box_width > module.width)
        reaches[element_name(module, host::tarnwix_meanings(), element.index)].insert(element.x + element.box_width -
                                                                                      module.width);
    if (reaches.empty()) continue;
    const size_t told = text.find("reach past its picture:");
    ASSERT_NE(told, std::string::npos) << text;
    for (const auto& [name, right] : reaches) {
      SCOPED_TRACE(module.module + ", " + name);
      // The window's entry: from its name to the next window's.
      const size_t at = text.find(name, told);
      ASSERT_NE(at, std::string::npos) << text;
      const std::string entry = text.substr(at, text.find_first_of(";.", at) - at);
      EXPECT_NE(entry.find(format(" %d pixels to the right", *right.begin())), std::string::npos) << entry;
      if (right.size() > 1) {
        const std::string furthest = format(", %d while variable ", *right.rbegin());
        EXPECT_NE(entry.find(furthest), std::string::npos) << entry;
      }
    }
  }
  // The altimeter's altitude window reaches furthest only below zero.
  auto module = powered("Tarnwix_Altimeter");
  ASSERT_NE(module, nullptr);
  int widest_below = 0, widest_above = 0;
  for (const double altitude : {-50.0, 50.0}) {
    Panel::instance().set_variable(74, altitude);
    for (const host::ElementSnapshot& element : module->frame().elements)
      if (element.kind == host::ElementKind::kString && !element.hidden && element.x == 30 && element.y == 138)
        (altitude < 0 ? widest_below : widest_above) = element.x + element.box_width - 178;
  }
  EXPECT_EQ(widest_above, 2);
  EXPECT_EQ(widest_below, 74);
  EXPECT_NE(one_line(paragraph("Tarnwix_Altimeter", "Text windows"))
                .find("the altitude window 2 pixels to the right, 74 while variable 74 (altitude in feet) is below 0"),
            std::string::npos);
}

// A picture that no element ever selects is carried, never shown.
TEST(Guide, APictureNoCallbackSelectsIsCarriedNeverShown) {
  auto module = powered("Tarnwix_Utils");
  ASSERT_NE(module, nullptr);
  for (double power : {1.0, 0.0, 2.0}) {
    Panel::instance().set_variable(769, power);
    const host::FrameSnapshot frame = module->frame();
    EXPECT_EQ(frame[element_with(frame, 0x2500)].image_index(), 0) << "the lit captions' picture 2 is chosen";
  }
  const std::string pictures = paragraph("Tarnwix_Utils", "Pictures");
  EXPECT_NE(pictures.find("0x2501     3 x 2     8-bit  lit captions, picture 2: carried, never shown"),
            std::string::npos)
      << pictures;
  EXPECT_NE(paragraph("Tarnwix_Airspeed", "Pictures").find("readout frame, picture 2: drawn without power"),
            std::string::npos);
  EXPECT_NE(paragraph("Tarnwix_Utils", "Pictures").find("SET legend, picture 2: lit"), std::string::npos);
}

}  // namespace
}  // namespace tarnwix::guide
