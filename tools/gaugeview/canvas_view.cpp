#include "canvas_view.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>

#include "resource.h"
#include "window_class.h"

namespace tarnwix::view {

namespace {

constexpr char kClassName[] = "GaugeviewCanvas";
constexpr COLORREF kAroundColour = RGB(60, 60, 64);
constexpr COLORREF kSelectionColour = RGB(0, 150, 255);
constexpr COLORREF kGuideColour = RGB(255, 0, 200);
// A handle is a square this many screen pixels from its centre.
constexpr int kHandleRadius = 3;
// What the overlay reaches beyond a selected gauge: its outline and handles.
constexpr int kOverlayMargin = kHandleRadius + 2;

double milliseconds_since(const LARGE_INTEGER& start) {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The cursor a module's cursor code stands for: 5 a hand over a button,
// any other code the arrow.
HCURSOR cursor_for(int code) { return LoadCursor(nullptr, code == 5 ? IDC_HAND : IDC_ARROW); }

// The cursor over what a press would grab in layout mode.
HCURSOR cursor_for(Grip grip) {
  switch (grip) {
    case Grip::kBody:
      return LoadCursor(nullptr, IDC_SIZEALL);
    case Grip::kTopLeft:
    case Grip::kBottomRight:
      return LoadCursor(nullptr, IDC_SIZENWSE);
    case Grip::kTopRight:
    case Grip::kBottomLeft:
      return LoadCursor(nullptr, IDC_SIZENESW);
    case Grip::kTop:
    case Grip::kBottom:
      return LoadCursor(nullptr, IDC_SIZENS);
    case Grip::kLeft:
    case Grip::kRight:
      return LoadCursor(nullptr, IDC_SIZEWE);
    case Grip::kNone:
      break;
  }
  return LoadCursor(nullptr, IDC_ARROW);
}

bool alt_down() { return GetKeyState(VK_MENU) < 0; }

}  // namespace

CanvasView::~CanvasView() {
  if (back_buffer_ != nullptr) DeleteObject(back_buffer_);
}

bool CanvasView::create(HWND parent, HINSTANCE instance) {
  WNDCLASSA window_class{};
  window_class.style = CS_HREDRAW | CS_VREDRAW;
  window_class.lpfnWndProc = &window_procedure<CanvasView>;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
  window_class.lpszClassName = kClassName;
  if (!register_window_class(window_class)) return false;
  hwnd_ = CreateWindowExA(0, kClassName, "", WS_CHILD | WS_VISIBLE | WS_HSCROLL | WS_VSCROLL, 0, 0, 10, 10, parent,
                          nullptr, instance, this);
  if (hwnd_ == nullptr) return false;
  tooltip_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0, 0,
                             0, hwnd_, nullptr, instance, nullptr);
  TOOLINFOA tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = hwnd_;
  tool.uId = reinterpret_cast<UINT_PTR>(hwnd_);
  tool.lpszText = const_cast<char*>("");
  SendMessageA(tooltip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
  SendMessageA(tooltip_, TTM_ACTIVATE, FALSE, 0);
  return true;
}

void CanvasView::show(const Picture& picture, const std::vector<Rect>& changed) {
  std::vector<Rect> copied = changed;
  if (picture.width != width_ || picture.height != height_ || back_buffer_ == nullptr) {
    if (back_buffer_ != nullptr) DeleteObject(back_buffer_);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = std::max(picture.width, 1);
    info.bmiHeader.biHeight = -std::max(picture.height, 1);  // top row first, as the picture
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    back_buffer_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bits_ = static_cast<uint32_t*>(bits);
    width_ = picture.width;
    height_ = picture.height;
    update_scroll_bars();
    InvalidateRect(hwnd_, nullptr, FALSE);
    // A new buffer holds nothing yet: all of the picture goes in.
    if (!picture.rgb.empty()) copied = {{0, 0, width_, height_}};
  }
  if (bits_ == nullptr || picture.rgb.size() < static_cast<size_t>(width_) * height_ * 3) return;
  GdiFlush();
  for (const Rect& wanted : copied) {
    const int left = std::max(wanted.x, 0), top = std::max(wanted.y, 0);
    const int right = std::min(wanted.x + wanted.width, width_), bottom = std::min(wanted.y + wanted.height, height_);
    if (left >= right || top >= bottom) continue;
    for (int y = top; y < bottom; ++y) {
      const uint8_t* from = picture.rgb.data() + (static_cast<size_t>(y) * width_ + left) * 3;
      uint32_t* to = bits_ + static_cast<size_t>(y) * width_ + left;
      for (int x = 0; x < right - left; ++x, from += 3)
        to[x] = (uint32_t{from[0]} << 16) | (uint32_t{from[1]} << 8) | from[2];
    }
    RECT on_screen = to_screen({left, top, right - left, bottom - top});
    if (zoom_ != 100) InflateRect(&on_screen, 2, 2);  // what the resampling spreads
    InvalidateRect(hwnd_, &on_screen, FALSE);
  }
}

void CanvasView::set_zoom(int percent) {
  zoom_ = percent;
  update_scroll_bars();
  InvalidateRect(hwnd_, nullptr, FALSE);
  refresh_overlay();
}

SIZE CanvasView::shown_size() const {
  return {static_cast<LONG>(int64_t{width_} * zoom_ / 100), static_cast<LONG>(int64_t{height_} * zoom_ / 100)};
}

void CanvasView::set_layout(LayoutEditor* editor) {
  if (gesture_ != Gesture::kNone) on_layout_release();
  editor_ = editor;
  refresh_overlay();
}

void CanvasView::show_edit() {
  if (session_ != nullptr) show(session_->picture(), session_->changed());
  refresh_overlay();
}

LRESULT CanvasView::handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT:
      on_paint();
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the paint covers every pixel
    case WM_SIZE:
      update_scroll_bars();
      return 0;
    case WM_MOUSEMOVE:
      if (editor_ != nullptr) on_layout_move(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam), wparam);
      on_mouse_move(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
      return 0;
    case WM_SETCURSOR:
      if (LOWORD(lparam) == HTCLIENT && on_set_cursor()) return TRUE;
      break;
    case WM_LBUTTONDOWN: {
      SetFocus(hwnd_);
      if (editor_ != nullptr) {
        on_layout_press(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam), wparam);
        return 0;
      }
      int x = 0, y = 0;
      if (to_picture(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam), &x, &y) && on_click) on_click(x, y);
      return 0;
    }
    case WM_LBUTTONUP:
      if (gesture_ != Gesture::kNone) on_layout_release();
      return 0;
    case WM_CAPTURECHANGED:
      // Another window took the mouse (a dialog, Alt+Tab): the gesture ends there.
      if (gesture_ != Gesture::kNone && reinterpret_cast<HWND>(lparam) != hwnd_) on_layout_release();
      return 0;
    case WM_KEYDOWN:
      if (editor_ != nullptr && on_layout_key(wparam)) return 0;
      break;
    case WM_HSCROLL:
      on_scroll(SB_HORZ, LOWORD(wparam));
      return 0;
    case WM_VSCROLL:
      on_scroll(SB_VERT, LOWORD(wparam));
      return 0;
    default:
      break;
  }
  return DefWindowProcA(hwnd_, message, wparam, lparam);
}

