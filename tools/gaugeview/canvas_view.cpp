#include "canvas_view.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>

#include "window_class.h"

namespace tarnwix::view {

namespace {

constexpr char kClassName[] = "GaugeviewCanvas";
constexpr COLORREF kAroundColour = RGB(60, 60, 64);

double milliseconds_since(const LARGE_INTEGER& start) {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The cursor a module's cursor code stands for: 5 a hand over a button,
// any other code the arrow.
HCURSOR cursor_for(int code) { return LoadCursor(nullptr, code == 5 ? IDC_HAND : IDC_ARROW); }

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
  }
  if (bits_ == nullptr) return;
  GdiFlush();
  for (const Rect& rect : changed) {
    for (int y = rect.y; y < rect.y + rect.height; ++y) {
      const uint8_t* from = picture.rgb.data() + (static_cast<size_t>(y) * width_ + rect.x) * 3;
      uint32_t* to = bits_ + static_cast<size_t>(y) * width_ + rect.x;
      for (int x = 0; x < rect.width; ++x, from += 3)
        to[x] = (uint32_t{from[0]} << 16) | (uint32_t{from[1]} << 8) | from[2];
    }
    if (zoom_ == 100) {
      RECT on_screen{rect.x - scroll_x_, rect.y - scroll_y_, rect.x + rect.width - scroll_x_,
                     rect.y + rect.height - scroll_y_};
      InvalidateRect(hwnd_, &on_screen, FALSE);
    } else {
      InvalidateRect(hwnd_, nullptr, FALSE);
    }
  }
}

void CanvasView::set_zoom(int percent) {
  zoom_ = percent;
  update_scroll_bars();
  InvalidateRect(hwnd_, nullptr, FALSE);
}

SIZE CanvasView::shown_size() const {
  return {static_cast<LONG>(int64_t{width_} * zoom_ / 100), static_cast<LONG>(int64_t{height_} * zoom_ / 100)};
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
      on_mouse_move(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
      return 0;
    case WM_SETCURSOR:
      if (LOWORD(lparam) == HTCLIENT && on_set_cursor()) return TRUE;
      break;
    case WM_LBUTTONDOWN: {
      int x = 0, y = 0;
      SetFocus(hwnd_);
      if (to_picture(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam), &x, &y) && on_click) on_click(x, y);
      return 0;
    }
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
  EndPaint(hwnd_, &paint);
  paint_ms_ = milliseconds_since(start);
}

bool CanvasView::to_picture(int client_x, int client_y, int* x, int* y) const {
  const int64_t px = (int64_t{client_x} + scroll_x_) * 100 / zoom_;
  const int64_t py = (int64_t{client_y} + scroll_y_) * 100 / zoom_;
  if (client_x < 0 || client_y < 0 || px >= width_ || py >= height_) return false;
  *x = static_cast<int>(px);
  *y = static_cast<int>(py);
  return true;
}

void CanvasView::on_mouse_move(int client_x, int client_y) {
  int x = 0, y = 0;
  PointInfo info;
  if (session_ != nullptr && to_picture(client_x, client_y, &x, &y)) info = session_->at(x, y);
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
  if (session_ == nullptr || !to_picture(point.x, point.y, &x, &y)) return false;
  SetCursor(cursor_for(session_->at(x, y).cursor));
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
}

}  // namespace tarnwix::view
