// The mouse rectangle list: where the pilot may click, and the tooltip. Every
// list has one parent record, then tooltip or child records, then one parent
// end record and one list end record. Constant module-level data.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "abi.h"

namespace tarnwix {

enum class MouseRectKind : uint32_t {
  kListEnd = 0,
  kParent = 1,
  kChild = 2,
  kParentEnd = 3,
  kTooltip = 4,
};

// Both arguments are ignored by every handler of this product; returns 0.
using MouseHandler = uint32_t(GAUGE_CALL*)(void* click_point, uint32_t event_flags);

inline constexpr int32_t kNoCursor = -1;
inline constexpr int32_t kHandCursor = 5;
inline constexpr int32_t kArrowCursor = 0;
inline constexpr uint32_t kLeftSingleClick = 0x20000000;

#pragma pack(push, 4)

struct MouseRect {
  MouseRectKind kind;
  int32_t x;
  int32_t y;
  int32_t width;
  int32_t height;
  int32_t cursor;
  uint32_t help_id;
  uint32_t event_flags;
  uint32_t event_id;
  union {
    MouseHandler handler;      // child records
    const char* tooltip_text;  // the tooltip record
  };
  const void* data;  // null, or the tooltip's argument list
};
static_assert(sizeof(MouseRect) == 44);
static_assert(offsetof(MouseRect, kind) == 0);
static_assert(offsetof(MouseRect, x) == 4);
static_assert(offsetof(MouseRect, y) == 8);
static_assert(offsetof(MouseRect, width) == 12);
static_assert(offsetof(MouseRect, height) == 16);
static_assert(offsetof(MouseRect, cursor) == 20);
static_assert(offsetof(MouseRect, help_id) == 24);
static_assert(offsetof(MouseRect, event_flags) == 28);
static_assert(offsetof(MouseRect, event_id) == 32);
static_assert(offsetof(MouseRect, tooltip_text) == 36);
static_assert(offsetof(MouseRect, handler) == 36);
static_assert(offsetof(MouseRect, data) == 40);

#pragma pack(pop)

// A tooltip's argument list: empty, one zero word.
inline constexpr uint32_t kEmptyArgumentList[1] = {0};

constexpr MouseRect structural_record(MouseRectKind kind) {
  return {.kind = kind, .cursor = kNoCursor, .handler = nullptr};
}

inline constexpr MouseRect kParentRecord = structural_record(MouseRectKind::kParent);
inline constexpr MouseRect kParentEndRecord = structural_record(MouseRectKind::kParentEnd);
inline constexpr MouseRect kListEndRecord = structural_record(MouseRectKind::kListEnd);

constexpr MouseRect tooltip_record(const char* text) {
  return {.kind = MouseRectKind::kTooltip, .cursor = kNoCursor, .tooltip_text = text, .data = kEmptyArgumentList};
}

struct ClickArea {
  int32_t x;
  int32_t y;
  int32_t width;
  int32_t height;
  int32_t cursor = kHandCursor;
  MouseHandler handler;
};

constexpr MouseRect child_record(const ClickArea& area) {
  return {.kind = MouseRectKind::kChild,
          .x = area.x,
          .y = area.y,
          .width = area.width,
          .height = area.height,
          .cursor = area.cursor,
          .event_flags = kLeftSingleClick,
          .handler = area.handler};
}

// The whole list from the records between the parent and the parent end.
template <std::size_t N>
constexpr std::array<MouseRect, N + 3> mouse_rect_list(const std::array<MouseRect, N>& inner) {
  std::array<MouseRect, N + 3> list{};
  list[0] = kParentRecord;
  for (std::size_t i = 0; i < N; ++i) list[i + 1] = inner[i];
  list[N + 1] = kParentEndRecord;
  list[N + 2] = kListEndRecord;
  return list;
}

inline constexpr std::array<MouseRect, 3> kNoMouseAreas = mouse_rect_list(std::array<MouseRect, 0>{});

}  // namespace tarnwix
