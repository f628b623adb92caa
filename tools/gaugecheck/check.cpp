#include "check.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <limits>
#include <map>
#include <memory>
#include <ostream>
#include <random>
#include <set>
#include <sstream>

#include "host/call.h"
#include "host/host.h"
#include "host/pe.h"

namespace tarnwix::check {

std::vector<std::string> Report::failed_invariants() const {
  std::vector<std::string> names;
  for (const Failure& failure : failures)
    if (std::find(names.begin(), names.end(), failure.invariant) == names.end()) names.push_back(failure.invariant);
  return names;
}

namespace {

using host::ElementKind;
using host::FrameSnapshot;
using host::Module;
using host::Panel;
using host::SoundLibraryMode;

constexpr char kSoundModuleName[] = "GaugeSound.dll";
constexpr uint32_t kLeftSingleClick = 0x20000000;

// A double as the failure lines show it: enough digits to type it back in,
// and the kind of NaN, which printf does not tell apart.
std::string describe(double value) {
  if (std::isnan(value)) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const bool quiet = (bits & 0x0008000000000000ULL) != 0;
    return std::string(std::signbit(value) ? "-" : "") + (quiet ? "nan" : "snan");
  }
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  std::ostringstream text;
  text.precision(17);
  text << value;
  return text.str();
}

std::string hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
  return text;
}

uint32_t address_of(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

struct AddressRange {
  uint32_t begin = 0, end = 0;
  bool contains(uint32_t address) const { return address >= begin && address < end; }
  bool contains(const void* address) const { return contains(address_of(address)); }
};

AddressRange image_range(const Module& module) {
  const uint32_t begin = address_of(module.handle());
  return {begin, begin + host::loaded_image_size(module.handle())};
}

// An address as an offset into the module, or the library it lies in (a
// crash inside a system routine that the module called).
std::string where_is(uint32_t address, const AddressRange& module) {
  if (module.contains(address)) return hex(address) + " (module offset " + hex(address - module.begin) + ")";
  HMODULE owner = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(address)), &owner))
    return hex(address);
  char name[MAX_PATH] = "";
  GetModuleFileNameA(owner, name, sizeof name);
  const char* base = std::strrchr(name, '\\');
  return hex(address) + " (in " + (base != nullptr ? base + 1 : name) + ", called from the module)";
}

// References the process holds on the sound library: released one by one
// until the loader lets it go, then taken back. Only measured while no module
// under check is loaded.
int sound_references(const std::string& path) {
  int references = 0;
  for (HMODULE library = GetModuleHandleA(kSoundModuleName); library != nullptr && references < 1000;
       library = GetModuleHandleA(kSoundModuleName)) {
    FreeLibrary(library);
    ++references;
  }
  for (int i = 0; i < references; ++i) LoadLibraryA(path.c_str());
  return references;
}

// Lets go of the references beyond `kept` that unloaded modules left behind,
// so that one scenario's leak does not keep the library loaded for the next.
void drop_sound_references_beyond(const std::string& path, int kept) {
  for (int references = sound_references(path); references > kept; --references)
    FreeLibrary(GetModuleHandleA(kSoundModuleName));
}

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

// Values the checker writes into a named variable as another gauge would.
constexpr uint32_t kOddWords[] = {0xFFFFFFFFu, 2u, 0x80000000u, 0x7FFFFFFFu, 0x13u, 0u, 1u};

// A reference on the sound library held by another gauge of the panel.
class OtherGaugesReference {
 public:
  OtherGaugesReference() = default;
  OtherGaugesReference(const OtherGaugesReference&) = delete;
  OtherGaugesReference& operator=(const OtherGaugesReference&) = delete;
  ~OtherGaugesReference() { release(); }
  void take(const std::string& path) {
    if (library_ == nullptr && !path.empty()) library_ = LoadLibraryA(path.c_str());
  }
  void release() {
    if (library_ != nullptr) FreeLibrary(library_);
    library_ = nullptr;
  }
  bool held() const { return library_ != nullptr; }

