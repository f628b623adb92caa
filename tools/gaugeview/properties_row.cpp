#include "properties_row.h"

#include <cmath>
#include <cstdlib>
#include <optional>

#include "window_class.h"

namespace tarnwix::view {

namespace {

constexpr char kClassName[] = "GaugeviewProperties";
constexpr const char* kNames[] = {"x", "y", "width", "height"};
constexpr int kBoxWidth = 64;
constexpr int kLabelWidth = 34;
constexpr int kLineWidth = 380;

std::string window_text(HWND control) {
  char text[256] = "";
  GetWindowTextA(control, text, sizeof text);
  return text;
}

// A box's number: empty gives none, anything but a finite decimal is refused.
bool read_number(const std::string& typed, std::optional<double>* value) {
  const size_t begin = typed.find_first_not_of(" \t");
  if (begin == std::string::npos) {
    value->reset();
    return true;
  }
  const std::string text = typed.substr(begin, typed.find_last_not_of(" \t") - begin + 1);
  char* stop = nullptr;
  const double number = std::strtod(text.c_str(), &stop);
  if (stop != text.c_str() + text.size() || !std::isfinite(number)) return false;
  *value = number;
  return true;
}

}  // namespace

bool PropertiesRow::create(HWND parent, HINSTANCE instance) {
  WNDCLASSA window_class{};
  window_class.lpfnWndProc = &window_procedure<PropertiesRow>;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
  window_class.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  window_class.lpszClassName = kClassName;
  if (!register_window_class(window_class)) return false;
  hwnd_ = CreateWindowExA(0, kClassName, "", WS_CHILD | WS_CLIPCHILDREN, 0, 0, 10, 10, parent, nullptr, instance, this);
  if (hwnd_ == nullptr) return false;
  HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  auto make = [&](const char* window_class_name, const char* text, DWORD style, DWORD extended = 0) {
    HWND control = CreateWindowExA(extended, window_class_name, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10,
                                   hwnd_, nullptr, instance, nullptr);
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
  };
  line_ = make("STATIC", "", SS_LEFTNOWORDWRAP | SS_CENTERIMAGE | SS_NOPREFIX);
  for (int i = 0; i < kBoxes; ++i) {
    labels_[i] = make("STATIC", kNames[i], SS_RIGHT | SS_CENTERIMAGE);
    boxes_[i] = make("EDIT", "", ES_AUTOHSCROLL | WS_TABSTOP | WS_DISABLED, WS_EX_CLIENTEDGE);
    SetWindowLongPtrA(boxes_[i], GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    box_default_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(boxes_[i], GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PropertiesRow::box_procedure)));
  }
  return true;
}

LRESULT PropertiesRow::handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_SIZE:
      place_controls();
      return 0;
    default:
      break;
  }
  return DefWindowProcA(hwnd_, message, wparam, lparam);
}

void PropertiesRow::place_controls() {
  int x = 4;
  MoveWindow(line_, x, 2, kLineWidth, 22, TRUE);
  x += kLineWidth + 4;
  for (int i = 0; i < kBoxes; ++i) {
    MoveWindow(labels_[i], x, 2, kLabelWidth, 22, TRUE);
    x += kLabelWidth + 4;
    MoveWindow(boxes_[i], x, 2, kBoxWidth, 22, TRUE);
    x += kBoxWidth + 6;
  }
}

void PropertiesRow::set_text(HWND control, const std::string& text) {
  if (window_text(control) != text) SetWindowTextA(control, text.c_str());
}

void PropertiesRow::show(const LayoutEditor* editor, bool force) {
  const std::optional<host::GaugePlace> place = editor ? editor->selected_place() : std::nullopt;
  std::string line = editor ? editor->selected_line() : std::string();
  if (editor != nullptr && line.empty())
    line = editor->selection().empty() ? "(no gauge selected)"
                                       : std::to_string(editor->selection().size()) + " gauges selected";
  set_text(line_, line);
  const HWND typing = GetFocus();
  const std::optional<double> values[kBoxes] = {
      place ? std::optional<double>(place->x) : std::nullopt, place ? std::optional<double>(place->y) : std::nullopt,
      place ? place->width : std::nullopt, place ? place->height : std::nullopt};
  for (int i = 0; i < kBoxes; ++i) {
    EnableWindow(boxes_[i], place.has_value());
    if (boxes_[i] == typing && !force && place) continue;
    set_text(boxes_[i], values[i] ? host::panel_number_text(*values[i]) : std::string());
  }
}

void PropertiesRow::apply() {
  std::optional<double> values[kBoxes];
  for (int i = 0; i < kBoxes; ++i)
    if (!read_number(window_text(boxes_[i]), &values[i])) {
      if (on_refused) on_refused(std::string(kNames[i]) + " is not a number: '" + window_text(boxes_[i]) + "'");
      return;
    }
  if (!values[0] || !values[1]) {
    if (on_refused) on_refused("a gauge needs both x and y");
    return;
  }
  host::GaugePlace place;
  place.x = *values[0];
  place.y = *values[1];
  place.width = values[2];
  place.height = values[3];
  if (on_apply) on_apply(place);
}

std::vector<std::pair<std::string, RECT>> PropertiesRow::control_places() const {
  std::vector<std::pair<std::string, RECT>> places;
  if (!IsWindowVisible(hwnd_)) return places;
  for (int i = 0; i < kBoxes; ++i) {
    RECT rect;
    GetWindowRect(boxes_[i], &rect);
    places.emplace_back(std::string("box ") + kNames[i], rect);
  }
  return places;
}

LRESULT CALLBACK PropertiesRow::box_procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* row = reinterpret_cast<PropertiesRow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (message == WM_KEYDOWN && wparam == VK_RETURN) {
    row->apply();
    SendMessageA(hwnd, EM_SETSEL, 0, -1);
    return 0;
  }
  if (message == WM_CHAR && (wparam == '\r' || wparam == '\n')) return 0;  // no beep
  return CallWindowProcA(row->box_default_, hwnd, message, wparam, lparam);
}

}  // namespace tarnwix::view
