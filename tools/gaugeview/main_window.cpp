#include "main_window.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "host/version.h"
#include "layout_dialogs.h"
#include "resource.h"
#include "window_class.h"

namespace tarnwix::view {

namespace {

constexpr char kClassName[] = "GaugeviewMain";
constexpr int kStripHeight = 30;
constexpr int kPropertiesHeight = 28;
// The menu bar's popups, by position.
constexpr int kViewMenu = 2;
constexpr int kInputsWidth = 340;
constexpr int kLogHeight = 150;
constexpr size_t kLogPaneLines = 2000;
constexpr int kZoomSteps[] = {25, 50, 75, 100, 150, 200, 300, 400};
constexpr double kFileCheckSeconds = 0.5;
// New log lines reach the log pane at most this often, all at once: under
// Wine each line added and scrolled to on its own redrew the list and its
// scroll bars, tens of milliseconds a line.
constexpr double kLogPaneSeconds = 0.25;
// Saving and quitting, posted from the loop once the edits asked for before
// them are made; their questions are asked from the window procedure.
constexpr UINT kSavePanelMessage = WM_APP + 1;  // wparam: choose the file
constexpr UINT kQuitMessage = WM_APP + 2;

double seconds_now() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::string rect_text(const RECT& rect) {
  return std::to_string(rect.left) + "," + std::to_string(rect.top) + " " + std::to_string(rect.right - rect.left) +
         "x" + std::to_string(rect.bottom - rect.top);
}

// Median and the 10th and 90th percentiles of a set of times.
struct Spread {
  double median, low, high;
};
Spread spread_of(std::vector<double> values) {
  if (values.empty()) return {0, 0, 0};
  std::sort(values.begin(), values.end());
  auto at = [&](double fraction) { return values[static_cast<size_t>(fraction * (values.size() - 1) + 0.5)]; };
  return {at(0.5), at(0.1), at(0.9)};
}

std::string file_name_of(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string file_dialog_name(const std::string& path, const char* extension) {
  const size_t slash = path.find_last_of("/\\");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.resize(dot);
  return name + extension;
}

}  // namespace

MainWindow::MainWindow(const Arguments& arguments, const SessionOptions& options, EventLog& log)
    : arguments_(arguments), options_(options), log_(log) {}

MainWindow::~MainWindow() {
  log_.set_listener(nullptr);
  canvas_.set_layout(nullptr);
  canvas_.set_session(nullptr);
  if (hwnd_ != nullptr && IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

bool MainWindow::create(HINSTANCE instance, std::unique_ptr<Session> session) {
  instance_ = instance;
  session_ = std::move(session);
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  WNDCLASSA window_class{};
  window_class.lpfnWndProc = &window_procedure<MainWindow>;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
  window_class.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  window_class.lpszClassName = kClassName;
  window_class.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
  if (!register_window_class(window_class)) return false;

  // Big enough for the whole picture at the zoom asked for, within the screen.
  RECT wanted{0, 0, static_cast<LONG>(int64_t{session_->width()} * arguments_.zoom / 100) + kInputsWidth + 24,
              static_cast<LONG>(int64_t{session_->height()} * arguments_.zoom / 100) + kStripHeight + kLogHeight + 48 +
                  (session_->panel() != nullptr ? kPropertiesHeight : 0)};
  AdjustWindowRect(&wanted, WS_OVERLAPPEDWINDOW, TRUE);
  RECT work{0, 0, 1280, 1024};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  const int width = std::min<int>(wanted.right - wanted.left, work.right - work.left);
  const int height = std::min<int>(wanted.bottom - wanted.top, work.bottom - work.top);
  hwnd_ = CreateWindowExA(0, kClassName, "gaugeview", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, work.left, work.top, width,
                          height, nullptr, LoadMenuA(instance, MAKEINTRESOURCEA(IDR_MENU)), instance, this);
  if (hwnd_ == nullptr) return false;
  accelerators_ = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_ACCELERATORS));

  HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  auto make = [&](const char* window_class_name, const char* text, DWORD style, int id, DWORD extended = 0) {
    HWND control = CreateWindowExA(extended, window_class_name, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10,
                                   hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
  };
  strip_window_label_ = make("STATIC", "Panel window:", SS_RIGHT | SS_CENTERIMAGE, 0);
  window_list_ = make("COMBOBOX", "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, ID_WINDOW_LIST);
  pause_button_ = make("BUTTON", "Pause", BS_PUSHBUTTON | WS_TABSTOP, ID_RUN_PAUSE);
  step_button_ = make("BUTTON", "Step", BS_PUSHBUTTON | WS_TABSTOP, ID_RUN_STEP);
  layout_button_ = make("BUTTON", "Layout", BS_CHECKBOX | BS_PUSHLIKE | WS_TABSTOP, ID_EDIT_LAYOUT);
  log_pane_ = make("LISTBOX", "", LBS_NOINTEGRALHEIGHT | LBS_NOSEL | WS_VSCROLL | WS_HSCROLL, 0, WS_EX_CLIENTEDGE);
  SendMessageA(log_pane_, LB_SETHORIZONTALEXTENT, 2000, 0);
  status_ = make(STATUSCLASSNAMEA, "", SBARS_SIZEGRIP, 0);
  const int parts[] = {110, 230, 330, 500, 620, -1};
  SendMessageA(status_, SB_SETPARTS, 6, reinterpret_cast<LPARAM>(parts));
  if (!canvas_.create(hwnd_, instance) || !inputs_.create(hwnd_, instance) || !properties_.create(hwnd_, instance))
    return false;

  canvas_.on_click = [this](int x, int y) {
    later([this, x, y] {
      if (session_) session_->click(x, y);
    });
  };
  canvas_.on_layout_edit = [this] { after_edit(false); };
  canvas_.on_pointer = [this](int x, int y) {
    // In the window's units, as the boxes and the file give them.
    const double scale = session_ && session_->layout().scale > 0 ? session_->layout().scale : 1.0;
    char text[64];
    std::snprintf(text, sizeof text, "x %.0f, y %.0f", x / scale, y / scale);
    SendMessageA(status_, SB_SETTEXTA, 4, reinterpret_cast<LPARAM>(text));
  };
  properties_.on_apply = [this](const host::GaugePlace& place) {
    edit_later([this, place] {
      std::string error;
      if (!editor_->set_selected_place(place, &error)) show_message("refused: " + error);
      properties_.show(editor_.get(), true);
    });
  };
  properties_.on_refused = [this](const std::string& why) { show_message("refused: " + why); };
  inputs_.on_change = [this](uint32_t token, double value) {
    if (session_) session_->set_input(token, value);
  };
  inputs_.on_bad_value = [this](uint32_t token, const std::string& text) {
    log_.add(session_ ? session_->frame_number() : 0,
             "not a number for " + std::to_string(token) + ": '" + text + "'; the value stays");
  };
  for (const std::string& line : log_.lines()) append_log_line(line);
  log_.set_listener([this](const std::string& line) { append_log_line(line); });
  canvas_.set_zoom(arguments_.zoom);
  show_session();
  ShowWindow(hwnd_, SW_SHOW);
  UpdateWindow(hwnd_);
  SetFocus(canvas_.hwnd());
  return true;
}

LRESULT MainWindow::handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wparam) == ID_WINDOW_LIST) {
        // A window is chosen once the list is closed: moving through the open
        // list opens nothing.
        const bool dropped = SendMessageA(window_list_, CB_GETDROPPEDSTATE, 0, 0) != 0;
        // For scripts that drive the window: the list is open and takes keys.
        if (HIWORD(wparam) == CBN_DROPDOWN)
          log_.add_to_file(session_ ? session_->frame_number() : 0, "window list open");
        if (HIWORD(wparam) == CBN_CLOSEUP || (HIWORD(wparam) == CBN_SELCHANGE && !dropped))
          on_command(ID_WINDOW_FIRST + static_cast<int>(SendMessageA(window_list_, CB_GETCURSEL, 0, 0)));
        return 0;
      }
      if (lparam == 0 || reinterpret_cast<HWND>(lparam) == pause_button_ ||
          reinterpret_cast<HWND>(lparam) == step_button_ || reinterpret_cast<HWND>(lparam) == layout_button_)
        on_command(LOWORD(wparam));
      return 0;
    case WM_INITMENUPOPUP:
      update_edit_commands();
      return 0;
    case WM_SIZE:
      on_size();
      return 0;
    case WM_MOVE:
      later([this] { log_places(); });
      return 0;
    case WM_GETMINMAXINFO: {
      auto* limits = reinterpret_cast<MINMAXINFO*>(lparam);
      limits->ptMinTrackSize = {kInputsWidth + 240, kStripHeight + kLogHeight + 200};
      return 0;
    }
    case WM_CLOSE:
      after_pending(kQuitMessage, 0);
      return 0;
    case kQuitMessage:
      quit();
      return 0;
    case kSavePanelMessage:
      save_panel(wparam != 0);
      return 0;
    case WM_DESTROY:
      quitting_ = true;  // the work still waiting has no window to show in
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcA(hwnd_, message, wparam, lparam);
}

void MainWindow::on_command(int id) {
  if (id >= ID_WINDOW_FIRST && id <= ID_WINDOW_LAST) {
    if (!session_ || session_->windows().empty()) return;
    const int index = id - ID_WINDOW_FIRST;
    if (index < 0 || index >= static_cast<int>(session_->windows().size()) || index == session_->window_index()) return;
    const std::string name = session_->windows()[static_cast<size_t>(index)];
    const std::string path = session_->path();
    later([this, path, name] {
      if (settle_unsaved())
        open(path, name.substr(0, name.find(' ')));
      else
        fill_window_choices();
    });
    return;
  }
  switch (id) {
    case ID_FILE_OPEN:
      later([this] { choose_file_to_open(); });
      break;
    case ID_FILE_RELOAD:
      later([this] {
        if (session_) session_->reload_all();
        if (editor_) {
          editor_->reload();
          settle_disk_change();
          after_edit();
        }
      });
      break;
    case ID_FILE_SAVE_PANEL:
      after_pending(kSavePanelMessage, 0);
      break;
    case ID_FILE_SAVE_PANEL_AS:
      after_pending(kSavePanelMessage, 1);
      break;
    case ID_FILE_SAVE_PICTURE:
      save_picture();
      break;
    case ID_FILE_SAVE_SCENARIO:
      save_scenario();
      break;
    case ID_FILE_QUIT:
      after_pending(kQuitMessage, 0);
      break;
    case ID_EDIT_LAYOUT:
      set_layout_mode(!layout_mode_);
      break;
    case ID_EDIT_UNDO:
      edit_later([this] { editor_->undo(); });
      break;
    case ID_EDIT_REDO:
      edit_later([this] { editor_->redo(); });
      break;
    case ID_EDIT_BRING_FORWARD:
      edit_later([this] { editor_->bring_forward(); });
      break;
    case ID_EDIT_SEND_BACKWARD:
      edit_later([this] { editor_->send_backward(); });
      break;
    case ID_EDIT_DELETE:
      edit_later([this] { editor_->delete_selected(); });
      break;
    case ID_EDIT_ADD_GAUGE:
      add_gauge();
      break;
    case ID_EDIT_WINDOW_PROPERTIES:
      edit_window_properties();
      break;
    case ID_ZOOM_IN:
    case ID_ZOOM_OUT: {
      int zoom = canvas_.zoom();
      if (id == ID_ZOOM_IN) {
        for (int step : kZoomSteps)
          if (step > zoom) {
            zoom = step;
            break;
          }
      } else {
        for (auto it = std::rbegin(kZoomSteps); it != std::rend(kZoomSteps); ++it)
          if (*it < zoom) {
            zoom = *it;
            break;
          }
      }
      set_zoom(zoom);
      break;
    }
    case ID_ZOOM_ACTUAL:
      set_zoom(100);
      break;
    case ID_RUN_PAUSE:
      set_paused(!paused_);
      break;
    case ID_RUN_STEP:
      set_paused(true);
      step_once_ = true;
      break;
    case ID_HELP_ABOUT: {
      const std::string text =
          host::version_text("gaugeview") + "\nThe Tarnwix gauges running live on the stand-in simulator.";
      MessageBoxA(hwnd_, text.c_str(), "About gaugeview", MB_OK | MB_ICONINFORMATION);
      break;
    }
    default:
      break;
  }
}

void MainWindow::on_size() {
  SendMessageA(status_, WM_SIZE, 0, 0);
  lay_out_children();
  later([this] { log_places(); });
}

void MainWindow::lay_out_children() {
  RECT client, status;
  GetClientRect(hwnd_, &client);
  GetWindowRect(status_, &status);
  const int status_height = status.bottom - status.top;
  const int width = client.right, height = client.bottom - status_height;
  const int left_width = std::max(width - kInputsWidth, 100);
  MoveWindow(strip_window_label_, 4, 4, 90, 22, TRUE);
  MoveWindow(window_list_, 98, 4, 260, 200, TRUE);
  MoveWindow(pause_button_, 368, 3, 70, 24, TRUE);
  MoveWindow(step_button_, 442, 3, 70, 24, TRUE);
  MoveWindow(layout_button_, 516, 3, 70, 24, TRUE);
  // The properties row is there whenever a panel.cfg is, so that the canvas
  // stays put as layout mode comes and goes.
  const int top = kStripHeight + (editor_ ? kPropertiesHeight : 0);
  ShowWindow(properties_.hwnd(), editor_ ? SW_SHOW : SW_HIDE);
  MoveWindow(properties_.hwnd(), 0, kStripHeight, width, kPropertiesHeight, TRUE);
  const int canvas_height = std::max(height - top - kLogHeight, 50);
  MoveWindow(canvas_.hwnd(), 0, top, left_width, canvas_height, TRUE);
  MoveWindow(log_pane_, 0, top + canvas_height, left_width, height - top - canvas_height, TRUE);
  MoveWindow(inputs_.hwnd(), left_width, top, width - left_width, height - top, TRUE);
}

int MainWindow::run() {
  const double period = 1.0 / arguments_.rate;
  double next_frame = seconds_now(), next_file_check = next_frame + kFileCheckSeconds;
  double rate_since = next_frame, next_log_pane = next_frame;
  int frames_since = 0;
  while (!quitting_) {
    double now = seconds_now();
    if (session_ && (!paused_ || step_once_) && now >= next_frame) {
      const bool stepping = step_once_ && paused_;
      step_once_ = false;
      run_frame();
      if (stepping) log_.add(session_->frame_number(), "stepped one frame");
      ++frames_since;
      next_frame += period;
      // Behind by more than a frame (a slow machine, a stopped module): the
      // frames missed are not made up for.
      if (now - next_frame > period) next_frame = now + period;
    }
    if (now >= next_file_check) {
      next_file_check = now + kFileCheckSeconds;
      if (session_) session_->reload_changed();
      check_panel_file();
      if (now - rate_since >= 1.0) {
        frames_per_second_ = frames_since / (now - rate_since);
        frames_since = 0;
        rate_since = now;
      }
      update_status();
    }
    now = seconds_now();
    if (!log_pane_pending_.empty() && now >= next_log_pane) {
      show_pending_log_lines();
      next_log_pane = now + kLogPaneSeconds;
    }
    double until =
        std::min(paused_ && !step_once_ ? next_file_check : std::min(next_frame, next_file_check), now + 1.0);
    if (!log_pane_pending_.empty()) until = std::min(until, next_log_pane);
    const DWORD wait = until > now ? static_cast<DWORD>(std::ceil((until - now) * 1000)) : 0;
    MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        quitting_ = true;
        break;
      }
      if (TranslateAcceleratorA(hwnd_, accelerators_, &message)) continue;
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    while (!pending_.empty() && !quitting_) {
      std::function<void()> work = std::move(pending_.front());
      pending_.pop_front();
      work();
    }
  }
  return 0;
}

