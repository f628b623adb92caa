// gaugeview: a panel.cfg, a module or a scenario, with the real modules
// running live in a window at the simulator's rate; every variable they
// read at hand, every click area live under the mouse, everything they send
// back in a log.
//
//   gaugeview [--modules DIR] [--rate HZ] [--zoom PERCENT] [--set TOKEN=VALUE]... [--log FILE]
//             [--record FILE] [--no-sound] [PANEL.cfg [--window N] | MODULE.gau | SCENARIO.txt]
//   gaugeview --bench FRAMES [PANEL.cfg [--window N]]
//   gaugeview --bench-drag STEPS [PANEL.cfg [--window N]]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "arguments.h"
#include "event_log.h"
#include "host/host.h"
#include "host/version.h"
#include "main_window.h"
#include "panel_document.h"
#include "session.h"

using namespace tarnwix::view;

namespace {

// A program with a window has no console of its own: started from one on
// Windows, it writes its messages there; started from the desktop, it has
// nowhere to write them, and says them in a message box.
bool have_console = true;
void reach_the_console() {
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (error != nullptr && error != INVALID_HANDLE_VALUE) return;
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) {
    have_console = false;
    return;
  }
  std::FILE* ignored = std::freopen("CONOUT$", "w", stdout);
  ignored = std::freopen("CONOUT$", "w", stderr);
  (void)ignored;
}

std::string program_folder() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder = length > 0 && length < MAX_PATH ? std::string(path, length) : std::string(".\\x");
  folder.resize(folder.find_last_of("\\/"));
  return folder;
}