void CanvasView::on_paint() {
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(hwnd_, &paint);
  RECT client;
  GetClientRect(hwnd_, &client);
  const SIZE shown = shown_size();
  // Around the picture.
  HBRUSH around = CreateSolidBrush(kAroundColour);
  RECT right{shown.cx - scroll_x_, 0, client.right, client.bottom};
  RECT below{0, shown.cy - scroll_y_, client.right, client.bottom};
  if (right.left < right.right) FillRect(dc, &right, around);
  if (below.top < below.bottom) FillRect(dc, &below, around);
  DeleteObject(around);
  if (back_buffer_ != nullptr) {
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, back_buffer_);
    if (zoom_ == 100) {
      const RECT& area = paint.rcPaint;
      BitBlt(dc, area.left, area.top, area.right - area.left, area.bottom - area.top, memory, area.left + scroll_x_,
             area.top + scroll_y_, SRCCOPY);
    } else {
      SetStretchBltMode(dc, zoom_ < 100 ? HALFTONE : COLORONCOLOR);
      SetBrushOrgEx(dc, 0, 0, nullptr);
      StretchBlt(dc, -scroll_x_, -scroll_y_, shown.cx, shown.cy, memory, 0, 0, width_, height_, SRCCOPY);
    }
    SelectObject(memory, old);
    DeleteDC(memory);
  }
  paint_overlay(dc);
  EndPaint(hwnd_, &paint);
  paint_ms_ = milliseconds_since(start);
}

