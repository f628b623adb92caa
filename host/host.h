// The stand-in simulator, a library the tests and the gauge programs in tools/
// (all but the artwork tool) build on. What it offers, and where:
//   Module (here)         loads a module with LoadLibraryA, drives its
//                         lifecycle, element callbacks and clicks, reads its
//                         records;
//   Panel (here)          the panel services, simulation variables, key events,
//                         named variables, whether GaugeSound can be loaded;
//   call.h                the checked call: stack, callee-saved registers,
//                         crashes and a time limit on every call into a module;
//   hooks.h               hooks on a module's imports (loader, sound library,
//                         heap), counting what it does through them;
//   pe.h                  a module file's exports, imports and sections, and
//                         its sections as loaded;
//   Bitmap (here)         a module's bitmap resources, decoded to RGB;
//   FrameSnapshot (here)  what a frame left in every element; describe.h
//                         prints it and the records as text;
//   version.h             the product version and the toolchain that built
//                         it, for the tools' --version.
// It never includes a gauge's or the framework's sources: what it knows of the
// records is the offsets in records.h.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "records.h"

namespace tarnwix::host {

struct KeyEvent {
  uint32_t id;
  uint32_t value;
  friend bool operator==(const KeyEvent&, const KeyEvent&) = default;
};

struct NamedVariable {
  void* address;
  uint32_t type;
};

// One call the host made into a module that broke the calling convention.
struct CallFault {
  std::string routine;  // "gauge callback (service 6)", "element 4 callback", ...
  int32_t stack_delta;  // bytes the stack pointer was off after the call
  bool registers_clobbered;
  uint32_t crash_code = 0;     // non-zero: the call crashed with this exception code
  uint32_t crash_address = 0;  // and at this address; the host went on after it
};

// What happens when a module asks for the sound library "GaugeSound".
enum class SoundLibraryMode {
  kAbsent,   // LoadLibraryA fails, as on a panel without the library
  kPresent,  // the library named by set_sound_library_path() is loaded
};

// Calls the module made through its imports, counted by the host.
struct ImportCounts {
  int load_library = 0;         // LoadLibraryA("GaugeSound"), successful or not
  int load_library_loaded = 0;  // of those, the ones that returned a handle
  int get_module_handle = 0;    // GetModuleHandleA("GaugeSound")
  int get_proc_address = 0;
  int free_library = 0;
  int allocations = 0;  // malloc, calloc, realloc, operator new, HeapAlloc, ...
  int terminate_sounds = 0;  // calls through the TerminateSounds entry point
  std::vector<std::string> proc_names;  // names asked of GetProcAddress, in order
};

// The panel services table and the simulation behind it. The services are
// plain stdcall routines without context, so there is one panel per process.
class Panel {
 public:
  static Panel& instance();

  // Forgets every variable, event, registration, lookup and trap.
  void reset();

  // The address the host writes into a module's ImportTable.
  void* services_table();

  // Simulation variables by token; an unset token reads 0.
  void set_variable(uint32_t token, double value);
  double variable(uint32_t token) const;

  // Tokens in the order LookupVariable was called.
  const std::vector<uint32_t>& lookups() const { return lookups_; }
  void clear_lookups() { lookups_.clear(); }

  const std::vector<KeyEvent>& key_events() const { return key_events_; }
  void clear_key_events() { key_events_.clear(); }

  // The simulator's own answers to the key events it is sent, which the
  // gauges see through their variables at the next update: 66375 (switch the
  // VOR 1 input) moves token 848 from 0 to 1, and from any other value to 0.
  // On unless turned off (then key events are only recorded); kept by reset().
  void set_answers_key_events(bool on) { answers_key_events_ = on; }
  bool answers_key_events() const { return answers_key_events_; }

  // Named variables as another gauge of the panel sees them.
  const std::map<std::string, NamedVariable>& named_variables() const { return named_; }
  std::optional<uint32_t> read_named(const std::string& name) const;
  bool write_named(const std::string& name, uint32_t value);
  // "register NAME" and "unregister NAME", in call order.
  const std::vector<std::string>& registration_log() const { return registration_log_; }

