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

#include "meanings.h"
#include "reference.h"
#include "support.h"

namespace tarnwix::guide {
namespace {

using host::KeyEvent;
using host::Panel;

const std::vector<ModuleReference>& references() {
  static const std::vector<ModuleReference> all = [] {
    std::vector<ModuleReference> list;
    for (const std::string& name : test::module_names()) {
      const ModuleMeaning* meaning = tarnwix_meanings().module(name);
      std::string error;
      std::optional<ModuleReference> reference =
          observe(test::module_path(name), meaning ? meaning->active : std::vector<VariableSetting>{}, &error);
      EXPECT_TRUE(reference.has_value()) << name << ": " << error;
      if (reference) list.push_back(std::move(*reference));
    }
    return list;
  }();
  return all;
}

const std::string& guide() {
  static const std::string text = [] {
    std::string error;
    std::optional<std::string> written = write_guide(references(), tarnwix_meanings(), TARNWIX_VERSION, &error);
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
    const ModuleMeaning* meaning = tarnwix_meanings().module(name);
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
        for (const VariableSetting& setting : meaning->active)
          Panel::instance().set_variable(setting.token, setting.value);
        module->frame();
        module->frame();
        for (const VariableSetting& setting : meaning->active) Panel::instance().set_variable(setting.token, 0);
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
  Meanings without_token = tarnwix_meanings();
  std::erase_if(without_token.tokens, [](const TokenMeaning& t) { return t.token == 769; });
  EXPECT_FALSE(write_guide(references(), without_token, TARNWIX_VERSION, &error));
  EXPECT_NE(error.find("token 769"), std::string::npos) << error;

  Meanings without_event = tarnwix_meanings();
  std::erase_if(without_event.key_events, [](const KeyEventMeaning& k) { return k.id == 65584; });
  error.clear();
  EXPECT_FALSE(write_guide(references(), without_event, TARNWIX_VERSION, &error));
  EXPECT_NE(error.find("key event 65584"), std::string::npos) << error;

  Meanings without_area = tarnwix_meanings();
  without_area.areas.pop_back();
  error.clear();
  EXPECT_FALSE(write_guide(references(), without_area, TARNWIX_VERSION, &error));
  EXPECT_NE(error.find("click area"), std::string::npos) << error;

  error.clear();
  EXPECT_FALSE(write_guide(references(), tarnwix_meanings(), "0.0.0-other", &error));
  EXPECT_NE(error.find("not 0.0.0-other"), std::string::npos) << error;
  EXPECT_FALSE(write_guide({}, tarnwix_meanings(), TARNWIX_VERSION, &error));

  std::vector<ModuleReference> no_cockpit = references();
  std::erase_if(no_cockpit, [](const ModuleReference& m) { return m.module == "Tarnwix_UtilsVC"; });
  error.clear();
  EXPECT_FALSE(write_panel_cfg(no_cockpit, TARNWIX_VERSION, &error));
  EXPECT_NE(error.find("Tarnwix_UtilsVC"), std::string::npos) << error;

  error.clear();
  EXPECT_FALSE(observe(test::dist_dir() + "/Tarnwix_Nothing.gau", {}, &error));
  EXPECT_FALSE(error.empty());
  error.clear();
  EXPECT_FALSE(observe(test::fake_sound_path(), {}, &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace tarnwix::guide