void MainWindow::run_frame() {
  session_->frame();
  canvas_.show(session_->picture(), session_->changed());
  UpdateWindow(canvas_.hwnd());
  frame_ms_ = session_->update_ms() + session_->draw_ms() + canvas_.last_paint_ms();
  inputs_.update(*session_);
  if (inputs_.take_moved()) log_places();
}

void MainWindow::bench(int frames, const std::string& label) {
  std::vector<double> update, draw, blit, total;
  host::Panel& panel = host::Panel::instance();
  for (int i = -20; i < frames; ++i) {
    // A climb through 12000 ft at 250 kt: the tapes and readouts move every frame.
    panel.set_variable(74, 12000 + i * 2.5);
    panel.set_variable(61, 250 + std::sin(i * 0.05) * 5);
    panel.set_variable(556, 25);
    const double start = seconds_now();
    session_->frame();
    const double drawn = seconds_now();
    canvas_.show(session_->picture(), session_->changed());
    UpdateWindow(canvas_.hwnd());
    const double shown = seconds_now();
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    if (i < 0) continue;  // warming up
    update.push_back(session_->update_ms());
    draw.push_back(session_->draw_ms());
    blit.push_back((shown - drawn) * 1000);
    total.push_back((shown - start) * 1000);
  }
  auto figure = [](const Spread& s) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f (%.2f-%.2f)", s.median, s.low, s.high);
    return std::string(text);
  };
  std::printf("| %s | %s | %s | %s | %s |\n", label.c_str(), figure(spread_of(total)).c_str(),
              figure(spread_of(update)).c_str(), figure(spread_of(draw)).c_str(), figure(spread_of(blit)).c_str());
  std::fflush(stdout);
}

