// gaugebench: what a module costs the simulator. For every module it times a
// frame as the simulator makes it (pre-update, the element callbacks in chain
// order, pre-draw) with the module's imports pointing at the system's own
// routines, and beside it the floor: the host calls every frame must make
// whatever the module does (the sound library re-bind, one LookupVariable per
// module variable, one formatted text per string element). It also times
// load and unload, counts heap allocations per frame and compares the file
// size with the bytes of the bitmaps it carries.
//
//   gaugebench --sound GaugeSound.dll MODULE.gau...
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/hooks.h"
#include "host/host.h"
#include "host/pe.h"
#include "host/version.h"

using namespace tarnwix::host;

namespace {

using GaugeCallbackRoutine = void(__stdcall*)(void* gauge, uint32_t service, uint32_t data);
using ElementRoutine = double(__stdcall*)(void* element);
using LookupRoutine = void(__stdcall*)(void* variable);
using ModuleRoutine = void(__stdcall*)();

constexpr int kMaxSamples = 201;  // timed batches; the median is reported
constexpr int kMinSamples = 31;
constexpr double kBatchNs = 50e3;         // a batch long enough for the counter's resolution
constexpr double kMeasurementNs = 1.5e9;  // time spent on one figure, at most (beyond the minimum)
constexpr int kLoadRounds = 41;

double now_ns() {
  static const double ns_per_tick = [] {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1e9 / static_cast<double>(frequency.QuadPart);
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) * ns_per_tick;
}

struct Spread {
  double median = 0, low = 0, high = 0;  // median, 10th and 90th percentile
};

Spread spread_of(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  auto at = [&](double q) { return samples[static_cast<size_t>(q * static_cast<double>(samples.size() - 1))]; };
  return {at(0.5), at(0.1), at(0.9)};
}

// The texts a frame formats, captured through the module's _snprintf import.
struct FormattedText {
  std::string format;
  double value;
};
std::vector<FormattedText>* captured_texts = nullptr;
int(__cdecl* system_snprintf)(char*, size_t, const char*, ...) = nullptr;

int __cdecl capturing_snprintf(char* buffer, size_t count, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  va_list copy;
  va_copy(copy, arguments);
  const double value = va_arg(copy, double);
  va_end(copy);
  if (captured_texts != nullptr) captured_texts->push_back({format, value});
  const int written = _vsnprintf(buffer, count, format, arguments);
  va_end(arguments);
  return written;
}

// The calls the simulator makes into one gauge for one frame.
struct FrameCalls {
  void* gauge = nullptr;
  GaugeCallbackRoutine callback = nullptr;
  std::vector<std::pair<ElementRoutine, void*>> elements;
};

FrameCalls frame_calls(const Module& module) {
  FrameCalls calls;
  calls.gauge = module.gauge_header();
  calls.callback = reinterpret_cast<GaugeCallbackRoutine>(u32(calls.gauge, gauge_header::kCallback));
  for (uint8_t* element : module.chain()) {
    const CallbackOffsets callbacks = callback_offsets(u32(element, element::kKind));
    for (uint32_t i = 0; i < callbacks.count; ++i)
      if (const uint32_t address = u32(element, callbacks.offset[i]); address != 0)
        calls.elements.emplace_back(reinterpret_cast<ElementRoutine>(address), element);
  }
  return calls;
}

// Keeps the results of the element callbacks alive so that no call is dropped.
volatile double sink = 0;

void run_frame(const FrameCalls& calls) {
  calls.callback(calls.gauge, 6, 0);
  double sum = 0;
  for (const auto& [routine, element] : calls.elements) sum += routine(element);
  calls.callback(calls.gauge, 10, 0);
  sink = sum;
}

// A climb through 12000 feet at 250 knots, by token: what the variables
// read in flight. Tokens not listed read 0.
struct Realistic {
  uint32_t token;
  double value;
  bool is_switch;  // flags and switches toggle in the changing profile
};
constexpr Realistic kRealistic[] = {
    {769, 1.0, false},      // power
    {74, 12000.0, false},   // altitude, feet
    {109, 15000.0, false},  // selected altitude
    {108, 1.0, true},       // preselect switch
    {76, 29.92, false},     // barometric setting
    {614, 3650.0, false},   // height, metres
    {556, 25.0, false},     // vertical speed, feet per second
    {120, 1500.0, false},   // selected vertical speed, feet per minute
    {61, 250.0, false},     // airspeed, knots
    {64, 12288.0, false},   // Mach 0.6 in units of 3.2 / 65536
    {832, 128.0, false},    // metres per second
    {116, 260.0, false},    // selected speed
    {115, 1.0, true},       // selected-speed flag
    {118, 0.78, false},     // selected Mach
    {117, 0.0, true},       // selected-Mach flag
    {63, 43520.0, false},   // red-band speed, 1/128 knot
    {848, 0.0, true},       // VOR input
    {60, 1.0, true},        // brake-help gate
};

// Variable values for a frame: steady, or changing from frame to frame
// (values sweep from half to one and a half times their steady value and
// switches toggle every 50 frames; power stays on).
void set_variables(const std::vector<uint32_t>& tokens, bool changing, int frame) {
  Panel& panel = Panel::instance();
  const double sweep = 0.5 + static_cast<double>(frame % 1000) / 1000.0;
  const bool toggled = (frame / 50) % 2 == 1;
  for (uint32_t token : tokens) {
    double value = 0.0;
    for (const Realistic& realistic : kRealistic) {
      if (realistic.token != token) continue;
      value = realistic.value;
      if (changing && token != 769) {
        if (!realistic.is_switch)
          value *= sweep;
        else if (toggled)
          value = 1.0 - value;
      }
    }
    panel.set_variable(token, value);
  }
}

struct FloorCalls {
  bool sound_present;
  LookupRoutine lookup;
  std::vector<std::vector<uint8_t>> variables;  // one 28-byte module variable per token
  std::vector<FormattedText> texts;
  char buffer[Module::kTextBufferSize];
};

void run_floor(FloorCalls& floor) {
  HMODULE library = GetModuleHandleA("GaugeSound");
  if (library == nullptr) library = LoadLibraryA("GaugeSound");
  FARPROC entries[3] = {};
  if (library != nullptr) {
    entries[0] = GetProcAddress(library, "GaugePlaySound");
    entries[1] = GetProcAddress(library, "GaugeStopSound");
    entries[2] = GetProcAddress(library, "TerminateSounds");
  }
  for (auto& variable : floor.variables) floor.lookup(variable.data());
  for (const FormattedText& text : floor.texts)
    system_snprintf(floor.buffer, sizeof floor.buffer - 1, text.format.c_str(), text.value);
  sink = entries[0] != nullptr ? 1.0 : 0.0;
}

// Times `body` in batches sized from a first estimate, so that a cheap frame
// gets many frames per batch and a costly one (a failed library load) does
// not take minutes.
template <typename Body>
Spread time_frames(Body body, const std::vector<uint32_t>& tokens, bool changing) {
  int frame = 0;
  const double estimate_start = now_ns();
  for (int warm = 0; warm < 20; ++warm) {
    set_variables(tokens, changing, frame);
    body(frame++);
  }
  const double estimate = std::max((now_ns() - estimate_start) / 20.0, 1.0);
  const int frames_per_batch = std::clamp(static_cast<int>(std::ceil(kBatchNs / estimate)), 1, 10000);
  const int samples =
      std::clamp(static_cast<int>(kMeasurementNs / (estimate * frames_per_batch)), kMinSamples, kMaxSamples);
  std::vector<double> per_frame;
  for (int s = 0; s < samples; ++s) {
    // The variable store is the host's; both loops set the same values.
    Panel::instance().clear_lookups();
    const double start = now_ns();
    for (int f = 0; f < frames_per_batch; ++f) {
      set_variables(tokens, changing, frame);
      body(frame++);
    }
    per_frame.push_back((now_ns() - start) / frames_per_batch);
  }
  return spread_of(per_frame);
}

struct LoadCost {
  Spread load_and_install, kill_and_unload;
};

// As the simulator does it: LoadLibraryA, find the two records, fill
// ImportTable, module init, pre-install, pre-initialise; then pre-kill,
// module deinit, FreeLibrary.
LoadCost time_load(const std::string& path) {
  std::vector<double> up, down;
  for (int round = 0; round < kLoadRounds; ++round) {
    const double start = now_ns();
    HMODULE handle = LoadLibraryA(path.c_str());
    if (handle == nullptr) return {};
    auto* linkage = reinterpret_cast<uint8_t*>(GetProcAddress(handle, "Linkage"));
    auto* table = reinterpret_cast<uint8_t*>(GetProcAddress(handle, "ImportTable"));
    put_u32(table, import_table::kServices,
            static_cast<uint32_t>(reinterpret_cast<uintptr_t>(Panel::instance().services_table())));
    reinterpret_cast<ModuleRoutine>(u32(linkage, linkage::kInit))();
    void* gauge = ptr(linkage, linkage::kGauges);
    auto callback = reinterpret_cast<GaugeCallbackRoutine>(u32(gauge, gauge_header::kCallback));
    callback(gauge, 2, 0);
    callback(gauge, 4, 0);
    const double loaded = now_ns();
    callback(gauge, 12, 0);
    reinterpret_cast<ModuleRoutine>(u32(linkage, linkage::kDeinit))();
    FreeLibrary(handle);
    const double unloaded = now_ns();
    up.push_back(loaded - start);
    down.push_back(unloaded - loaded);
    Panel::instance().reset();
  }
  return {spread_of(up), spread_of(down)};
}

struct Row {
  std::string name;
  Spread frame, floor;
  Spread changing_frame, changing_floor;
  double allocations_per_frame = 0;
  LoadCost load;
  uint64_t file_size = 0, bitmap_bytes = 0;
};

uint64_t bitmap_bytes(const Module& module) {
  uint64_t total = 0;
  auto* handle = static_cast<HMODULE>(module.handle());
  for (int id : module.bitmap_ids())
    if (HRSRC resource = FindResourceA(handle, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(2)))
      total += SizeofResource(handle, resource);
  return total;
}

bool measure(const std::string& path, bool sound_present, Row& row) {
  std::string error;
  auto module = Module::load(path, &error);
  if (module == nullptr) {
    std::fprintf(stderr, "gaugebench: cannot load %s: %s\n", path.c_str(), error.c_str());
    return false;
  }
  row.name = module->gauge_name();
  if (const auto file = read_pe_file(path)) row.file_size = file->file_size;
  row.bitmap_bytes = bitmap_bytes(*module);
  auto* handle = static_cast<HMODULE>(module->handle());

  // One counted pass: the tokens looked up, allocations, the texts formatted.
  Panel& panel = Panel::instance();
  module->install();
  panel.clear_lookups();
  module->frame();
  const std::vector<uint32_t> tokens = panel.lookups();
  module->reset_import_counts();
  constexpr int kCountedFrames = 200;
  for (int f = 0; f < kCountedFrames; ++f) {
    set_variables(tokens, true, f);
    module->frame();
  }
  row.allocations_per_frame = static_cast<double>(module->imports().allocations) / kCountedFrames;

  std::vector<FormattedText> texts;
  system_snprintf = reinterpret_cast<decltype(system_snprintf)>(
      patch_import(handle, "msvcrt.dll", "_snprintf", reinterpret_cast<void*>(&capturing_snprintf)));
  set_variables(tokens, false, 0);
  captured_texts = &texts;
  module->frame();
  captured_texts = nullptr;
  if (system_snprintf != nullptr)
    patch_import(handle, "msvcrt.dll", "_snprintf", reinterpret_cast<void*>(system_snprintf));
  else
    system_snprintf = reinterpret_cast<decltype(system_snprintf)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("msvcrt.dll"), "_snprintf")));

  // From here on the module runs on the system's routines, as in the simulator.
  restore_imports(handle);
  const FrameCalls calls = frame_calls(*module);
  FloorCalls floor{sound_present,
                   reinterpret_cast<LookupRoutine>(u32(panel.services_table(), panel_services::kLookupVariable)),
                   {},
                   texts,
                   {}};
  for (uint32_t token : tokens) {
    std::vector<uint8_t> variable(module_variable::kSize, 0);
    put_u32(variable.data(), module_variable::kToken, token);
    floor.variables.push_back(std::move(variable));
  }
  row.frame = time_frames([&](int) { run_frame(calls); }, tokens, false);
  row.floor = time_frames([&](int) { run_floor(floor); }, tokens, false);
  row.changing_frame = time_frames([&](int) { run_frame(calls); }, tokens, true);
  row.changing_floor = time_frames([&](int) { run_floor(floor); }, tokens, true);
  calls.callback(calls.gauge, 12, 0);
  module.reset();
  row.load = time_load(path);
  return true;
}

