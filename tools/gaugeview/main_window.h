// The main window: the menu and its shortcuts, a strip with the panel's
// windows and the play controls, the canvas, the inputs pane, the log pane
// and the status bar; and the loop that runs the session's frames at the
// rate asked for while it answers the person. With a panel.cfg open, layout
// mode: the menu's edits, the properties row and the questions about unsaved
// edits, all handed to the layout editor.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "arguments.h"
#include "canvas_view.h"
#include "event_log.h"
#include "inputs_pane.h"
#include "layout_editor.h"
#include "properties_row.h"
#include "session.h"

namespace tarnwix::view {

class MainWindow {
 public:
  MainWindow(const Arguments& arguments, const SessionOptions& options, EventLog& log);
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Shows the window with the session open in it.
  bool create(HINSTANCE instance, std::unique_ptr<Session> session);
  // Runs until the window is closed; the exit status.
  int run();
  // Writes what the session recorded as a scenario (--record, on exit).
  bool save_recording(const std::string& path, std::string* error) const {
    return session_ != nullptr && session_->save_scenario(path, error);
  }
  // Runs `frames` frames as fast as they go, timing each part; prints the figures.
  void bench(int frames, const std::string& label);

 private:
  template <typename Owner>
  friend LRESULT CALLBACK window_procedure(HWND, UINT, WPARAM, LPARAM);
  LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);
  void on_command(int id);
  void on_size();
  void lay_out_children();

  // The session's work: every call into a module happens here, from the
  // loop, never inside a window procedure. Saving and quitting wait behind
  // the edits asked for before them (after_pending).
  void later(std::function<void()> work) { pending_.push_back(std::move(work)); }
  void run_frame();
  // A kept editor goes on laying out the new session (follow_editor_window).
  void show_session(std::unique_ptr<LayoutEditor> kept_editor = nullptr);
  void carry_inputs(SessionOptions& options) const;
  void follow_editor_window();
  // By value: the names may come from the session that this replaces.
  void open(std::string path, std::string window);
  void choose_file_to_open();
  std::string ask_file_to_save(const char* filter, const char* extension, const std::string& suggested);
  void save_picture();
  void save_scenario();
  void set_paused(bool paused);
  void set_zoom(int percent);
  void update_status();
  void log_places();
  void fill_window_choices();
  // Log lines wait in log_pane_pending_ until the loop shows them together.
  void append_log_line(const std::string& line);
  void show_pending_log_lines();
  void complain(const std::string& message);

  // Layout mode.
  void set_layout_mode(bool on);
  // What an edit changed, shown: the picture, the selection, the row, the
  // title, the menu.
  void after_edit(bool picture = true);
  void edit_later(std::function<void()> edit);
  void update_title();
  void update_edit_commands();
  void show_message(const std::string& message);
  void check_panel_file();
  void settle_disk_change();
  bool save_panel(bool choose_file);
  // Unsaved edits: saved, dropped, or the person stays (false).
  bool settle_unsaved();
  void quit();
  // Posts the message once the work waiting now is done.
  void after_pending(UINT message, WPARAM wparam);
  void add_gauge();
  void edit_window_properties();

  const Arguments& arguments_;
  SessionOptions options_;
  EventLog& log_;
  HINSTANCE instance_ = nullptr;
  HWND hwnd_ = nullptr;
  HWND strip_window_label_ = nullptr, window_list_ = nullptr, pause_button_ = nullptr, step_button_ = nullptr,
       layout_button_ = nullptr;
  HWND log_pane_ = nullptr, status_ = nullptr;
  HACCEL accelerators_ = nullptr;
  CanvasView canvas_;
  InputsPane inputs_;
  PropertiesRow properties_;
  std::unique_ptr<Session> session_;
  // Declared after the session, which it edits: it goes first.
  std::unique_ptr<LayoutEditor> editor_;
  bool layout_mode_ = false;
  bool asking_ = false;  // a question about the file is open
  std::string shown_title_, shown_problem_;
  std::vector<std::string> shown_windows_;
  std::deque<std::function<void()>> pending_;
  std::deque<std::string> log_pane_pending_;
  bool paused_ = false;
  bool step_once_ = false;
  bool quitting_ = false;
  double frame_ms_ = 0, frames_per_second_ = 0;
  RECT last_canvas_place_{};
  std::map<std::string, RECT> last_places_;
};

}  // namespace tarnwix::view
