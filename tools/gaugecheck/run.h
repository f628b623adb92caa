// gaugecheck's run, shared by its parts and seen by nothing else:
//   check.cpp            the entry point and the order of the scenarios;
//   calls.cpp            steps and failures, every call into the module and
//                        the checks after it, loads, services and frames;
//   inputs.cpp           the values fed to the variables: the constants probed
//                        in the module's image, special values, random frames;
//   lifecycles.cpp       whole lifecycles, the sound library coming and going;
//   services.cpp         service codes in odd orders, a second instance;
//   fuzz.cpp             variables fed odd values;
//   clicks.cpp           clicks, and named variables written by another gauge.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "check.h"
#include "host/host.h"

namespace tarnwix::check::detail {

using host::ElementKind;
using host::FrameSnapshot;
using host::Module;
using host::Panel;
using host::SoundLibraryMode;

inline constexpr char kSoundModuleName[] = "GaugeSound.dll";
inline constexpr uint32_t kLeftSingleClick = 0x20000000;

// A double as the failure lines show it, and a word as 0x%08X.
std::string describe(double value);
std::string hex(uint32_t value);

inline uint32_t address_of(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

struct AddressRange {
  uint32_t begin = 0, end = 0;
  bool contains(uint32_t address) const { return address >= begin && address < end; }
  bool contains(const void* address) const { return contains(address_of(address)); }
};

AddressRange image_range(const Module& module);

// References the process holds on the sound library (measured only while no
// module under check is loaded).
int sound_references(const std::string& path);

// The numbers the module compares its inputs with, as far as its image shows
// them; values either side of each are what the fuzzing feeds in.
std::vector<double> harvest_thresholds(const Module& module);

// The token of an element's own source variable; 0 when it names none.
uint32_t source_token(const uint8_t* element);

// How far the module's records had gone before a call: the failures observed
// after it are the ones past these marks.
struct Marks {
  size_t faults = 0;
  size_t text_faults = 0;
  size_t trapped = 0;
  int allocations = 0;
};

class Run {
 public:
  Run(const std::string& path, const Options& options, std::ostream& out)
      : path_(path), options_(options), out_(out), random_(options.seed) {
    options_.level = std::clamp(options_.level, 1, 10);
  }

  Report execute();

 private:
  // Scenario and step bookkeeping (calls.cpp).
  void begin(const std::string& scenario, bool has_frames);
  void end();
  bool step(const std::string& action);
  void fail(const char* invariant, const std::string& detail);
  bool stopped() const { return stopped_ || given_up_; }

  // Calls into the module, each followed by the checks that apply to every
  // call (calls.cpp).
  std::unique_ptr<Module> load(const std::string& action = "load the module");
  void unload(std::unique_ptr<Module>& module);
  bool module_init(Module& module);
  bool module_deinit(Module& module);
  Marks marks(const Module& module) const;
  void observe(Module& module, Marks& since);
  void service(Module& module, uint32_t code, uint32_t data = 0);
  void install(Module& module);
  void kill(Module& module);
  void frame(Module& module, bool draw = true);
  void callbacks(Module& module);
  void click(Module& module, int x, int y, uint32_t flags = kLeftSingleClick);
  void click_somewhere(Module& module);
  void check_frame(const FrameSnapshot& frame);
  void refresh_element_variables(Module& module);
  void check_named_registered(const Module& module);

  // Inputs (inputs.cpp; the click points in clicks.cpp).
  void learn_inputs(Module& module);
  double pick_value();
  std::vector<double> constants() const;
  std::vector<double> probe_values() const;
  std::string set_variables(bool hold_some);
  void set_all(double value);
  std::vector<std::pair<int, int>> click_points();
  int below(int n) { return static_cast<int>(random_() % static_cast<uint64_t>(n)); }
  bool chance(int percent) { return below(100) < percent; }

  // Scenarios (the files named at the top).
  void load_and_unload();
  void lifecycles(const std::string& name, SoundLibraryMode mode, bool other_gauge_holds);
  void sound_appears();
  void sound_vanishes();
  void odd_service_orders();
  void second_instance();
  void variable_fuzz();
  void clicks();
  void named_variables();
  void run_frames(Module& module, int count);

  bool have_sound() const { return !options_.sound_library.empty(); }
  void set_sound(SoundLibraryMode mode) {
    Panel::instance().set_sound_library(have_sound() ? mode : SoundLibraryMode::kAbsent);
  }
  void expect_sound_references(int expected, const std::string& when);

  std::string path_;
  Options options_;
  std::ostream& out_;
  std::mt19937_64 random_;
  Report report_;

  std::string scenario_;
  std::set<std::string> covered_;
  std::set<std::string> failed_;
  std::map<std::string, int> failures_per_check_;
  uint64_t step_ = 0;
  std::string action_;
  std::deque<std::string> recent_;
  bool stopped_ = false;
  bool given_up_ = false;  // the scenario hung in a call; its remaining steps are skipped

  std::vector<uint32_t> tokens_;
  std::map<uint32_t, double> current_;
  std::vector<double> thresholds_;
  std::vector<host::MouseRectView> rects_;
  bool named_written_ = false;
  int sound_baseline_ = 0;
  int sound_references_at_begin_ = 0;
};

}  // namespace tarnwix::check::detail