 private:
  HMODULE library_ = nullptr;
};

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
  // Scenario and step bookkeeping.
  void begin(const std::string& scenario, bool has_frames);
  void end();
  bool step(const std::string& action);
  void fail(const char* invariant, const std::string& detail);
  bool stopped() const { return stopped_ || given_up_; }

  // Calls into the module, each followed by the checks that apply to every call.
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

  // Inputs.
  void learn_inputs(Module& module);
  double pick_value();
  std::vector<double> constants() const;
  std::vector<double> probe_values() const;
  std::string set_variables(bool hold_some);
  void set_all(double value);
  std::vector<std::pair<int, int>> click_points();
  int below(int n) { return static_cast<int>(random_() % static_cast<uint64_t>(n)); }
  bool chance(int percent) { return below(100) < percent; }

  // Scenarios.
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

void Run::begin(const std::string& scenario, bool has_frames) {
  scenario_ = scenario;
  covered_ = {invariant::kNoCrash,  invariant::kReturns,      invariant::kStackBalanced,   invariant::kText,
              invariant::kServices, invariant::kNoAllocation, invariant::kSoundReferences, invariant::kNamedVariables};
  if (has_frames)
    covered_.insert(
        {invariant::kOneStringShown, invariant::kIconIndex, invariant::kUsableResults, invariant::kImageFlags});
  failed_.clear();
  given_up_ = false;
  named_written_ = false;
  current_.clear();
  Panel& panel = Panel::instance();
  panel.reset();
  if (have_sound()) panel.set_sound_library_path(options_.sound_library);
  set_sound(SoundLibraryMode::kAbsent);
  // Measured afresh: a scenario given up with its module's references still
  // held must not count against the next one.
  sound_baseline_ = have_sound() ? sound_references(options_.sound_library) : 0;
  sound_references_at_begin_ = sound_baseline_;
}

void Run::end() {
  if (have_sound()) drop_sound_references_beyond(options_.sound_library, sound_references_at_begin_);
  for (const std::string& name : covered_) {
    if (failed_.count(name) != 0)
      ++report_.failed;
    else
      ++report_.passed;
  }
  covered_.clear();
}

bool Run::step(const std::string& action) {
  if (stopped()) return false;
  if (options_.replay_step != 0 && step_ >= options_.replay_step) {
    stopped_ = true;
    out_ << "Stopped after step " << step_ << " (the counts below cover the steps run); the steps that led to it:\n";
    for (const std::string& line : recent_) out_ << "  " << line << "\n";
    return false;
  }
  ++step_;
  action_ = action;
  if (options_.replay_step != 0) {
    recent_.push_back("step " + std::to_string(step_) + " [" + scenario_ + "]: " + action);
    if (recent_.size() > 30) recent_.pop_front();
  }
  return true;
}

void Run::fail(const char* invariant, const std::string& detail) {
  failed_.insert(invariant);
  covered_.insert(invariant);
  report_.failures.push_back({scenario_, invariant, step_, action_, detail});
  const std::string check = scenario_ + "\n" + invariant;
  const int seen = ++failures_per_check_[check];
  if (seen <= options_.failures_shown_per_check) {
    out_ << "FAIL " << invariant << " [" << scenario_ << "] step " << step_ << ": " << detail << "\n"
         << "     while: " << action_ << "\n"
         << "     replay: gaugecheck " << path_ << " --level " << options_.level << " --seed " << options_.seed
         << " --step " << step_ << "\n";
  } else if (seen == options_.failures_shown_per_check + 1) {
    out_ << "     (further failures of \"" << invariant << "\" in this scenario are counted, not shown)\n";
  }
}

// Null when the run has stopped or the module does not load.
std::unique_ptr<Module> Run::load(const std::string& action) {
  if (!step(action)) return nullptr;
  std::string error;
  auto module = Module::load(path_, &error);
  if (module == nullptr) {
    fail(invariant::kLoads, error);
    return nullptr;
  }
  module->set_text_poison(true);
  const AddressRange image = image_range(*module);
  host::set_interruptible_code(image.begin, image.end);
  return module;
}

// False when the run has stopped before the call.
bool Run::module_init(Module& module) {
  if (!step("module init routine")) return false;
  Marks since = marks(module);
  module.call_module_init();
  observe(module, since);
  return true;
}

