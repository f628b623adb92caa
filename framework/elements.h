// The element records the simulator draws: the 60-byte element header and the
// five kinds of element the gauges use. Each record is module-level data; the
// module sets the fields named here, the simulator owns every host_owned word
// (zero in the module) and writes the previous-element word and, for a string
// element, the text buffer pointer.
//
// A gauge lists its elements as rows (StaticImageRow, MovingImageRow, ...) in
// drawing order; ElementChain turns the rows into records and links them into
// one chain from the root upward.
#pragma once

#include <cstddef>
#include <cstdint>
#include <tuple>
#include <utility>

#include "abi.h"

namespace tarnwix {

enum class ElementKind : uint32_t {
  kStaticImage = 0,
  kString = 2,
  kSlider = 3,
  kIcon = 4,
  kMovingImage = 5,
};

// Image flag bits.
inline constexpr uint32_t kImageFlagsAtLoad = 0x83;  // drawing options, never changed
inline constexpr uint32_t kBrightFlag = 0x4;
inline constexpr uint32_t kHiddenFlag = 0x40000000;

#pragma pack(push, 4)

// Only the all-zero end record is ever used.
struct FailureRecord {
  uint32_t words[3];
};
static_assert(sizeof(FailureRecord) == 12);

struct ElementHeader {
  ElementKind kind;
  int32_t resource_id;
  int32_t x;
  int32_t y;
  int32_t host_position[4];
  GaugeHeader* gauge;
  ElementHeader* previous;              // the simulator fills it
  ElementHeader* const* children;       // null-terminated list, or null
  const FailureRecord* failures;
  uint32_t image_flags;
  uint32_t second_flags;
  uint32_t reserved;
};
static_assert(sizeof(ElementHeader) == 60);
static_assert(offsetof(ElementHeader, kind) == 0);
static_assert(offsetof(ElementHeader, resource_id) == 4);
static_assert(offsetof(ElementHeader, x) == 8);
static_assert(offsetof(ElementHeader, y) == 12);
static_assert(offsetof(ElementHeader, host_position) == 16);
static_assert(offsetof(ElementHeader, gauge) == 32);
static_assert(offsetof(ElementHeader, previous) == 36);
static_assert(offsetof(ElementHeader, children) == 40);
static_assert(offsetof(ElementHeader, failures) == 44);
static_assert(offsetof(ElementHeader, image_flags) == 48);
static_assert(offsetof(ElementHeader, second_flags) == 52);
static_assert(offsetof(ElementHeader, reserved) == 56);

struct Position {
  int32_t x;
  int32_t y;
};

struct Size {
  int32_t width;
  int32_t height;
};

struct StaticImage;
struct StringElement;
struct SliderElement;
struct IconElement;
struct MovingImageElement;

// Element callbacks take the element's own address and return a double.
using StringCallback = double(GAUGE_CALL*)(StringElement* element);
using SliderCallback = double(GAUGE_CALL*)(SliderElement* element);
using IconCallback = double(GAUGE_CALL*)(IconElement* element);
using MovingImageCallback = double(GAUGE_CALL*)(MovingImageElement* element);

constexpr ElementHeader element_header(ElementKind kind, int32_t resource_id, Position at) {
  return {.kind = kind, .resource_id = resource_id, .x = at.x, .y = at.y, .image_flags = kImageFlagsAtLoad};
}

// Kind 0: one bitmap at its position, no callback.
struct StaticImageRow {
  int32_t id;
  Position at;
};

struct StaticImage {
  using Row = StaticImageRow;
  ElementHeader header;
  uint32_t host_owned[9];

