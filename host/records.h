// The module's records as the simulator reads them: byte offsets and kinds,
// stated here as numbers, independent of the framework's declarations.
#pragma once

#include <cstdint>
#include <cstring>

namespace tarnwix::host {

namespace linkage {
constexpr uint32_t kSize = 32, kModuleId = 0, kInit = 4, kDeinit = 8, kFlags = 12, kVersion = 16, kHostVersion = 20,
                   kGauges = 24, kTerminator = 28;
}
namespace import_table {
constexpr uint32_t kSize = 16, kEntryId = 0, kServices = 4, kEndId = 8, kEnd = 12;
}
namespace gauge_header {
constexpr uint32_t kSize = 196, kVersion = 0, kName = 4, kRootCell = 8, kPhaseRoutines = 12, kDefaultSize = 44,
                   kMouseRects = 80, kCallback = 84;
}
namespace module_variable {
constexpr uint32_t kSize = 28, kToken = 0, kValuePointer = 4, kType = 8, kValue = 12, kPrevious = 20;
}
namespace element {
constexpr uint32_t kKind = 0, kResourceId = 4, kX = 8, kY = 12, kHostPosition = 16, kGauge = 32, kPrevious = 36,
                   kChildren = 40, kFailures = 44, kImageFlags = 48, kSecondFlags = 52, kReserved = 56,
                   kHeaderSize = 60;
constexpr uint32_t kHiddenFlag = 0x40000000, kBrightFlag = 0x4, kFlagsAtLoad = 0x83;
}  // namespace element
namespace static_image {
constexpr uint32_t kSize = 96;
}
namespace string_element {
constexpr uint32_t kSize = 324, kSource = 60, kText = 184, kBoxWidth = 192, kBoxHeight = 196, kColour = 208,
                   kFontFace = 248, kFontWeight = 280, kCharset = 284, kDrawingFlags = 292, kCallback = 312;
}
namespace slider {
constexpr uint32_t kSize = 192, kXSource = 60, kYScale = 136, kXCallback = 168, kYCallback = 172;
}
namespace icon {
constexpr uint32_t kSize = 140, kSource = 60, kSwitchingMode = 92, kImageCount = 112, kCallback = 132;
}
namespace moving_image {
constexpr uint32_t kSize = 268, kXSource = 60, kFirstBound = 144, kSecondBound = 152, kXCallback = 244,
                   kYCallback = 248;
}
namespace mouse_rect {
constexpr uint32_t kSize = 44, kKind = 0, kX = 4, kY = 8, kWidth = 12, kHeight = 16, kCursor = 20, kHelpId = 24,
                   kEventFlags = 28, kEventId = 32, kHandler = 36, kData = 40;
constexpr uint32_t kListEnd = 0, kParent = 1, kChild = 2, kParentEnd = 3, kTooltip = 4;
}  // namespace mouse_rect
namespace panel_services {
constexpr uint32_t kTriggerKeyEvent = 144, kRegisterNamedVariable = 148, kLookupVariable = 160,
                   kUnregisterNamedVariable = 164;
constexpr uint32_t kSlots = 128;  // the host's table is this many pointers long
}  // namespace panel_services

enum class ElementKind : uint32_t { kStaticImage = 0, kString = 2, kSlider = 3, kIcon = 4, kMovingImage = 5 };

// Size of an element record by kind; 0 for a kind this system does not use.
constexpr uint32_t element_size(uint32_t kind) {
  switch (kind) {
    case 0:
      return static_image::kSize;
    case 2:
      return string_element::kSize;
    case 3:
      return slider::kSize;
    case 4:
      return icon::kSize;
    case 5:
      return moving_image::kSize;
    default:
      return 0;
  }
}

// Offsets of an element's callback words by kind, in the order the simulator
// calls them (x before y); count 0 for a static image.
struct CallbackOffsets {
  uint32_t offset[2];
  uint32_t count;
};
constexpr CallbackOffsets callback_offsets(uint32_t kind) {
  switch (kind) {
    case 2:
      return {{string_element::kCallback, 0}, 1};
    case 3:
      return {{slider::kXCallback, slider::kYCallback}, 2};
    case 4:
      return {{icon::kCallback, 0}, 1};
    case 5:
      return {{moving_image::kXCallback, moving_image::kYCallback}, 2};
    default:
      return {{0, 0}, 0};
  }
}

inline uint32_t u32(const void* base, uint32_t offset) {
  uint32_t v;
  std::memcpy(&v, static_cast<const uint8_t*>(base) + offset, 4);
  return v;
}
inline int32_t i32(const void* base, uint32_t offset) { return static_cast<int32_t>(u32(base, offset)); }
inline double f64(const void* base, uint32_t offset) {
  double v;
  std::memcpy(&v, static_cast<const uint8_t*>(base) + offset, 8);
  return v;
}
inline uint8_t* ptr(const void* base, uint32_t offset) {
  return reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(u32(base, offset)));
}
inline void put_u32(void* base, uint32_t offset, uint32_t value) {
  std::memcpy(static_cast<uint8_t*>(base) + offset, &value, 4);
}

}  // namespace tarnwix::host
