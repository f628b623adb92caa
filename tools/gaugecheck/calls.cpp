// The run's core: steps and failures, and every call into the module
// followed by the checks that apply to every call (crashes, calls that do not
// return, the stack, text buffers, services, allocations), the per-frame
// checks, loads, unloads and the sound library's references.
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <sstream>

#include "host/call.h"
#include "host/hooks.h"
#include "host/pe.h"
#include "run.h"

namespace tarnwix::check::detail {

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

AddressRange image_range(const Module& module) {
  const uint32_t begin = address_of(module.handle());
  return {begin, begin + host::loaded_image_size(module.handle())};
}

// An address as an offset into the module, or the library it lies in (a
// crash inside a system routine that the module called).
static std::string where_is(uint32_t address, const AddressRange& module) {
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
  for (HMODULE library = host::loaded_library(kSoundModuleName); library != nullptr && references < 1000;
       library = host::loaded_library(kSoundModuleName)) {
    FreeLibrary(library);
    ++references;
  }
  for (int i = 0; i < references; ++i) LoadLibraryA(path.c_str());
  return references;
}

// Lets go of the references beyond `kept` that unloaded modules left behind,
// so that one scenario's leak does not keep the library loaded for the next.
static void drop_sound_references_beyond(const std::string& path, int kept) {
  for (int references = sound_references(path); references > kept; --references)
    FreeLibrary(host::loaded_library(kSoundModuleName));
}

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
}  // namespace tarnwix::check::detail
