// The layout mode's dialogs, from the templates of gaugeview.rc: what the
// person chose, handed back for the main window to turn into edits.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "layout_editor.h"

namespace tarnwix::view {

// A question with the buttons of its template (IDD_UNSAVED: Save, Discard,
// Cancel; IDD_CHANGED_ON_DISK: Overwrite, Cancel): the id of the button
// pressed (IDOK, IDC_DISCARD, IDCANCEL; Esc and the close box are IDCANCEL).
int ask_with_buttons(HWND owner, HINSTANCE instance, int dialog, const std::string& message);

struct GaugeChoice {
  std::string module, gauge;
};
// Add gauge: one of the offers, or a "Module!Gauge" typed; none when cancelled.
std::optional<GaugeChoice> ask_gauge_to_add(HWND owner, HINSTANCE instance,
                                            const std::vector<LayoutEditor::Offer>& offers);

// A window's keys as the dialog shows them, in the file's own words.
struct WindowProperties {
  std::string title, file, size_mm, ident, position;
  bool visible = true;
};
WindowProperties properties_of(const host::PanelWindow& window);
// The keys whose values differ, as (key, value) for set_window_key.
std::vector<std::pair<std::string, std::string>> changed_keys(const WindowProperties& before,
                                                              const WindowProperties& after);

enum class WindowAction { kCancel, kApply, kAddWindow, kRemoveWindow };
// Window properties: *properties holds what the dialog shows, and on kApply
// what the person set.
WindowAction ask_window_properties(HWND owner, HINSTANCE instance, WindowProperties* properties);
// The title of a window to add; none when cancelled.
std::optional<std::string> ask_new_window_title(HWND owner, HINSTANCE instance);

}  // namespace tarnwix::view