void MainWindow::show_session(std::unique_ptr<LayoutEditor> kept_editor) {
  canvas_.set_session(session_.get());
  editor_.reset();
  if (kept_editor) {
    kept_editor->attach(*session_);
    editor_ = std::move(kept_editor);
  } else if (session_->panel() != nullptr) {
    std::string error;
    editor_ = LayoutEditor::open(*session_, log_, &error);
    if (!editor_) log_.add(session_->frame_number(), "no layout mode: " + error);
  }
  if (editor_) editor_->set_modules_folder(options_.modules_folder);
  const bool was_laying_out = layout_mode_;
  layout_mode_ = false;
  canvas_.set_layout(nullptr);
  if (was_laying_out && editor_) set_layout_mode(true);
  EnableWindow(layout_button_, editor_ != nullptr);
  SendMessageA(layout_button_, BM_SETCHECK, layout_mode_ ? BST_CHECKED : BST_UNCHECKED, 0);
  shown_title_.clear();
  update_title();
  fill_window_choices();
  lay_out_children();
  properties_.show(layout_mode_ ? editor_.get() : nullptr, true);
  update_edit_commands();
  update_status();
}

void MainWindow::fill_window_choices() {
  SendMessageA(window_list_, CB_RESETCONTENT, 0, 0);
  HMENU view = GetSubMenu(GetMenu(hwnd_), kViewMenu);
  HMENU windows = GetSubMenu(view, 0);
  while (GetMenuItemCount(windows) > 0) DeleteMenu(windows, 0, MF_BYPOSITION);
  const std::vector<std::string>& names = session_->windows();
  shown_windows_ = names;
  for (size_t i = 0; i < names.size(); ++i) {
    SendMessageA(window_list_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(names[i].c_str()));
    AppendMenuA(windows, MF_STRING | (static_cast<int>(i) == session_->window_index() ? MF_CHECKED : 0),
                ID_WINDOW_FIRST + i, names[i].c_str());
  }
  if (names.empty()) {
    SendMessageA(window_list_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("(not a panel.cfg)"));
    AppendMenuA(windows, MF_STRING | MF_GRAYED, ID_WINDOW_FIRST, "(not a panel.cfg)");
  }
  SendMessageA(window_list_, CB_SETCURSEL, names.empty() ? 0 : session_->window_index(), 0);
  EnableWindow(window_list_, names.size() > 1);
  DrawMenuBar(hwnd_);
}