  constexpr explicit StaticImage(const Row& row)
      : header(element_header(ElementKind::kStaticImage, row.id, row.at)), host_owned{} {}
};
static_assert(sizeof(StaticImage) == 96);

// The text buffer every string element relies on: the longest text of any
// gauge (50 characters) and its terminator fit, with room to spare. The host
// supplies a buffer of at least this many characters; a longer text is cut.
inline constexpr std::size_t kTextCapacity = 64;

// Values every string element of this product shares.
inline constexpr char kFontFace[] = "Quartz";
inline constexpr uint32_t kCharacterSet = 1;
inline constexpr uint32_t kTextDrawingFlags = 0x4240;
inline constexpr uint32_t kNormalWeight = 400;

// Text colours, 0x00BBGGRR.
inline constexpr uint32_t kGreen = 0x00FF00;
inline constexpr uint32_t kMagenta = 0xFF00FF;
inline constexpr uint32_t kWhite = 0xFFFFFF;
inline constexpr uint32_t kAmber = 0x00ECFF;

// Kind 2: a text in a box, written by the callback into the simulator's buffer.
struct StringRow {
  Position at;
  Size box;
  uint32_t colour;
  uint32_t weight = kNormalWeight;
  StringCallback callback;
};

struct StringElement {
  using Row = StringRow;
  ElementHeader header;
  ModuleVariable source_variable;  // token 0: its value reads 0
  uint32_t host_owned_88[24];
  char* text;                      // supplied by the simulator
  uint32_t host_owned_188;
  int32_t box_width;
  int32_t box_height;
  uint32_t host_owned_200[2];
  uint32_t text_colour;
  uint32_t host_owned_212[9];
  char font_face[32];
  uint32_t font_weight;
  uint32_t character_set;
  uint32_t host_owned_288;
  uint32_t text_drawing_flags;
  uint32_t host_owned_296[4];
  StringCallback callback;
  uint32_t host_owned_316[2];

  constexpr explicit StringElement(const Row& row)
      : header(element_header(ElementKind::kString, -1, row.at)),
        source_variable{},
        host_owned_88{},
        text(nullptr),
        host_owned_188(0),
        box_width(row.box.width),
        box_height(row.box.height),
        host_owned_200{},
        text_colour(row.colour),
        host_owned_212{},
        font_face{'Q', 'u', 'a', 'r', 't', 'z'},
        font_weight(row.weight),
        character_set(kCharacterSet),
        host_owned_288(0),
        text_drawing_flags(kTextDrawingFlags),
        host_owned_296{},
        callback(row.callback),
        host_owned_316{} {}
};
static_assert(sizeof(StringElement) == 324);
static_assert(offsetof(StringElement, source_variable) == 60);
static_assert(offsetof(StringElement, text) == 184);
static_assert(offsetof(StringElement, box_width) == 192);
static_assert(offsetof(StringElement, box_height) == 196);
static_assert(offsetof(StringElement, text_colour) == 208);
static_assert(offsetof(StringElement, font_face) == 248);
static_assert(offsetof(StringElement, font_weight) == 280);
static_assert(offsetof(StringElement, character_set) == 284);
static_assert(offsetof(StringElement, text_drawing_flags) == 292);
static_assert(offsetof(StringElement, callback) == 312);
static_assert(sizeof(kFontFace) == 7);

// Kind 3: an image displaced by its y value times the y scale.
struct SliderRow {
  int32_t id;
  Position at;
  double y_scale;
  SliderCallback x;
  SliderCallback y;
};

struct SliderElement {
  using Row = SliderRow;
  ElementHeader header;
  ModuleVariable x_source;  // token 0
  uint32_t host_owned_88[12];
  double y_scale;
  uint32_t host_owned_144[6];
  SliderCallback x_callback;
  SliderCallback y_callback;
  uint32_t host_owned_176[4];

  constexpr explicit SliderElement(const Row& row)
      : header(element_header(ElementKind::kSlider, row.id, row.at)),
        x_source{},
        host_owned_88{},
        y_scale(row.y_scale),
        host_owned_144{},
        x_callback(row.x),
        y_callback(row.y),
        host_owned_176{} {}
};
static_assert(sizeof(SliderElement) == 192);
static_assert(offsetof(SliderElement, x_source) == 60);
static_assert(offsetof(SliderElement, y_scale) == 136);
static_assert(offsetof(SliderElement, x_callback) == 168);
static_assert(offsetof(SliderElement, y_callback) == 172);

// Kind 4: one of two images, chosen by the index its callback returns.
inline constexpr uint32_t kImageSwitchingMode = 3;
inline constexpr uint32_t kImageCount = 2;

struct IconRow {
  int32_t id;
  Position at;
  IconCallback callback;
};

struct IconElement {
  using Row = IconRow;
  ElementHeader header;
  ModuleVariable source;  // token 0
  uint32_t host_owned_88;
  uint32_t image_switching_mode;
  uint32_t host_owned_96[4];
  uint32_t image_count;
  uint32_t host_owned_116[4];
  IconCallback callback;
  uint32_t host_owned_136;

