// gaugeview: a panel.cfg, a module or a scenario, with the real modules
// running live in a window at the simulator's rate; every variable they
// read at hand, every click area live under the mouse, everything they send
// back in a log.
//
//   gaugeview [--modules DIR] [--rate HZ] [--zoom PERCENT] [--set TOKEN=VALUE]... [--log FILE]
//             [--record FILE] [--no-sound] [PANEL.cfg [--window N] | MODULE.gau | SCENARIO.txt]
//   gaugeview --bench FRAMES [PANEL.cfg [--window N]]
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "arguments.h"
#include "event_log.h"
#include "host/host.h"
#include "host/version.h"
#include "main_window.h"
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