void MainWindow::open(std::string path, std::string window) {
  SessionOptions options = options_;
  options.window = window;
  carry_inputs(options);
  const std::string previous_path = session_ ? session_->path() : std::string();
  std::string previous_window;
  if (session_ && session_->window_index() >= 0)
    previous_window = session_->windows()[static_cast<size_t>(session_->window_index())];
  previous_window = previous_window.substr(0, previous_window.find(' '));
  canvas_.set_layout(nullptr);
  editor_.reset();
  canvas_.set_session(nullptr);
  inputs_.clear();
  last_places_.clear();
  last_canvas_place_ = {};
  session_.reset();
  std::string error;
  session_ = Session::open(path, options, log_, &error);
  if (!session_) {
    log_.add(0, "cannot open: " + error);
    complain(error);
    if (!previous_path.empty() && previous_path != path) {
      options.window = previous_window;
      session_ = Session::open(previous_path, options, log_, &error);
    }
    if (!session_) {
      DestroyWindow(hwnd_);
      return;
    }
  }
  show_session();
  canvas_.show(Picture(session_->width(), session_->height()), {});
  // The keyboard goes back to the window, whatever control chose the file or window.
  SetFocus(canvas_.hwnd());
}

// The inputs as they are now carry over to what opens (an unset variable reads 0).
void MainWindow::carry_inputs(SessionOptions& options) const {
  const double zero = 0.0;
  if (session_)
    for (const Input& input : session_->inputs())
      if (std::memcmp(&input.value, &zero, sizeof zero) != 0)
        options.start_values.emplace_back(input.token, input.value);
}

