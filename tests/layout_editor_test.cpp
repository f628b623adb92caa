// The layout editor without a display, over a copy of the example panel with
// the real modules running: what a click, a band, Tab, a drag, a handle and
// the arrows select and write, byte for byte; undo, saving and its backup;
// the file changed or broken by another program.
#include "layout_editor.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <fstream>
#include <sstream>

#include "picture_files.h"
#include "session.h"
#include "support.h"

namespace tarnwix::test {
namespace {

using view::EventLog;
using view::Grip;
using view::LayoutEditor;
using view::Rect;
using view::Session;
using view::SessionOptions;

std::string read_file(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}
void write_file(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

// The text with its first `from` replaced by `to`.
std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

bool logged(const EventLog& log, const std::string& text) {
  for (const std::string& line : log.lines())
    if (line.find(text) != std::string::npos) return true;
  return false;
}
std::string all_lines(const EventLog& log) {
  std::string text;
  for (const std::string& line : log.lines()) text += line + "\n";
  return text;
}

using Selection = std::vector<size_t>;

// A copy of the example panel (or of a panel.cfg of the test's own beside the
// example's background) in a folder of its own, opened with its editor.
class LayoutEditorTest : public ::testing::Test {
 protected:
  LayoutEditorTest() : folder(::testing::UnitTest::GetInstance()->current_test_info()->name()) {}

  void SetUp() override {
    const std::string example = dist_dir() + "/example_panel";
    path = folder.path + "/panel.cfg";
    ASSERT_TRUE(CopyFileA((example + "/panel.cfg").c_str(), path.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA((example + "/background.bmp").c_str(), (folder.path + "/background.bmp").c_str(), FALSE));
    original = read_file(path);
    ASSERT_FALSE(original.empty());
  }

  void open(const std::string& window = "") {
    editor.reset();
    session.reset();
    SessionOptions options;
    options.modules_folder = dist_dir();
    options.window = window;
    std::string error;
    session = Session::open(path, options, log, &error);
    ASSERT_NE(session, nullptr) << error;
    editor = LayoutEditor::open(*session, log, &error);
    ASSERT_NE(editor, nullptr) << error;
    editor->set_modules_folder(dist_dir());
  }
  void open_text(const std::string& text) {
    write_file(path, text);
    original = text;
    open();
  }

  Rect rect(size_t index) const {
    const host::PanelPlacement& place = session->layout().placements.at(index);
    return {place.x, place.y, place.width, place.height};
  }
  // The gauge's line as the file holds it.
  std::string line_of(size_t index) const {
    return lines_of(editor->document().text()).at(editor->window().gauges.at(index).line - 1);
  }
  void select(size_t index) {
    editor->clear_selection();
    const Rect r = rect(index);
    editor->select_in({r.x + 1, r.y + 1, 0, 0}, false);
    ASSERT_EQ(editor->selection(), Selection{index});
  }
  // A press on the body of the selection's first gauge, moved by (dx, dy).
  void drag_body(int dx, int dy, bool free = true, int snap = 0) {
    const Rect r = editor->selected_rects().at(0);
    const int x = r.x + r.width / 2, y = r.y + r.height / 2;
    ASSERT_EQ(editor->grip_at(x, y, 0), Grip::kBody);
    editor->begin_drag(x, y, Grip::kBody);
    editor->drag_to(x + dx / 2, y + dy / 2, false, free, snap);  // a step on the way
    editor->drag_to(x + dx, y + dy, false, free, snap);
  }
  // Every line the save changed, as "before -> after".
  std::vector<std::string> changed_lines() const {
    const std::vector<std::string> before = lines_of(original), after = lines_of(read_file(path));
    std::vector<std::string> changed;
    for (size_t i = 0; i < std::max(before.size(), after.size()); ++i) {
      const std::string a = i < before.size() ? before[i] : "(none)", b = i < after.size() ? after[i] : "(none)";
      if (a != b) changed.push_back(a + " -> " + b);
    }
    return changed;
  }
  void save() {
    std::string error;
    ASSERT_EQ(editor->save(false, &error), LayoutEditor::SaveResult::kSaved) << error;
  }
  // Another program writes the file; the editor looks twice, as its timer does.
  void rewrite(const std::string& text) {
    write_file(path, text);
    editor->check_disk();
    editor->check_disk();
  }

  TemporaryFolder folder;
  std::string path, original;
  EventLog log;
  std::unique_ptr<Session> session;
  std::unique_ptr<LayoutEditor> editor;
};

// Outlined gauges of another maker, of sizes the lines give, on a window
// without a background, where a unit is a pixel.
const char kBoxes[] =
    "[Window00]\n"
    "size_mm=400,300\n"
    "gauge00=Acme_Box!A, 100, 100, 50, 40\n"
    "gauge01=Acme_Box!B, 200, 100, 60, 40\n"
    "gauge02=Acme_Box!C, 100, 200, 100, 50\n";

// ---- Selecting

TEST_F(LayoutEditorTest, AClickPicksTheTopmostGaugeAndCtrlTogglesIt) {
  // A clock over the airspeed's lower right (the airspeed: 160, 120, 101 x 330).
  open_text(replaced(original, "gauge04=Acme_Clock!Clock, 34, 600, 150, 90\n",
                     "gauge04=Acme_Clock!Clock, 34, 600, 150, 90\ngauge05=Acme_Clock!Clock, 200, 200, 100, 100\n"));
  ASSERT_EQ(session->layout().placements.size(), 6u);
  struct Row {
    int x, y;
    bool toggle;
    Selection expected;
  };
  const Rect altimeter = rect(2), strip = rect(3);
  const Row rows[] = {
      {210, 210, false, {5}},                            // the later one is drawn over
      {165, 125, false, {0}},                            // the airspeed alone
      {altimeter.x + 5, altimeter.y + 5, true, {0, 2}},  // Ctrl adds
      {strip.x + 5, strip.y + 5, true, {0, 2, 3}},
      {165, 125, true, {2, 3}},       // Ctrl removes
      {2, 2, true, {2, 3}},           // Ctrl on empty panel keeps
      {2, 2, false, {}},              // a click there clears
      {299, 299, false, {5}},         // the clock's last pixel
      {199, 299, false, {0}},         // past it: the airspeed under it
      {-100000, INT_MAX, false, {}},  // far outside
  };
  for (const Row& row : rows) {
    editor->click(row.x, row.y, row.toggle);
    EXPECT_EQ(editor->selection(), row.expected) << "click at " << row.x << ", " << row.y;
  }
  EXPECT_FALSE(editor->gauge_at(INT_MIN, INT_MIN).has_value());
}

TEST_F(LayoutEditorTest, ARubberBandSelectsWhatItTouches) {
  open_text(kBoxes);
  struct Row {
    Rect band;
    bool add;
    Selection expected;
  };
  const Row rows[] = {
      {{0, 0, 50, 50}, false, {}},                                 // empty panel
      {{149, 139, 1, 1}, false, {0}},                              // A's last pixel
      {{150, 140, 49, 59}, false, {}},                             // just past A, short of B and C
      {{90, 90, 200, 20}, false, {0, 1}},                          // across the top row
      {{290, 110, -200, -20}, false, {0, 1}},                      // the same dragged up and left
      {{150, 230, 10, 10}, true, {0, 1, 2}},                       // added
      {{-1000000, -1000000, INT_MAX, INT_MAX}, false, {0, 1, 2}},  // huge
      {{INT_MAX, INT_MAX, INT_MAX, INT_MAX}, true, {0, 1, 2}},     // far outside
  };
  for (const Row& row : rows) {
    editor->select_in(row.band, row.add);
    EXPECT_EQ(editor->selection(), row.expected)
        << "band " << row.band.x << ", " << row.band.y << ", " << row.band.width << " x " << row.band.height;
  }
  editor->clear_selection();
  EXPECT_TRUE(editor->selection().empty());
}

TEST_F(LayoutEditorTest, TabReachesAGaugeHiddenUnderAnotherAndWraps) {
  // A clock wholly under the strip (gauge03 at 239, 575, 546 x 111).
  const std::string example = original;
  open_text(replaced(example, "gauge04=Acme_Clock!Clock, 34, 600, 150, 90\n",
                     "gauge04=Acme_Clock!Clock, 34, 600, 150, 90\ngauge05=Acme_Clock!Clock, 300, 600, 40, 40\n"));
  ASSERT_EQ(session->layout().placements.size(), 6u);
  editor->click(310, 610, false);
  EXPECT_EQ(editor->selection(), Selection{5}) << "the clock is drawn last, over the strip";
  open_text(replaced(example, "gauge03=Tarnwix_Utils!Tarnwix_Utils, 239, 575, 546, 111\n",
                     "gauge03=Acme_Clock!Clock, 300, 600, 40, 40\n"
                     "gauge04=Tarnwix_Utils!Tarnwix_Utils, 239, 575, 546, 111\n"
                     "gauge05=Acme_Clock!Clock, 34, 600, 150, 90\n"));
  editor->click(310, 610, false);
  EXPECT_EQ(editor->selection(), Selection{4}) << "the strip covers the clock";
  const Selection forward[] = {{5}, {0}, {1}, {2}, {3}};
  for (const Selection& expected : forward) {
    editor->step(false);
    EXPECT_EQ(editor->selection(), expected);
  }
  EXPECT_EQ(editor->selected_line(), "gauge03=Acme_Clock!Clock, 300, 600, 40, 40") << "the hidden one";
  editor->step(true);
  editor->step(true);
  editor->step(true);
  editor->step(true);
  EXPECT_EQ(editor->selection(), Selection{5}) << "Shift+Tab wraps back past the first";
  editor->clear_selection();
  editor->step(true);
  EXPECT_EQ(editor->selection(), Selection{5}) << "Shift+Tab from nothing takes the last";
}

// ---- Moving and sizing

TEST_F(LayoutEditorTest, ABodyDragWritesTheMovedLineAndNothingElseAsOneEdit) {
  open();
  select(2);
  // At 200 % the canvas turns a drag of 16 screen pixels into 8 picture pixels.
  drag_body(8, 0);
  EXPECT_TRUE(editor->dragging());
  EXPECT_EQ(rect(2).x, 770) << "laid out while the drag lasts";
  EXPECT_FALSE(logged(log, "move Window00 gauge02")) << "logged when the drag ends";
  editor->end_drag();
  EXPECT_FALSE(editor->dragging());
  EXPECT_TRUE(logged(log, "frame " + std::to_string(session->frame_number()) +
                              ": move Window00 gauge02 Tarnwix_Altimeter to 770, 120"))
      << all_lines(log);
  EXPECT_EQ(editor->selected_line(), "gauge02=Tarnwix_Altimeter!Tarnwix_Altimeter, 770, 120");
  EXPECT_TRUE(editor->modified());
  save();
  EXPECT_FALSE(editor->modified());
  EXPECT_EQ(changed_lines(), std::vector<std::string>{"gauge02=Tarnwix_Altimeter!Tarnwix_Altimeter, 762, 120 -> "
                                                      "gauge02=Tarnwix_Altimeter!Tarnwix_Altimeter, 770, 120"});
  // The two steps of the drag are one edit.
  ASSERT_TRUE(editor->undo());
  EXPECT_TRUE(logged(log, "undo move Window00 gauge02 Tarnwix_Altimeter to 770, 120"));
  EXPECT_EQ(editor->document().text(), original);
  EXPECT_EQ(rect(2).x, 762);
  EXPECT_FALSE(editor->can_undo());
  ASSERT_TRUE(editor->redo());
  EXPECT_EQ(rect(2).x, 770);
  EXPECT_FALSE(editor->modified()) << "redone to what was saved";
}

TEST_F(LayoutEditorTest, ADragThatEndsWhereItStartedIsNoEdit) {
  open();
  select(2);
  const Rect r = rect(2);
  editor->begin_drag(r.x + 5, r.y + 5, Grip::kBody);
  editor->end_drag();
  EXPECT_FALSE(editor->can_undo());
  editor->begin_drag(r.x + 5, r.y + 5, Grip::kBody);
  editor->drag_to(r.x + 30, r.y + 5, false, true, 0);
  editor->drag_to(r.x + 5, r.y + 5, false, true, 0);
  editor->end_drag();
  EXPECT_FALSE(editor->can_undo());
  EXPECT_FALSE(editor->modified());
  EXPECT_EQ(editor->document().text(), original);
  EXPECT_FALSE(logged(log, "move Window00"));
  EXPECT_EQ(rect(2).x, 762);

  // After a nudge undone, such a drag leaves the history as it was: the
  // nudge can still be redone.
  editor->nudge(1, 0);
  ASSERT_TRUE(editor->undo());
  editor->begin_drag(r.x + 5, r.y + 5, Grip::kBody);
  editor->drag_to(r.x + 30, r.y + 5, false, true, 0);
  editor->drag_to(r.x + 5, r.y + 5, false, true, 0);
  editor->end_drag();
  EXPECT_FALSE(editor->can_undo());
  ASSERT_TRUE(editor->can_redo());
  ASSERT_TRUE(editor->redo());
  EXPECT_EQ(rect(2).x, 763);
}

TEST_F(LayoutEditorTest, MovingEdgesSnapToOtherGaugesWithinTheReachAndNotBeyond) {
  open_text(kBoxes);
  // B's left edge (200) comes near A's right edge (150); its top stays on A's (100).
  struct Row {
    int dx;
    bool free;
    int expected_x;
    bool guide_at_150;
  };
  const Row rows[] = {
      {-45, false, 150, true},   // 5 away: snapped
      {-44, false, 150, true},   // 6 away: at the reach
      {-43, false, 157, false},  // 7 away: beyond
      {-54, false, 150, true},   // 4 past it (its right edge 6 from C's)
      {-45, true, 155, false},   // Alt: free
  };
  for (const Row& row : rows) {
    select(1);
    drag_body(row.dx, 0, row.free, 6);
    bool guide = false;
    for (const view::SnapGuide& g : editor->guides()) guide |= g.vertical && g.position == 150;
    EXPECT_EQ(guide, row.guide_at_150) << "dx " << row.dx;
    editor->end_drag();
    EXPECT_TRUE(editor->guides().empty());
    EXPECT_EQ(editor->window().gauges[1].x, row.expected_x) << "dx " << row.dx;
    EXPECT_EQ(editor->window().gauges[1].y, 100) << "dx " << row.dx;
    editor->undo();
  }
  // The window's right edge (400), from B's right (260).
  select(1);
  drag_body(137, 0, false, 6);
  editor->end_drag();
  EXPECT_EQ(editor->window().gauges[1].x, 340);
}

TEST_F(LayoutEditorTest, HandlesSizeTheGaugeShiftKeepingItsAspect) {
  open_text(kBoxes);
  select(2);  // C: 100, 200, 100 x 50
  struct Row {
    int x, y;
    Grip grip;
  };
  const Row grips[] = {{100, 200, Grip::kTopLeft},    {150, 200, Grip::kTop},         {200, 200, Grip::kTopRight},
                       {200, 225, Grip::kRight},      {200, 250, Grip::kBottomRight}, {150, 250, Grip::kBottom},
                       {100, 250, Grip::kBottomLeft}, {100, 225, Grip::kLeft},        {130, 230, Grip::kBody},
                       {300, 30, Grip::kNone}};
  for (const Row& row : grips) EXPECT_EQ(editor->grip_at(row.x, row.y, 2), row.grip) << row.x << ", " << row.y;
  EXPECT_EQ(editor->grip_at(203, 253, 2), Grip::kNone) << "beyond the tolerance";
  struct Drag {
    Grip grip;
    int from_x, from_y, to_x, to_y;
    bool keep_aspect;
    host::GaugePlace expected;
  };
  const Drag drags[] = {
      {Grip::kBottomRight, 200, 250, 230, 255, false, {100, 200, 130, 55}},
      {Grip::kBottomRight, 200, 250, 230, 255, true, {100, 200, 130, 65}},       // the larger change wins
      {Grip::kTopLeft, 100, 200, 80, 190, true, {80, 190, 120, 60}},             // the opposite corner stays
      {Grip::kRight, 200, 225, 220, 300, true, {100, 200, 120, 60}},             // a side: the other follows
      {Grip::kLeft, 100, 225, 400, 225, false, {199, 200, 1, 50}},               // past the opposite edge
      {Grip::kTop, 150, 200, 150, INT_MIN, false, {100, -100000, 100, 100000}},  // far outside: clamped
  };
  for (const Drag& drag : drags) {
    select(2);
    editor->begin_drag(drag.from_x, drag.from_y, drag.grip);
    editor->drag_to(drag.to_x, drag.to_y, drag.keep_aspect, true, 0);
    editor->end_drag();
    EXPECT_EQ(editor->selected_place(), drag.expected)
        << "grip " << static_cast<int>(drag.grip) << " to " << drag.to_x << ", " << drag.to_y;
    editor->undo();
  }
  EXPECT_EQ(editor->document().text(), original);
}

TEST_F(LayoutEditorTest, SizingAGaugeOfItsOwnSizeWritesWidthAndHeight) {
  open();
  select(2);  // the altimeter's line gives no size
  const Rect r = rect(2);
  editor->begin_drag(r.x + r.width, r.y + r.height, Grip::kBottomRight);
  editor->drag_to(r.x + r.width + 20, r.y + r.height + 20, true, true, 0);
  editor->end_drag();
  const host::GaugePlace place = *editor->selected_place();
  ASSERT_TRUE(place.width && place.height);
  const double factor = std::max((r.width + 20.0) / r.width, (r.height + 20.0) / r.height);
  EXPECT_NEAR(*place.width, r.width * factor, 1);
  EXPECT_NEAR(*place.height, r.height * factor, 1);
  EXPECT_EQ(rect(2).width, *place.width);
  EXPECT_EQ(editor->selected_line(), "gauge02=Tarnwix_Altimeter!Tarnwix_Altimeter, 762, 120, " +
                                         host::panel_number_text(*place.width) + ", " +
                                         host::panel_number_text(*place.height));
  // Moving a gauge without a width leaves it without one.
  select(0);
  drag_body(-10, 4);
  editor->end_drag();
  EXPECT_EQ(editor->selected_line(), "gauge00=Tarnwix_Airspeed!Tarnwix_Airspeed, 150, 124");
}

TEST_F(LayoutEditorTest, ArrowsNudgeByOneUnitOrTenEachAnEdit) {
  open();
  editor->click(rect(2).x + 5, rect(2).y + 5, false);
  editor->click(rect(3).x + 5, rect(3).y + 5, true);
  editor->nudge(1, 0);
  editor->nudge(0, -10);
  EXPECT_EQ(line_of(2), "gauge02=Tarnwix_Altimeter!Tarnwix_Altimeter, 763, 110");
  EXPECT_EQ(line_of(3), "gauge03=Tarnwix_Utils!Tarnwix_Utils, 240, 565, 546, 111");
  EXPECT_EQ(rect(3).y, 565);
  EXPECT_TRUE(logged(log, "move Window00 gauge03 Tarnwix_Utils to 240, 565"));
  editor->nudge(INT_MAX, INT_MIN);
  EXPECT_EQ(line_of(2), "gauge02=Tarnwix_Altimeter!Tarnwix_Altimeter, 100000, -100000") << "held within reach";
  ASSERT_TRUE(editor->undo());
  ASSERT_TRUE(editor->undo());
  EXPECT_EQ(line_of(2), "gauge02=Tarnwix_Altimeter!Tarnwix_Altimeter, 763, 120");
  ASSERT_TRUE(editor->undo());
  EXPECT_EQ(editor->document().text(), original);
}

TEST_F(LayoutEditorTest, AtAScaleOtherThanOneDragsRoundToWholeUnits) {
  // 1280 units over the bitmap's 1024 pixels: a pixel is 1.25 units.
  open_text(replaced(original, "size_mm=1024,720", "size_mm=1280,900"));
  ASSERT_NEAR(session->layout().scale, 0.8, 1e-9);
  struct Row {
    int dx, dy;
    const char* line;
  };
  const Row rows[] = {
      {7, 0, "gauge02=Tarnwix_Altimeter!Tarnwix_Altimeter, 771, 120"},   // 8.75 units
      {-3, 1, "gauge02=Tarnwix_Altimeter!Tarnwix_Altimeter, 758, 121"},  // -3.75, 1.25
      {16, 8, "gauge02=Tarnwix_Altimeter!Tarnwix_Altimeter, 782, 130"},  // 20, 10
  };
  for (const Row& row : rows) {
    select(2);
    drag_body(row.dx, row.dy);
    editor->end_drag();
    EXPECT_EQ(line_of(2), row.line) << row.dx << ", " << row.dy;
    editor->undo();
  }
  // A value written with decimals stays as written until it is dragged.
  select(2);
  std::string error;
  ASSERT_TRUE(editor->set_selected_place({762.25, 120, {}, {}}, &error)) << error;
  drag_body(0, 4);
  editor->end_drag();
  EXPECT_EQ(line_of(2), "gauge02=Tarnwix_Altimeter!Tarnwix_Altimeter, 762.25, 125");
  const Rect r = rect(2);
  editor->begin_drag(r.x + 1, r.y + 1, Grip::kBody);
  editor->drag_to(INT_MAX, INT_MIN, false, false, 6);
  editor->end_drag();
  EXPECT_EQ(line_of(2), "gauge02=Tarnwix_Altimeter!Tarnwix_Altimeter, 100000, -100000");
  EXPECT_EQ(editor->document().config().windows[0].gauges[2].x, 100000) << "the file still reads";
}

// ---- Exact values, order, adding and removing

TEST_F(LayoutEditorTest, ExactValuesAreWrittenOrRefusedInWords) {
  open();
  select(1);
  EXPECT_EQ(editor->selected_line(), "gauge01=Tarnwix_Background_S!Tarnwix_Background_S, 272, 40, 480")
      << "without its comment";
  std::string error;
  EXPECT_TRUE(editor->set_selected_place({10, 20, 300, 200}, &error)) << error;
  EXPECT_EQ(line_of(1),
            "gauge01=Tarnwix_Background_S!Tarnwix_Background_S, 10, 20, 300, 200   // width alone "
            "keeps the aspect");
  EXPECT_EQ(rect(1).width, 300);
  const std::string before = editor->document().text();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const host::GaugePlace refused[] = {
      {nan, 0, {}, {}}, {0, 0, -5.0, {}}, {1e9, 0, {}, {}}, {0, std::numeric_limits<double>::infinity(), {}, {}}};
  for (const host::GaugePlace& place : refused) {
    error.clear();
    EXPECT_FALSE(editor->set_selected_place(place, &error));
    EXPECT_FALSE(error.empty());
  }
  EXPECT_EQ(editor->document().text(), before);
  editor->clear_selection();
  EXPECT_FALSE(editor->set_selected_place({1, 2, {}, {}}, &error));
  EXPECT_EQ(editor->selected_line(), "");
}

TEST_F(LayoutEditorTest, OrderChangesAndTheSelectionFollows) {
  open();
  select(0);
  editor->bring_forward();
  EXPECT_EQ(editor->selection(), Selection{1});
  EXPECT_EQ(editor->window().gauges[1].module, "Tarnwix_Airspeed");
  EXPECT_EQ(editor->window().gauges[0].module, "Tarnwix_Background_S");
  EXPECT_EQ(session->layout().placements[1].line.module, "Tarnwix_Airspeed") << "laid out at once";
  editor->send_backward();
  EXPECT_EQ(editor->selection(), Selection{0});
  editor->send_backward();  // already the first
  EXPECT_EQ(editor->selection(), Selection{0});
  EXPECT_EQ(editor->document().text(), original);
}

TEST_F(LayoutEditorTest, OffersEveryModuleOnceAndAnAddedGaugeRunsAtOnce) {
  ASSERT_TRUE(CopyFileA((dist_dir() + "/Tarnwix_Airspeed.gau").c_str(), (folder.path + "/tarnwix_airspeed.gau").c_str(),
                        FALSE));
  write_file(folder.path + "/Acme_Clock.gau", "not a module we run");
  write_file(folder.path + "/Acme_Clock.gaux", "no module at all");
  open();
  std::vector<std::string> modules;
  for (const LayoutEditor::Offer& offer : editor->offers()) {
    modules.push_back(offer.module);
    if (offer.module == "Acme_Clock") {
      EXPECT_FALSE(offer.ours);
      EXPECT_EQ(offer.gauges, std::vector<std::string>{"Acme_Clock"});
    } else {
      EXPECT_TRUE(offer.ours) << offer.module;
      EXPECT_EQ(offer.gauges, std::vector<std::string>{offer.module});
    }
  }
  EXPECT_EQ(modules, (std::vector<std::string>{"Acme_Clock", "Tarnwix_Airspeed", "Tarnwix_Altimeter",
                                               "Tarnwix_Background_S", "Tarnwix_Utils", "Tarnwix_UtilsVC"}));
  std::string error;
  ASSERT_TRUE(editor->add_gauge("Tarnwix_UtilsVC", "Tarnwix_UtilsVC", std::pair{100, 50}, &error)) << error;
  EXPECT_EQ(editor->selection(), Selection{5});
  EXPECT_EQ(editor->selected_line(), "gauge05=Tarnwix_UtilsVC!Tarnwix_UtilsVC, 100, 50");
  const auto names = session->gauge_names();
  EXPECT_NE(std::find(names.begin(), names.end(), "Tarnwix_UtilsVC"), names.end()) << "loaded";
  ASSERT_EQ(session->layout().placements.size(), 6u);
  EXPECT_TRUE(session->layout().placements[5].drawn) << session->layout().placements[5].why;
  ASSERT_TRUE(editor->add_gauge("Acme_Clock", "Acme_Clock", std::nullopt, &error)) << error;
  EXPECT_EQ(editor->selected_line(), "gauge06=Acme_Clock!Acme_Clock, 512, 360") << "at the window's centre";
  EXPECT_FALSE(session->layout().placements[6].drawn);
  ASSERT_TRUE(editor->add_gauge("Acme_Clock", "Acme_Clock", std::pair{INT_MAX, INT_MIN}, &error)) << error;
  EXPECT_EQ(editor->selected_line(), "gauge07=Acme_Clock!Acme_Clock, 100000, -100000") << "held within reach";
}

TEST_F(LayoutEditorTest, DeletingInTheMiddleRenumbersAndSaysSo) {
  open();
  editor->click(rect(1).x + rect(1).width - 2, rect(1).y + 2, false);
  editor->click(rect(2).x + 5, rect(2).y + 5, true);
  ASSERT_EQ(editor->selection(), (Selection{1, 2}));
  editor->delete_selected();
  EXPECT_TRUE(editor->selection().empty());
  ASSERT_EQ(editor->window().gauges.size(), 3u);
  EXPECT_EQ(line_of(1), "gauge01=Tarnwix_Utils!Tarnwix_Utils, 239, 575, 546, 111");
  EXPECT_EQ(line_of(2), "gauge02=Acme_Clock!Clock, 34, 600, 150, 90");
  EXPECT_TRUE(logged(log, "renumber Window00 gauge03")) << all_lines(log);
  EXPECT_TRUE(logged(log, "renumber Window00 gauge04")) << all_lines(log);
  const auto names = session->gauge_names();
  EXPECT_EQ(std::find(names.begin(), names.end(), "Tarnwix_Altimeter"), names.end()) << "no longer run";
  EXPECT_EQ(session->layout().placements.size(), 3u);
  ASSERT_TRUE(editor->undo()) << "one edit";
  EXPECT_EQ(editor->document().text(), original);
  EXPECT_EQ(session->layout().placements.size(), 5u);
}

// ---- Windows

TEST_F(LayoutEditorTest, WindowsAreAddedChangedAndRemovedTheSessionToldWhichToShow) {
  open();
  std::string error;
  ASSERT_TRUE(editor->set_window_key("title", "Main", &error)) << error;
  EXPECT_EQ(editor->window().title, "Main");
  EXPECT_FALSE(editor->set_window_key("size_mm", "-3,x", &error));
  EXPECT_FALSE(error.empty());
  ASSERT_TRUE(editor->add_window("Radio", &error)) << error;
  const host::PanelWindow* added = editor->document().config().find("Window02");
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(added->title, "Radio");
  EXPECT_EQ(editor->window().name(), "Window00");
  EXPECT_TRUE(editor->window_to_open().empty());
  select(2);
  ASSERT_TRUE(editor->remove_window(&error)) << error;
  EXPECT_EQ(editor->window_to_open(), "Window01");
  EXPECT_EQ(editor->window().name(), "Window01");
  EXPECT_TRUE(editor->selection().empty());
  // The main window opens the panel on that window and hands the session over.
  session.reset();
  SessionOptions options;
  options.modules_folder = dist_dir();
  options.window = editor->window_to_open();
  session = Session::open(path, options, log, &error);
  ASSERT_NE(session, nullptr) << error;
  editor->attach(*session);
  EXPECT_TRUE(editor->window_to_open().empty());
  editor->click(5, 5, false);
  EXPECT_EQ(editor->selection(), Selection{0});
  editor->nudge(3, 0);
  EXPECT_EQ(session->layout().placements[0].x, 3);
  while (editor->undo()) {
  }
  EXPECT_EQ(editor->document().text(), original);
  EXPECT_EQ(editor->window().name(), "Window01") << "the session shows Window01, which the original has";
  // Removing the windows one by one, each time shown the first left.
  for (const char* next : {"Window00", "VCockpit01"}) {
    ASSERT_TRUE(editor->remove_window(&error)) << error;
    ASSERT_EQ(editor->window_to_open(), next);
    session.reset();
    options.window = next;
    session = Session::open(path, options, log, &error);
    ASSERT_NE(session, nullptr) << error;
    editor->attach(*session);
    EXPECT_EQ(editor->window().name(), next);
  }
  EXPECT_FALSE(editor->remove_window(&error)) << "the last window stays";
  EXPECT_FALSE(error.empty());
}

// ---- History and saving

TEST_F(LayoutEditorTest, UndoingEverythingAndSavingGivesTheBytesReadAndABackupIsKept) {
  open();
  std::string error;
  select(2);
  drag_body(30, 12);
  editor->end_drag();
  editor->nudge(10, 0);
  select(1);
  editor->bring_forward();
  editor->delete_selected();
  ASSERT_TRUE(editor->add_gauge("Tarnwix_Airspeed", "Tarnwix_Airspeed", std::pair{5, 5}, &error)) << error;
  ASSERT_TRUE(editor->set_window_key("visible", "0", &error)) << error;
  ASSERT_TRUE(editor->add_window("Extra", &error)) << error;
  save();
  EXPECT_TRUE(logged(log, "saved " + path)) << all_lines(log);
  EXPECT_EQ(read_file(path + ".bak"), original) << "the first save keeps the file as it was";
  EXPECT_NE(read_file(path), original);
  int undone = 0;
  while (editor->undo()) ++undone;
  EXPECT_EQ(undone, 7);
  EXPECT_TRUE(editor->modified()) << "differs from what was saved";
  save();
  EXPECT_EQ(read_file(path), original);
  EXPECT_EQ(read_file(path + ".bak"), original) << "a later save keeps the first backup";
  EXPECT_FALSE(editor->modified());
}

TEST_F(LayoutEditorTest, SaveAsEditsTheNewFileFromThenOn) {
  open();
  select(2);
  editor->nudge(1, 1);
  const std::string other = folder.path + "/copy.cfg";
  std::string error;
  ASSERT_EQ(editor->save_as(other, &error), LayoutEditor::SaveResult::kSaved) << error;
  EXPECT_EQ(editor->path(), other);
  EXPECT_EQ(read_file(path), original) << "the file read stays";
  EXPECT_EQ(read_file(other), editor->document().text());
  editor->nudge(1, 1);
  save();
  EXPECT_NE(read_file(other).find("764, 122"), std::string::npos);
  EXPECT_EQ(editor->save_as(folder.path + "/no such folder/panel.cfg", &error), LayoutEditor::SaveResult::kFailed);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(editor->path(), other);
}

// ---- The file changed by another program

TEST_F(LayoutEditorTest, AFileChangedOnDiskIsReadAgainWithoutEditsAndAsksWithThem) {
  open();
  const std::string moved = replaced(original, "Altimeter, 762, 120", "Altimeter, 700, 100");
  write_file(path, moved);
  editor->check_disk();
  EXPECT_EQ(editor->window().gauges[2].x, 762) << "still being written, perhaps";
  editor->check_disk();
  EXPECT_EQ(editor->window().gauges[2].x, 700);
  EXPECT_EQ(rect(2).x, 700) << "laid out";
  EXPECT_TRUE(logged(log, "reread panel.cfg: it changed on disk")) << all_lines(log);
  EXPECT_FALSE(editor->modified());
  EXPECT_FALSE(editor->needs_decision());

  // With an edit unsaved: asked; keeping the edits, the next save asks too.
  select(0);
  editor->nudge(1, 0);
  rewrite(replaced(moved, "Altimeter, 700, 100", "Altimeter, 600, 100"));
  EXPECT_TRUE(editor->needs_decision());
  EXPECT_EQ(editor->window().gauges[2].x, 700);
  editor->keep_edits();
  EXPECT_FALSE(editor->needs_decision());
  std::string error;
  EXPECT_EQ(editor->save(false, &error), LayoutEditor::SaveResult::kChangedOnDisk);
  EXPECT_FALSE(error.empty());
  EXPECT_NE(read_file(path).find("600, 100"), std::string::npos) << "nothing written";
  EXPECT_EQ(editor->save(true, &error), LayoutEditor::SaveResult::kSaved) << error;
  EXPECT_NE(read_file(path).find("Tarnwix_Airspeed, 161, 120"), std::string::npos);
  EXPECT_NE(read_file(path).find("Altimeter, 700, 100"), std::string::npos);

  // Taking the file drops the edits.
  editor->nudge(1, 0);
  rewrite(original);
  ASSERT_TRUE(editor->needs_decision());
  editor->take_disk();
  EXPECT_FALSE(editor->needs_decision());
  EXPECT_FALSE(editor->modified());
  EXPECT_EQ(editor->document().text(), original);
  EXPECT_EQ(rect(0).x, 160);

  // F5 with an edit unsaved asks at once.
  select(0);
  editor->nudge(1, 0);
  editor->reload();
  EXPECT_TRUE(editor->needs_decision());
  editor->take_disk();
  EXPECT_EQ(editor->document().text(), original);
}

TEST_F(LayoutEditorTest, AFileThatNoLongerReadsKeepsTheWindowAndSaysWhere) {
  open();
  std::string broken = replaced(original, "Altimeter, 762, 120", "Altimeter, 762");
  const int line = 18;
  ASSERT_EQ(lines_of(broken)[line - 1], "gauge02=Tarnwix_Altimeter!Tarnwix_Altimeter, 762");
  rewrite(broken);
  EXPECT_NE(editor->last_problem().find("panel.cfg:" + std::to_string(line) + ":"), std::string::npos)
      << editor->last_problem();
  EXPECT_TRUE(logged(log, editor->last_problem()));
  EXPECT_EQ(editor->window().gauges.size(), 5u);
  EXPECT_EQ(rect(2).x, 762);
  EXPECT_FALSE(editor->needs_decision());
  rewrite(broken + "\n");  // still broken
  EXPECT_FALSE(editor->last_problem().empty());
  DeleteFileA(path.c_str());
  editor->check_disk();
  editor->check_disk();
  EXPECT_FALSE(editor->last_problem().empty()) << "gone";
  EXPECT_EQ(rect(2).x, 762);
  rewrite(replaced(original, "Altimeter, 762, 120", "Altimeter, 763, 120"));
  EXPECT_TRUE(editor->last_problem().empty()) << editor->last_problem();
  EXPECT_EQ(rect(2).x, 763);
}

}  // namespace
}  // namespace tarnwix::test
