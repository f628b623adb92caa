#include "reference.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "host/records.h"

namespace tarnwix::guide {

using host::FrameSnapshot;
using host::KeyEvent;
using host::Module;
using host::Panel;

namespace {

// The version resource's FileVersion text, or empty.
std::string file_version(const std::string& path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<char> data(size);
  if (!GetFileVersionInfoA(path.c_str(), 0, size, data.data())) return {};
  char* text = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(data.data(), "\\StringFileInfo\\040904B0\\FileVersion", reinterpret_cast<void**>(&text),
                      &length) ||
      text == nullptr || length == 0)
    return {};
  return std::string(text, strnlen(text, length));
}

bool same_value(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

// Two states of an element look the same: both hidden, or the same values.
bool same_state(const host::ElementSnapshot& a, const host::ElementSnapshot& b) {
  if (a.hidden && b.hidden) return true;
  if (a.hidden != b.hidden || a.text != b.text || a.values.size() != b.values.size()) return false;
  for (size_t i = 0; i < a.values.size(); ++i)
    if (!same_value(a.values[i], b.values[i])) return false;
  return true;
}

std::vector<KeyEvent> take_key_events() {
  std::vector<KeyEvent> events = Panel::instance().key_events();
  Panel::instance().clear_key_events();
  return events;
}

std::vector<std::pair<std::string, uint32_t>> named_values() {
  std::vector<std::pair<std::string, uint32_t>> values;
  for (const auto& [name, variable] : Panel::instance().named_variables())
    values.emplace_back(name, Panel::instance().read_named(name).value_or(0));
  return values;
}

// A fresh load of the module, installed and settled for two updates with the
// power variable at `power` and the active settings in place.
std::unique_ptr<Module> settled(const std::string& path, double power, const std::vector<VariableSetting>& active,
                                std::string* error) {
  Panel& panel = Panel::instance();
  panel.reset();
  auto module = Module::load(path, error);
  if (!module) return nullptr;
  module->call_module_init();
  module->install();
  panel.set_variable(769, power);
  for (const VariableSetting& setting : active) panel.set_variable(setting.token, setting.value);
  module->frame();
  module->frame();
  panel.clear_key_events();
  return module;
}

void unload_gauge(std::unique_ptr<Module> module) {
  module->kill();
  module->call_module_deinit();
}

struct Run {
  ClickEffect effect;
  FrameSnapshot after;  // the frame after the click
  int record = -1;      // the record the click reached
};

Run run(const std::string& path, double power, const std::vector<VariableSetting>& active,
        const std::optional<std::pair<int, int>>& click, std::string* error) {
  Run result;
  auto module = settled(path, power, active, error);
  if (!module) return result;
  const auto before = named_values();
  if (click) result.record = module->click(click->first, click->second);
  result.effect.on_click = take_key_events();
  const auto after = named_values();
  for (const auto& [name, value] : after) {
    const auto earlier = std::find_if(before.begin(), before.end(), [&](const auto& e) { return e.first == name; });
    const uint32_t was = earlier != before.end() ? earlier->second : 0;
    if (was != value) result.effect.named.push_back({name, was, value});
  }
  result.after = module->frame();
  result.effect.on_update = take_key_events();
  for (const VariableSetting& setting : active) Panel::instance().set_variable(setting.token, 0);
  module->frame();
  result.effect.on_release = take_key_events();
  unload_gauge(std::move(module));
  return result;
}

std::optional<ClickEffect> click_effect(const std::string& path, double power,
                                        const std::vector<VariableSetting>& active, const host::MouseRectView& area,
                                        int record, std::string* error) {
  const std::pair<int, int> centre{area.x + area.width / 2, area.y + area.height / 2};
  Run clicked = run(path, power, active, centre, error);
  if (clicked.record != record) {
    *error = "area " + std::to_string(record) + " is not reached by a click at its centre (" +
             std::to_string(centre.first) + ", " + std::to_string(centre.second) + ")";
    return std::nullopt;
  }
  const Run plain = run(path, power, active, std::nullopt, error);
  if (plain.after.elements.size() != clicked.after.elements.size()) {
    *error = "the element chain changed its length after a click";
    return std::nullopt;
  }
  for (size_t i = 0; i < clicked.after.elements.size(); ++i)
    if (!same_state(clicked.after.elements[i], plain.after.elements[i]))
      clicked.effect.elements_changed.push_back(static_cast<int>(i));
  return clicked.effect;
}

}  // namespace

std::optional<ModuleReference> observe(const std::string& module_path, const std::vector<VariableSetting>& active,
                                       std::string* error) {
  ModuleReference reference;
  const size_t slash = module_path.find_last_of("/\\");
  reference.module = module_path.substr(slash == std::string::npos ? 0 : slash + 1);
  if (reference.module.size() > 4 && reference.module.compare(reference.module.size() - 4, 4, ".gau") == 0)
    reference.module.resize(reference.module.size() - 4);
  reference.version = file_version(module_path);

  Panel& panel = Panel::instance();
  panel.reset();
  auto module = Module::load(module_path, error);
  if (!module) return std::nullopt;
  reference.gauge_name = module->gauge_name();
  module->call_module_init();
  module->install();
  for (const std::string& entry : panel.registration_log())
    if (entry.rfind("register ", 0) == 0) reference.named_variables.push_back(entry.substr(9));
  panel.set_variable(769, 1.0);
  panel.clear_lookups();
  const FrameSnapshot frame = module->frame();
  reference.lookups = panel.lookups();
  reference.unprompted = take_key_events();
  if (frame.elements.empty()) {
    *error = "the gauge has no elements";
    unload_gauge(std::move(module));
    return std::nullopt;
  }
  const std::vector<uint8_t*> chain = module->chain();
  for (size_t i = 0; i < frame.elements.size(); ++i) {
    const host::ElementSnapshot& element = frame.elements[i];
    ElementReference entry{static_cast<int>(i), element.kind, element.resource_id, element.x, element.y, {}};
    if (element.kind == host::ElementKind::kString && i < chain.size()) {
      const char* face = reinterpret_cast<const char*>(chain[i] + host::string_element::kFontFace);
      entry.font_face.assign(face, strnlen(face, 32));
    }
    reference.elements.push_back(entry);
  }
  std::vector<int> ids = module->bitmap_ids();
  std::sort(ids.begin(), ids.end());
  for (int id : ids) {
    const std::optional<host::Bitmap> bitmap = module->bitmap(id);
    if (bitmap) reference.bitmaps.push_back({id, bitmap->width, bitmap->height, bitmap->bits_per_pixel});
  }
  const std::optional<host::Bitmap> root = module->bitmap(frame.elements.front().resource_id);
  if (!root) {
    *error = "the root element's picture " + std::to_string(frame.elements.front().resource_id) + " is missing";
    unload_gauge(std::move(module));
    return std::nullopt;
  }
  reference.width = root->width;
  reference.height = root->height;
  const std::vector<host::MouseRectView> rects = module->mouse_rects();
  unload_gauge(std::move(module));

  for (size_t i = 0; i < rects.size(); ++i) {
    const host::MouseRectView& rect = rects[i];
    if (rect.kind == host::mouse_rect::kTooltip) reference.tooltips.push_back(rect.tooltip);
    if (rect.kind != host::mouse_rect::kChild) continue;
    AreaReference area{static_cast<int>(i), rect.x, rect.y, rect.width, rect.height, rect.cursor, {}, {}};
    std::optional<ClickEffect> powered = click_effect(module_path, 1.0, active, rect, area.record, error);
    if (!powered) return std::nullopt;
    std::optional<ClickEffect> unpowered = click_effect(module_path, 0.0, active, rect, area.record, error);
    if (!unpowered) return std::nullopt;
    area.powered = std::move(*powered);
    area.unpowered = std::move(*unpowered);
    reference.areas.push_back(std::move(area));
  }
  return reference;
}

}  // namespace tarnwix::guide
