// The row under the strip in layout mode: the selected gauge's line as it
// will be written, and boxes for its x, y, width and height in the window's
// units; Enter in a box asks for that place.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "layout_editor.h"

namespace tarnwix::view {

class PropertiesRow {
 public:
  bool create(HWND parent, HINSTANCE instance);
  HWND hwnd() const { return hwnd_; }

  // Shows the editor's selection (none: empty and disabled); a box being
  // typed into keeps its text unless `force`.
  void show(const LayoutEditor* editor, bool force);
  // Screen rectangles of the boxes, for the log: "box x", "box width".
  std::vector<std::pair<std::string, RECT>> control_places() const;

  // Enter in a box: the place the four boxes give.
  std::function<void(const host::GaugePlace& place)> on_apply;
  // What is wrong with what was typed.
  std::function<void(const std::string& why)> on_refused;

 private:
  static constexpr int kBoxes = 4;
  template <typename Owner>
  friend LRESULT CALLBACK window_procedure(HWND, UINT, WPARAM, LPARAM);
  static LRESULT CALLBACK box_procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);
  void place_controls();
  void apply();
  void set_text(HWND control, const std::string& text);

  HWND hwnd_ = nullptr;
  HWND line_ = nullptr;
  HWND labels_[kBoxes]{}, boxes_[kBoxes]{};
  WNDPROC box_default_ = nullptr;
};

}  // namespace tarnwix::view