// The window laid out is gone from the edited panel (removed, or missing
// from the file read again): the panel is opened anew on the one the editor
// names, and the editor, its edits and their history, goes on with it.
void MainWindow::follow_editor_window() {
  std::unique_ptr<LayoutEditor> editor = std::move(editor_);
  SessionOptions options = options_;
  options.window = editor->window_to_open();
  carry_inputs(options);
  canvas_.set_layout(nullptr);
  canvas_.set_session(nullptr);
  inputs_.clear();
  last_places_.clear();
  last_canvas_place_ = {};
  session_.reset();
  std::string error;
  session_ = Session::open(editor->path(), options, log_, &error);
  if (!session_) {
    options.window.clear();  // the file's first window, as it is on disk
    session_ = Session::open(editor->path(), options, log_, &error);
  }
  if (!session_) {
    log_.add(0, "cannot open: " + error);
    complain(error);
    DestroyWindow(hwnd_);
    return;
  }
  show_session(std::move(editor));
  canvas_.show(Picture(session_->width(), session_->height()), {});
  SetFocus(canvas_.hwnd());
}

void MainWindow::choose_file_to_open() {
  if (!settle_unsaved()) return;
  char file[MAX_PATH] = "";
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = hwnd_;
  dialog.lpstrFilter =
      "Panels, modules and scenarios\0*.cfg;*.gau;*.txt\0panel.cfg\0*.cfg\0Gauge modules\0*.gau\0Scenarios\0*.txt\0";
  dialog.lpstrFile = file;
  dialog.nMaxFile = MAX_PATH;
  dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
  if (!GetOpenFileNameA(&dialog)) return;
  const std::string path = file;
  later([this, path] { open(path, ""); });
}

