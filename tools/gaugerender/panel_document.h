// A panel.cfg as its builder wrote it, and the layout edits made to it.
// Plain C++ over text, like the reader beside it (panel_config.h), which it
// shares its reading of a line with, so the two cannot disagree about what a
// line is; it also builds natively, for the tests and the fuzzer.
//
//   - The document keeps every line as read, with its line end (LF, CR LF,
//     or none on a last line without one). Its model is always what the
//     reader reads from the text as it stands.
//   - An edit changes only the lines it names, in place: a changed line
//     keeps its leading blanks, its key as spelled, the Module!Gauge text as
//     written, the separator after its commas, the gauge's parameters after
//     its height and its own line-end comment. Every other byte stays.
//   - A new gauge line goes after the window's last gauge line (after its
//     section's last line with a key when it has none), keyed and spaced as
//     the file's other gauge lines are, ending as the file's lines end.
//   - Removing a gauge renumbers the gauge lines after it in the window, so
//     that a window never gains a gap in its numbering (the simulator stops
//     reading a window's gauges at the first gap); each renumbering is
//     reported.
//   - Numbers are written as whole numbers when whole, else with at most
//     three decimals; the model holds what is written.
//   - An edit the reader would refuse (a value out of range, a negative
//     size, a window that does not exist) is refused in words, and the
//     document is left as it was.
//   - Undo and redo step through the edits in order; undoing every edit
//     gives back the bytes read.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "panel_config.h"

namespace tarnwix::host {

// Where a gauge is in its window, in the window's units (size_mm units).
// No width: the gauge is its own size; a width alone keeps its aspect.
struct GaugePlace {
  double x = 0, y = 0;
  std::optional<double> width, height;
  friend bool operator==(const GaugePlace&, const GaugePlace&) = default;
};

// The changes an edit is made of. A window is named as PanelWindow::name()
// gives it ("Window00", "VCockpit01"); a gauge by its index in that window's
// gauges (gaugeNN order, as PanelWindow::gauges holds them).
namespace change {

// The gauge's x, y, width and height as `place` gives them.
struct Place {
  std::string window;
  size_t index = 0;
  GaugePlace place;
};
// A new gauge line after the window's last: "gaugeNN=Module!Gauge, x, y[, w[, h]]".
struct AddGauge {
  std::string window;
  std::string module, gauge;
  GaugePlace place;
};
// The gauge's line goes; the gauge lines after it are renumbered.
struct RemoveGauge {
  std::string window;
  size_t index = 0;
};
// The gauge moves `offset` places in the window's drawing order (+1 brings it
// forward, over the next one): the two lines exchange what follows their keys.
struct Reorder {
  std::string window;
  size_t index = 0;
  int offset = 0;
};
// A key of the window's section: "file", "size_mm", "visible", "ident",
// "position", "pixel_size", "texture", or "title" (its entry in
// [Window Titles]). The first line of that key is rewritten, or a line is
// added; an empty value removes the line.
struct SetWindowKey {
  std::string window;
  std::string key;
  std::string value;
};
// A new section at the file's end ("[Window02]"), with a title entry in
// [Window Titles] for a 2D window (the section is added when missing).
struct AddWindow {
  std::string window;
  std::string title;
};
// The window's section and its title entry go.
struct RemoveWindow {
  std::string window;
};

}  // namespace change

using PanelChange = std::variant<change::Place, change::AddGauge, change::RemoveGauge, change::Reorder,
                                 change::SetWindowKey, change::AddWindow, change::RemoveWindow>;

// One step of the undo history: a drag of three gauges is one edit of three
// places.
struct PanelEdit {
  std::vector<PanelChange> changes;
};

// A number as the document writes it: "770", "12.5", "-0.125".
std::string panel_number_text(double value);

class PanelDocument {
 public:
  // Reads the text as parse_panel_config does; nothing, with the reader's
  // message in *error, when the reader refuses it.
  static std::optional<PanelDocument> read(std::string text, const std::string& source, std::string* error);

  // The model: what the reader reads from text().
  const PanelConfig& config() const { return config_; }
  // The bytes to write, and those that were read.
  std::string text() const;
  const std::string& original() const { return original_; }

  // Applies the edit as one step of the history (the steps undone before it
  // are dropped). Each change adds its line in the log's words to *log:
  // "move Window00 gauge02 Tarnwix_Altimeter to 770, 120", "renumber
  // Window00 gauge03 (line 19) to gauge02". False, with why in *error and
  // nothing changed, when any change of it cannot be made.
  bool apply(const PanelEdit& edit, std::vector<std::string>* log, std::string* error);
  // The same, but in place of the last step when that was also made by
  // apply_merged since the last apply or undo: the steps of one drag merge
  // into one edit. `log` then holds the lines of the merged step as a whole.
  bool apply_merged(const PanelEdit& edit, std::vector<std::string>* log, std::string* error);
  // Closes the step apply_merged was building: the next apply_merged starts
  // a step of its own.
  void end_merge();
  // Takes back the step apply_merged was building, as if it had never been
  // made (a drag that ends where it started): the text before it, and the
  // steps to redo that it had dropped. False when no merge is under way.
  bool withdraw_merged();

  bool can_undo() const;
  bool can_redo() const;
  // Steps back or forward; false when there is nothing to undo or redo. *log
  // receives "undo move Window00 ..." lines.
  bool undo(std::vector<std::string>* log);
  bool redo(std::vector<std::string>* log);

  // Whether text() differs from the bytes last saved (or read).
  bool modified() const;
  // The text now stands in the file (after a save).
  void mark_saved();

 private:
  struct Line {
    std::string text;  // without its line end
    std::string end;   // "\n", "\r\n" or "" (a last line without one)
  };
  struct Step {
    std::vector<Line> before, after;
    std::vector<std::string> log;
  };

  struct Editor;  // makes one change to a copy of the lines (panel_document.cpp)

  PanelDocument() = default;
  bool run(const PanelEdit& edit, bool merge, std::vector<std::string>* log, std::string* error);
  void settle(std::vector<Line> lines);

  std::string source_;
  std::string original_;
  std::vector<Line> lines_;
  PanelConfig config_;
  std::string saved_;
  std::vector<Step> undo_, redo_;
  bool merging_ = false;
  std::vector<Step> redo_before_merge_;  // what the merge under way dropped
};

// Writing a panel.cfg back, for the layout editor. Every save is atomic: the
// bytes go to a temporary file in the same folder, flushed to the disk, then
// renamed over the file, so a crash, a full disk or a refused write leaves
// the old file or the new one, never half of one.
struct PanelSave {
  std::string path;   // the panel.cfg to write
  std::string bytes;  // what it is to hold
  // What the file must still hold for the save to go ahead (the bytes read,
  // or last saved); none for a file that is new to the session (Save as).
  std::optional<std::string> expected;
  // Keep the file as it is now as PATH.bak before it is replaced (the first
  // save of a session). An older PATH.bak is replaced, and a note says so.
  bool keep_backup = false;
};

enum class SaveOutcome {
  kSaved,
  kChangedOnDisk,  // the file no longer holds `expected`: nothing written
  kFailed,         // *error says why, in words; nothing written
};

// Notes (the backup kept, an older backup replaced) go to *notes.
SaveOutcome save_panel_file(const PanelSave& save, std::vector<std::string>* notes, std::string* error);

// The whole file, or nothing with why in *error.
std::optional<std::string> read_panel_file(const std::string& path, std::string* error);

}  // namespace tarnwix::host
