// The values fed to the variables the module reads: the constants its image
// compares with, values no simulation variable should have, and random frames.
#include <windows.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <set>

#include "host/pe.h"
#include "run.h"

namespace tarnwix::check::detail {

namespace {

// A number that looks like one a programmer wrote: moderate size, and a few
// decimal places or a binary fraction.
bool looks_written(double value, double tolerance) {
  const double magnitude = std::fabs(value);
  if (!std::isfinite(value) || magnitude < 1e-6 || magnitude > 1e8) return false;
  for (const double scale : {1e6, 65536.0}) {
    const double scaled = value * scale;
    if (std::fabs(scaled - std::round(scaled)) <= tolerance * std::fabs(scaled)) return true;
  }
  return false;
}

double bits_to_double(uint64_t bits) {
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// Inputs no simulation variable should have, and the edges of the conversions
// a gauge makes from a double (to a 32-bit integer, to single precision).
const std::vector<double>& special_values() {
  static const std::vector<double> values = {
      std::numeric_limits<double>::quiet_NaN(),
      -std::numeric_limits<double>::quiet_NaN(),
      bits_to_double(0x7FF0000000000001ULL),  // signalling NaN
      std::numeric_limits<double>::infinity(),
      -std::numeric_limits<double>::infinity(),
      0.0,
      -0.0,
      std::numeric_limits<double>::denorm_min(),
      -std::numeric_limits<double>::denorm_min(),
      bits_to_double(0x000FFFFFFFFFFFFFULL),  // the largest denormal
      std::numeric_limits<double>::min(),
      1e-300,
      1e300,
      -1e300,
      std::numeric_limits<double>::max(),
      -std::numeric_limits<double>::max(),
      2147483647.0,
      2147483647.5,
      2147483648.0,
      -2147483648.0,
      -2147483648.5,
      -2147483649.0,
      4294967295.0,
      4294967296.0,
      3.4028234663852886e38,  // the largest float
      3.5e38,
      -3.5e38,
  };
  return values;
}

// The ten values around a constant the module may compare with.
double close_to(double threshold, int variant) {
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  switch (variant) {
    case 0:
      return threshold;
    case 1:
      return std::nextafter(threshold, kInfinity);
    case 2:
      return std::nextafter(threshold, -kInfinity);
    case 3:
      return threshold + 0.5;
    case 4:
      return threshold - 0.5;
    case 5:
      return threshold + 1.0;
    case 6:
      return threshold - 1.0;
    case 7:
      return threshold + 0.001;
    case 8:
      return threshold - 0.001;
    default:
      return -threshold;
  }
}
constexpr int kNearVariants = 10;

}  // namespace

// The numbers the module compares its inputs with, as far as its image shows
// them: doubles and floats in its data (clamp limits, thresholds, element
// bounds) and the immediates of its integer compares (tests on truncated
// values). Values either side of each are what the fuzzing feeds in.
std::vector<double> harvest_thresholds(const Module& module) {
  std::set<double> found;
  for (const host::LoadedSection& section : host::loaded_sections(module.handle())) {
    const uint8_t* start = section.start;
    const uint32_t size = std::min(section.size, section.raw_size);
    if (section.executable()) {
      for (uint32_t i = 0; i + 6 <= size; ++i) {
        int32_t immediate = 0;
        if (start[i] == 0x3D) {  // cmp eax, imm32
          std::memcpy(&immediate, start + i + 1, 4);
        } else if (start[i] == 0x81 && start[i + 1] >= 0xF8) {  // cmp r32, imm32
          std::memcpy(&immediate, start + i + 2, 4);
        } else if (start[i] == 0x83 && start[i + 1] >= 0xF8) {  // cmp r32, imm8
          immediate = static_cast<int8_t>(start[i + 2]);
        } else {
          continue;
        }
        if (std::abs(static_cast<int64_t>(immediate)) <= 10000000) found.insert(immediate);
      }
      continue;
    }
    if ((section.characteristics & IMAGE_SCN_MEM_READ) == 0) continue;
    for (uint32_t i = 0; i + 8 <= size; i += 4) {
      double as_double;
      std::memcpy(&as_double, start + i, 8);
      if (looks_written(as_double, 1e-9)) found.insert(as_double);
      float as_float;
      std::memcpy(&as_float, start + i, 4);
      if (looks_written(as_float, 1e-6)) found.insert(as_float);
    }
  }
  std::vector<double> thresholds(found.begin(), found.end());
  constexpr size_t kMostThresholds = 512;
  if (thresholds.size() > kMostThresholds) thresholds.resize(kMostThresholds);
  return thresholds;
}

void Run::learn_inputs(Module& module) {
  Panel& panel = Panel::instance();
  panel.clear_lookups();
  if (!step("a frame that shows which variables the module reads")) return;
  frame(module);
  std::set<uint32_t> seen;
  tokens_.clear();
  for (uint32_t token : panel.lookups())
    if (seen.insert(token).second) tokens_.push_back(token);
  for (uint8_t* element : module.chain()) {
    const uint32_t token = source_token(element);
    if (token != 0 && seen.insert(token).second) tokens_.push_back(token);
  }
}

// The probed constants and the tests every gauge makes (against -1, 0, 1).
std::vector<double> Run::constants() const {
  std::vector<double> all = thresholds_;
  all.insert(all.end(), {-1.0, 0.0, 1.0});
  return all;
}

std::vector<double> Run::probe_values() const {
  std::vector<double> probes = special_values();
  for (double constant : constants())
    for (int variant = 0; variant < kNearVariants; ++variant) probes.push_back(close_to(constant, variant));
  return probes;
}

double Run::pick_value() {
  const int kind = below(100);
  if (kind < 35) {
    const auto& specials = special_values();
    return specials[static_cast<size_t>(below(static_cast<int>(specials.size())))];
  }
  if (kind < 80) {
    const std::vector<double> all = constants();
    return close_to(all[static_cast<size_t>(below(static_cast<int>(all.size())))], below(kNearVariants));
  }
  const double magnitude = std::pow(10.0, std::uniform_real_distribution<double>(-3.0, 7.0)(random_));
  return chance(50) ? magnitude : -magnitude;
}

// Gives every variable the module reads a new value (or, with hold_some,
// keeps some as they were, so that odd values persist frame after frame).
std::string Run::set_variables(bool hold_some) {
  std::string description;
  for (uint32_t token : tokens_) {
    if (!(hold_some && current_.count(token) != 0 && chance(30))) current_[token] = pick_value();
    Panel::instance().set_variable(token, current_[token]);
    if (!description.empty()) description.push_back(' ');
    description.append(std::to_string(token)).append("=").append(describe(current_[token]));
  }
  return description.empty() ? "no variables" : description;
}

void Run::set_all(double value) {
  for (uint32_t token : tokens_) {
    current_[token] = value;
    Panel::instance().set_variable(token, value);
  }
}

void Run::run_frames(Module& module, int count) {
  for (int i = 0; i < count && !stopped(); ++i) {
    const std::string values = set_variables(true);
    if (!step("frame with " + values)) return;
    frame(module);
  }
}

}  // namespace tarnwix::check::detail
