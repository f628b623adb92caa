// The panel.cfg document: edits that change only the lines they name and
// keep the rest byte for byte, refusals that change nothing, ignored repeats
// that stay ignored, the undo history, and atomic saves with a backup.
#include "panel_document.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

#include "gtest/gtest.h"

namespace tarnwix::test {
namespace {

namespace fs = std::filesystem;
using host::GaugePlace;
using host::PanelChange;
using host::PanelDocument;
using host::PanelEdit;
namespace change = host::change;

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

// A panel as panel builders leave them: CR LF, comments at line ends, other
// sections, FS98-style lines, a module without `!`, keys in capitals, a tab,
// parameters after the height and no line end after the last line.
const std::vector<std::string> kWorldLines = {
    "// FS2004 panel, edited by hand",                                                     // 1
    "[Window Titles]",                                                                     // 2
    "Window00=Main Panel",                                                                 // 3
    "Window01=GPS",                                                                        // 4
    "",                                                                                    // 5
    "[Color]",                                                                             // 6
    "Day=255,255,255",                                                                     // 7
    "",                                                                                    // 8
    "[Window00]",                                                                          // 9
    "FILE=panel.bmp",                                                                      // 10
    "size_mm=1024",                                                                        // 11
    "position=7",                                                                          // 12
    "visible=1",                                                                           // 13
    "ident=MAIN_PANEL",                                                                    // 14
    "",                                                                                    // 15
    "Gauge00=cessna!airspeed,10,20",                                                       // 16
    "Gauge01=Tarnwix_Altimeter, 100, 20, 80   // no bang",                                 // 17
    "Gauge02=Tarnwix_Utils!Tarnwix_Utils, 200, 300, 50, 40, day, 1   // with parameters",  // 18
    "\tGauge03 = Acme!Clock ,300,\t400",                                                   // 19
    "",                                                                                    // 20
    "[Window01]",                                                                          // 21
    "size_mm=300,200",                                                                     // 22
    "gauge00=gps!gps500, 0, 0, 300, 200",                                                  // 23
    "",                                                                                    // 24
    "[Vcockpit02]",                                                                        // 25
    "pixel_size=512,512",                                                                  // 26
    "texture=$VC02",                                                                       // 27
    "gauge00=vc!switches, 0, 0, 512, 512",                                                 // 28
    "",                                                                                    // 29
    "[Default View]",                                                                      // 30
    "X=0",                                                                                 // 31
    "Y=0",                                                                                 // 32
};

std::string joined(const std::vector<std::string>& lines, const std::string& end = "\r\n") {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) text += (i ? end : "") + lines[i];
  return text;
}
const std::string kWorld = joined(kWorldLines);

// What an edit is expected to do to kWorld's lines, by their numbers there.
struct LineChange {
  enum Kind { kReplace, kRemove, kInsertAfter } kind;
  int line;
  std::string text;
};
LineChange replace(int line, std::string text) { return {LineChange::kReplace, line, std::move(text)}; }
LineChange remove(int line) { return {LineChange::kRemove, line, ""}; }
LineChange insert_after(int line, std::string text) { return {LineChange::kInsertAfter, line, std::move(text)}; }

std::string world_with(const std::vector<LineChange>& changes) {
  std::vector<std::optional<std::string>> lines(kWorldLines.begin(), kWorldLines.end());
  std::vector<std::vector<std::string>> after(lines.size() + 1);
  for (const LineChange& c : changes) {
    if (c.kind == LineChange::kReplace) lines[c.line - 1] = c.text;
    if (c.kind == LineChange::kRemove) lines[c.line - 1].reset();
    if (c.kind == LineChange::kInsertAfter) after[c.line].push_back(c.text);
  }
  std::vector<std::string> out(after[0]);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i]) out.push_back(*lines[i]);
    out.insert(out.end(), after[i + 1].begin(), after[i + 1].end());
  }
  return joined(out);
}

PanelDocument read(const std::string& text) {
  std::string error;
  std::optional<PanelDocument> document = PanelDocument::read(text, "w.cfg", &error);
  EXPECT_TRUE(document.has_value()) << error;
  return document ? *document : *PanelDocument::read("[Window00]", "w.cfg", &error);
}