  // Byte offsets of table slots a module called that are not among the four
  // services (each call to a trap is recorded once per call).
  const std::vector<uint32_t>& trapped_slots() const { return trapped_; }

  // Sound library environment for every loaded module.
  void set_sound_library(SoundLibraryMode mode) { sound_mode_ = mode; }
  SoundLibraryMode sound_library() const { return sound_mode_; }
  void set_sound_library_path(const std::string& path) { sound_path_ = path; }
  const std::string& sound_library_path() const { return sound_path_; }

  // Internal: called by the service routines and import hooks.
  void record_lookup(uint32_t token) { lookups_.push_back(token); }
  void record_key_event(uint32_t id, uint32_t value);
  void record_register(void* address, uint32_t type, const char* name);
  void record_unregister(const char* name);
  void record_trap(uint32_t offset) { trapped_.push_back(offset); }

 private:
  Panel();
  std::map<uint32_t, double> variables_;
  std::vector<uint32_t> lookups_;
  std::vector<KeyEvent> key_events_;
  std::map<std::string, NamedVariable> named_;
  std::vector<std::string> registration_log_;
  std::vector<uint32_t> trapped_;
  SoundLibraryMode sound_mode_ = SoundLibraryMode::kAbsent;
  std::string sound_path_;
  bool answers_key_events_ = true;
};

// A bitmap resource of a module, decoded to top-down RGB.
struct Bitmap {
  int id = 0;
  int width = 0;
  int height = 0;
  int bits_per_pixel = 0;
  int colours_used = 0;       // the header's count (0 = a full table)
  int palette_entries = 0;    // colour table entries actually stored
  uint32_t compression = 0;
  bool bottom_up = true;
  std::vector<uint16_t> languages;  // of the resource, e.g. 1033
  std::vector<uint8_t> rgb;   // width * height * 3, top row first
  uint8_t r(int x, int y) const { return rgb[(static_cast<size_t>(y) * width + x) * 3]; }
  uint8_t g(int x, int y) const { return rgb[(static_cast<size_t>(y) * width + x) * 3 + 1]; }
  uint8_t b(int x, int y) const { return rgb[(static_cast<size_t>(y) * width + x) * 3 + 2]; }
};

// One element of the chain as the callbacks left it after a frame.
struct ElementSnapshot {
  int index = 0;  // 0 = root
  ElementKind kind = ElementKind::kStaticImage;
  int32_t resource_id = 0;
  int32_t x = 0;
  int32_t y = 0;
  uint32_t image_flags = 0;
  bool hidden = false;
  bool bright = false;
  // Values the callbacks returned this frame: x then y for a moving image or
  // slider; the image index for an icon; 0 for a string. Empty for a static image.
  std::vector<double> values;
  std::string text;  // a string element's text after its callback
  // Record fields the drawing needs.
  double first_bound = 0, second_bound = 0;  // moving image
  double y_scale = 0;                        // slider
  int32_t box_width = 0, box_height = 0;     // string
  uint32_t text_colour = 0;                  // string, 0x00BBGGRR
  // The icon's image index as the simulator takes it: truncated toward zero;
  // a NaN or out-of-range value (which a module should never return) gives -1.
  int image_index() const {
    if (values.empty()) return 0;
    const double value = values.back();
    if (!(value > -2147483649.0 && value < 2147483648.0)) return -1;
    return static_cast<int>(value);
  }
};

struct FrameSnapshot {
  std::vector<ElementSnapshot> elements;  // in chain (drawing) order
  std::vector<KeyEvent> key_events;       // sent during this frame
  const ElementSnapshot& operator[](size_t i) const { return elements[i]; }
};

struct MouseRectView {
  uint32_t kind;
  int32_t x, y, width, height, cursor;
  uint32_t help_id, event_flags, event_id;
  uint32_t handler;  // the handler's address, or the tooltip text's
  uint32_t data;
  std::string tooltip;  // the text, for a tooltip record
};

// A loaded gauge module and its one gauge.
class Module {
 public:
  // Loads with LoadLibraryA, finds Linkage and ImportTable, writes the panel's
  // services table into ImportTable and hooks the module's imports. On
  // failure returns null and says why in *error, in the words every tool
  // prints: no such file, a folder, not a Windows DLL, an incomplete or
  // 64-bit DLL, a DLL it needs that is missing (named), a DLL without
  // Linkage and ImportTable.
  // Loading a module that is loaded already gives another placement of it,
  // as the simulator makes one for each panel line that names it: the same
  // load (one state block, one first-draw flag, one set of import counts),
  // with calls, text buffers and call faults of its own.
  static std::unique_ptr<Module> load(const std::string& path, std::string* error = nullptr);
  // Unloads with FreeLibrary (the gauge is not killed first: see kill());
  // the load stays while another placement holds it.
  ~Module();
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  void* handle() const { return handle_; }
  const std::string& path() const { return path_; }
  const uint8_t* linkage() const { return linkage_; }
  uint8_t* import_table() const { return import_table_; }
  uint8_t* gauge_header() const { return gauge_header_; }
  std::string gauge_name() const;

