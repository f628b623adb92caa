// Loading a module, reading its records and driving its gauge.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "call.h"
#include "hooks.h"
#include "host.h"
#include "pe.h"

namespace tarnwix::host {

namespace {

uint32_t address_of(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

constexpr uint8_t kGuardByte = 0xA5;

// The loader's refusal of a DLL whose headers and imports are sound, in its
// own words where Windows has them.
std::string loader_refusal(DWORD code) {
  if (code == ERROR_DLL_INIT_FAILED) return "its start-up code refused to start (error 1114)";
  char text[256] = "";
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                sizeof text, nullptr);
  while (length > 0 &&
         (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == ' ' || text[length - 1] == '.'))
    --length;
  const std::string words(text, length);
  return "Windows refused to load it" + (words.empty() ? "" : ": " + words) + " (error " + std::to_string(code) + ")";
}
constexpr size_t kMaxChain = 4096;  // a longer chain is a loop

}  // namespace

std::unique_ptr<Module> Module::load(const std::string& path, std::string* error) {
  auto fail = [&](const std::string& why) -> std::unique_ptr<Module> {
    if (error != nullptr) *error = why;
    return nullptr;
  };
  // The headers first: the loader's error numbers do not tell a text file
  // from a 64-bit DLL, and a file cut short must not be mapped at all.
  if (const std::string problem = image_file_problem(path); !problem.empty()) return fail(problem);
  HMODULE handle = LoadLibraryA(path.c_str());
  if (handle == nullptr) {
    const DWORD code = GetLastError();
    if (const std::string missing = missing_import(path); !missing.empty()) return fail(missing);
    return fail(loader_refusal(code));
  }
  if (const std::string missing = missing_loaded_import(handle); !missing.empty()) {
    FreeLibrary(handle);
    return fail(missing);
  }
  auto* linkage = reinterpret_cast<const uint8_t*>(GetProcAddress(handle, "Linkage"));
  auto* import_table = reinterpret_cast<uint8_t*>(GetProcAddress(handle, "ImportTable"));
  if (linkage == nullptr || import_table == nullptr) {
    FreeLibrary(handle);
    return fail(std::string("a DLL, but not a gauge module: it exports ") +
                (linkage == nullptr && import_table == nullptr ? "neither Linkage nor ImportTable"
                 : linkage == nullptr                          ? "ImportTable but not Linkage"
                                                               : "Linkage but not ImportTable"));
  }
  std::unique_ptr<Module> module(new Module());
  module->handle_ = handle;
  module->path_ = path;
  module->linkage_ = linkage;
  module->import_table_ = import_table;
  module->gauge_header_ = ptr(linkage, linkage::kGauges);
  module->hooks_ = hook_imports(handle);
  // The simulator fills ImportTable before it calls anything in the module.
  put_u32(import_table, import_table::kServices, address_of(Panel::instance().services_table()));
  return module;
}

Module::~Module() {
  if (handle_ == nullptr) return;
  unhook_imports(static_cast<HMODULE>(handle_));
  FreeLibrary(static_cast<HMODULE>(handle_));
}

std::string Module::gauge_name() const {
  if (gauge_header_ == nullptr) return {};
  const char* name = reinterpret_cast<const char*>(ptr(gauge_header_, gauge_header::kName));
  return name != nullptr ? std::string(name) : std::string();
}

const ImportCounts& Module::imports() const { return import_counts(static_cast<HMODULE>(handle_)); }
void Module::reset_import_counts() {
  ImportCounts& counts = import_counts(static_cast<HMODULE>(handle_));
  counts = {};
}

namespace {

void check_call(std::vector<CallFault>& faults, const std::string& routine, const CallResult& result) {
  const CallCrash crash = last_call_crash();
  if (result.stack_delta != 0 || result.registers_clobbered != 0 || crash.code != 0)
    faults.push_back({routine, result.stack_delta, result.registers_clobbered != 0, crash.code, crash.address});
}

bool guards_intact(const char* storage) {
  for (size_t i = 0; i < Module::kTextGuardSize; ++i)
    if (static_cast<uint8_t>(storage[i]) != kGuardByte ||
        static_cast<uint8_t>(storage[Module::kTextGuardSize + Module::kTextBufferSize + i]) != kGuardByte)
      return false;
  return true;
}

void repair_guards(char* storage) {
  std::memset(storage, kGuardByte, Module::kTextGuardSize);
  std::memset(storage + Module::kTextGuardSize + Module::kTextBufferSize, kGuardByte, Module::kTextGuardSize);
  storage[Module::kTextGuardSize + Module::kTextBufferSize - 1] = '\0';
}

}  // namespace

void Module::call_module_init() {
  const uint32_t routine = u32(linkage_, linkage::kInit);
  if (routine != 0) check_call(faults_, "module init routine", call_stdcall(routine, nullptr, 0, false));
}

void Module::call_module_deinit() {
  const uint32_t routine = u32(linkage_, linkage::kDeinit);
  if (routine != 0) check_call(faults_, "module deinit routine", call_stdcall(routine, nullptr, 0, false));
}

void Module::service(uint32_t code, uint32_t data) {
  const uint32_t callback = u32(gauge_header_, gauge_header::kCallback);
  if (callback == 0) return;
  const uint32_t arguments[] = {address_of(gauge_header_), code, data};
  check_call(faults_, "gauge callback (service " + std::to_string(code) + ")",
             call_stdcall(callback, arguments, 3, false));
}

void Module::install() {
  service(2);
  service(4);
}

void Module::kill() { service(12); }

std::vector<uint8_t*> Module::chain() const {
  std::vector<uint8_t*> elements;
  if (gauge_header_ == nullptr) return elements;
  const uint8_t* cell = ptr(gauge_header_, gauge_header::kRootCell);
  if (cell == nullptr) return elements;
  std::set<uint8_t*> seen;
  for (uint8_t* element = ptr(cell, 0); element != nullptr && elements.size() < kMaxChain;) {
    if (!seen.insert(element).second) break;
    elements.push_back(element);
    const uint8_t* children = ptr(element, element::kChildren);
    element = children != nullptr ? ptr(children, 0) : nullptr;
  }
  return elements;
}

namespace {

constexpr size_t kTextBlockSize = Module::kTextGuardSize * 2 + Module::kTextBufferSize;

size_t page_size() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwPageSize;
}

char* allocate_text_block() {
  const size_t page = page_size();
  auto* pages = static_cast<char*>(VirtualAlloc(nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  if (pages == nullptr) return nullptr;
  DWORD old_protection = 0;
  VirtualProtect(pages + page, page, PAGE_NOACCESS, &old_protection);
  return pages + page - kTextBlockSize;
}

void release_text_block(char* block) {
  if (block == nullptr) return;
  const uintptr_t pages = reinterpret_cast<uintptr_t>(block) & ~(static_cast<uintptr_t>(page_size()) - 1);
  VirtualFree(reinterpret_cast<void*>(pages), 0, MEM_RELEASE);
}

}  // namespace

void Module::supply_text_buffers() {
  for (uint8_t* element : chain()) {
    if (u32(element, element::kKind) != static_cast<uint32_t>(ElementKind::kString)) continue;
    if (text_buffers_.count(element) != 0) continue;
    TextStorage storage(allocate_text_block(), &release_text_block);
    if (storage == nullptr) continue;
    std::memset(storage.get(), kGuardByte, kTextGuardSize);
    std::memset(storage.get() + kTextGuardSize, 0, kTextBufferSize);
    std::memset(storage.get() + kTextGuardSize + kTextBufferSize, kGuardByte, kTextGuardSize);
    put_u32(element, string_element::kText, address_of(storage.get() + kTextGuardSize));
    text_buffers_.emplace(element, std::move(storage));
  }
}

double Module::call_element(const std::string& routine, uint32_t address, uint8_t* element) {
  if (address == 0) return 0.0;
  const uint32_t arguments[] = {address_of(element)};
  const CallResult result = call_stdcall(address, arguments, 1, true);
  check_call(faults_, routine, result);
  return result.st0;
}

ElementSnapshot Module::run_element(int index, uint8_t* element) {
  ElementSnapshot snapshot;
  snapshot.index = index;
  const uint32_t kind = u32(element, element::kKind);
  snapshot.kind = static_cast<ElementKind>(kind);
  snapshot.resource_id = i32(element, element::kResourceId);
  snapshot.x = i32(element, element::kX);
  snapshot.y = i32(element, element::kY);
  const std::string name = "element " + std::to_string(index);
  switch (snapshot.kind) {
    case ElementKind::kStaticImage:
      break;
    case ElementKind::kString: {
      // The element record belongs to the load, shared by every placement of
      // the module: this placement's own buffer goes in before its callback.
      if (const auto buffer = text_buffers_.find(element); buffer != text_buffers_.end()) {
        put_u32(element, string_element::kText, address_of(buffer->second.get() + kTextGuardSize));
        if (text_poison_) std::memset(buffer->second.get() + kTextGuardSize, 'X', kTextBufferSize);
      }
      snapshot.values.push_back(call_element(name + " callback", u32(element, string_element::kCallback), element));
      snapshot.box_width = i32(element, string_element::kBoxWidth);
      snapshot.box_height = i32(element, string_element::kBoxHeight);
      snapshot.text_colour = u32(element, string_element::kColour);
      const auto found = text_buffers_.find(element);
      if (found != text_buffers_.end()) {
        char* storage = found->second.get();
        const char* text = storage + kTextGuardSize;
        const size_t length = strnlen(text, kTextBufferSize);
        snapshot.text.assign(text, length);
        if (length >= kTextBufferSize || !guards_intact(storage)) {
          text_faults_.push_back(name + ": text written past its " + std::to_string(kTextBufferSize) +
                                 "-character buffer or left unterminated");
          repair_guards(storage);
        }
      }
      break;
    }
    case ElementKind::kSlider:
      snapshot.values.push_back(call_element(name + " x callback", u32(element, slider::kXCallback), element));
      snapshot.values.push_back(call_element(name + " y callback", u32(element, slider::kYCallback), element));
      snapshot.y_scale = f64(element, slider::kYScale);
      break;
    case ElementKind::kIcon:
      snapshot.values.push_back(call_element(name + " callback", u32(element, icon::kCallback), element));
      break;
    case ElementKind::kMovingImage:
      snapshot.values.push_back(call_element(name + " x callback", u32(element, moving_image::kXCallback), element));
      snapshot.values.push_back(call_element(name + " y callback", u32(element, moving_image::kYCallback), element));
      snapshot.first_bound = f64(element, moving_image::kFirstBound);
      snapshot.second_bound = f64(element, moving_image::kSecondBound);
      break;
  }
  snapshot.image_flags = u32(element, element::kImageFlags);
  snapshot.hidden = (snapshot.image_flags & element::kHiddenFlag) != 0;
  snapshot.bright = (snapshot.image_flags & element::kBrightFlag) != 0;
  return snapshot;
}

void Module::verify_text_buffers(const std::string& after) {
  int index = 0;
  for (uint8_t* element : chain()) {
    const auto found = text_buffers_.find(element);
    if (found != text_buffers_.end() && !guards_intact(found->second.get())) {
      text_faults_.push_back("the text buffer of element " + std::to_string(index) + " was written outside it " +
                             after);
      repair_guards(found->second.get());
    }
    ++index;
  }
}

FrameSnapshot Module::callbacks_only() {
  supply_text_buffers();
  FrameSnapshot frame;
  int index = 0;
  for (uint8_t* element : chain()) frame.elements.push_back(run_element(index++, element));
  return frame;
}

FrameSnapshot Module::update_only() {
  const size_t events_before = Panel::instance().key_events().size();
  service(6);
  FrameSnapshot frame = callbacks_only();
  const auto& events = Panel::instance().key_events();
  frame.key_events.assign(events.begin() + static_cast<std::ptrdiff_t>(std::min(events_before, events.size())),
                          events.end());
  return frame;
}

FrameSnapshot Module::frame() {
  FrameSnapshot snapshot = update_only();
  service(10);
  return snapshot;
}

std::vector<MouseRectView> Module::mouse_rects() const {
  std::vector<MouseRectView> rects;
  const uint8_t* list = gauge_header_ != nullptr ? ptr(gauge_header_, gauge_header::kMouseRects) : nullptr;
  if (list == nullptr) return rects;
  for (size_t i = 0; i < kMaxChain; ++i) {
    const uint8_t* record = list + i * mouse_rect::kSize;
    MouseRectView view{
        u32(record, mouse_rect::kKind),    i32(record, mouse_rect::kX),          i32(record, mouse_rect::kY),
        i32(record, mouse_rect::kWidth),   i32(record, mouse_rect::kHeight),     i32(record, mouse_rect::kCursor),
        u32(record, mouse_rect::kHelpId),  u32(record, mouse_rect::kEventFlags), u32(record, mouse_rect::kEventId),
        u32(record, mouse_rect::kHandler), u32(record, mouse_rect::kData),       {}};
    if (view.kind == mouse_rect::kTooltip && view.handler != 0)
      view.tooltip = reinterpret_cast<const char*>(static_cast<uintptr_t>(view.handler));
    rects.push_back(view);
    if (view.kind == mouse_rect::kListEnd) break;
  }
  return rects;
}

int Module::area_at(int x, int y, uint32_t event_flags) const {
  const std::vector<MouseRectView> rects = mouse_rects();
  for (size_t i = 0; i < rects.size(); ++i) {
    const MouseRectView& r = rects[i];
    if (r.kind != mouse_rect::kChild || r.handler == 0) continue;
    if (x < r.x || y < r.y || x >= r.x + r.width || y >= r.y + r.height) continue;
    if ((r.event_flags & event_flags) == 0) continue;
    return static_cast<int>(i);
  }
  return -1;
}

int Module::click(int x, int y, uint32_t event_flags) {
  const int area = area_at(x, y, event_flags);
  if (area < 0) return -1;
  int32_t point[2] = {x, y};
  const uint32_t arguments[] = {address_of(point), event_flags};
  check_call(faults_, "mouse handler " + std::to_string(area),
             call_stdcall(mouse_rects()[static_cast<size_t>(area)].handler, arguments, 2, false));
  return area;
}

std::vector<std::string> module_names_in(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "/*.gau").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = found.cFileName;
    if (name.size() > 4) names.push_back(name.substr(0, name.size() - 4));
  } while (FindNextFileA(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace tarnwix::host
