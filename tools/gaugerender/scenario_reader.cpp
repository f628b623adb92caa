// Reading scenario files: plain C++ over text (see scenario_reader.h).
#include "scenario_reader.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "panel_config.h"

namespace tarnwix::host {

int Scenario::total_frames() const {
  int total = 0;
  for (const ScenarioStep& step : steps)
    if (step.kind == ScenarioStep::Kind::kFrames) total += step.frames;
  return total;
}

namespace {

// The modules in the order `module all` places them, and where it puts each:
// the attitude bezel between the speed and altitude displays, the two button
// strips under them.
struct PanelPlace {
  const char* name;
  int x, y;
};
constexpr PanelPlace kAllModules[] = {{"Tarnwix_Airspeed", 0, 220},
                                      {"Tarnwix_Background_S", 111, 0},
                                      {"Tarnwix_Altimeter", 857, 220},
                                      {"Tarnwix_Utils", 0, 780},
                                      {"Tarnwix_UtilsVC", 556, 780}};

}  // namespace

const std::vector<std::string>& all_module_names() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> list;
    for (const PanelPlace& place : kAllModules) list.emplace_back(place.name);
    return list;
  }();
  return names;
}

bool same_name(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string our_module_name(std::string_view name) {
  for (const std::string& ours : all_module_names())
    if (same_name(ours, name)) return ours;
  return {};
}

double ramp_value(double from, double target, int i, int n) {
  if (i >= n || !std::isfinite(from) || !std::isfinite(target)) return target;
  return from + (target - from) * (static_cast<double>(i) / n);
}

namespace {

constexpr int kMaxFrames = 100000;
constexpr int kMaxCoordinate = 1 << 20;

std::vector<std::string> split_words(std::string_view line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    const size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) words.emplace_back(line.substr(start, i - start));
  }
  return words;
}

// The text after the first `count` words, without its surrounding blanks.
std::string rest_after(std::string_view line, size_t count) {
  size_t i = 0;
  for (size_t word = 0; word < count; ++word) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
  }
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  size_t end = line.size();
  while (end > i && (line[end - 1] == ' ' || line[end - 1] == '\t')) --end;
  return std::string(line.substr(i, end - i));
}

bool parse_double(const std::string& text, double* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const double parsed = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size()) return false;
  // strtod reads hex floats and nan(...) too; only plain decimals and the
  // words nan, inf and infinity are scenario numbers.
  if (text.find_first_of("xX(") != std::string::npos) return false;
  *value = parsed;  // an overflowing decimal reads as +-inf, as written
  return true;
}

// A whole number in [low, high], decimal or 0x hex.
bool parse_integer(const std::string& text, int64_t low, int64_t high, int64_t* value) {
  if (text.empty()) return false;
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string digits = hex ? text.substr(2) : text;
  const size_t sign = !hex && (digits[0] == '-' || digits[0] == '+') ? 1 : 0;
  if (digits.size() == sign || digits.size() - sign > 18) return false;
  for (size_t i = sign; i < digits.size(); ++i)
    if (!(hex ? std::isxdigit(static_cast<unsigned char>(digits[i]))
              : std::isdigit(static_cast<unsigned char>(digits[i]))))
      return false;
  const int64_t parsed = std::strtoll(digits.c_str(), nullptr, hex ? 16 : 10);
  if (parsed < low || parsed > high) return false;
  *value = parsed;
  return true;
}

bool is_module_name(const std::string& name) {
  if (name.empty() || name.size() > 64) return false;
  return std::all_of(name.begin(), name.end(),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
}

}  // namespace

