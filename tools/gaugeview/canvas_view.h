// The canvas: the window's picture on the screen, from one back buffer (a
// DIB section the session's picture is copied into, only where it changed),
// zoomed and scrolled; the mouse over it shows the gauge's cursor and
// tooltip, and a click is handed on in the picture's own pixels. In layout
// mode the mouse and the keys go to the layout editor instead, and the
// selection, the rubber band and the snap guides are drawn over the picture
// as it is painted, never into it.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "layout_editor.h"
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

  // Layout mode with this editor; null: the mouse reaches the gauges.
  void set_layout(LayoutEditor* editor);
  // After an edit made elsewhere (a menu, a box): what the session redrew,
  // and the selection, shown at once.
  void show_edit();
  // The last point of the picture the pointer was over, in its pixels.
  std::optional<std::pair<int, int>> last_point() const { return last_point_; }

  // A click, in the picture's pixels.
  std::function<void(int x, int y)> on_click;
  // Layout mode: the selection or the layout changed under the mouse or keys.
  std::function<void()> on_layout_edit;
  // Layout mode: the pointer is over this point of the picture.
  std::function<void(int x, int y)> on_pointer;

 private:
  // What the pressed button is doing in layout mode.
  enum class Gesture { kNone, kPressed, kDragging, kBand };

  template <typename Owner>
  friend LRESULT CALLBACK window_procedure(HWND, UINT, WPARAM, LPARAM);
  LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);
  void on_paint();
  void paint_overlay(HDC dc) const;
  void on_mouse_move(int x, int y);
  bool on_set_cursor();
  void on_scroll(int bar, int request);
  void on_layout_press(int client_x, int client_y, WPARAM keys);
  void on_layout_move(int client_x, int client_y, WPARAM keys);
  void on_layout_release();
  bool on_layout_key(WPARAM key);
  void update_scroll_bars();
  bool to_picture(int client_x, int client_y, int* x, int* y) const;
  POINT to_picture_unclamped(int client_x, int client_y) const;
  RECT to_screen(const Rect& rect) const;
  int picture_pixels(int screen_pixels) const;
  // Invalidates where the overlay was drawn and where it is to be drawn now.
  void refresh_overlay();
  std::vector<RECT> overlay_places() const;
  void layout_edited();

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

  LayoutEditor* editor_ = nullptr;
  Gesture gesture_ = Gesture::kNone;
  Grip grip_ = Grip::kNone;
  POINT press_{}, pointer_{};  // in picture pixels
  bool band_adds_ = false;
  std::vector<RECT> overlay_drawn_;
  std::optional<std::pair<int, int>> last_point_;
};

}  // namespace tarnwix::view