// The file a person names in the Save dialog, starting from `suggested`;
// empty when they cancel.
std::string MainWindow::ask_file_to_save(const char* filter, const char* extension, const std::string& suggested) {
  char file[MAX_PATH] = "";
  std::snprintf(file, sizeof file, "%s", suggested.c_str());
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = hwnd_;
  dialog.lpstrFilter = filter;
  dialog.lpstrFile = file;
  dialog.nMaxFile = MAX_PATH;
  dialog.lpstrDefExt = extension;
  dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
  return GetSaveFileNameA(&dialog) ? std::string(file) : std::string();
}

void MainWindow::save_picture() {
  if (!session_) return;
  const std::string file = ask_file_to_save("PNG pictures\0*.png\0", "png", file_dialog_name(session_->path(), ".png"));
  std::string error;
  if (!file.empty() && !session_->save_picture(file, &error)) complain(error);
}

void MainWindow::save_scenario() {
  if (!session_) return;
  const std::string file =
      ask_file_to_save("Scenarios\0*.txt\0", "txt", file_dialog_name(session_->path(), "_recorded.txt"));
  std::string error;
  if (!file.empty() && !session_->save_scenario(file, &error)) complain(error);
}

void MainWindow::set_paused(bool paused) {
  paused_ = paused;
  SetWindowTextA(pause_button_, paused_ ? "Play" : "Pause");
  ModifyMenuA(GetMenu(hwnd_), ID_RUN_PAUSE, MF_BYCOMMAND | MF_STRING, ID_RUN_PAUSE,
              paused_ ? "&Play\tCtrl+Space" : "&Pause\tCtrl+Space");
  log_.add(session_ ? session_->frame_number() : 0, paused_ ? "paused" : "playing");
  update_status();
}

void MainWindow::set_zoom(int percent) {
  if (percent == canvas_.zoom()) return;
  canvas_.set_zoom(percent);
  log_places();
  update_status();
}

void MainWindow::update_status() {
  if (status_ == nullptr) return;
  char text[128];
  std::snprintf(text, sizeof text, "%.1f frames/s", paused_ ? 0.0 : frames_per_second_);
  SendMessageA(status_, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text));
  std::snprintf(text, sizeof text, "frame %.2f ms", frame_ms_);
  SendMessageA(status_, SB_SETTEXTA, 1, reinterpret_cast<LPARAM>(text));
  std::snprintf(text, sizeof text, "frame %d", session_ ? session_->frame_number() : 0);
  SendMessageA(status_, SB_SETTEXTA, 2, reinterpret_cast<LPARAM>(text));
  std::string state = paused_ ? "paused" : "running";
  state += ", zoom " + std::to_string(canvas_.zoom()) + " %";
  if (session_ && session_->is_scenario()) state += ", " + session_->scenario_state();
  SendMessageA(status_, SB_SETTEXTA, 3, reinterpret_cast<LPARAM>(state.c_str()));
}

// Where the canvas and the inputs' controls are on the screen, for scripts
// that drive the window as a person would.
void MainWindow::log_places() {
  if (!session_ || hwnd_ == nullptr) return;
  POINT origin{0, 0};
  ClientToScreen(canvas_.hwnd(), &origin);
  const SIZE shown = canvas_.shown_size();
  const RECT place{origin.x, origin.y, origin.x + shown.cx, origin.y + shown.cy};
  if (!EqualRect(&place, &last_canvas_place_)) {
    last_canvas_place_ = place;
    log_.add_to_file(session_->frame_number(),
                     "place canvas " + rect_text(place) + " zoom " + std::to_string(canvas_.zoom()));
  }
  std::vector<std::pair<std::string, RECT>> places = inputs_.control_places();
  RECT list{};
  GetWindowRect(window_list_, &list);  // the closed list, as it is clicked
  places.emplace_back("window list", list);
  for (auto& place : properties_.control_places()) places.push_back(std::move(place));
  for (const auto& [what, rect] : places) {
    auto& last = last_places_[what];
    if (EqualRect(&rect, &last)) continue;
    last = rect;
    log_.add_to_file(session_->frame_number(), "place " + what + " " + rect_text(rect));
  }
}

