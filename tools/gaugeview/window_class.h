// The one window procedure of each window class of gaugeview: it finds the
// object behind the window (given at its creation) and hands it every message.
#pragma once

#include <windows.h>

namespace tarnwix::view {

// Owner has `HWND hwnd_` and `LRESULT handle(UINT, WPARAM, LPARAM)`, and is
// passed as the creation parameter of CreateWindowEx.
template <typename Owner>
LRESULT CALLBACK window_procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lparam);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    static_cast<Owner*>(create->lpCreateParams)->hwnd_ = hwnd;
  }
  auto* owner = reinterpret_cast<Owner*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  return owner != nullptr ? owner->handle(message, wparam, lparam) : DefWindowProcA(hwnd, message, wparam, lparam);
}

// Registers a window class once; false when the system refuses it.
inline bool register_window_class(const WNDCLASSA& window_class) {
  WNDCLASSA existing;
  return GetClassInfoA(window_class.hInstance, window_class.lpszClassName, &existing) ||
         RegisterClassA(&window_class) != 0;
}

}  // namespace tarnwix::view
