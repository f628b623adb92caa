// The panel services table and the simulation state behind it.
#include <array>
#include <cstring>
#include <utility>

#include "host.h"

namespace tarnwix::host {

namespace {

// A key event the simulator answers by switching a variable between 0 and 1.
struct SwitchAnswer {
  uint32_t event;
  uint32_t token;
};
constexpr SwitchAnswer kSwitchAnswers[] = {
    {.event = 66375, .token = 848},  // VOR 1 input: NAV (0) and GPS (1)
};

void __stdcall trigger_key_event(uint32_t id, uint32_t value) { Panel::instance().record_key_event(id, value); }

void __stdcall register_named_variable(void* word, uint32_t type, const char* name) {
  Panel::instance().record_register(word, type, name);
}

void __stdcall lookup_variable(uint8_t* variable) {
  Panel& panel = Panel::instance();
  const uint32_t token = u32(variable, module_variable::kToken);
  panel.record_lookup(token);
  const double value = panel.variable(token);
  std::memcpy(variable + module_variable::kValue, &value, sizeof value);
}

void __stdcall unregister_named_variable(const char* name) { Panel::instance().record_unregister(name); }

// Every other slot: a routine that records the misuse and returns 0.
template <uint32_t Slot>
uint32_t __stdcall trap() {
  Panel::instance().record_trap(Slot * 4);
  return 0;
}

template <std::size_t... Slot>
constexpr std::array<void*, sizeof...(Slot)> traps(std::index_sequence<Slot...>) {
  return {reinterpret_cast<void*>(&trap<Slot>)...};
}

std::array<void*, panel_services::kSlots> make_table() {
  std::array<void*, panel_services::kSlots> table = traps(std::make_index_sequence<panel_services::kSlots>{});
  table[panel_services::kTriggerKeyEvent / 4] = reinterpret_cast<void*>(&trigger_key_event);
  table[panel_services::kRegisterNamedVariable / 4] = reinterpret_cast<void*>(&register_named_variable);
  table[panel_services::kLookupVariable / 4] = reinterpret_cast<void*>(&lookup_variable);
  table[panel_services::kUnregisterNamedVariable / 4] = reinterpret_cast<void*>(&unregister_named_variable);
  return table;
}

std::array<void*, panel_services::kSlots> services = make_table();

}  // namespace

Panel::Panel() = default;

Panel& Panel::instance() {
  static Panel panel;
  return panel;
}

void Panel::reset() {
  const SoundLibraryMode mode = sound_mode_;
  const std::string path = sound_path_;
  const bool answers = answers_key_events_;
  *this = Panel();
  sound_mode_ = mode;
  sound_path_ = path;
  answers_key_events_ = answers;
}

void* Panel::services_table() { return services.data(); }

void Panel::set_variable(uint32_t token, double value) { variables_[token] = value; }

double Panel::variable(uint32_t token) const {
  const auto found = variables_.find(token);
  return found == variables_.end() ? 0.0 : found->second;
}

void Panel::record_key_event(uint32_t id, uint32_t value) {
  key_events_.push_back({id, value});
  if (!answers_key_events_) return;
  for (const SwitchAnswer& answer : kSwitchAnswers)
    if (answer.event == id) variables_[answer.token] = variable(answer.token) == 0.0 ? 1.0 : 0.0;
}

void Panel::record_register(void* address, uint32_t type, const char* name) {
  const std::string key = name != nullptr ? name : "";
  named_[key] = {address, type};
  registration_log_.push_back("register " + key);
}

void Panel::record_unregister(const char* name) {
  const std::string key = name != nullptr ? name : "";
  named_.erase(key);
  registration_log_.push_back("unregister " + key);
}

std::optional<uint32_t> Panel::read_named(const std::string& name) const {
  const auto found = named_.find(name);
  if (found == named_.end() || found->second.address == nullptr) return std::nullopt;
  uint32_t value;
  std::memcpy(&value, found->second.address, sizeof value);
  return value;
}

bool Panel::write_named(const std::string& name, uint32_t value) {
  const auto found = named_.find(name);
  if (found == named_.end() || found->second.address == nullptr) return false;
  std::memcpy(found->second.address, &value, sizeof value);
  return true;
}

}  // namespace tarnwix::host
