#include <cstdio>
#include <cstdarg>

#include "describe.h"

namespace tarnwix::host {

namespace {

std::string printf_string(const char* format, ...) {
  char buffer[512];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(buffer, sizeof buffer, format, arguments);
  va_end(arguments);
  return buffer;
}

const char* mouse_kind_name(uint32_t kind) {
  switch (kind) {
    case mouse_rect::kListEnd: return "list end";
    case mouse_rect::kParent: return "parent";
    case mouse_rect::kChild: return "child";
    case mouse_rect::kParentEnd: return "parent end";
    case mouse_rect::kTooltip: return "tooltip";
    default: return "unknown";
  }
}

}  // namespace

const char* kind_name(ElementKind kind) {
  switch (kind) {
    case ElementKind::kStaticImage: return "static image";
    case ElementKind::kString: return "string";
    case ElementKind::kSlider: return "slider";
    case ElementKind::kIcon: return "icon";
    case ElementKind::kMovingImage: return "moving image";
  }
  return "unknown";
}

std::string describe_records(const Module& module) {
  std::string out;
  const uint8_t* l = module.linkage();
  out += printf_string("Linkage: module id 0x%X, host version 0x%X, flags %u, version %u\n", u32(l, linkage::kModuleId),
                       u32(l, linkage::kHostVersion), u32(l, linkage::kFlags), u32(l, linkage::kVersion));
  const uint8_t* h = module.gauge_header();
  out += printf_string("Gauge \"%s\": header version %u, default size %u\n", module.gauge_name().c_str(),
                       u32(h, gauge_header::kVersion), u32(h, gauge_header::kDefaultSize));
  out += "Elements, in drawing order:\n";
  int index = 0;
  for (const uint8_t* e : module.chain()) {
    const auto kind = static_cast<ElementKind>(u32(e, element::kKind));
    out += printf_string("  %2d %-12s id 0x%04X at (%d, %d) flags 0x%X", index++, kind_name(kind),
                         static_cast<unsigned>(i32(e, element::kResourceId)) & 0xFFFFFFFFu, i32(e, element::kX),
                         i32(e, element::kY), u32(e, element::kImageFlags));
    if (kind == ElementKind::kString)
      out += printf_string(" box %dx%d colour 0x%06X font \"%.32s\" weight %u", i32(e, string_element::kBoxWidth),
                           i32(e, string_element::kBoxHeight), u32(e, string_element::kColour),
                           reinterpret_cast<const char*>(e + string_element::kFontFace),
                           u32(e, string_element::kFontWeight));
    if (kind == ElementKind::kMovingImage)
      out += printf_string(" bounds %g .. %g", f64(e, moving_image::kFirstBound), f64(e, moving_image::kSecondBound));
    if (kind == ElementKind::kSlider) out += printf_string(" y scale %.16g", f64(e, slider::kYScale));
    out += "\n";
  }
  out += "Mouse rectangles:\n";
  for (const MouseRectView& r : module.mouse_rects()) {
    out += printf_string("  %-10s (%d, %d, %d x %d) cursor %d flags 0x%X", mouse_kind_name(r.kind), r.x, r.y, r.width,
                         r.height, r.cursor, r.event_flags);
    if (r.kind == mouse_rect::kTooltip) out += " \"" + r.tooltip + "\"";
    out += "\n";
  }
  out += "Bitmaps:";
  for (int id : module.bitmap_ids()) {
    const auto bitmap = module.bitmap(id);
    if (bitmap) out += printf_string(" 0x%04X %dx%d/%d", id, bitmap->width, bitmap->height, bitmap->bits_per_pixel);
  }
  return out + "\n";
}

std::string describe_frame(const FrameSnapshot& frame, int number, int digits) {
  std::string out = printf_string("Frame %d:\n", number);
  for (const ElementSnapshot& e : frame.elements) {
    out += printf_string("  %2d %-12s 0x%04X %-7s%s", e.index, kind_name(e.kind),
                         static_cast<unsigned>(e.resource_id) & 0xFFFFFFFFu, e.hidden ? "hidden" : "shown",
                         e.bright ? " bright" : "");
    for (double v : e.values) out += printf_string(" %.*g", digits, v);
    if (e.kind == ElementKind::kString) out += " \"" + e.text + "\"";
    out += "\n";
  }
  for (const KeyEvent& k : frame.key_events) out += printf_string("  key event %u value 0x%X\n", k.id, k.value);
  return out;
}

}  // namespace tarnwix::host
