#include "arguments.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace tarnwix::view {

namespace {

// A decimal number, or nan, inf and -inf, as a scenario line writes them.
bool read_number(const std::string& text, double* value) {
  if (text.empty() || text.find_first_of("xX(") != std::string::npos) return false;
  char* end = nullptr;
  errno = 0;
  *value = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && !std::isspace(static_cast<unsigned char>(text[0]));
}

// A token: a whole number from 0 to 4294967295, decimal or 0x hex.
bool read_token(const std::string& text, uint32_t* token) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string digits = hex ? text.substr(2) : text;
  if (digits.empty() || digits.size() > 10) return false;
  for (char c : digits)
    if (!(hex ? std::isxdigit(static_cast<unsigned char>(c)) : std::isdigit(static_cast<unsigned char>(c))))
      return false;
  const unsigned long long parsed = std::strtoull(digits.c_str(), nullptr, hex ? 16 : 10);
  if (parsed > 0xFFFFFFFFull) return false;
  *token = static_cast<uint32_t>(parsed);
  return true;
}

}  // namespace

const char* usage_text() {
  return "usage: gaugeview [--modules DIR] [--rate HZ] [--zoom PERCENT] [--set TOKEN=VALUE]... [--log FILE]\n"
         "                 [--record FILE] [--no-sound] [PANEL.cfg [--window N] | MODULE.gau | SCENARIO.txt]\n"
         "       gaugeview --bench FRAMES [PANEL.cfg [--window N]]\n"
         "       gaugeview --bench-drag STEPS [PANEL.cfg [--window N]]\n"
         "       gaugeview --version | --help\n";
}

std::optional<Arguments> parse_arguments(const std::vector<std::string>& arguments, std::string* error) {
  Arguments parsed;
  auto fail = [&](const std::string& why) -> std::optional<Arguments> {
    *error = why;
    return std::nullopt;
  };
  bool window_given = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& option = arguments[i];
    std::string value;
    auto take = [&]() {
      if (i + 1 >= arguments.size()) return false;
      value = arguments[++i];
      return true;
    };
    if (option == "--help" || option == "-h") {
      parsed.help = true;
    } else if (option == "--modules") {
      if (!take()) return fail("--modules wants a folder");
      parsed.modules_folder = value;
    } else if (option == "--rate") {
      if (!take()) return fail("--rate wants frames a second");
      double rate = 0;
      if (!read_number(value, &rate) || !(rate > 0 && rate <= kMaxRate))
        return fail("--rate wants frames a second above 0 and at most " + std::to_string(int(kMaxRate)) + ", not '" +
                    value + "'");
      parsed.rate = rate;
    } else if (option == "--zoom") {
      if (!take()) return fail("--zoom wants a percentage");
      double zoom = 0;
      if (!read_number(value, &zoom) || zoom != std::floor(zoom) || zoom < kMinZoom || zoom > kMaxZoom)
        return fail("--zoom wants a whole percentage from " + std::to_string(kMinZoom) + " to " +
                    std::to_string(kMaxZoom) + ", not '" + value + "'");
      parsed.zoom = static_cast<int>(zoom);
    } else if (option == "--set") {
      if (!take()) return fail("--set wants TOKEN=VALUE");
      const size_t equals = value.find('=');
      uint32_t token = 0;
      double number = 0;
      if (equals == std::string::npos || !read_token(value.substr(0, equals), &token) ||
          !read_number(value.substr(equals + 1), &number))
        return fail("--set wants TOKEN=VALUE (a token from 0 to 4294967295, a number), not '" + value + "'");
      parsed.start_values.emplace_back(token, number);
    } else if (option == "--log") {
      if (!take()) return fail("--log wants a file");
      parsed.log_file = value;
    } else if (option == "--record") {
      if (!take()) return fail("--record wants a file");
      parsed.record_file = value;
    } else if (option == "--no-sound") {
      parsed.sound = false;
    } else if (option == "--window") {
      if (!take()) return fail("--window wants a window: N, WindowNN or VCockpitNN");
      parsed.window = value;
      window_given = true;
    } else if (option == "--bench") {
      if (!take()) return fail("--bench wants a number of frames");
      double frames = 0;
      if (!read_number(value, &frames) || frames != std::floor(frames) || frames < 1 || frames > kMaxBenchFrames)
        return fail("--bench wants a whole number of frames from 1 to " + std::to_string(kMaxBenchFrames) + ", not '" +
                    value + "'");
      parsed.bench_frames = static_cast<int>(frames);
    } else if (option == "--bench-drag") {
      if (!take()) return fail("--bench-drag wants a number of drag steps");
      double steps = 0;
      if (!read_number(value, &steps) || steps != std::floor(steps) || steps < 1 || steps > kMaxBenchFrames)
        return fail("--bench-drag wants a whole number of drag steps from 1 to " + std::to_string(kMaxBenchFrames) +
                    ", not '" + value + "'");
      parsed.bench_drag_steps = static_cast<int>(steps);
    } else if (option.size() > 1 && option[0] == '-') {
      return fail("unknown option " + option + " (gaugeview --help lists them)");
    } else if (!parsed.target.empty()) {
      return fail("one file at a time: " + parsed.target + " and " + option);
    } else {
      parsed.target = option;
    }
  }
  if (parsed.bench_frames > 0 && parsed.bench_drag_steps > 0) return fail("--bench and --bench-drag: one at a time");
  if (parsed.bench_drag_steps > 0 && !parsed.target.empty()) {
    const size_t dot = parsed.target.rfind('.');
    std::string extension = dot == std::string::npos ? "" : parsed.target.substr(dot);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension != ".cfg") return fail("--bench-drag drags a gauge of a panel.cfg, not of " + parsed.target);
  }
  if (window_given && !parsed.target.empty()) {
    const size_t dot = parsed.target.rfind('.');
    std::string extension = dot == std::string::npos ? "" : parsed.target.substr(dot);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension != ".cfg") return fail("--window goes with a panel.cfg, not with " + parsed.target);
  }
  return parsed;
}

}  // namespace tarnwix::view