// The selection's outlines (a pixel outside each gauge) and handles, the
// snap guides and the rubber band, over the blitted picture.
void CanvasView::paint_overlay(HDC dc) const {
  if (editor_ == nullptr) return;
  HPEN selection_pen = CreatePen(PS_SOLID, 1, kSelectionColour);
  HBRUSH handle_brush = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  HGDIOBJ old_pen = SelectObject(dc, selection_pen);
  HGDIOBJ old_brush = SelectObject(dc, GetStockObject(NULL_BRUSH));
  for (const Rect& rect : editor_->selected_rects()) {
    const RECT place = to_screen(rect);
    const int left = place.left - 1, top = place.top - 1, right = place.right, bottom = place.bottom;
    SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, left, top, right + 1, bottom + 1);
    SelectObject(dc, handle_brush);
    const int middle_x = (left + right) / 2, middle_y = (top + bottom) / 2;
    const POINT handles[] = {{left, top},     {middle_x, top},    {right, top},   {right, middle_y},
                             {right, bottom}, {middle_x, bottom}, {left, bottom}, {left, middle_y}};
    for (const POINT& handle : handles)
      Rectangle(dc, handle.x - kHandleRadius, handle.y - kHandleRadius, handle.x + kHandleRadius + 1,
                handle.y + kHandleRadius + 1);
  }
  HPEN guide_pen = CreatePen(PS_SOLID, 1, kGuideColour);
  SelectObject(dc, guide_pen);
  const SIZE shown = shown_size();
  for (const SnapGuide& guide : editor_->guides()) {
    const RECT line = to_screen({guide.vertical ? guide.position : 0, guide.vertical ? 0 : guide.position,
                                 guide.vertical ? 0 : width_, guide.vertical ? height_ : 0});
    MoveToEx(dc, guide.vertical ? line.left : -scroll_x_, guide.vertical ? -scroll_y_ : line.top, nullptr);
    LineTo(dc, guide.vertical ? line.left : shown.cx - scroll_x_, guide.vertical ? shown.cy - scroll_y_ : line.top);
  }
  if (gesture_ == Gesture::kBand) {
    // Dotted black on white: seen over any panel.
    HPEN band_pen = CreatePen(PS_DOT, 1, RGB(0, 0, 0));
    SelectObject(dc, band_pen);
    SelectObject(dc, GetStockObject(NULL_BRUSH));
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, RGB(255, 255, 255));
    const RECT band = to_screen({std::min(press_.x, pointer_.x), std::min(press_.y, pointer_.y),
                                 std::abs(pointer_.x - press_.x), std::abs(pointer_.y - press_.y)});
    Rectangle(dc, band.left, band.top, band.right + 1, band.bottom + 1);
    SelectObject(dc, guide_pen);
    DeleteObject(band_pen);
  }
  SelectObject(dc, old_pen);
  SelectObject(dc, old_brush);
  DeleteObject(guide_pen);
  DeleteObject(selection_pen);
}

std::vector<RECT> CanvasView::overlay_places() const {
  std::vector<RECT> places;
  if (editor_ == nullptr) return places;
  for (const Rect& rect : editor_->selected_rects()) {
    RECT place = to_screen(rect);
    InflateRect(&place, kOverlayMargin, kOverlayMargin);
    places.push_back(place);
  }
  RECT client;
  GetClientRect(hwnd_, &client);
  for (const SnapGuide& guide : editor_->guides()) {
    const RECT line = to_screen({guide.position, guide.position, 0, 0});
    places.push_back(guide.vertical ? RECT{line.left - 1, 0, line.left + 2, client.bottom}
                                    : RECT{0, line.top - 1, client.right, line.top + 2});
  }
  if (gesture_ == Gesture::kBand) {
    RECT band = to_screen({std::min(press_.x, pointer_.x), std::min(press_.y, pointer_.y),
                           std::abs(pointer_.x - press_.x), std::abs(pointer_.y - press_.y)});
    InflateRect(&band, 2, 2);
    places.push_back(band);
  }
  return places;
}

void CanvasView::refresh_overlay() {
  if (hwnd_ == nullptr) return;
  for (const RECT& place : overlay_drawn_) InvalidateRect(hwnd_, &place, FALSE);
  overlay_drawn_ = overlay_places();
  for (const RECT& place : overlay_drawn_) InvalidateRect(hwnd_, &place, FALSE);
}

void CanvasView::layout_edited() {
  show_edit();
  if (on_layout_edit) on_layout_edit();
}