void MainWindow::append_log_line(const std::string& line) {
  log_pane_pending_.push_back(line);
  if (log_pane_pending_.size() > kLogPaneLines) log_pane_pending_.pop_front();
}

void MainWindow::show_pending_log_lines() {
  if (log_pane_ == nullptr || log_pane_pending_.empty()) return;
  SendMessageA(log_pane_, WM_SETREDRAW, FALSE, 0);
  for (const std::string& line : log_pane_pending_)
    SendMessageA(log_pane_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
  log_pane_pending_.clear();
  LRESULT count = SendMessageA(log_pane_, LB_GETCOUNT, 0, 0);
  for (; count > static_cast<LRESULT>(kLogPaneLines); --count) SendMessageA(log_pane_, LB_DELETESTRING, 0, 0);
  SendMessageA(log_pane_, LB_SETTOPINDEX, std::max<LRESULT>(count - 1, 0), 0);
  SendMessageA(log_pane_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(log_pane_, nullptr, TRUE);
}

void MainWindow::complain(const std::string& message) {
  MessageBoxA(hwnd_, message.c_str(), "gaugeview", MB_OK | MB_ICONWARNING);
}

void MainWindow::set_layout_mode(bool on) {
  if (on && !editor_) return;
  if (on == layout_mode_) return;
  layout_mode_ = on;
  canvas_.set_layout(on ? editor_.get() : nullptr);
  SendMessageA(layout_button_, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
  log_.add(session_ ? session_->frame_number() : 0, on ? "layout on" : "layout off");
  if (!on) SendMessageA(status_, SB_SETTEXTA, 4, reinterpret_cast<LPARAM>(""));
  properties_.show(on ? editor_.get() : nullptr, true);
  update_edit_commands();
  // The keys of layout mode are the canvas's.
  SetFocus(canvas_.hwnd());
}

void MainWindow::after_edit(bool picture) {
  if (!session_) return;
  if (editor_ && !editor_->window_to_open().empty()) {
    follow_editor_window();
    return;
  }
  if (picture) canvas_.show_edit();
  properties_.show(layout_mode_ ? editor_.get() : nullptr, false);
  update_title();
  update_edit_commands();
  if (session_->windows() != shown_windows_) fill_window_choices();
  log_places();
}

// An edit of the menu or a box: made from the loop (it may load or unload a
// module), in layout mode alone.
void MainWindow::edit_later(std::function<void()> edit) {
  if (!editor_ || !layout_mode_) return;
  later([this, edit = std::move(edit)] {
    if (!editor_ || !layout_mode_) return;
    edit();
    after_edit();
  });
}

void MainWindow::update_title() {
  if (!session_) return;
  const std::string title = "gaugeview - " + session_->title() + (editor_ && editor_->modified() ? " *" : "");
  if (title == shown_title_) return;
  shown_title_ = title;
  SetWindowTextA(hwnd_, title.c_str());
}

// A command the moment does not allow is greyed, its shortcut with it.
void MainWindow::update_edit_commands() {
  HMENU menu = GetMenu(hwnd_);
  if (menu == nullptr) return;
  auto enable = [&](int id, bool enabled) {
    EnableMenuItem(menu, static_cast<UINT>(id), MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
  };
  const bool editing = editor_ && layout_mode_;
  const bool selected = editing && !editor_->selection().empty();
  enable(ID_EDIT_LAYOUT, editor_ != nullptr);
  CheckMenuItem(menu, ID_EDIT_LAYOUT, MF_BYCOMMAND | (layout_mode_ ? MF_CHECKED : MF_UNCHECKED));
  enable(ID_EDIT_UNDO, editing && editor_->can_undo());
  enable(ID_EDIT_REDO, editing && editor_->can_redo());
  enable(ID_EDIT_BRING_FORWARD, selected);
  enable(ID_EDIT_SEND_BACKWARD, selected);
  enable(ID_EDIT_DELETE, selected);
  enable(ID_EDIT_ADD_GAUGE, editing);
  enable(ID_EDIT_WINDOW_PROPERTIES, editing);
  enable(ID_FILE_SAVE_PANEL, editor_ != nullptr);
  enable(ID_FILE_SAVE_PANEL_AS, editor_ != nullptr);
}

void MainWindow::show_message(const std::string& message) {
  SendMessageA(status_, SB_SETTEXTA, 5, reinterpret_cast<LPARAM>(message.c_str()));
}

// Twice a second: the panel.cfg read again when another program changed it.
void MainWindow::check_panel_file() {
  if (!editor_ || editor_->dragging() || asking_) return;
  editor_->check_disk();
  settle_disk_change();
  after_edit();
}

void MainWindow::settle_disk_change() {
  if (editor_ && editor_->needs_decision() && !asking_) {
    asking_ = true;
    const std::string question = file_name_of(editor_->path()) + " changed on disk. Keep your unsaved layout edits?";
    const int answer = MessageBoxA(hwnd_, question.c_str(), "gaugeview", MB_YESNO | MB_ICONQUESTION);
    asking_ = false;
    SetFocus(canvas_.hwnd());
    if (!editor_) return;
    if (answer == IDYES)
      editor_->keep_edits();
    else
      editor_->take_disk();
  }
  if (editor_ && editor_->last_problem() != shown_problem_) {
    shown_problem_ = editor_->last_problem();
    if (!shown_problem_.empty()) show_message(shown_problem_);
  }
}

bool MainWindow::save_panel(bool choose_file) {
  if (!editor_ || asking_) return false;
  std::string error;
  LayoutEditor::SaveResult result;
  if (choose_file) {
    const std::string file = ask_file_to_save("panel.cfg\0*.cfg\0", "cfg", file_name_of(editor_->path()));
    if (file.empty()) return false;
    result = editor_->save_as(file, &error);
  } else {
    result = editor_->save(false, &error);
  }
  if (result == LayoutEditor::SaveResult::kChangedOnDisk) {
    asking_ = true;
    const int answer = ask_with_buttons(
        hwnd_, instance_, IDD_CHANGED_ON_DISK,
        file_name_of(editor_->path()) + " was changed by another program since it was read. Overwrite it?");
    asking_ = false;
    SetFocus(canvas_.hwnd());  // the keyboard back from the question
    if (answer != IDOK) {
      show_message("not saved: the file changed on disk");
      return false;
    }
    result = editor_->save(true, &error);
  }
  if (result != LayoutEditor::SaveResult::kSaved) {
    if (error.empty()) error = "the file changed on disk";
    show_message("not saved: " + error);
    complain("Not saved: " + error);
    return false;
  }
  show_message("saved " + editor_->path());
  after_edit(false);
  return true;
}

void MainWindow::after_pending(UINT message, WPARAM wparam) {
  later([this, message, wparam] { PostMessageA(hwnd_, message, wparam, 0); });
}

void MainWindow::quit() {
  if (hwnd_ != nullptr && IsWindow(hwnd_) && settle_unsaved()) DestroyWindow(hwnd_);
}

bool MainWindow::settle_unsaved() {
  if (!editor_ || !editor_->modified()) return true;
  const int answer =
      ask_with_buttons(hwnd_, instance_, IDD_UNSAVED, "Save the changes to " + file_name_of(editor_->path()) + "?");
  SetFocus(canvas_.hwnd());
  if (answer == IDOK) return save_panel(false);
  return answer == IDC_DISCARD;
}

void MainWindow::add_gauge() {
  if (!editor_ || !layout_mode_) return;
  const std::optional<GaugeChoice> choice = ask_gauge_to_add(hwnd_, instance_, editor_->offers());
  if (!choice) return;
  const std::optional<std::pair<int, int>> at = canvas_.last_point();
  edit_later([this, choice, at] {
    std::string error;
    if (!editor_->add_gauge(choice->module, choice->gauge, at, &error)) show_message("refused: " + error);
  });
  SetFocus(canvas_.hwnd());
}

void MainWindow::edit_window_properties() {
  if (!editor_ || !layout_mode_) return;
  const WindowProperties before = properties_of(editor_->window());
  WindowProperties after = before;
  switch (ask_window_properties(hwnd_, instance_, &after)) {
    case WindowAction::kApply:
      edit_later([this, before, after] {
        for (const auto& [key, value] : changed_keys(before, after)) {
          std::string error;
          if (!editor_->set_window_key(key, value, &error)) show_message("refused: " + error);
        }
      });
      break;
    case WindowAction::kAddWindow:
      if (const std::optional<std::string> title = ask_new_window_title(hwnd_, instance_))
        edit_later([this, title = *title] {
          std::string error;
          if (!editor_->add_window(title, &error)) show_message("refused: " + error);
        });
      break;
    case WindowAction::kRemoveWindow: {
      const std::string question = "Remove " + editor_->window().name() + " and its gauges from the panel?";
      if (MessageBoxA(hwnd_, question.c_str(), "gaugeview", MB_YESNO | MB_ICONQUESTION) == IDYES)
        edit_later([this] {
          std::string error;
          if (!editor_->remove_window(&error)) show_message("refused: " + error);
        });
      break;
    }
    case WindowAction::kCancel:
      break;
  }
  SetFocus(canvas_.hwnd());
}

}  // namespace tarnwix::view