bool Run::module_deinit(Module& module) {
  if (!step("module deinit routine")) return false;
  Marks since = marks(module);
  module.call_module_deinit();
  observe(module, since);
  return true;
}

void Run::unload(std::unique_ptr<Module>& module) {
  if (module == nullptr || !step("unload the module")) return;
  const AddressRange image = image_range(*module);
  module.reset();
  for (const auto& [name, variable] : Panel::instance().named_variables())
    if (image.contains(variable.address))
      fail(invariant::kNamedVariables,
           "\"" + name + "\" is still registered with a word of the unloaded module: other gauges read freed memory");
  expect_sound_references(sound_baseline_, "after the unload");
}

void Run::expect_sound_references(int expected, const std::string& when) {
  if (!have_sound()) return;
  const int references = sound_references(options_.sound_library);
  if (references != expected)
    fail(invariant::kSoundReferences, "the sound library holds " + std::to_string(references) + " references " + when +
                                          ", " + std::to_string(expected) + " before the module was loaded");
}

Marks Run::marks(const Module& module) const {
  return {module.call_faults().size(), module.text_faults().size(), Panel::instance().trapped_slots().size(),
          module.imports().allocations};
}

void Run::observe(Module& module, Marks& since) {
  const auto& faults = module.call_faults();
  for (size_t i = since.faults; i < faults.size(); ++i) {
    const host::CallFault& fault = faults[i];
    if (fault.crash_code == host::kCallTimedOut) {
      fail(invariant::kReturns, fault.routine + " ran longer than " + std::to_string(options_.call_time_limit_ms) +
                                    " ms and was stopped at " + where_is(fault.crash_address, image_range(module)) +
                                    "; the rest of this scenario is skipped");
      given_up_ = true;
    } else if (fault.crash_code != 0) {
      fail(invariant::kNoCrash, fault.routine + " crashed with exception " + hex(fault.crash_code) + " at " +
                                    where_is(fault.crash_address, image_range(module)));
    } else {
      fail(invariant::kStackBalanced, fault.routine + " left the stack pointer " + std::to_string(fault.stack_delta) +
                                          " bytes off" +
                                          (fault.registers_clobbered ? " and changed a callee-saved register" : ""));
    }
  }
  module.verify_text_buffers("(" + action_ + ")");
  const auto& text_faults = module.text_faults();
  for (size_t i = since.text_faults; i < text_faults.size(); ++i) fail(invariant::kText, text_faults[i]);
  const auto& trapped = Panel::instance().trapped_slots();
  for (size_t i = since.trapped; i < trapped.size(); ++i)
    fail(invariant::kServices, "called the panel service at byte offset " + std::to_string(trapped[i]));
  const int allocations = module.imports().allocations - since.allocations;
  if (allocations != 0) fail(invariant::kNoAllocation, std::to_string(allocations) + " heap allocations");
  since = marks(module);
}

void Run::service(Module& module, uint32_t code, uint32_t data) {
  if (!step("service " + std::to_string(code) + " (data " + hex(data) + ")")) return;
  Marks since = marks(module);
  module.service(code, data);
  observe(module, since);
  if (code == 2) check_named_registered(module);
}

void Run::install(Module& module) {
  if (!step("pre-install (2), pre-initialise (4)")) return;
  Marks since = marks(module);
  module.install();
  observe(module, since);
  check_named_registered(module);
}

void Run::kill(Module& module) {
  if (!step("pre-kill (12)")) return;
  Marks since = marks(module);
  module.kill();
  observe(module, since);
}

void Run::check_named_registered(const Module& module) {
  const AddressRange image = image_range(module);
  for (const auto& [name, variable] : Panel::instance().named_variables())
    if (!image.contains(variable.address))
      fail(invariant::kNamedVariables, "\"" + name + "\" was registered with an address outside the module (" +
                                           hex(address_of(variable.address)) +
                                           "): it does not live for the whole load");
}

// The token of an element's own source variable, which every value-driven kind
// keeps at the same offset; 0 for a static image, which has none, and for an
// element that names no variable.
static_assert(host::string_element::kSource == host::icon::kSource && host::slider::kXSource == host::icon::kSource &&
              host::moving_image::kXSource == host::icon::kSource);