void print_table(const char* title, const std::vector<Row>& rows) {
  std::printf("\n%s\n\n", title);
  std::printf(
      "| module | frame ns | floor ns | frame / floor | changing: frame ns | floor ns | frame / floor | "
      "allocations / frame | load + install us | kill + unload us |\n");
  std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
  for (const Row& r : rows)
    std::printf("| %s | %.0f (%.0f-%.0f) | %.0f | %.2f | %.0f (%.0f-%.0f) | %.0f | %.2f | %.2f | %.0f | %.0f |\n",
                r.name.c_str(), r.frame.median, r.frame.low, r.frame.high, r.floor.median,
                r.frame.median / r.floor.median, r.changing_frame.median, r.changing_frame.low, r.changing_frame.high,
                r.changing_floor.median, r.changing_frame.median / r.changing_floor.median, r.allocations_per_frame,
                r.load.load_and_install.median / 1000.0, r.load.kill_and_unload.median / 1000.0);
}

}  // namespace

int main(int argc, char** argv) {
  if (tarnwix::host::print_version_if_asked(argc, argv, "gaugebench")) return 0;
  std::string sound_path;
  std::vector<std::string> modules;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--sound") == 0 && i + 1 < argc)
      sound_path = argv[++i];
    else
      modules.emplace_back(argv[i]);
  }
  if (modules.empty()) {
    std::fprintf(stderr, "usage: gaugebench [--sound GaugeSound.dll] MODULE.gau...\n");
    return 2;
  }
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
  SetThreadAffinityMask(GetCurrentThread(), 1);

  std::vector<Row> absent, present;
  for (const std::string& path : modules) {
    Panel::instance().reset();
    Row row;
    if (!measure(path, false, row)) return 1;
    absent.push_back(row);
  }
  // With the library loaded in the process, as when another gauge of the
  // panel holds it: the re-bind finds it by name.
  HMODULE sound = sound_path.empty() ? nullptr : LoadLibraryA(sound_path.c_str());
  if (sound != nullptr) {
    Panel::instance().set_sound_library_path(sound_path);
    for (const std::string& path : modules) {
      Panel::instance().reset();
      Panel::instance().set_sound_library(SoundLibraryMode::kPresent);
      Row row;
      if (!measure(path, true, row)) return 1;
      present.push_back(row);
    }
  }

  std::printf(
      "Nanoseconds per frame: the median of %d to %d timed batches (each at least %.0f us of frames),\n"
      "with the 10th to 90th percentile of the batches in brackets.\n",
      kMinSamples, kMaxSamples, kBatchNs / 1000.0);
  print_table("GaugeSound absent (each update tries to load it, as the re-bind requires)", absent);
  if (!present.empty()) print_table("GaugeSound loaded by the panel", present);

  std::printf("\n| module | file bytes | bitmap bytes | overhead bytes |\n|---|---:|---:|---:|\n");
  for (const Row& r : absent)
    std::printf("| %s | %llu | %llu | %lld |\n", r.name.c_str(), static_cast<unsigned long long>(r.file_size),
                static_cast<unsigned long long>(r.bitmap_bytes),
                static_cast<long long>(r.file_size) - static_cast<long long>(r.bitmap_bytes));
  return 0;
}
