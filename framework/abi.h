// The binary records through which the simulator finds and drives a gauge
// module: Linkage, ImportTable, the gauge header, module variables and the
// panel services table. Every record is 32-bit little-endian with 4-byte
// packing (a double is not aligned to 8), and every size and named offset is
// pinned below so that the compiler refuses a layout that drifts.
#pragma once

#include <cstddef>
#include <cstdint>

static_assert(sizeof(void*) == 4, "gauge records are laid out for the 32-bit target");

// The one calling convention of every routine the simulator calls and every
// panel service the module calls: the callee removes its arguments.
#define GAUGE_CALL __stdcall

namespace tarnwix {

struct GaugeHeader;
struct ElementHeader;
struct MouseRect;

// Service codes of the gauge callback. Every other code does nothing.
enum ServiceCode : uint32_t {
  kPreInstall = 2,
  kPreInitialise = 4,
  kPreUpdate = 6,
  kPreDraw = 10,
  kPreKill = 12,
};

#pragma pack(push, 4)

// A simulation value mirrored into the module. The module sets the token; the
// simulator owns every other word and refreshes `value` in LookupVariable.
struct ModuleVariable {
  uint32_t token;
  void* value_pointer;
  uint32_t value_type;
  double value;
  double previous_value;
};
static_assert(sizeof(ModuleVariable) == 28);
static_assert(offsetof(ModuleVariable, token) == 0);
static_assert(offsetof(ModuleVariable, value_pointer) == 4);
static_assert(offsetof(ModuleVariable, value_type) == 8);
static_assert(offsetof(ModuleVariable, value) == 12);
static_assert(offsetof(ModuleVariable, previous_value) == 20);

// Called by the simulator with the gauge header, a service code and a word
// that no module reads. Returns nothing.
using GaugeCallback = void(GAUGE_CALL*)(GaugeHeader* gauge, uint32_t service, uint32_t data);

// Called once after load and once before unload; both do nothing.
using ModuleRoutine = void(GAUGE_CALL*)();

// The simulator reads every word; the module sets version, name, root cell,
// default size, mouse list and callback. Every host_owned word is zero in the
// module and belongs to the simulator.
struct GaugeHeader {
  uint32_t header_version;
  const char* gauge_name;
  ElementHeader* const* root_cell;
  void* phase_routines[8];
  uint32_t default_size;
  uint32_t host_owned_48[8];
  MouseRect* mouse_rects;
  GaugeCallback callback;
  uint32_t host_owned_88[27];
};
static_assert(sizeof(GaugeHeader) == 196);
static_assert(offsetof(GaugeHeader, header_version) == 0);
static_assert(offsetof(GaugeHeader, gauge_name) == 4);
static_assert(offsetof(GaugeHeader, root_cell) == 8);
static_assert(offsetof(GaugeHeader, phase_routines) == 12);
static_assert(offsetof(GaugeHeader, default_size) == 44);
static_assert(offsetof(GaugeHeader, mouse_rects) == 80);
static_assert(offsetof(GaugeHeader, callback) == 84);

inline constexpr uint32_t kGaugeHeaderVersion = 800;
inline constexpr uint32_t kDefaultSize = 100;

// Exported as "Linkage": the one record the simulator finds by name. Constant.
struct ModuleLinkage {
  uint32_t module_id;
  ModuleRoutine module_init;
  ModuleRoutine module_deinit;
  uint32_t module_flags;
  uint32_t module_version;
  uint32_t host_version;
  GaugeHeader* gauges[2];  // the module's one gauge, then the null terminator
};
static_assert(sizeof(ModuleLinkage) == 32);
static_assert(offsetof(ModuleLinkage, module_id) == 0);
static_assert(offsetof(ModuleLinkage, module_init) == 4);
static_assert(offsetof(ModuleLinkage, module_deinit) == 8);
static_assert(offsetof(ModuleLinkage, module_flags) == 12);
static_assert(offsetof(ModuleLinkage, module_version) == 16);
static_assert(offsetof(ModuleLinkage, host_version) == 20);
static_assert(offsetof(ModuleLinkage, gauges) == 24);

inline constexpr uint32_t kModuleId = 0x13;
inline constexpr uint32_t kHostVersion = 0x800;

// The four panel services the modules use, at their byte offsets in the
// simulator's table. No module reads a result.
struct PanelServices {
  void* unused_0[36];
  void(GAUGE_CALL* trigger_key_event)(uint32_t event_id, uint32_t value);
  void(GAUGE_CALL* register_named_variable)(void* word, uint32_t type, const char* name);
  void* unused_152[2];
  void(GAUGE_CALL* lookup_variable)(ModuleVariable* variable);
  void(GAUGE_CALL* unregister_named_variable)(const char* name);
};
static_assert(offsetof(PanelServices, trigger_key_event) == 144);
static_assert(offsetof(PanelServices, register_named_variable) == 148);
static_assert(offsetof(PanelServices, lookup_variable) == 160);
static_assert(offsetof(PanelServices, unregister_named_variable) == 164);
static_assert(sizeof(PanelServices) == 168);

// Exported as "ImportTable". The simulator writes the address of its panel
// services table at offset 4 before it calls any service.
struct ImportTableRecord {
  uint32_t entry_id;
  PanelServices* services;
  uint32_t end_entry_id;
  void* end_entry;
};
static_assert(sizeof(ImportTableRecord) == 16);
static_assert(offsetof(ImportTableRecord, entry_id) == 0);
static_assert(offsetof(ImportTableRecord, services) == 4);
static_assert(offsetof(ImportTableRecord, end_entry_id) == 8);
static_assert(offsetof(ImportTableRecord, end_entry) == 12);

inline constexpr uint32_t kPanelServicesEntry = 0x0F;

// Type code of a published 32-bit word.
inline constexpr uint32_t kNamedVariableType = 0x13;

#pragma pack(pop)

}  // namespace tarnwix

extern "C" tarnwix::ImportTableRecord ImportTable;

namespace tarnwix {

inline PanelServices& panel() { return *ImportTable.services; }

}  // namespace tarnwix
