// The inputs pane: a row for each variable the gauges look up, in the order
// they look them up (its token, name and unit; a slider over its range, or a
// switch; a box for an exact value), and the named variables the gauges
// publish, shown live.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "session.h"

namespace tarnwix::view {

class InputsPane {
 public:
  bool create(HWND parent, HINSTANCE instance);
  HWND hwnd() const { return hwnd_; }

  // Adds the rows the session learnt since and shows the values as the
  // gauges will read them (a box being typed into is left alone).
  void update(const Session& session);
  // Forgets every row (another file or window is open).
  void clear();

  // Screen rectangles of each row's box, slider or switch, for the log:
  // "box 74", "slider 74", "switch 769".
  std::vector<std::pair<std::string, RECT>> control_places() const;
  // True once after the rows moved or were added.
  bool take_moved();

  // A value the person set.
  std::function<void(uint32_t token, double value)> on_change;
  // A value typed that is not a number: the text and the token.
  std::function<void(uint32_t token, const std::string& text)> on_bad_value;

 private:
  struct Row {
    Input input;
    HWND label = nullptr, slider = nullptr, toggle = nullptr, box = nullptr;
    double shown = 0;
    bool shown_once = false;
  };
  template <typename Owner>
  friend LRESULT CALLBACK window_procedure(HWND, UINT, WPARAM, LPARAM);
  static LRESULT CALLBACK box_procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);
  void add_row(const Input& input);
  void place_rows();
  void show_value(Row& row, double value);
  void apply_box(Row& row);
  void on_slider(HWND slider);
  void on_scroll(int request);
  Row* row_of(HWND control);

  HWND hwnd_ = nullptr;
  HINSTANCE instance_ = nullptr;
  WNDPROC box_default_ = nullptr;  // the edit control's own procedure
  HFONT font_ = nullptr;
  std::vector<Row> rows_;
  HWND named_title_ = nullptr;
  std::vector<HWND> named_lines_;
  int scroll_ = 0;
  bool moved_ = false;
};

}  // namespace tarnwix::view
