// Laying out the open window of a panel.cfg: what layout mode does with the
// mouse and the keys, turned into edits of the builder's file. Knows nothing
// of windows on the screen (the main window and the canvas only turn mouse
// and keys into these calls), so that the tests drive it without a display.
//
//   - The selection is a set of the window's gauges, by their index in the
//     window's gauges (gaugeNN order, the drawing order).
//   - Points are in the window's picture pixels (the canvas undoes its zoom
//     and scrolling); edits are in the window's units (size_mm units), rounded
//     to whole units: a pixel is 1 / scale units.
//   - Every edit goes through the document (PanelDocument), is logged as
//     "frame N: move Window00 gauge02 Tarnwix_Altimeter to 770, 120" and so
//     on, and is laid out at once by the session (Session::set_panel), the
//     modules running on. A drag is one edit, logged when it ends.
//   - The file on disk is watched: read again when it changed and no edit is
//     unsaved, else the person is asked (needs_decision).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "event_log.h"
#include "panel_document.h"
#include "session.h"

namespace tarnwix::view {

// What a point over the selection grabs: its body, or one of eight handles.
enum class Grip { kNone, kBody, kTopLeft, kTop, kTopRight, kRight, kBottomRight, kBottom, kBottomLeft, kLeft };

// A line the dragged edges or centres snapped to, in picture pixels, shown
// while the drag lasts.
struct SnapGuide {
  bool vertical = false;  // a vertical line at x = position, else horizontal at y
  int position = 0;
};

class LayoutEditor {
 public:
  // Snapping reaches this many screen pixels; the caller divides by the zoom.
  static constexpr int kSnapScreenPixels = 6;
  // A handle is grabbed this many screen pixels around its square.
  static constexpr int kHandleScreenPixels = 4;

  // For the panel.cfg the session has open, read from disk; null with why in
  // *error for a session without one (a module, a scenario of module lines).
  static std::unique_ptr<LayoutEditor> open(Session& session, EventLog& log, std::string* error);
  ~LayoutEditor();

  const host::PanelDocument& document() const;
  const std::string& path() const;
  // The window being laid out, as the model has it now.
  const host::PanelWindow& window() const;
  // The session shows one window and cannot change it: when the window it
  // shows is gone from the model (removed, or missing from the file read
  // again), this names the window to show instead (the first), and the
  // editor edits that one from then on. The main window opens the panel anew
  // on it and hands the new session to attach(). Empty while the session
  // shows the window being laid out.
  const std::string& window_to_open() const;
  // Lays out through this session from now on (the panel opened anew on
  // window_to_open()): the edits and their history are kept and laid out at
  // once, the selection cleared. The old session may be closed before this
  // call, as long as nothing is asked of the editor in between.
  void attach(Session& session);
  // Where the session finds the modules (SessionOptions::modules_folder): the
  // Add gauge list offers them besides those of the panel's folder (alone
  // until this is called).
  void set_modules_folder(const std::string& folder);

  // --- Selection -----------------------------------------------------------
  const std::vector<size_t>& selection() const;
  // The topmost gauge at the point (as drawn), or none.
  std::optional<size_t> gauge_at(int x, int y) const;
  // A click: selects the gauge under the point alone, or with `toggle`
  // (Ctrl) adds or removes it; on empty panel, clears (unless toggle).
  void click(int x, int y, bool toggle);
  // A rubber band: the gauges it touches, added to the selection with `add`.
  void select_in(const Rect& band, bool add);
  // Tab and Shift+Tab: the next or previous gauge in line order, alone.
  void step(bool backward);
  void clear_selection();
  // Where each selected gauge is drawn, in picture pixels (for its outline
  // and handles).
  std::vector<Rect> selected_rects() const;

  // --- Move and size -------------------------------------------------------
  // What a press at the point grabs; `tolerance` in picture pixels.
  Grip grip_at(int x, int y, int tolerance) const;
  // A press on the selection's body or a handle starts a drag.
  void begin_drag(int x, int y, Grip grip);
  // The pointer has moved: the selection follows, snapped (edges and centres
  // to the other gauges' and the window's, within `snap` picture pixels)
  // unless `free` (Alt); `keep_aspect` (Shift) when sizing. Laid out at once.
  void drag_to(int x, int y, bool keep_aspect, bool free, int snap);
  // The button is up: the drag becomes one edit, logged.
  void end_drag();
  bool dragging() const;
  const std::vector<SnapGuide>& guides() const;
  // Arrow keys: the selection moves by (dx, dy) units (the caller passes 1,
  // or 10 with Shift), each result rounded to a whole unit.
  void nudge(int dx, int dy);

  // --- Exact values --------------------------------------------------------
  // The selected gauge's line as the document holds it, without its leading
  // blanks and its line-end comment:
  // "gauge02=Tarnwix_Altimeter!Tarnwix_Altimeter, 762, 120"; empty unless
  // exactly one gauge is selected.
  std::string selected_line() const;
  std::optional<host::GaugePlace> selected_place() const;
  // Enter in the properties row; false with why when refused.
  bool set_selected_place(const host::GaugePlace& place, std::string* error);

  // --- Order, add, remove --------------------------------------------------
  void bring_forward();
  void send_backward();
  // A module the Add gauge list offers: its file and the gauges it holds.
  struct Offer {
    std::string module;  // "Tarnwix_Airspeed"
    std::string file;    // its path
    std::vector<std::string> gauges;
    bool ours = false;  // runs at once; any other is placed as its outline
  };
  // Every module of the modules folder and the panel's folder.
  std::vector<Offer> offers() const;
  // Places the gauge with its top-left corner at the point (picture pixels),
  // or at the window's centre without one, in whole units; selects it.
  bool add_gauge(const std::string& module, const std::string& gauge, std::optional<std::pair<int, int>> at,
                 std::string* error);
  // Removes the selected gauges; the log says which lines were renumbered.
  void delete_selected();

  // --- Windows -------------------------------------------------------------
  bool set_window_key(const std::string& key, const std::string& value, std::string* error);
  // A new window after the last ("Window02"), titled; false with why.
  bool add_window(const std::string& title, std::string* error);
  // Removes the window being laid out (not the panel's last): the first is
  // laid out from then on, and window_to_open() names it.
  bool remove_window(std::string* error);

  // --- History -------------------------------------------------------------
  bool undo();
  bool redo();
  bool can_undo() const;
  bool can_redo() const;
  // Edits not yet saved: the title shows "*".
  bool modified() const;

  // --- The file ------------------------------------------------------------
  enum class SaveResult { kSaved, kChangedOnDisk, kFailed };
  // Writes the edits over the file (atomic; the first save of the session
  // keeps PATH.bak). kChangedOnDisk: the file was changed by another program
  // since it was read, and `overwrite` was not given: nothing written, ask.
  SaveResult save(bool overwrite, std::string* error);
  // Save as: from then on the editor edits that file.
  SaveResult save_as(const std::string& path, std::string* error);

  // Called twice a second: when the file changed on disk and has stopped
  // changing, it is read again and laid out (no unsaved edits), or
  // needs_decision() turns true. A file that no longer reads leaves the
  // window as it was; last_problem() says file, line and what is wrong.
  void check_disk();
  bool needs_decision() const;
  // The person chose: the file on disk (drops the edits), or the edits
  // (the next save asks before it overwrites).
  void take_disk();
  void keep_edits();
  // F5: reads the file again now (asks through needs_decision as above).
  void reload();
  const std::string& last_problem() const;

 private:
  struct State;
  LayoutEditor(Session& session, EventLog& log);
  std::unique_ptr<State> state_;
};

}  // namespace tarnwix::view