  constexpr explicit IconElement(const Row& row)
      : header(element_header(ElementKind::kIcon, row.id, row.at)),
        source{},
        host_owned_88(0),
        image_switching_mode(kImageSwitchingMode),
        host_owned_96{},
        image_count(kImageCount),
        host_owned_116{},
        callback(row.callback),
        host_owned_136(0) {}
};
static_assert(sizeof(IconElement) == 140);
static_assert(offsetof(IconElement, source) == 60);
static_assert(offsetof(IconElement, image_switching_mode) == 92);
static_assert(offsetof(IconElement, image_count) == 112);
static_assert(offsetof(IconElement, callback) == 132);

// Kind 5: a strip (resource id) moving behind its mask (id + 1), placed by its
// y value between the two bounds.
struct MovingImageRow {
  int32_t id;
  Position at;
  double first_bound;
  double second_bound;
  MovingImageCallback x;
  MovingImageCallback y;
};

struct MovingImageElement {
  using Row = MovingImageRow;
  ElementHeader header;
  ModuleVariable x_source;  // token 0
  uint32_t host_owned_88[14];
  double first_bound;
  double second_bound;
  uint32_t host_owned_160[21];
  MovingImageCallback x_callback;
  MovingImageCallback y_callback;
  uint32_t host_owned_252[4];

  constexpr explicit MovingImageElement(const Row& row)
      : header(element_header(ElementKind::kMovingImage, row.id, row.at)),
        x_source{},
        host_owned_88{},
        first_bound(row.first_bound),
        second_bound(row.second_bound),
        host_owned_160{},
        x_callback(row.x),
        y_callback(row.y),
        host_owned_252{} {}
};
static_assert(sizeof(MovingImageElement) == 268);
static_assert(offsetof(MovingImageElement, x_source) == 60);
static_assert(offsetof(MovingImageElement, first_bound) == 144);
static_assert(offsetof(MovingImageElement, second_bound) == 152);
static_assert(offsetof(MovingImageElement, x_callback) == 244);
static_assert(offsetof(MovingImageElement, y_callback) == 248);

#pragma pack(pop)

// A gauge's elements as one chain, root first: every element but the last has
// a child list holding exactly the next one, and every element has a failure
// list of its own holding only the end record. Constructed at compile time
// (constinit), so the records are complete in the file.
template <typename... Records>
class ElementChain {
 public:
  static constexpr std::size_t kCount = sizeof...(Records);
  static_assert(kCount >= 1, "a gauge has at least its root element");

  constexpr ElementChain(GaugeHeader& gauge, const typename Records::Row&... rows)
      : records_(Records(rows)...), child_lists_{}, failure_lists_{}, root_cell_(nullptr) {
    link(gauge, std::index_sequence_for<Records...>{});
    root_cell_ = &std::get<0>(records_).header;
  }

  // The one-word cell the gauge header's root cell pointer refers to.
  constexpr ElementHeader* const* root_cell() const { return &root_cell_; }

  template <std::size_t I>
  constexpr auto& record() {
    return std::get<I>(records_);
  }

 private:
  template <std::size_t... I>
  constexpr void link(GaugeHeader& gauge, std::index_sequence<I...>) {
    (link_one<I>(gauge), ...);
  }

  template <std::size_t I>
  constexpr void link_one(GaugeHeader& gauge) {
    ElementHeader& header = std::get<I>(records_).header;
    header.gauge = &gauge;
    header.failures = &failure_lists_[I];
    if constexpr (I + 1 < kCount) {
      child_lists_[I][0] = &std::get<I + 1>(records_).header;
      child_lists_[I][1] = nullptr;
      header.children = child_lists_[I];
    }
  }

  std::tuple<Records...> records_;
  ElementHeader* child_lists_[kCount > 1 ? kCount - 1 : 1][2];
  FailureRecord failure_lists_[kCount];
  ElementHeader* root_cell_;
};

}  // namespace tarnwix
