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
  const std::string text = one_line(paragraph("Tarnwix_Altimeter", "With and without power"));
  EXPECT_NE(text.find("at 2, or any other whole part: only "), std::string::npos) << text;
  EXPECT_NE(text.find("; with variable 108 at 1, the " + added.front() + " shows too."), std::string::npos) << text;
  for (const std::string& window : off) EXPECT_NE(text.find(window), std::string::npos) << window;
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
    EXPECT_NE(section.find("(to x = " + std::to_string(right) + ";"), std::string::npos) << section;
    EXPECT_NE(section.find("(to y = " + std::to_string(bottom) + ";"), std::string::npos) << section;
  }
  EXPECT_NE(one_line(paragraph("Tarnwix_Airspeed", "Text windows")).find("(to x = 102;"), std::string::npos);
}

}  // namespace
}  // namespace tarnwix::guide