uint32_t source_token(const uint8_t* element) {
  if (host::u32(element, host::element::kKind) == static_cast<uint32_t>(ElementKind::kStaticImage)) return 0;
  return host::u32(element, host::icon::kSource + host::module_variable::kToken);
}

// The simulator refreshes an element's own source variable when it names a
// token; a token of 0 names none and the value stays as it is.
void Run::refresh_element_variables(Module& module) {
  for (uint8_t* element : module.chain()) {
    const uint32_t token = source_token(element);
    if (token == 0) continue;
    const double value = Panel::instance().variable(token);
    std::memcpy(element + host::icon::kSource + host::module_variable::kValue, &value, sizeof value);
  }
}

void Run::frame(Module& module, bool draw) {
  Marks since = marks(module);
  module.service(6);
  refresh_element_variables(module);
  const FrameSnapshot snapshot = module.callbacks_only();
  if (draw) module.service(10);
  observe(module, since);
  check_frame(snapshot);
}

void Run::callbacks(Module& module) {
  Marks since = marks(module);
  refresh_element_variables(module);
  const FrameSnapshot snapshot = module.callbacks_only();
  observe(module, since);
  check_frame(snapshot);
}

void Run::click(Module& module, int x, int y, uint32_t flags) {
  if (!step("click at (" + std::to_string(x) + ", " + std::to_string(y) + ") with event flags " + hex(flags))) return;
  Marks since = marks(module);
  module.click(x, y, flags);
  observe(module, since);
}

// A single left click at one of the click points, picked at random.
void Run::click_somewhere(Module& module) {
  const auto points = click_points();
  const auto& [x, y] = points[static_cast<size_t>(below(static_cast<int>(points.size())))];
  click(module, x, y);
}

