// gaugecheck: loads a gauge module through the host, calls it in every legal
// and odd way, feeds its variables hostile values, clicks its areas and checks
// after every call the properties the simulator's process relies on. Driven
// only by the module's records and by what it does through the panel services,
// so any module of this interface can be checked.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace tarnwix::check {

// The properties checked; a failure names one of these.
namespace invariant {
inline constexpr char kLoads[] = "module loads";
inline constexpr char kNoCrash[] = "no crash";
inline constexpr char kReturns[] = "every call returns in time";
inline constexpr char kStackBalanced[] = "stack balanced";
inline constexpr char kText[] = "text within its buffer and terminated";
inline constexpr char kServices[] = "only the four panel services";
inline constexpr char kNoAllocation[] = "no heap allocation";
inline constexpr char kOneStringShown[] = "at most one string shown per position";
inline constexpr char kIconIndex[] = "icon index 0 or 1";
inline constexpr char kUsableResults[] = "results the simulator can use";
inline constexpr char kImageFlags[] = "image flags keep their load bits";
inline constexpr char kSoundReferences[] = "sound library references restored";
inline constexpr char kNamedVariables[] = "named variables in the module and withdrawn";
}  // namespace invariant

struct Options {
  int level = 3;      // 1 (quick) to 10 (strictest): how many rounds, frames and clicks
  uint64_t seed = 1;  // the same seed and level replay the same calls
  // A stand-in GaugeSound.dll; empty: the runs that need the library present
  // are skipped (and say so).
  std::string sound_library;
  // Non-zero: stop after this step and print the steps that led to it.
  uint64_t replay_step = 0;
  // A call that runs longer is stopped, reported, and its scenario given up.
  uint32_t call_time_limit_ms = 5000;
  // At most this many failures are printed per check; the rest are counted.
  int failures_shown_per_check = 3;
};

struct Failure {
  std::string scenario;
  std::string invariant;
  uint64_t step = 0;
  std::string action;  // what the step did
  std::string detail;  // what went wrong
};

struct Report {
  int passed = 0;  // checks (a property in one scenario) without a failure
  int failed = 0;
  std::vector<Failure> failures;  // every failure seen
  std::vector<std::string> skipped;
  uint64_t steps = 0;

  // The distinct properties that failed, in the order first seen.
  std::vector<std::string> failed_invariants() const;
};

// Runs every scenario on the module at `module_path`, printing each failure
// with the seed and step that replay it, then the line "N passed, M failed".
Report run(const std::string& module_path, const Options& options, std::ostream& out);

}  // namespace tarnwix::check
