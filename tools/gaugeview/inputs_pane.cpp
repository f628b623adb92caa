#include "inputs_pane.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "window_class.h"

namespace tarnwix::view {

namespace {

constexpr char kClassName[] = "GaugeviewInputs";
constexpr int kRowHeight = 46;
constexpr int kMargin = 6;
constexpr int kSliderSteps = 1000;
constexpr int kBoxWidth = 96;
constexpr int kLineHeight = 18;

std::string label_of(const Input& input) {
  std::string text = std::to_string(input.token) + "  " + input.name;
  if (!input.unit.empty()) text += ", " + input.unit;
  return text;
}

std::string text_of(double value) { return scenario_number(value); }

bool same_value(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

int slider_position(const Input& input, double value) {
  if (!(input.high > input.low) || std::isnan(value)) return 0;
  const double fraction = std::clamp((value - input.low) / (input.high - input.low), 0.0, 1.0);
  return static_cast<int>(std::lround(fraction * kSliderSteps));
}

std::string window_text(HWND control) {
  char text[128] = "";
  GetWindowTextA(control, text, sizeof text);
  return text;
}

// A value typed into a box: a decimal number, or nan, inf and -inf.
bool read_value(const std::string& typed, double* value) {
  size_t begin = typed.find_first_not_of(" \t");
  size_t end = typed.find_last_not_of(" \t");
  if (begin == std::string::npos) return false;
  const std::string text = typed.substr(begin, end - begin + 1);
  if (text.find_first_of("xX(") != std::string::npos) return false;
  char* stop = nullptr;
  *value = std::strtod(text.c_str(), &stop);
  return stop == text.c_str() + text.size();
}

}  // namespace

bool InputsPane::create(HWND parent, HINSTANCE instance) {
  instance_ = instance;
  WNDCLASSA window_class{};
  window_class.lpfnWndProc = &window_procedure<InputsPane>;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
  window_class.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  window_class.lpszClassName = kClassName;
  if (!register_window_class(window_class)) return false;
  font_ = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  hwnd_ = CreateWindowExA(WS_EX_CLIENTEDGE, kClassName, "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_CLIPCHILDREN, 0, 0,
                          10, 10, parent, nullptr, instance, this);
  return hwnd_ != nullptr;
}

void InputsPane::clear() {
  for (Row& row : rows_)
    for (HWND control : {row.label, row.slider, row.toggle, row.box})
      if (control != nullptr) DestroyWindow(control);
  rows_.clear();
  for (HWND line : named_lines_) DestroyWindow(line);
  named_lines_.clear();
  if (named_title_ != nullptr) DestroyWindow(named_title_);
  named_title_ = nullptr;
  scroll_ = 0;
  moved_ = true;
}

void InputsPane::add_row(const Input& input) {
  Row row;
  row.input = input;
  auto make = [&](const char* window_class, const char* text, DWORD style, DWORD extended = 0) {
    HWND control = CreateWindowExA(extended, window_class, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, hwnd_,
                                   nullptr, instance_, nullptr);
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    return control;
  };
  row.label = make("STATIC", label_of(input).c_str(), SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS);
  if (input.is_switch) {
    row.toggle = make("BUTTON", "on", BS_AUTOCHECKBOX | WS_TABSTOP);
  } else {
    row.slider = make(TRACKBAR_CLASSA, "", TBS_HORZ | TBS_NOTICKS | WS_TABSTOP);
    SendMessageA(row.slider, TBM_SETRANGEMIN, FALSE, 0);
    SendMessageA(row.slider, TBM_SETRANGEMAX, FALSE, kSliderSteps);
    SendMessageA(row.slider, TBM_SETPAGESIZE, 0, kSliderSteps / 20);
  }
  row.box = make("EDIT", "", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE);
  // The box's own procedure, before ours, as every version of Windows allows.
  SetWindowLongPtrA(row.box, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  box_default_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(row.box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&InputsPane::box_procedure)));
  rows_.push_back(row);
}

void InputsPane::place_rows() {
  RECT client;
  GetClientRect(hwnd_, &client);
  const int width = std::max<int>(client.right - 2 * kMargin, 120);
  int y = kMargin - scroll_;
  for (Row& row : rows_) {
    MoveWindow(row.label, kMargin, y, width, kLineHeight, TRUE);
    const int controls_y = y + kLineHeight + 2;
    const int left_width = width - kBoxWidth - kMargin;
    if (row.slider != nullptr) MoveWindow(row.slider, kMargin - 4, controls_y, left_width + 4, 24, TRUE);
    if (row.toggle != nullptr) MoveWindow(row.toggle, kMargin, controls_y + 2, left_width, 20, TRUE);
    MoveWindow(row.box, kMargin + left_width + kMargin, controls_y, kBoxWidth, 22, TRUE);
    y += kRowHeight;
  }
  if (named_title_ != nullptr) {
    y += 4;
    MoveWindow(named_title_, kMargin, y, width, kLineHeight, TRUE);
    y += kLineHeight + 2;
    for (HWND line : named_lines_) {
      MoveWindow(line, kMargin + 8, y, width - 8, kLineHeight, TRUE);
      y += kLineHeight;
    }
  }
  const int content = y + scroll_ + kMargin;
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  info.nMax = content - 1;
  info.nPage = static_cast<UINT>(client.bottom);
  info.nPos = scroll_;
  SetScrollInfo(hwnd_, SB_VERT, &info, TRUE);
  moved_ = true;
}

void InputsPane::update(const Session& session) {
  bool added = false;
  for (size_t i = rows_.size(); i < session.inputs().size(); ++i) {
    add_row(session.inputs()[i]);
    added = true;
  }
  const std::vector<NamedShown> named = session.named();
  if (named.size() != named_lines_.size()) {
    for (HWND line : named_lines_) DestroyWindow(line);
    named_lines_.clear();
    if (named_title_ == nullptr && !named.empty()) {
      named_title_ = CreateWindowExA(0, "STATIC", "Named variables the gauges publish", WS_CHILD | WS_VISIBLE, 0, 0, 10,
                                     10, hwnd_, nullptr, instance_, nullptr);
      SendMessageA(named_title_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    }
    for (size_t i = 0; i < named.size(); ++i) {
      HWND line = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_NOPREFIX, 0, 0, 10, 10, hwnd_, nullptr,
                                  instance_, nullptr);
      SendMessageA(line, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
      named_lines_.push_back(line);
    }
    added = true;
  }
  for (size_t i = 0; i < named.size(); ++i) {
    const std::string text = "\"" + named[i].name + "\" = " + std::to_string(named[i].value);
    if (window_text(named_lines_[i]) != text) SetWindowTextA(named_lines_[i], text.c_str());
  }
  if (added) place_rows();
  for (size_t i = 0; i < rows_.size(); ++i) show_value(rows_[i], session.inputs()[i].value);
}

void InputsPane::show_value(Row& row, double value) {
  if (row.shown_once && same_value(row.shown, value)) return;
  row.shown = value;
  row.shown_once = true;
  if (GetFocus() != row.box) SetWindowTextA(row.box, text_of(value).c_str());
  if (row.slider != nullptr) SendMessageA(row.slider, TBM_SETPOS, TRUE, slider_position(row.input, value));
  if (row.toggle != nullptr) SendMessageA(row.toggle, BM_SETCHECK, value == 1.0 ? BST_CHECKED : BST_UNCHECKED, 0);
}

void InputsPane::apply_box(Row& row) {
  const std::string typed = window_text(row.box);
  double value = 0;
  if (!read_value(typed, &value)) {
    if (on_bad_value) on_bad_value(row.input.token, typed);
    SetWindowTextA(row.box, text_of(row.shown).c_str());
    return;
  }
  if (on_change) on_change(row.input.token, value);
}

InputsPane::Row* InputsPane::row_of(HWND control) {
  for (Row& row : rows_)
    if (row.slider == control || row.toggle == control || row.box == control) return &row;
  return nullptr;
}

void InputsPane::on_slider(HWND slider) {
  Row* row = row_of(slider);
  if (row == nullptr || !on_change) return;
  const int position = static_cast<int>(SendMessageA(slider, TBM_GETPOS, 0, 0));
  const double step = (row->input.high - row->input.low) / kSliderSteps;
  const double value = position == kSliderSteps ? row->input.high : row->input.low + position * step;
  if (!same_value(value, row->shown)) on_change(row->input.token, value);
}

void InputsPane::on_scroll(int request) {
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_ALL;
  GetScrollInfo(hwnd_, SB_VERT, &info);
  int position = info.nPos;
  if (request == SB_LINEUP) position -= kRowHeight;
  if (request == SB_LINEDOWN) position += kRowHeight;
  if (request == SB_PAGEUP) position -= static_cast<int>(info.nPage);
  if (request == SB_PAGEDOWN) position += static_cast<int>(info.nPage);
  if (request == SB_THUMBTRACK || request == SB_THUMBPOSITION) position = info.nTrackPos;
  scroll_ = std::clamp(position, 0, std::max(0, info.nMax + 1 - static_cast<int>(info.nPage)));
  place_rows();
}

std::vector<std::pair<std::string, RECT>> InputsPane::control_places() const {
  std::vector<std::pair<std::string, RECT>> places;
  for (const Row& row : rows_) {
    const std::string token = std::to_string(row.input.token);
    auto add = [&](const char* what, HWND control) {
      if (control == nullptr) return;
      RECT rect;
      GetWindowRect(control, &rect);
      places.emplace_back(std::string(what) + " " + token, rect);
    };
    add("box", row.box);
    add("slider", row.slider);
    add("switch", row.toggle);
  }
  return places;
}

bool InputsPane::take_moved() {
  const bool moved = moved_;
  moved_ = false;
  return moved;
}

LRESULT InputsPane::handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_SIZE:
      place_rows();
      return 0;
    case WM_VSCROLL:
      on_scroll(LOWORD(wparam));
      return 0;
    case WM_MOUSEWHEEL:
      on_scroll(GET_WHEEL_DELTA_WPARAM(wparam) > 0 ? SB_LINEUP : SB_LINEDOWN);
      return 0;
    case WM_HSCROLL:
      if (lparam != 0) on_slider(reinterpret_cast<HWND>(lparam));
      return 0;
    case WM_COMMAND: {
      Row* row = row_of(reinterpret_cast<HWND>(lparam));
      if (row == nullptr) break;
      if (HIWORD(wparam) == BN_CLICKED && row->toggle != nullptr && on_change)
        on_change(row->input.token, SendMessageA(row->toggle, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1.0 : 0.0);
      if (HIWORD(wparam) == EN_KILLFOCUS && window_text(row->box) != text_of(row->shown)) apply_box(*row);
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcA(hwnd_, message, wparam, lparam);
}

// Enter in a box sets its value at once.
LRESULT CALLBACK InputsPane::box_procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* pane = reinterpret_cast<InputsPane*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (message == WM_KEYDOWN && wparam == VK_RETURN) {
    if (Row* row = pane->row_of(hwnd)) pane->apply_box(*row);
    SendMessageA(hwnd, EM_SETSEL, 0, -1);
    return 0;
  }
  if (message == WM_CHAR && (wparam == '\r' || wparam == '\n')) return 0;  // no beep
  return CallWindowProcA(pane->box_default_, hwnd, message, wparam, lparam);
}

}  // namespace tarnwix::view
