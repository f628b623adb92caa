// The canvas: the window's picture on the screen, from one back buffer (a
// DIB section the session's picture is copied into, only where it changed),
// zoomed and scrolled; the mouse over it shows the gauge's cursor and
// tooltip, and a click is handed on in the picture's own pixels.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "session.h"

namespace tarnwix::view {

class CanvasView {
 public:
  CanvasView() = default;
  ~CanvasView();
  CanvasView(const CanvasView&) = delete;
  CanvasView& operator=(const CanvasView&) = delete;

  bool create(HWND parent, HINSTANCE instance);
  HWND hwnd() const { return hwnd_; }

  // The session whose gauges the mouse points at (null while none is open).
  void set_session(const Session* session) { session_ = session; }
  // Copies the changed parts of the picture into the back buffer and
  // invalidates them on the screen.
  void show(const Picture& picture, const std::vector<Rect>& changed);
  void set_zoom(int percent);
  int zoom() const { return zoom_; }
  // The picture's size on the screen, at the zoom.
  SIZE shown_size() const;
  // Milliseconds the last paint took (the blit).
  double last_paint_ms() const { return paint_ms_; }

  // A click, in the picture's pixels.
  std::function<void(int x, int y)> on_click;

 private:
  template <typename Owner>
  friend LRESULT CALLBACK window_procedure(HWND, UINT, WPARAM, LPARAM);
  LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);
  void on_paint();
  void on_mouse_move(int x, int y);
  bool on_set_cursor();
  void on_scroll(int bar, int request);
  void update_scroll_bars();
  bool to_picture(int client_x, int client_y, int* x, int* y) const;

  HWND hwnd_ = nullptr;
  HWND tooltip_ = nullptr;
  const Session* session_ = nullptr;
  HBITMAP back_buffer_ = nullptr;
  uint32_t* bits_ = nullptr;
  int width_ = 0, height_ = 0;
  int zoom_ = 100;
  int scroll_x_ = 0, scroll_y_ = 0;
  std::string tooltip_text_;
  double paint_ms_ = 0;
};

}  // namespace tarnwix::view