bool is_folder(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool is_file(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Without --modules: the Gauges folder beside the program, else its own folder.
std::string default_modules_folder() {
  const std::string folder = program_folder();
  return is_folder(folder + "\\Gauges") ? folder + "\\Gauges" : folder;
}

// Without a file: the example panel, beside the program (in the tools' zip,
// in its scenarios folder) or the modules.
std::string example_panel(const std::string& modules, std::string* looked) {
  const std::string program = program_folder();
  for (const std::string& folder : {program, program + "\\scenarios", program + "\\..", modules, modules + "\\.."}) {
    const std::string path = folder + "\\example_panel\\panel.cfg";
    if (is_file(path)) return path;
    *looked += (looked->empty() ? "" : ", ") + path;
  }
  return {};
}

int fail(const std::string& message, int status) {
  std::fprintf(stderr, "gaugeview: %s\n", message.c_str());
  if (!have_console) MessageBoxA(nullptr, message.c_str(), "gaugeview", MB_OK | MB_ICONERROR);
  return status;
}

double milliseconds_now() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// "median (10th-90th percentile)".
std::string spread_text(std::vector<double> values) {
  if (values.empty()) return "-";
  std::sort(values.begin(), values.end());
  auto at = [&](double fraction) { return values[static_cast<size_t>(fraction * (values.size() - 1) + 0.5)]; };
  char text[64];
  std::snprintf(text, sizeof text, "%.2f (%.2f-%.2f)", at(0.5), at(0.1), at(0.9));
  return text;
}

// Times the steps of a drag of the open window's first gauge, back and forth
// by up to 8 units, as the layout editor makes them: each step an edit of
// the panel.cfg's document merged into the drag, then the window laid out
// and drawn again from the edited model.
int bench_drag(Session& session, int steps) {
  const tarnwix::host::PanelWindow* window = session.panel_window();
  if (window == nullptr || window->gauges.empty()) return fail(session.title() + " has no gauge to drag", 1);
  std::string error;
  const std::optional<std::string> text = tarnwix::host::read_panel_file(session.path(), &error);
  if (!text) return fail(error, 1);
  std::optional<tarnwix::host::PanelDocument> document =
      tarnwix::host::PanelDocument::read(*text, session.panel()->source, &error);
  if (!document) return fail(error, 1);
  const std::string window_name = window->name();
  const tarnwix::host::PanelGauge gauge = window->gauges.front();
  // The gauges drawn first, as in a window that runs.
  for (int i = 0; i < 3; ++i) session.frame();
  std::vector<double> edit, lay_out, total;
  for (int i = -20; i < steps; ++i) {
    const int phase = (i + 20) % 16;
    const double offset = phase < 8 ? phase : 16 - phase;
    tarnwix::host::PanelEdit step;
    step.changes.push_back(tarnwix::host::change::Place{
        window_name, 0, {gauge.x + offset, gauge.y + offset / 2, gauge.width, gauge.height}});
    std::vector<std::string> log;
    const double start = milliseconds_now();
    if (!document->apply_merged(step, &log, &error)) return fail(error, 1);
    const double edited = milliseconds_now();
    if (!session.set_panel(document->config(), &error)) return fail(error, 1);
    const double drawn = milliseconds_now();
    if (i < 0) continue;  // warming up
    edit.push_back(edited - start);
    lay_out.push_back(drawn - edited);
    total.push_back(drawn - start);
  }
  std::printf("| %s: %s!%s dragged, %d steps | step | edit | lay out and draw |\n|---|---:|---:|---:|\n",
              session.title().c_str(), gauge.module.c_str(), gauge.gauge.c_str(), steps);
  std::printf("| a step | %s | %s | %s |\n", spread_text(total).c_str(), spread_text(edit).c_str(),
              spread_text(lay_out).c_str());
  std::fflush(stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  reach_the_console();
  if (tarnwix::host::print_version_if_asked(argc, argv, "gaugeview")) return 0;
  std::string error;
  const std::optional<Arguments> parsed = parse_arguments(std::vector<std::string>(argv + 1, argv + argc), &error);
  if (!parsed) return fail(error, 2);
  Arguments arguments = *parsed;
  if (arguments.help) {
    std::fputs(usage_text(), stdout);
    return 0;
  }
  SessionOptions options;
  options.modules_folder = arguments.modules_folder.empty() ? default_modules_folder() : arguments.modules_folder;
  options.window = arguments.window;
  options.start_values = arguments.start_values;
  const std::string sound = program_folder() + "\\GaugeSound.dll";
  if (arguments.sound) options.sound_library = sound;
  if (arguments.target.empty()) {
    std::string looked;
    arguments.target = example_panel(options.modules_folder, &looked);
    if (arguments.target.empty())
      return fail("no file given and no example panel found (looked for " + looked + ")", 2);
  }

  EventLog log;
  if (!arguments.log_file.empty() && !log.open_file(arguments.log_file, &error)) return fail(error, 1);
  HINSTANCE instance = GetModuleHandleA(nullptr);

  if (arguments.bench_drag_steps > 0) {
    std::unique_ptr<Session> session = Session::open(arguments.target, options, log, &error);
    if (!session) return fail(error, 1);
    return bench_drag(*session, arguments.bench_drag_steps);
  }

  if (arguments.bench_frames > 0) {
    // Without the sound library first: once the panel has loaded it, every
    // gauge finds it loaded.
    std::unique_ptr<MainWindow> window;
    for (bool with_sound : {false, true}) {
      SessionOptions bench_options = options;
      bench_options.sound_library = with_sound ? sound : "";
      std::unique_ptr<Session> session = Session::open(arguments.target, bench_options, log, &error);
      if (!session) return fail(error, 1);
      if (with_sound && tarnwix::host::Panel::instance().sound_library() != tarnwix::host::SoundLibraryMode::kPresent)
        return fail("cannot load the sound library " + sound + ": no frame timed with it", 1);
      if (!with_sound)
        std::printf("| %s, %d frames | frame | update | draw | blit |\n|---|---:|---:|---:|---:|\n",
                    session->title().c_str(), arguments.bench_frames);
      window = std::make_unique<MainWindow>(arguments, bench_options, log);
      if (!window->create(instance, std::move(session))) return fail("cannot create the window", 1);
      window->bench(arguments.bench_frames, with_sound ? "GaugeSound loaded by the panel" : "GaugeSound absent");
      window.reset();
    }
    return 0;
  }

  std::unique_ptr<Session> session = Session::open(arguments.target, options, log, &error);
  if (!session) return fail(error, 1);
  int status = 0;
  {
    MainWindow window(arguments, options, log);
    if (!window.create(instance, std::move(session))) return fail("cannot create the window", 1);
    status = window.run();
    if (!arguments.record_file.empty() && !window.save_recording(arguments.record_file, &error)) {
      log.add(0, "cannot write the recording: " + error);
      status = fail(error, 1);
    }
  }
  return status;
}