bool CanvasView::to_picture(int client_x, int client_y, int* x, int* y) const {
  const int64_t px = (int64_t{client_x} + scroll_x_) * 100 / zoom_;
  const int64_t py = (int64_t{client_y} + scroll_y_) * 100 / zoom_;
  if (client_x < 0 || client_y < 0 || px >= width_ || py >= height_) return false;
  *x = static_cast<int>(px);
  *y = static_cast<int>(py);
  return true;
}

// A point of the picture's plane, outside the picture too (a drag goes on
// past its edges); rounded down.
POINT CanvasView::to_picture_unclamped(int client_x, int client_y) const {
  auto down = [&](int64_t screen) {
    const int64_t scaled = screen * 100;
    return static_cast<LONG>(scaled >= 0 ? scaled / zoom_ : -((-scaled + zoom_ - 1) / zoom_));
  };
  return {down(int64_t{client_x} + scroll_x_), down(int64_t{client_y} + scroll_y_)};
}

RECT CanvasView::to_screen(const Rect& rect) const {
  auto screen = [&](int64_t value, int scroll) { return static_cast<LONG>(value * zoom_ / 100 - scroll); };
  return {screen(rect.x, scroll_x_), screen(rect.y, scroll_y_), screen(int64_t{rect.x} + rect.width, scroll_x_),
          screen(int64_t{rect.y} + rect.height, scroll_y_)};
}

// Screen pixels as picture pixels at the zoom, rounded, at least one.
int CanvasView::picture_pixels(int screen_pixels) const {
  return std::max(1, (screen_pixels * 100 + zoom_ / 2) / zoom_);
}

