// The gauge callback pattern every module follows, and the steps every element
// callback takes. A gauge supplies its records and a Steps type with its own
// work; everything common (the sound binding, the variable refresh in table
// order, the first-draw flag) happens here, once.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "abi.h"
#include "elements.h"
#include "mouse.h"
#include "sound.h"
#include "text.h"
#include "values.h"

namespace tarnwix {

// The module-level records of one gauge, in the order the simulator finds them:
// the gauge name, the gauge header, the first-draw flag directly after the
// header and the module variable table directly after the flag.
template <std::size_t NameSize, std::size_t VariableCount>
struct GaugeRecords {
  char name[NameSize];
  GaugeHeader header;
  uint32_t first_draw_flag;  // 0 at load, set by the first pre-draw, never cleared
  std::array<ModuleVariable, VariableCount> variables;

  constexpr double value(std::size_t index) const { return variables[index].value; }
};

struct GaugeDefinition {
  ElementHeader* const* root_cell;
  MouseRect* mouse_rects;
  GaugeCallback callback;
};

template <std::size_t NameSize, std::size_t VariableCount>
constexpr GaugeRecords<NameSize, VariableCount> gauge_records(const char (&name)[NameSize],
                                                              const std::array<uint32_t, VariableCount>& tokens,
                                                              const GaugeDefinition& definition,
                                                              GaugeRecords<NameSize, VariableCount>& self) {
  GaugeRecords<NameSize, VariableCount> records{};
  for (std::size_t i = 0; i < NameSize; ++i) records.name[i] = name[i];
  records.header.header_version = kGaugeHeaderVersion;
  records.header.gauge_name = self.name;
  records.header.root_cell = definition.root_cell;
  records.header.default_size = kDefaultSize;
  records.header.mouse_rects = definition.mouse_rects;
  records.header.callback = definition.callback;
  for (std::size_t i = 0; i < VariableCount; ++i) records.variables[i].token = tokens[i];
  return records;
}

// The module routines named in Linkage; both do nothing.
void GAUGE_CALL module_init();
void GAUGE_CALL module_deinit();

constexpr ModuleLinkage linkage_for(GaugeHeader& gauge) {
  return {.module_id = kModuleId,
          .module_init = &module_init,
          .module_deinit = &module_deinit,
          .module_flags = 0,
          .module_version = 0,
          .host_version = kHostVersion,
          .gauges = {&gauge, nullptr}};
}

// The gauge's own work beyond the common pattern. Each step is optional:
//   static void pre_install();       registration of published words
//   static void derive();            working values from the refreshed variables
//   static void first_draw_reset();  the working values the first pre-draw clears
//   static void pre_kill();          after the sound library is released
template <auto& Records, typename Steps>
void GAUGE_CALL gauge_callback(GaugeHeader*, uint32_t service, uint32_t) {
  switch (service) {
    case kPreInstall:
      if constexpr (requires { Steps::pre_install(); }) Steps::pre_install();
      return;
    case kPreInitialise:
      sound_library.load();
      return;
    case kPreUpdate:
      sound_library.rebind();
      for (ModuleVariable& variable : Records.variables) panel().lookup_variable(&variable);
      if constexpr (requires { Steps::derive(); }) Steps::derive();
      return;
    case kPreDraw:
      if (Records.first_draw_flag == 1) return;
      Records.first_draw_flag = 1;
      if constexpr (requires { Steps::first_draw_reset(); }) Steps::first_draw_reset();
      return;
    case kPreKill:
      sound_library.terminate_and_release();
      if constexpr (requires { Steps::pre_kill(); }) Steps::pre_kill();
      return;
    default:
      return;
  }
}

// Element callback steps: visibility by the row's test, then the bright flag.
template <typename Element>
void show_if(Element* element, bool shown) {
  uint32_t& flags = element->header.image_flags;
  flags = shown ? (flags & ~kHiddenFlag) : (flags | kHiddenFlag);
  flags |= kBrightFlag;
}

// For the icons that show their state through the image index alone.
template <typename Element>
void brighten(Element* element) {
  element->header.image_flags |= kBrightFlag;
}

// The whole callback of a moving image, slider or power-gated icon.
template <typename Element>
double show_value_if(Element* element, bool shown, double value) {
  show_if(element, shown);
  return value;
}

// The x callback of a moving image or slider that does not travel sideways:
// its own x source variable (token 0, so 0), under the element's test.
template <bool (*Shown)(), typename Element>
double GAUGE_CALL own_x(Element* element) {
  return show_value_if(element, Shown(), element->x_source.value);
}

// The whole callback of a string element: flags, then the text (written
// whether the element is shown or hidden), then 0.
inline double show_text_if(StringElement* element, bool shown, const char* format, double value) {
  show_if(element, shown);
  format_text(element->text, kTextCapacity, format, value);
  return 0.0;
}

}  // namespace tarnwix
