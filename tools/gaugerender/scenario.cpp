// Reading scenario files and playing them on the stand-in simulator.
#include "scenario.h"

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

#include "host/host.h"
#include "render.h"

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
  if (scenario.modules.empty()) return fail_file("no module line");
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

// ---- Playing

namespace {

constexpr int kPanelGap = 10;
constexpr Rgb kPanelGrey{28, 28, 30};

struct Loaded {
  ScenarioModule place;
  std::unique_ptr<Module> module;
  std::unique_ptr<BitmapCache> bitmaps;
  int width = 0, height = 0;  // the background's size
  bool installed = false;
};

// Kills an installed gauge, so that it withdraws what it registered, and
// deinitialises its module; once.
void retire(Loaded& entry) {
  if (!entry.installed) return;
  entry.module->kill();
  entry.module->call_module_deinit();
  entry.installed = false;
}

std::string file_stem(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

bool file_exists(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

std::string format_event(const KeyEvent& event) {
  char text[64];
  std::snprintf(text, sizeof text, "%u %d", event.id, static_cast<int32_t>(event.value));
  return text;
}

std::string format_value(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

}  // namespace

RunResult run_scenario(const Scenario& scenario, const RunOptions& options) {
  RunResult result;
  auto refuse = [&](const std::string& message) {
    result.message = message;
    return result;
  };
  Panel& panel = Panel::instance();
  panel.reset();
  panel.set_sound_library(SoundLibraryMode::kAbsent);

  // Load every module, and place those without a position left to right.
  // Whatever happens, every installed gauge is killed before its module is
  // unloaded, so that it withdraws what it registered.
  std::vector<Loaded> loaded;
  struct KillOnExit {
    std::vector<Loaded>& loaded;
    ~KillOnExit() {
      for (Loaded& entry : loaded) retire(entry);
    }
  } kill_on_exit{loaded};
  int next_x = 0;
  for (const ScenarioModule& place : scenario.modules) {
    const std::string path = options.modules_folder + "/" + place.name + ".gau";
    if (!file_exists(path)) {
      if (options.skip_missing) {
        result.ok = true;
        result.skipped = true;
        return refuse(scenario.source + ": skipped, " + place.name + " is not built (" + path + ")");
      }
      return refuse(scenario.source + ": no module " + place.name + " (" + path + ")");
    }
    std::string error;
    Loaded entry{place, Module::load(path, &error)};
    if (!entry.module) return refuse(scenario.source + ": cannot load " + path + ": " + error);
    entry.bitmaps = std::make_unique<BitmapCache>(*entry.module);
    loaded.push_back(std::move(entry));
  }
  for (Loaded& entry : loaded) {
    entry.module->call_module_init();
    entry.module->install();
    entry.installed = true;
    // The gauge's size is its background's: the root's bitmap.
    const std::vector<uint8_t*> chain = entry.module->chain();
    const Bitmap* root = chain.empty() ? nullptr : entry.bitmaps->find(i32(chain.front(), element::kResourceId));
    if (root == nullptr) return refuse(scenario.source + ": " + entry.place.name + " has no background bitmap");
    entry.width = root->width;
    entry.height = root->height;
    if (!entry.place.placed) {
      entry.place.x = next_x;
      entry.place.y = 0;
    }
    next_x = std::max(next_x, entry.place.x + entry.width + kPanelGap);
  }

  // Check every action against the panel before the first frame.
  auto find = [&](const std::string& name) -> Loaded* {
    for (Loaded& entry : loaded)
      if (entry.place.name == name) return &entry;
    return nullptr;
  };
  auto at_line = [&](const ScenarioStep& step) { return scenario.source + ":" + std::to_string(step.line) + ": "; };
  for (const ScenarioStep& step : scenario.steps) {
    if (step.kind == ScenarioStep::Kind::kClick) {
      const Loaded* target = step.module.empty() ? (loaded.size() == 1 ? &loaded.front() : nullptr) : find(step.module);
      if (target == nullptr)
        return refuse(at_line(step) + (step.module.empty()
                                           ? "click wants a MODULE on a panel of several modules"
                                           : "click on " + step.module + ", which is not on the panel"));
      if (step.x < 0 || step.y < 0 || step.x >= target->width || step.y >= target->height)
        return refuse(at_line(step) + "click at (" + std::to_string(step.x) + ", " + std::to_string(step.y) +
                      ") is outside " + target->place.name + " (" + std::to_string(target->width) + " x " +
                      std::to_string(target->height) + ")");
    } else if (step.kind == ScenarioStep::Kind::kNamed) {
      if (panel.named_variables().count(step.name) == 0)
        return refuse(at_line(step) + "no module of the panel registers the named variable \"" + step.name + "\"");
    }
  }

  // The panel picture's size.
  int panel_width = 0, panel_height = 0;
  for (const Loaded& entry : loaded) {
    panel_width = std::max(panel_width, entry.place.x + entry.width);
    panel_height = std::max(panel_height, entry.place.y + entry.height);
  }
  const std::string stem = options.output_name.empty() ? file_stem(scenario.source) : options.output_name;
  const std::string base = options.output_folder + "/" + stem;
  auto log = [&](const std::string& line) { result.log.push_back(line); };
  auto step_line = [](const ScenarioStep& step) { return "line " + std::to_string(step.line) + ": "; };
  // Writes a file of the run and names it among those written; false, with
  // the reason in the result's message, when it cannot.
  auto write = [&](const Picture& picture, const std::string& path) {
    if (!write_png(picture, path, &result.message)) return false;
    result.written.push_back(path);
    return true;
  };
  if (!scenario.title.empty()) log("title " + scenario.title);

  std::vector<Picture> tiles;
  std::vector<std::string> captions;
  std::vector<std::string> problems;
  std::map<uint32_t, double> ramp_targets;
  const int total = scenario.total_frames();
  const bool show_progress = options.progress && total >= 50;
  int frame_number = 0;
  for (const ScenarioStep& step : scenario.steps) {
    switch (step.kind) {
      case ScenarioStep::Kind::kSet:
        panel.set_variable(step.token, step.value);
        ramp_targets.erase(step.token);
        log(step_line(step) + "set " + std::to_string(step.token) + " " + format_value(step.value));
        break;
      case ScenarioStep::Kind::kRamp:
        ramp_targets[step.token] = step.value;
        log(step_line(step) + "ramp " + std::to_string(step.token) + " to " + format_value(step.value));
        break;
      case ScenarioStep::Kind::kClick: {
        Loaded& target = step.module.empty() ? loaded.front() : *find(step.module);
        panel.clear_key_events();
        const int record = target.module->click(step.x, step.y);
        std::string line = step_line(step) + "click " + target.place.name + " (" + std::to_string(step.x) + ", " +
                           std::to_string(step.y) + "): " + (record < 0 ? "no area" : "area " + std::to_string(record));
        for (const KeyEvent& event : panel.key_events()) line += ", key " + format_event(event);
        panel.clear_key_events();
        log(line);
        break;
      }
      case ScenarioStep::Kind::kNamed:
        panel.write_named(step.name, step.word);
        log(step_line(step) + "named " + step.name + " " + std::to_string(step.word));
        break;
      case ScenarioStep::Kind::kFrames: {
        std::map<uint32_t, double> ramp_start;
        for (const auto& [token, target] : ramp_targets) ramp_start[token] = panel.variable(token);
        for (int i = 1; i <= step.frames; ++i) {
          for (const auto& [token, target] : ramp_targets) {
            const double from = ramp_start[token];
            const double value = std::isfinite(from) && std::isfinite(target)
                                     ? from + (target - from) * (static_cast<double>(i) / step.frames)
                                     : target;
            panel.set_variable(token, i == step.frames ? target : value);
          }
          ++frame_number;
          Picture picture(panel_width, panel_height, loaded.size() == 1 ? kPureBlack : kPanelGrey);
          std::string events;
          for (Loaded& entry : loaded) {
            panel.clear_key_events();
            const FrameSnapshot frame = entry.module->frame();
            for (const KeyEvent& event : frame.key_events)
              events += (events.empty() ? "" : ", ") + entry.place.name + " key " + format_event(event);
            std::vector<std::string> found;
            picture.paste(render_frame(frame, entry.bitmaps->source(), &found), entry.place.x, entry.place.y);
            for (const std::string& problem : found)
              if (std::find(problems.begin(), problems.end(), entry.place.name + " " + problem) == problems.end())
                problems.push_back(entry.place.name + " " + problem);
          }
          panel.clear_key_events();
          if (!events.empty()) log("frame " + std::to_string(frame_number) + ": " + events);
          if (options.every_frame) {
            char name[32];
            std::snprintf(name, sizeof name, "-%05d.png", frame_number);
            if (!write(picture, base + name)) return result;
          }
          if (i == step.frames) {
            tiles.push_back(picture);
            captions.push_back(std::to_string(tiles.size()) + ". " + step.caption);
          }
          if (show_progress && (frame_number % 25 == 0 || frame_number == total))
            std::fprintf(stderr, "\r%s: frame %d of %d%s", stem.c_str(), frame_number, total,
                         frame_number == total ? "\n" : "");
        }
        ramp_targets.clear();
        std::string line = "after frame " + std::to_string(frame_number) + " (line " + std::to_string(step.line) +
                           (step.caption.empty() ? "" : ", " + step.caption) + "):";
        for (const auto& [name, variable] : panel.named_variables())
          line += " " + name + "=" + std::to_string(panel.read_named(name).value_or(0));
        log(line);
        break;
      }
    }
  }
  for (Loaded& entry : loaded) {
    retire(entry);
    for (const CallFault& fault : entry.module->call_faults())
      log("FAULT: " + entry.place.name + " " + fault.routine + " left the stack " + std::to_string(fault.stack_delta) +
          " bytes off" + (fault.registers_clobbered ? " and changed a callee-saved register" : ""));
    for (const std::string& fault : entry.module->text_faults()) log("FAULT: " + entry.place.name + " " + fault);
  }
  for (const std::string& problem : problems) log("PROBLEM: " + problem);

  if (options.last_frame && !tiles.empty()) {
    if (!write(tiles.back(), base + ".png")) return result;
  } else if (options.sheet && !tiles.empty()) {
    const int columns = std::clamp(2400 / std::max(panel_width, 1), 1, 8);
    if (!write(contact_sheet(tiles, captions, columns, scenario.title), base + ".png")) return result;
  }
  if (options.write_log) {
    std::ofstream log_file(base + ".log", std::ios::binary);
    for (const std::string& line : result.log) log_file << line << "\n";
    if (!log_file) return refuse("cannot write " + base + ".log");
    result.written.push_back(base + ".log");
  }
  result.ok = true;
  return result;
}

}  // namespace tarnwix::host