  // The lifecycle, each call checked for stack balance and preserved registers.
  void call_module_init();
  void call_module_deinit();
  void service(uint32_t code, uint32_t data = 0);
  void install();     // pre-install, pre-initialise
  void kill();        // pre-kill
  FrameSnapshot frame();       // pre-update, element callbacks in chain order, pre-draw
  FrameSnapshot update_only(); // pre-update and element callbacks, no pre-draw
  FrameSnapshot callbacks_only();

  // Hit-tests (x, y) against the child records and calls the first match's
  // handler. Returns the index of the record clicked, or -1.
  int click(int x, int y, uint32_t event_flags = 0x20000000);
  // The record a click at (x, y) would reach, without calling it; -1 for none.
  int area_at(int x, int y, uint32_t event_flags = 0x20000000) const;

  // Records.
  std::vector<uint8_t*> chain() const;  // element addresses from the root cell, in drawing order
  std::vector<MouseRectView> mouse_rects() const;
  std::optional<Bitmap> bitmap(int id) const;
  std::vector<int> bitmap_ids() const;

  // What the module did through its imports since load (or the last reset).
  const ImportCounts& imports() const;
  void reset_import_counts();

  const std::vector<CallFault>& call_faults() const { return faults_; }

  // The text buffer the host supplies for string elements, in characters.
  // The modules rely on 64 characters; guard bytes on both sides catch a write
  // past either end (reported in text_faults()).
  static constexpr size_t kTextBufferSize = 64;
  static constexpr size_t kTextGuardSize = 32;
  const std::vector<std::string>& text_faults() const { return text_faults_; }
  // Checks the guard bytes of every text buffer now (a write outside a string
  // callback shows here), reports a fault as text_faults() does and repairs
  // the guards.
  void verify_text_buffers(const std::string& after);
  // When on, every text buffer is filled with a non-zero pattern before its
  // callback, so that a text left unterminated shows as a fault.
  void set_text_poison(bool on) { text_poison_ = on; }

 private:
  Module() = default;
  void supply_text_buffers();
  ElementSnapshot run_element(int index, uint8_t* element);
  double call_element(const std::string& routine, uint32_t address, uint8_t* element);

  void* handle_ = nullptr;
  std::string path_;
  const uint8_t* linkage_ = nullptr;
  uint8_t* import_table_ = nullptr;
  uint8_t* gauge_header_ = nullptr;
  // Each buffer with its guards ends where a no-access page begins, so that a
  // write far past the guards faults inside the call instead of reaching the
  // host's own memory.
  using TextStorage = std::unique_ptr<char, void (*)(char*)>;
  std::map<uint8_t*, TextStorage> text_buffers_;
  std::vector<CallFault> faults_;
  std::vector<std::string> text_faults_;
  bool text_poison_ = false;
  size_t hooks_ = 0;
};

// The modules (NAME.gau) in a folder, by name without the extension, in name order.
std::vector<std::string> module_names_in(const std::string& folder);

}  // namespace tarnwix::host