std::optional<Scenario> parse_scenario(std::string_view text, const std::string& source, std::string* error) {
  Scenario scenario;
  scenario.source = source;
  int number = 0;
  std::string fault;
  auto fail = [&](const std::string& message) {
    if (error) *error = source + ":" + std::to_string(number) + ": " + message;
    return std::nullopt;
  };
  size_t position = 0;
  bool acted = false;
  while (position <= text.size()) {
    const size_t end = std::min(text.find('\n', position), text.size());
    std::string_view line = text.substr(position, end - position);
    position = end + 1;
    ++number;
    if (const size_t hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::vector<std::string> words = split_words(line);
    if (words.empty()) {
      if (end == text.size()) break;
      continue;
    }
    const std::string& key = words[0];
    const size_t arguments = words.size() - 1;
    ScenarioStep step;
    step.line = number;
    if (key == "title") {
      if (arguments == 0) return fail("title wants a text");
      scenario.title = rest_after(line, 1);
    } else if (key == "module") {
      if (acted) return fail("module lines come before every action");
      if (!scenario.panel.empty()) return fail("a panel line and module lines do not mix");
      if (arguments != 1 && arguments != 4) return fail("module wants NAME or NAME at X Y");
      const std::string& name = words[1];
      if (name == "all") {
        if (arguments != 1) return fail("module all takes no position");
        for (const PanelPlace& place : kAllModules) scenario.modules.push_back({place.name, true, place.x, place.y});
      } else {
        if (!is_module_name(name)) return fail("not a module name: '" + name + "'");
        ScenarioModule module{name};
        if (arguments == 4) {
          int64_t x = 0, y = 0;
          if (words[2] != "at") return fail("module wants NAME at X Y, not '" + words[2] + "'");
          if (!parse_integer(words[3], 0, kMaxCoordinate, &x) || !parse_integer(words[4], 0, kMaxCoordinate, &y))
            return fail("module position wants two whole numbers from 0 to " + std::to_string(kMaxCoordinate));
          module = {name, true, static_cast<int>(x), static_cast<int>(y)};
        }
        scenario.modules.push_back(module);
      }
      for (size_t i = 0; i + 1 < scenario.modules.size(); ++i)
        if (scenario.modules[i].name == scenario.modules.back().name)
          return fail("module " + scenario.modules.back().name + " is already on the panel");
    } else if (key == "panel") {
      if (acted) return fail("the panel line comes before every action");
      if (!scenario.panel.empty()) return fail("one panel line only");
      if (!scenario.modules.empty()) return fail("a panel line and module lines do not mix");
      size_t path_words = arguments;
      if (arguments >= 3 && words[arguments - 1] == "window") {
        path_words -= 2;
        scenario.panel_window = words[arguments];
      } else if (arguments >= 1 && words[arguments] == "window") {
        return fail("panel wants PATH [window N]: the window is missing");
      }
      if (path_words == 0) return fail("panel wants PATH [window N]");
      std::string path = words[1];
      for (size_t i = 2; i <= path_words; ++i) path += " " + words[i];
      scenario.panel = join_path(folder_of(source), path);
      scenario.panel_as_written = path;
      scenario.panel_line = number;
    } else if (key == "set" || key == "ramp") {
      if (arguments != 2) return fail(key + " wants TOKEN VALUE");
      int64_t token = 0;
      if (!parse_integer(words[1], 0, 0xFFFFFFFFll, &token))
        return fail("malformed token '" + words[1] + "' (a whole number from 0 to 4294967295)");
      if (!parse_double(words[2], &step.value)) return fail("malformed number '" + words[2] + "'");
      step.kind = key == "set" ? ScenarioStep::Kind::kSet : ScenarioStep::Kind::kRamp;
      step.token = static_cast<uint32_t>(token);
      acted = true;
      scenario.steps.push_back(step);
    } else if (key == "click") {
      if (arguments != 2 && arguments != 3) return fail("click wants [MODULE] X Y");
      if (arguments == 3) step.module = words[1];
      int64_t x = 0, y = 0;
      if (!parse_integer(words[arguments - 1], -kMaxCoordinate, kMaxCoordinate, &x) ||
          !parse_integer(words[arguments], -kMaxCoordinate, kMaxCoordinate, &y))
        return fail("click wants whole-number coordinates, not '" + words[arguments - 1] + " " + words[arguments] +
                    "'");
      step.kind = ScenarioStep::Kind::kClick;
      step.x = static_cast<int>(x);
      step.y = static_cast<int>(y);
      acted = true;
      scenario.steps.push_back(step);
    } else if (key == "named") {
      if (arguments != 2) return fail("named wants NAME VALUE");
      int64_t word = 0;
      if (!parse_integer(words[2], 0, 0xFFFFFFFFll, &word))
        return fail("malformed named value '" + words[2] + "' (a whole number from 0 to 4294967295)");
      step.kind = ScenarioStep::Kind::kNamed;
      step.name = words[1];
      step.word = static_cast<uint32_t>(word);
      acted = true;
      scenario.steps.push_back(step);
    } else if (key == "frames") {
      int64_t frames = 0;
      if (arguments == 0 || !parse_integer(words[1], 1, kMaxFrames, &frames))
        return fail("frames wants a count from 1 to " + std::to_string(kMaxFrames) +
                    (arguments == 0 ? std::string() : ", not '" + words[1] + "'"));
      step.kind = ScenarioStep::Kind::kFrames;
      step.frames = static_cast<int>(frames);
      step.caption = rest_after(line, 2);
      acted = true;
      scenario.steps.push_back(step);
    } else {
      return fail("unknown key '" + key + "'");
    }
    if (end == text.size()) break;
  }
  int pending_ramp = 0;  // the line of a ramp that no frames line follows yet
  for (const ScenarioStep& step : scenario.steps) {
    if (step.kind == ScenarioStep::Kind::kRamp && pending_ramp == 0) pending_ramp = step.line;
    if (step.kind == ScenarioStep::Kind::kFrames) pending_ramp = 0;
  }
  if (pending_ramp != 0) {
    number = pending_ramp;
    return fail("ramp without a frames line after it");
  }
  auto fail_file = [&](const std::string& message) {
    if (error) *error = source + ": " + message;
    return std::nullopt;
  };
  if (scenario.modules.empty() && scenario.panel.empty()) return fail_file("no module or panel line");
  if (scenario.total_frames() > kMaxFrames)
    return fail_file("more than " + std::to_string(kMaxFrames) + " frames in all");
  return scenario;
}

std::optional<Scenario> read_scenario(const std::string& path, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    if (error) *error = path + ": cannot read the file";
    return std::nullopt;
  }
  std::ostringstream text;
  text << file.rdbuf();
  return parse_scenario(text.str(), path, error);
}

}  // namespace tarnwix::host