// What the reader reads from the text equals the document's model.
void expect_model_is_the_reader_s(const PanelDocument& document) {
  std::string error;
  const auto config = host::parse_panel_config(document.text(), "w.cfg", &error);
  ASSERT_TRUE(config.has_value()) << error;
  ASSERT_EQ(config->windows.size(), document.config().windows.size());
  for (size_t w = 0; w < config->windows.size(); ++w) {
    const host::PanelWindow &read_back = config->windows[w], &model = document.config().windows[w];
    EXPECT_EQ(read_back.name(), model.name());
    EXPECT_EQ(read_back.title, model.title);
    EXPECT_EQ(read_back.ident, model.ident);
    ASSERT_EQ(read_back.gauges.size(), model.gauges.size());
    for (size_t g = 0; g < model.gauges.size(); ++g) {
      EXPECT_EQ(read_back.gauges[g].module, model.gauges[g].module);
      EXPECT_EQ(read_back.gauges[g].x, model.gauges[g].x);
      EXPECT_EQ(read_back.gauges[g].width, model.gauges[g].width);
      EXPECT_EQ(read_back.gauges[g].line, model.gauges[g].line);
    }
  }
}

// ---- Reading and writing back

TEST(PanelDocumentReading, WritesBackTheBytesReadAndWhatEveryUndoneEditLeaves) {
  std::ifstream in(std::string(TARNWIX_SOURCE_DIR) + "/examples/panel/panel.cfg", std::ios::binary);
  const std::string example((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(example.empty());
  const std::vector<PanelEdit> every_edit = {
      {{change::Place{"Window00", 2, {770, 120, {}, {}}}}},
      {{change::Place{"Window00", 1, {272, 40, 480, 502}}}},
      {{change::RemoveGauge{"Window00", 1}}},
      {{change::AddGauge{"Window00", "Acme", "Thing", {1, 2.5, 30, {}}}}},
      {{change::Reorder{"Window00", 0, 1}}},
      {{change::SetWindowKey{"Window00", "title", "Main"}, change::SetWindowKey{"Window00", "ident", ""}}},
      {{change::AddWindow{"Window02", "Radio"}, change::AddGauge{"Window02", "Radio", "", {0, 0, {}, {}}}}},
      {{change::RemoveWindow{"Window01"}}},
  };
  const std::string lf_without_final_end = joined(kWorldLines, "\n");
  for (const std::string& text : {example, kWorld, lf_without_final_end, kWorld + "\r\n"}) {
    PanelDocument document = read(text);
    EXPECT_EQ(document.text(), text) << "read and written with no edit";
    EXPECT_FALSE(document.modified());
    std::string error;
    for (const PanelEdit& edit : every_edit) {
      std::vector<std::string> log;
      document.apply(edit, &log, &error);  // some names are not in every file
      expect_model_is_the_reader_s(document);
    }
    EXPECT_TRUE(document.modified());
    EXPECT_EQ(document.text().back() == '\n', text.back() == '\n') << "the final line end as the file had it";
    while (document.undo(nullptr)) expect_model_is_the_reader_s(document);
    EXPECT_EQ(document.text(), text) << "every edit undone";
    EXPECT_FALSE(document.modified());
  }
}

// ---- Each edit's lines

struct EditCase {
  const char* name;
  PanelEdit edit;
  std::vector<LineChange> lines;
  std::vector<std::string> log;
};

TEST(PanelDocumentEdits, ChangeOnlyTheLinesTheyNameInTheFilesOwnStyle) {
  const EditCase cases[] = {
      {"an FS98 line moves",
       {{change::Place{"Window00", 0, {12, 24, {}, {}}}}},
       {replace(16, "Gauge00=cessna!airspeed,12,24")},
       {"move Window00 Gauge00 airspeed to 12, 24"}},
      {"an FS98 line is sized without spaces",
       {{change::Place{"Window00", 0, {10, 20, 64, 48}}}},
       {replace(16, "Gauge00=cessna!airspeed,10,20,64,48")},
       {"size Window00 Gauge00 airspeed to 10, 20, 64, 48"}},
      {"a move keeps the width and the comment with its blanks",
       {{change::Place{"Window00", 1, {110.25, 25, 80, {}}}}},
       {replace(17, "Gauge01=Tarnwix_Altimeter, 110.25, 25, 80   // no bang")},
       {"move Window00 Gauge01 Tarnwix_Altimeter to 110.25, 25, 80"}},
      {"numbers are written with at most three decimals, never as -0",
       {{change::Place{"Window00", 1, {1.23456, -0.0001, 80, {}}}}},
       {replace(17, "Gauge01=Tarnwix_Altimeter, 1.235, 0, 80   // no bang")},
       {"move Window00 Gauge01 Tarnwix_Altimeter to 1.235, 0, 80"}},
      {"a width no longer given goes",
       {{change::Place{"Window00", 1, {100, 20, {}, {}}}}},
       {replace(17, "Gauge01=Tarnwix_Altimeter, 100, 20   // no bang")},
       {"size Window00 Gauge01 Tarnwix_Altimeter to 100, 20"}},
      {"parameters after the height stay where they are",
       {{change::Place{"Window00", 2, {200, 300, 60, {}}}}},
       {replace(18, "Gauge02=Tarnwix_Utils!Tarnwix_Utils, 200, 300, 60, , day, 1   // with parameters")},
       {"size Window00 Gauge02 Tarnwix_Utils to 200, 300, 60"}},
      {"a tab and blanks before a comma stay",
       {{change::Place{"Window00", 3, {301.5, 400, {}, {}}}}},
       {replace(19, "\tGauge03 = Acme!Clock ,301.5,\t400")},
       {"move Window00 Gauge03 Clock to 301.5, 400"}},
      {"removing a gauge in the middle renumbers those after it",
       {{change::RemoveGauge{"Window00", 1}}},
       {remove(17), replace(18, "Gauge01=Tarnwix_Utils!Tarnwix_Utils, 200, 300, 50, 40, day, 1   // with parameters"),
        replace(19, "\tGauge02 = Acme!Clock ,300,\t400")},
       {"remove Window00 Gauge01 Tarnwix_Altimeter (line 17)", "renumber Window00 Gauge02 (line 18) to Gauge01",
        "renumber Window00 Gauge03 (line 19) to Gauge02"}},
      {"removing the last gauge renumbers nothing",
       {{change::RemoveGauge{"Window00", 3}}},
       {remove(19)},
       {"remove Window00 Gauge03 Clock (line 19)"}},
      {"a new gauge follows the window's last gauge line, keyed and spaced as it is",
       {{change::AddGauge{"Window00", "New", "One", {5, 6, {}, {}}}}},
       {insert_after(19, "\tGauge04 = New!One,5,6")},
       {"add Window00 Gauge04 New!One at 5, 6"}},
      {"a new gauge in a window of lowercase keys",
       {{change::AddGauge{"Window01", "gps", "keypad", {0, 200, 300, 100}}}},
       {insert_after(23, "gauge01=gps!keypad, 0, 200, 300, 100")},
       {"add Window01 gauge01 gps!keypad at 0, 200, 300, 100"}},
      {"a new gauge of a module without a gauge name",
       {{change::AddGauge{"VCockpit02", "Lights", "", {1, 2, {}, {}}}}},
       {insert_after(28, "gauge01=Lights, 1, 2")},
       {"add VCockpit02 gauge01 Lights at 1, 2"}},
      {"bringing forward exchanges what follows the keys, comment included",
       {{change::Reorder{"Window00", 0, 1}}},
       {replace(16, "Gauge00=Tarnwix_Altimeter, 100, 20, 80   // no bang"),
        replace(17, "Gauge01=cessna!airspeed,10,20")},
       {"bring forward Window00 Gauge00 airspeed to Gauge01 (over Tarnwix_Altimeter)"}},
      {"sending back keeps each key's own blanks",
       {{change::Reorder{"Window00", 3, -1}}},
       {replace(18, "Gauge02= Acme!Clock ,300,\t400"),
        replace(19, "\tGauge03 =Tarnwix_Utils!Tarnwix_Utils, 200, 300, 50, 40, day, 1   // with parameters")},
       {"send back Window00 Gauge03 Clock to Gauge02 (under Tarnwix_Utils)"}},
      {"a window key keeps its spelling",
       {{change::SetWindowKey{"Window00", "file", "day.bmp"}}},
       {replace(10, "FILE=day.bmp")},
       {"set Window00 file to day.bmp"}},
      {"a missing key follows the section's last key that is not a gauge",
       {{change::SetWindowKey{"Window01", "visible", "0"}}},
       {insert_after(22, "visible=0")},
       {"set Window01 visible to 0"}},
      {"an empty value removes the key's line",
       {{change::SetWindowKey{"Window00", "position", ""}}},
       {remove(12)},
       {"remove Window00 position (line 12)"}},
      {"a title lives in [Window Titles]",
       {{change::SetWindowKey{"Window01", "title", "Garmin"}}},
       {replace(4, "Window01=Garmin")},
       {"set Window01 title to Garmin"}},
      {"a new window goes at the end, its title after the others; the file keeps no final line end",
       {{change::AddWindow{"Window02", "Radio"}}},
       {insert_after(4, "Window02=Radio"), insert_after(32, ""), insert_after(32, "[Window02]")},
       {"add window Window02", "set Window02 title to Radio"}},
      {"a new window's first gauge is keyed as the file's first gauge line",
       {{change::AddWindow{"Window03", ""}, change::AddGauge{"Window03", "A", "B", {1, 2, {}, {}}}}},
       {insert_after(32, ""), insert_after(32, "[Window03]"), insert_after(32, "Gauge00=A!B,1,2")},
       {"add window Window03", "add Window03 Gauge00 A!B at 1, 2"}},
      {"a window goes with its title",
       {{change::RemoveWindow{"Window01"}}},
       {remove(4), remove(21), remove(22), remove(23), remove(24)},
       {"remove window Window01 (lines 21 to 24)", "remove Window01 title (line 4)"}},
  };
  for (const EditCase& c : cases) {
    SCOPED_TRACE(c.name);
    PanelDocument document = read(kWorld);
    std::vector<std::string> log;
    std::string error;
    ASSERT_TRUE(document.apply(c.edit, &log, &error)) << error;
    EXPECT_EQ(document.text(), world_with(c.lines));
    EXPECT_EQ(log, c.log);
    expect_model_is_the_reader_s(document);
    ASSERT_TRUE(document.undo(&log));
    EXPECT_EQ(document.text(), kWorld);
    EXPECT_EQ(log.back(), "undo " + c.log.back());
    ASSERT_TRUE(document.redo(&log));
    EXPECT_EQ(document.text(), world_with(c.lines));
  }
}

TEST(PanelDocumentEdits, AddingAfterTheLastLineKeepsTheFilesLineEnds) {
  PanelDocument document = read("[Window00]\ngauge00=A!A, 0, 0\n");
  std::string error;
  ASSERT_TRUE(document.apply({{change::AddGauge{"Window00", "B", "B", {1, 2, 3, 4}}}}, nullptr, &error)) << error;
  EXPECT_EQ(document.text(), "[Window00]\ngauge00=A!A, 0, 0\ngauge01=B!B, 1, 2, 3, 4\n");
  // A window without gauges: after its last key line, or its header; a file
  // without [Window Titles] gains one before its first section.
  document = read("// mine\n[Window00]\nsize_mm=10\n[Window01]");
  ASSERT_TRUE(document.apply(
      {{change::AddGauge{"Window00", "A", "A", {1, 2, {}, {}}}, change::AddGauge{"Window01", "A", "A", {1, 2, {}, {}}},
        change::SetWindowKey{"Window01", "title", "Second"}}},
      nullptr, &error))
      << error;
  EXPECT_EQ(document.text(),
            "// mine\n[Window Titles]\nWindow01=Second\n\n[Window00]\nsize_mm=10\ngauge00=A!A, 1, 2\n[Window01]\n"
            "gauge00=A!A, 1, 2");
  EXPECT_EQ(document.config().find("Window01")->title, "Second");
}

// ---- Refusals

TEST(PanelDocumentRefusals, LeaveTheBytesAndSayWhy) {
  const struct {
    PanelEdit edit;
    const char* why;
  } cases[] = {
      {{{change::Place{"Window00", 0, {kNan, 1, {}, {}}}}}, "cannot move Window00 Gauge00 airspeed: x is not a number"},
      {{{change::Place{"Window00", 0, {1, -kInfinity, {}, {}}}}}, "y is infinite"},
      {{{change::Place{"Window00", 0, {1, 1, 100001, {}}}}}, "the width is 100001, beyond -100000 to 100000"},
      {{{change::Place{"Window00", 0, {1, 1, 5, -1}}}}, "the height is negative: -1"},
      {{{change::Place{"Window00", 0, {1, 1, {}, 5}}}}, "a height without a width"},
      {{{change::Place{"Window07", 0, {1, 1, {}, {}}}}}, "there is no window Window07 in w.cfg"},
      {{{change::Place{"Window00", 9, {1, 1, {}, {}}}}}, "Window00 has 4 gauges; there is no gauge 9"},
      {{{change::RemoveGauge{"VCockpit02", 1}}}, "VCockpit02 has 1 gauge; there is no gauge 1"},
      {{{change::Reorder{"Window00", 3, 1}}}, "it is drawn last already"},
      {{{change::Reorder{"Window00", 0, -2}}}, "it is drawn first already"},
      {{{change::AddGauge{"Window00", "a,b", "c", {1, 1, {}, {}}}}}, "a module is named without ','"},
      {{{change::AddGauge{"Window00", "a", "c//d", {1, 1, {}, {}}}}}, "a gauge is named without ','"},
      {{{change::SetWindowKey{"Window00", "colour", "red"}}}, "a window has no key 'colour'"},
      {{{change::SetWindowKey{"Window00", "ident", "a // b"}}}, "a value holds no '//'"},
      {{{change::SetWindowKey{"Window00", "size_mm", "0,0"}}},
       "the panel would not read: w.cfg:11: size_mm wants sizes above 0, not '0,0'"},
      {{{change::SetWindowKey{"VCockpit02", "title", "VC"}}}, "a virtual cockpit has no title"},
      {{{change::AddWindow{"window1", ""}}}, "Window01 is there already"},
      {{{change::AddWindow{"Panel3", ""}}}, "a window is named WindowNN or VCockpitNN"},
      {{{change::RemoveWindow{"1"}}}, "there is no window 1"},
      // One bad change refuses the whole edit.
      {{{change::Place{"Window00", 0, {5, 5, {}, {}}}, change::Place{"Window00", 1, {kNan, 5, {}, {}}}}},
       "x is not a number"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    PanelDocument document = read(kWorld);
    std::string error;
    std::vector<std::string> log;
    EXPECT_FALSE(document.apply(c.edit, &log, &error));
    EXPECT_NE(error.find(c.why), std::string::npos) << error;
    EXPECT_EQ(document.text(), kWorld);
    EXPECT_TRUE(log.empty());
    EXPECT_FALSE(document.can_undo());
  }
  PanelDocument alone = read("[Window00]\r\n");
  std::string error;
  EXPECT_FALSE(alone.apply({{change::RemoveWindow{"Window00"}}}, nullptr, &error));
  EXPECT_EQ(error,
            "cannot remove window Window00 (lines 1 to 1): the panel would not read: w.cfg: no [WindowNN] or "
            "[VCockpitNN] section");
}

// The first section and the first key of a name count: an edit never lets a
// repeat that is ignored now be read.
TEST(PanelDocumentRefusals, IgnoredRepeatsStayIgnored) {
  // Line 4 repeats gauge01 before gauge02; line 6 repeats it after gauge02.
  const std::string before =
      "[Window00]\ngauge00=A!A, 0, 0\ngauge01=B!B, 1, 1\ngauge01=Repeat!R, 9, 9\ngauge02=C!C, 2, 2\n"
      "ident=one\nident=two\n[Window00]\ngauge03=Section!S, 5, 5\n";
  const std::string after =
      "[Window00]\ngauge00=A!A, 0, 0\ngauge01=B!B, 1, 1\ngauge02=C!C, 2, 2\ngauge01=Repeat!R, 9, 9\n";
  const struct {
    const std::string& text;
    PanelChange change;
    std::string expected;  // the text after it, or the refusal's words
  } cases[] = {
      {before, change::RemoveGauge{"Window00", 1},
       "cannot remove Window00 gauge01 B (line 3): line 4 ('gauge01=Repeat!R, 9, 9'), ignored now as a repeat, would "
       "be read "
       "instead"},
      {after, change::RemoveGauge{"Window00", 1},  // the renumbered line comes first: the repeat stays ignored
       "[Window00]\ngauge00=A!A, 0, 0\ngauge01=C!C, 2, 2\ngauge01=Repeat!R, 9, 9\n"},
      {before, change::RemoveGauge{"Window00", 2},
       "[Window00]\ngauge00=A!A, 0, 0\ngauge01=B!B, 1, 1\n"
       "gauge01=Repeat!R, 9, 9\nident=one\nident=two\n[Window00]\ngauge03=Section!S, 5, 5\n"},
      {before, change::SetWindowKey{"Window00", "ident", ""},
       "cannot remove Window00 ident (line 6): line 7 ('ident=two'), ignored now as a repeat, would be read instead"},
      {before, change::SetWindowKey{"Window00", "ident", "three"},
       "[Window00]\ngauge00=A!A, 0, 0\ngauge01=B!B, 1, 1\ngauge01=Repeat!R, 9, 9\ngauge02=C!C, 2, 2\n"
       "ident=three\nident=two\n[Window00]\ngauge03=Section!S, 5, 5\n"},
      {before, change::AddWindow{"Window01", ""}, before + "\n[Window01]\n"},
      {before, change::RemoveWindow{"Window00"},
       "cannot remove window Window00 (lines 1 to 7): line 8 ('[Window00]'), ignored now as a repeat, would be read "
       "instead"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    PanelDocument document = read(c.text);
    std::string error;
    const bool applied = document.apply({{c.change}}, nullptr, &error);
    EXPECT_EQ(applied ? document.text() : error, c.expected);
    if (!applied) {
      EXPECT_EQ(document.text(), c.text);
    }
  }
  // A window read from two sections of one number ([Window00] and [Window0]).
  PanelDocument split = read("[Window00]\ngauge00=A!A, 0, 0\n[Window0]\ngauge01=B!B, 1, 1\n");
  std::string error;
  EXPECT_FALSE(split.apply({{change::Place{"Window00", 0, {3, 3, {}, {}}}}}, nullptr, &error));
  EXPECT_EQ(error,
            "cannot move Window00 gauge 0: Window00 is read from two sections, lines 1 and 3; join them into "
            "one to edit it");
}

// ---- History

TEST(PanelDocumentHistory, ADragIsOneStepAndUndoRedoWalkTheSteps) {
  PanelDocument document = read(kWorld);
  std::string error;
  std::vector<std::string> log;
  for (double x : {11.0, 12.0, 13.0})
    ASSERT_TRUE(document.apply_merged(
        {{change::Place{"Window00", 0, {x, 20, {}, {}}}, change::Place{"Window00", 1, {x + 100, 20, 80, {}}}}}, &log,
        &error))
        << error;
  document.end_merge();
  EXPECT_EQ(log.back(), "move Window00 Gauge01 Tarnwix_Altimeter to 113, 20, 80") << "the merged step as a whole";
  ASSERT_TRUE(document.apply({{change::RemoveGauge{"Window01", 0}}}, nullptr, &error)) << error;
  const std::string dragged = world_with({replace(16, "Gauge00=cessna!airspeed,13,20"),
                                          replace(17, "Gauge01=Tarnwix_Altimeter, 113, 20, 80   // no bang")});
  log.clear();
  ASSERT_TRUE(document.undo(&log));
  EXPECT_EQ(document.text(), dragged);
  ASSERT_TRUE(document.undo(&log));
  EXPECT_EQ(document.text(), kWorld) << "the three steps of the drag undo as one";
  EXPECT_EQ(log, (std::vector<std::string>{"undo remove Window01 gauge00 gps500 (line 23)",
                                           "undo move Window00 Gauge00 airspeed to 13, 20",
                                           "undo move Window00 Gauge01 Tarnwix_Altimeter to 113, 20, 80"}));
  EXPECT_FALSE(document.undo(&log));
  EXPECT_FALSE(document.modified());
  ASSERT_TRUE(document.redo(&log));
  EXPECT_EQ(log.back(), "redo move Window00 Gauge01 Tarnwix_Altimeter to 113, 20, 80");
  EXPECT_EQ(document.text(), dragged);
  EXPECT_TRUE(document.modified());
  document.mark_saved();
  EXPECT_FALSE(document.modified());
  // A new edit drops the steps undone before it.
  ASSERT_TRUE(document.apply({{change::SetWindowKey{"Window00", "ident", "X"}}}, nullptr, &error)) << error;
  EXPECT_FALSE(document.can_redo());
  ASSERT_TRUE(document.undo(nullptr));
  EXPECT_FALSE(document.modified()) << "back at the bytes saved";
}

// ---- Saving

struct Folder {
  fs::path path;
  explicit Folder(const std::string& name) : path(fs::temp_directory_path() / ("tarnwix_document_" + name)) {
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~Folder() {
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(path, ignored))
      fs::permissions(entry.path(), fs::perms::owner_all, ignored);
    fs::remove_all(path, ignored);
  }
  std::string file(const std::string& name) const { return (path / name).string(); }
  std::vector<std::string> names() const {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(path)) found.push_back(entry.path().filename().string());
    std::sort(found.begin(), found.end());
    return found;
  }
};

void write_file(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
std::string bytes_of(const std::string& path) { return host::read_panel_file(path, nullptr).value_or("(none)"); }

TEST(PanelDocumentSaving, ReplacesTheFileWholeAndKeepsOneBackup) {
  Folder folder("save");
  const std::string path = folder.file("panel.cfg");
  write_file(path, kWorld);
  std::vector<std::string> notes;
  std::string error;
  EXPECT_EQ(host::save_panel_file({path, "first", kWorld, true}, &notes, &error), host::SaveOutcome::kSaved) << error;
  EXPECT_EQ(bytes_of(path), "first");
  EXPECT_EQ(bytes_of(path + ".bak"), kWorld);
  EXPECT_EQ(notes, std::vector<std::string>{"kept the original as panel.cfg.bak"});
  EXPECT_EQ(host::save_panel_file({path, "second", "first", false}, &notes, &error), host::SaveOutcome::kSaved);
  EXPECT_EQ(bytes_of(path + ".bak"), kWorld) << "no backup asked for";
  EXPECT_EQ(host::save_panel_file({path, "third", "second", true}, &notes, &error), host::SaveOutcome::kSaved);
  EXPECT_EQ(bytes_of(path + ".bak"), "second");
  EXPECT_EQ(notes.back(), "replaced an older panel.cfg.bak");
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"panel.cfg", "panel.cfg.bak"})) << "no temporary file left";
  // Save as: a new file, nothing expected of it.
  EXPECT_EQ(host::save_panel_file({folder.file("new.cfg"), "new", std::nullopt, true}, &notes, &error),
            host::SaveOutcome::kSaved);
  EXPECT_EQ(bytes_of(folder.file("new.cfg")), "new");
}

TEST(PanelDocumentSaving, RefusesInWordsAndLeavesTheFile) {
  Folder folder("refuse");
  const std::string path = folder.file("panel.cfg");
  write_file(path, "changed by another program");
  std::string error;
  EXPECT_EQ(host::save_panel_file({path, "mine", kWorld, true}, nullptr, &error), host::SaveOutcome::kChangedOnDisk);
  EXPECT_EQ(error, path + " was changed on disk since it was read; nothing was written");
  EXPECT_EQ(bytes_of(path), "changed by another program");

  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(host::save_panel_file({path, "mine", std::nullopt, true}, nullptr, &error), host::SaveOutcome::kFailed);
  EXPECT_EQ(error, "cannot save " + path + ": the file is read-only");
  EXPECT_EQ(bytes_of(path), "changed by another program");
  EXPECT_EQ(folder.names(), std::vector<std::string>{"panel.cfg"}) << "no backup, no temporary file";

  const std::string vanished = folder.file("gone") + "/panel.cfg";
  EXPECT_EQ(host::save_panel_file({vanished, "mine", std::nullopt, false}, nullptr, &error),
            host::SaveOutcome::kFailed);
  EXPECT_EQ(error, "cannot save " + vanished + ": its folder " + folder.file("gone") + " does not exist");
  EXPECT_EQ(host::save_panel_file({vanished, "mine", "old", false}, nullptr, &error), host::SaveOutcome::kFailed);

  EXPECT_FALSE(host::read_panel_file(vanished, &error).has_value());
  EXPECT_EQ(error, "cannot read " + vanished + ": it does not exist");
}

}  // namespace
}  // namespace tarnwix::test