void Run::check_frame(const FrameSnapshot& frame) {
  std::map<std::pair<int32_t, int32_t>, std::vector<int>> shown_strings;
  std::set<double> named_values;
  if (named_written_) {
    for (const auto& [name, variable] : Panel::instance().named_variables()) {
      const std::optional<uint32_t> word = Panel::instance().read_named(name);
      if (!word) continue;
      named_values.insert(static_cast<double>(*word));
      named_values.insert(static_cast<double>(static_cast<int32_t>(*word)));
    }
  }
  for (const host::ElementSnapshot& element : frame.elements) {
    const std::string name = "element " + std::to_string(element.index);
    constexpr uint32_t kKnownFlags =
        host::element::kFlagsAtLoad | host::element::kBrightFlag | host::element::kHiddenFlag;
    if ((element.image_flags & host::element::kFlagsAtLoad) != host::element::kFlagsAtLoad ||
        (element.image_flags & ~kKnownFlags) != 0)
      fail(invariant::kImageFlags, name + " has image flags " + hex(element.image_flags));
    for (size_t i = 0; i < element.values.size(); ++i) {
      if (std::isfinite(element.values[i])) continue;
      // Two values are the x and the y callback's; one is the element callback's.
      const char* callback = element.values.size() == 2 ? (i == 0 ? " x callback" : " y callback") : " callback";
      fail(invariant::kUsableResults,
           name + callback + " returned " + describe(element.values[i]) + " to the simulator");
    }
    if (element.kind == ElementKind::kString && !element.hidden)
      shown_strings[{element.x, element.y}].push_back(element.index);
    if (element.kind == ElementKind::kIcon && !element.values.empty()) {
      const double index = element.values.back();
      // A NaN or an infinity is already reported as an unusable result.
      if (std::isfinite(index) && index != 0.0 && index != 1.0 && named_values.count(index) == 0)
        fail(invariant::kIconIndex, name + " chose image " + describe(index));
    }
  }
  for (const auto& [at, indices] : shown_strings) {
    if (indices.size() < 2) continue;
    std::string list;
    for (int index : indices) list += (list.empty() ? "" : ", ") + std::to_string(index);
    fail(invariant::kOneStringShown, "string elements " + list + " are all shown at (" + std::to_string(at.first) +
                                         ", " + std::to_string(at.second) + ")");
  }
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

std::vector<std::pair<int, int>> Run::click_points() {
  std::vector<std::pair<int, int>> points;
  int right = 0, bottom = 0;
  for (const host::MouseRectView& r : rects_) {
    right = std::max(right, r.x + r.width);
    bottom = std::max(bottom, r.y + r.height);
  }
  for (const host::MouseRectView& r : rects_) {
    if (r.kind != host::mouse_rect::kChild) continue;
    const int x0 = r.x, y0 = r.y, x1 = r.x + r.width - 1, y1 = r.y + r.height - 1;
    const std::pair<int, int> edges[] = {{x0, y0},     {x1, y0},     {x0, y1},     {x1, y1},        {x0 - 1, y0},
                                         {x1 + 1, y0}, {x0, y0 - 1}, {x0, y1 + 1}, {x1 + 1, y1 + 1}};
    points.insert(points.end(), std::begin(edges), std::end(edges));
    for (int i = 0; i < 4; ++i)
      points.emplace_back(x0 + below(std::max(1, r.width)), y0 + below(std::max(1, r.height)));
  }
  for (int i = 0; i < 4; ++i) points.emplace_back(below(right + 100) - 50, below(bottom + 100) - 50);
  return points;
}

// --- Scenarios -------------------------------------------------------------

void Run::load_and_unload() {
  begin("load and unload", false);
  set_sound(SoundLibraryMode::kPresent);
  for (int round = 0; round < 4 * options_.level && !stopped(); ++round) {
    auto module = load();
    if (module == nullptr) break;
    if (!module_init(*module) || !module_deinit(*module)) break;
    unload(module);
  }
  end();
}

void Run::lifecycles(const std::string& name, SoundLibraryMode mode, bool other_gauge_holds) {
  begin(name, true);
  set_sound(mode);
  OtherGaugesReference other_gauge;
  if (other_gauge_holds) other_gauge.take(options_.sound_library);
  sound_baseline_ = have_sound() ? sound_references(options_.sound_library) : 0;
  for (int round = 0; round < 2 * options_.level && !stopped(); ++round) {
    auto module = load();
    if (module == nullptr) break;
    if (!module_init(*module)) break;
    install(*module);
    if (round == 0) learn_inputs(*module);
    run_frames(*module, 1 + below(5 * options_.level));
    kill(*module);
    if (!module_deinit(*module)) break;
    unload(module);
  }
  other_gauge.release();
  end();
}

void Run::sound_appears() {
  begin("sound library appears in the middle of a run", true);
  for (int round = 0; round < 2 * options_.level && !stopped(); ++round) {
    set_sound(SoundLibraryMode::kAbsent);
    auto module = load("load the module (sound library absent)");
    if (module == nullptr) break;
    install(*module);
    if (round == 0) learn_inputs(*module);
    run_frames(*module, 1 + below(3 * options_.level));
    // Either the panel's library becomes loadable, or another gauge loads it.
    OtherGaugesReference other_gauge;
    if (round % 2 == 0) {
      if (!step("the sound library becomes available")) break;
      set_sound(SoundLibraryMode::kPresent);
    } else {
      if (!step("another gauge loads the sound library")) break;
      other_gauge.take(options_.sound_library);
    }
    run_frames(*module, 1 + below(3 * options_.level));
    kill(*module);
    if (other_gauge.held() && step("the other gauge releases the sound library")) other_gauge.release();
    unload(module);
  }
  end();
}

void Run::sound_vanishes() {
  begin("sound library vanishes in the middle of a run", true);
  for (int round = 0; round < 2 * options_.level && !stopped(); ++round) {
    OtherGaugesReference other_gauge;
    if (round % 2 == 0) {
      // Another gauge has it loaded; this module finds it loaded and takes no
      // reference of its own, then the other gauge lets it go.
      set_sound(SoundLibraryMode::kAbsent);
      other_gauge.take(options_.sound_library);
    } else {
      set_sound(SoundLibraryMode::kPresent);
    }
    auto module = load();
    if (module == nullptr) break;
    install(*module);
    if (round == 0) learn_inputs(*module);
    run_frames(*module, 1 + below(3 * options_.level));
    if (!step(round % 2 == 0 ? "the other gauge releases the sound library"
                             : "the sound library can no longer be loaded"))
      break;
    other_gauge.release();
    set_sound(SoundLibraryMode::kAbsent);
    // Sometimes the gauge is killed straight after, with no update between.
    if (chance(50)) run_frames(*module, 1 + below(3 * options_.level));
    kill(*module);
    unload(module);
  }
  end();
}

void Run::odd_service_orders() {
  begin("service codes in odd orders", true);
  static constexpr uint32_t kOddCodes[] = {13, 14, 15, 100, 255, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFEu, 0xFFFFFFFFu};
  for (int round = 0; round < 2 * options_.level && !stopped(); ++round) {
    set_sound(round % 2 == 0 ? SoundLibraryMode::kAbsent : SoundLibraryMode::kPresent);
    auto module = load();
    if (module == nullptr) break;
    rects_ = module->mouse_rects();
    // Every code 0 to 12 in a shuffled order, then random codes, callbacks,
    // frames and clicks; some rounds start with a pre-draw or callbacks
    // before any update, and with a second pre-install.
    std::vector<uint32_t> codes;
    for (uint32_t code = 0; code <= 12; ++code) codes.push_back(code);
    std::shuffle(codes.begin(), codes.end(), random_);
    if (round % 3 == 0) codes.insert(codes.begin(), 10);
    if (round % 3 == 1) codes.insert(codes.begin(), {2, 4, 2, 4});
    if (round % 3 == 2 && step("element callbacks before any service")) callbacks(*module);
    for (uint32_t code : codes) service(*module, code, static_cast<uint32_t>(random_()));
    for (int i = 0; i < 10 * options_.level && !stopped(); ++i) {
      const int what = below(10);
      if (what < 4) {
        service(*module, static_cast<uint32_t>(below(13)), static_cast<uint32_t>(random_()));
      } else if (what < 5) {
        service(*module, kOddCodes[below(std::size(kOddCodes))], static_cast<uint32_t>(random_()));
      } else if (what < 7) {
        if (step("element callbacks alone")) callbacks(*module);
      } else if (what < 9) {
        const std::string values = set_variables(true);
        if (step("frame with " + values)) frame(*module, chance(80));
      } else {
        click_somewhere(*module);
      }
    }
    kill(*module);
    unload(module);
  }
  end();
}

void Run::second_instance() {
  begin("a second instance sharing the module's state", true);
  for (int round = 0; round < options_.level && !stopped(); ++round) {
    set_sound(round % 2 == 0 ? SoundLibraryMode::kPresent : SoundLibraryMode::kAbsent);
    auto module = load();
    if (module == nullptr) break;
    install(*module);
    if (round == 0) learn_inputs(*module);
    run_frames(*module, 1 + below(3 * options_.level));
    install(*module);  // the second instance: its own pre-install and pre-initialise
    run_frames(*module, 2 + below(6 * options_.level));
    kill(*module);  // one instance goes, the other carries on
    run_frames(*module, 1 + below(3 * options_.level));
    kill(*module);
    unload(module);
  }
  end();
}

void Run::variable_fuzz() {
  begin("variables fed odd values", true);
  auto module = load();
  if (module == nullptr) return end();
  install(*module);
  learn_inputs(*module);
  // Every probe value in every variable at once; from level 7 also in each
  // variable alone, the others at random values; then random frames.
  const std::vector<double> probes = probe_values();
  for (double probe : probes) {
    set_all(probe);
    if (!step("frame with every variable " + describe(probe))) break;
    frame(*module);
  }
  if (options_.level >= 7) {
    for (uint32_t token : tokens_) {
      for (double probe : probes) {
        set_variables(false);
        current_[token] = probe;
        Panel::instance().set_variable(token, probe);
        std::string values;
        for (const auto& [each, value] : current_)
          values.append(" ").append(std::to_string(each)).append("=").append(describe(value));
        if (!step("frame with" + values)) break;
        frame(*module);
      }
    }
  }
  run_frames(*module, 50 * options_.level * options_.level);
  kill(*module);
  unload(module);
  end();
}

void Run::clicks() {
  begin("clicks in, on the edges of and outside every area", true);
  auto module = load();
  if (module == nullptr) return end();
  install(*module);
  learn_inputs(*module);
  rects_ = module->mouse_rects();
  for (int round = 0; round < 3 * options_.level && !stopped(); ++round) {
    // Without power (everything 0), with it (everything 1), and odd values.
    std::string state;
    if (round % 3 == 0) {
      set_all(0.0);
      state = "every variable 0";
    } else if (round % 3 == 1) {
      set_all(1.0);
      state = "every variable 1";
    } else {
      state = set_variables(false);
    }
    if (!step("frame with " + state)) break;
    frame(*module);
    for (const auto& [x, y] : click_points()) {
      static constexpr uint32_t kOddFlags[] = {kLeftSingleClick, kLeftSingleClick, 0xFFFFFFFFu, 0x10000000u};
      click(*module, x, y, kOddFlags[below(std::size(kOddFlags))]);
      if (chance(50) && step("frame with " + state)) frame(*module);
    }
  }
  kill(*module);
  unload(module);
  end();
}

void Run::named_variables() {
  begin("named variables written by another gauge", true);
  auto module = load();
  if (module == nullptr) return end();
  install(*module);
  learn_inputs(*module);
  rects_ = module->mouse_rects();
  std::vector<std::string> names;
  for (const auto& [name, variable] : Panel::instance().named_variables()) names.push_back(name);
  for (int i = 0; i < 30 * options_.level && !stopped(); ++i) {
    std::string action = "frame";
    if (!names.empty()) {
      const std::string& name = names[static_cast<size_t>(below(static_cast<int>(names.size())))];
      const uint32_t word = chance(70) ? kOddWords[below(std::size(kOddWords))] : static_cast<uint32_t>(random_());
      Panel::instance().write_named(name, word);
      named_written_ = true;
      action = "another gauge writes " + std::to_string(word) + " to \"" + name + "\", then a frame";
    }
    if (!step(action + " with " + (chance(50) ? set_variables(true) : "the same variables"))) break;
    frame(*module);
    if (chance(30)) click_somewhere(*module);
  }
  kill(*module);
  unload(module);
  end();
}

Report Run::execute() {
  out_ << "gaugecheck " << path_ << ", level " << options_.level << ", seed " << options_.seed << "\n";
  begin("load", false);
  covered_ = {invariant::kLoads};
  {
    auto module = load();
    if (module == nullptr) {
      end();
      out_ << report_.passed << " passed, " << report_.failed << " failed\n";
      return report_;
    }
    thresholds_ = harvest_thresholds(*module);
    size_t areas = 0;
    for (const host::MouseRectView& rect : module->mouse_rects()) areas += rect.kind == host::mouse_rect::kChild;
    out_ << "gauge \"" << module->gauge_name() << "\": " << module->chain().size() << " elements, " << areas
         << " click areas, " << thresholds_.size() << " constants to probe around\n";
  }
  end();
  if (!have_sound()) report_.skipped.push_back("the runs with the sound library present (no stand-in library given)");

  load_and_unload();
  // The variables are learned from the first frame of a lifecycle; say which.
  lifecycles("whole lifecycles, sound library absent", SoundLibraryMode::kAbsent, false);
  std::string tokens;
  for (uint32_t token : tokens_) tokens += " " + std::to_string(token);
  out_ << "variables read:" << (tokens.empty() ? " none" : tokens) << "\n";
  if (have_sound()) {
    lifecycles("whole lifecycles, sound library present", SoundLibraryMode::kPresent, false);
    lifecycles("whole lifecycles, sound library loaded by another gauge", SoundLibraryMode::kPresent, true);
  }
  sound_appears();
  sound_vanishes();
  odd_service_orders();
  second_instance();
  variable_fuzz();
  clicks();
  named_variables();

  report_.steps = step_;
  for (const std::string& skipped : report_.skipped) out_ << "skipped: " << skipped << "\n";
  out_ << report_.passed << " passed, " << report_.failed << " failed\n";
  return report_;
}

}  // namespace

Report run(const std::string& module_path, const Options& options, std::ostream& out) {
  host::set_call_time_limit(options.call_time_limit_ms);
  Report report = Run(module_path, options, out).execute();
  host::set_call_time_limit(0);
  host::set_interruptible_code(0, 0);
  return report;
}

}  // namespace tarnwix::check