void CanvasView::on_mouse_move(int client_x, int client_y) {
  int x = 0, y = 0;
  PointInfo info;
  const bool over = to_picture(client_x, client_y, &x, &y);
  if (over) last_point_ = {x, y};
  if (session_ != nullptr && over) info = session_->at(x, y);
  if (info.tooltip == tooltip_text_) return;
  tooltip_text_ = info.tooltip;
  TOOLINFOA tool{};
  tool.cbSize = sizeof tool;
  tool.hwnd = hwnd_;
  tool.uId = reinterpret_cast<UINT_PTR>(hwnd_);
  tool.lpszText = const_cast<char*>(tooltip_text_.c_str());
  SendMessageA(tooltip_, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
  SendMessageA(tooltip_, TTM_ACTIVATE, tooltip_text_.empty() ? FALSE : TRUE, 0);
}

bool CanvasView::on_set_cursor() {
  POINT point;
  GetCursorPos(&point);
  ScreenToClient(hwnd_, &point);
  int x = 0, y = 0;
  if (editor_ != nullptr) {
    if (gesture_ == Gesture::kPressed || gesture_ == Gesture::kDragging) {
      SetCursor(cursor_for(grip_));
      return true;
    }
    if (!to_picture(point.x, point.y, &x, &y)) return false;
    SetCursor(cursor_for(editor_->grip_at(x, y, picture_pixels(LayoutEditor::kHandleScreenPixels))));
    return true;
  }
  if (session_ == nullptr || !to_picture(point.x, point.y, &x, &y)) return false;
  SetCursor(cursor_for(session_->at(x, y).cursor));
  return true;
}

// A press grabs a handle or the body of the selection; on a gauge outside
// it, selects that gauge and grabs it; on empty panel, starts a rubber band.
// Ctrl adds or removes the gauge under the point, or bands more in.
void CanvasView::on_layout_press(int client_x, int client_y, WPARAM keys) {
  const POINT at = to_picture_unclamped(client_x, client_y);
  press_ = pointer_ = at;
  SetCapture(hwnd_);
  const int tolerance = picture_pixels(LayoutEditor::kHandleScreenPixels);
  if ((keys & MK_CONTROL) != 0) {
    if (editor_->gauge_at(at.x, at.y)) {
      editor_->click(at.x, at.y, true);
      gesture_ = Gesture::kNone;
      ReleaseCapture();
    } else {
      gesture_ = Gesture::kBand;
      band_adds_ = true;
    }
    layout_edited();
    return;
  }
  Grip grip = editor_->grip_at(at.x, at.y, tolerance);
  if (grip == Grip::kNone && editor_->gauge_at(at.x, at.y)) {
    editor_->click(at.x, at.y, false);
    grip = Grip::kBody;
  }
  if (grip != Grip::kNone) {
    gesture_ = Gesture::kPressed;
    grip_ = grip;
  } else {
    editor_->click(at.x, at.y, false);
    gesture_ = Gesture::kBand;
    band_adds_ = false;
  }
  layout_edited();
}

void CanvasView::on_layout_move(int client_x, int client_y, WPARAM keys) {
  const POINT at = to_picture_unclamped(client_x, client_y);
  if (on_pointer) on_pointer(at.x, at.y);
  if (gesture_ == Gesture::kNone || (at.x == pointer_.x && at.y == pointer_.y)) return;
  pointer_ = at;
  if (gesture_ == Gesture::kBand) {
    refresh_overlay();
    return;
  }
  if (gesture_ == Gesture::kPressed) {
    editor_->begin_drag(press_.x, press_.y, grip_);
    gesture_ = Gesture::kDragging;
  }
  editor_->drag_to(at.x, at.y, (keys & MK_SHIFT) != 0, alt_down(), picture_pixels(LayoutEditor::kSnapScreenPixels));
  layout_edited();
}

void CanvasView::on_layout_release() {
  const Gesture gesture = gesture_;
  gesture_ = Gesture::kNone;  // before the capture goes, which comes back here
  if (GetCapture() == hwnd_) ReleaseCapture();
  if (editor_ == nullptr) return;
  switch (gesture) {
    case Gesture::kDragging:
      editor_->end_drag();
      break;
    case Gesture::kPressed:
      // A click on a gauge of a larger selection: that gauge alone.
      if (grip_ == Grip::kBody) editor_->click(press_.x, press_.y, false);
      break;
    case Gesture::kBand:
      if (press_.x != pointer_.x || press_.y != pointer_.y)
        editor_->select_in({std::min(press_.x, pointer_.x), std::min(press_.y, pointer_.y),
                            std::abs(pointer_.x - press_.x) + 1, std::abs(pointer_.y - press_.y) + 1},
                           band_adds_);
      break;
    case Gesture::kNone:
      break;
  }
  layout_edited();
}

// The keys of layout mode; false for a key the canvas leaves alone.
bool CanvasView::on_layout_key(WPARAM key) {
  const bool shift = GetKeyState(VK_SHIFT) < 0;
  const bool control = GetKeyState(VK_CONTROL) < 0;
  const int step = shift ? 10 : 1;
  switch (key) {
    case VK_TAB:
      editor_->step(shift);
      break;
    case VK_ESCAPE:
      if (gesture_ != Gesture::kNone)
        on_layout_release();
      else
        editor_->clear_selection();
      break;
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN:
      if (control || gesture_ != Gesture::kNone) return false;
      editor_->nudge(key == VK_LEFT    ? -step
                     : key == VK_RIGHT ? step
                                       : 0,
                     key == VK_UP     ? -step
                     : key == VK_DOWN ? step
                                      : 0);
      break;
    case VK_DELETE:
      // Removing may unload a module: the main window does it from its loop.
      PostMessageA(GetParent(hwnd_), WM_COMMAND, ID_EDIT_DELETE, 0);
      return true;
    default:
      return false;
  }
  layout_edited();
  return true;
}

void CanvasView::update_scroll_bars() {
  if (hwnd_ == nullptr) return;
  RECT client;
  GetClientRect(hwnd_, &client);
  const SIZE shown = shown_size();
  scroll_x_ = std::clamp<int>(scroll_x_, 0, std::max<int>(0, shown.cx - client.right));
  scroll_y_ = std::clamp<int>(scroll_y_, 0, std::max<int>(0, shown.cy - client.bottom));
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  info.nMax = shown.cx - 1;
  info.nPage = static_cast<UINT>(client.right);
  info.nPos = scroll_x_;
  SetScrollInfo(hwnd_, SB_HORZ, &info, TRUE);
  info.nMax = shown.cy - 1;
  info.nPage = static_cast<UINT>(client.bottom);
  info.nPos = scroll_y_;
  SetScrollInfo(hwnd_, SB_VERT, &info, TRUE);
}

void CanvasView::on_scroll(int bar, int request) {
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_ALL;
  GetScrollInfo(hwnd_, bar, &info);
  int position = info.nPos;
  switch (request) {
    case SB_LINEUP:
      position -= 20;
      break;
    case SB_LINEDOWN:
      position += 20;
      break;
    case SB_PAGEUP:
      position -= static_cast<int>(info.nPage);
      break;
    case SB_PAGEDOWN:
      position += static_cast<int>(info.nPage);
      break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
      position = info.nTrackPos;
      break;
    default:
      break;
  }
  (bar == SB_HORZ ? scroll_x_ : scroll_y_) = position;
  update_scroll_bars();
  InvalidateRect(hwnd_, nullptr, FALSE);
  refresh_overlay();
}

}  // namespace tarnwix::view
