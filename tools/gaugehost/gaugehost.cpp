// gaugehost: loads a gauge module as the simulator does and prints its records
// and the snapshot of a number of frames.
//
//   gaugehost MODULE.gau [--frames N] [--set TOKEN=VALUE]... [--click X,Y]...
//                        [--named NAME=VALUE]... [--sound LIBRARY.dll] [--digits N]
//                        [--x87-precision 24|53|64]
#include <float.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "host/describe.h"
#include "host/host.h"
#include "host/version.h"

using namespace tarnwix::host;

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: gaugehost MODULE.gau [--frames N] [--set TOKEN=VALUE]... [--click X,Y]...\n"
               "                            [--named NAME=VALUE]... [--sound LIBRARY.dll] [--digits N]\n"
               "                            [--x87-precision 24|53|64]\n");
  return 2;
}

bool parse_number(const std::string& text, double* value) {
  char* end = nullptr;
  *value = std::strtod(text.c_str(), &end);
  return !text.empty() && end != nullptr && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
  if (tarnwix::host::print_version_if_asked(argc, argv, "gaugehost")) return 0;
  if (argc < 2) return usage();
  const std::string path = argv[1];
  int frames = 1;
  int digits = 6;  // of the frames' values; 17 tell any two doubles apart
  // The x87 unit's precision as the process starts (double on Windows,
  // extended under Wine) unless a panel's is asked for.
  std::optional<unsigned> precision_control;
  std::vector<std::pair<uint32_t, double>> variables;
  std::vector<std::pair<int, int>> clicks;
  std::vector<std::pair<std::string, uint32_t>> named;
  Panel& panel = Panel::instance();
  for (int i = 2; i < argc; ++i) {
    const std::string option = argv[i];
    if (i + 1 >= argc) return usage();
    const std::string argument = argv[++i];
    double number = 0;
    if (option == "--frames" && parse_number(argument, &number) && number >= 0 && number <= 1e6) {
      frames = static_cast<int>(number);
    } else if (option == "--digits" && parse_number(argument, &number) && number >= 1 && number <= 17) {
      digits = static_cast<int>(number);
    } else if (option == "--x87-precision" && (argument == "24" || argument == "53" || argument == "64")) {
      precision_control = argument == "24" ? _PC_24 : argument == "53" ? _PC_53 : _PC_64;
    } else if (option == "--set" && argument.find('=') != std::string::npos) {
      const size_t eq = argument.find('=');
      double token = 0, value = 0;
      if (!parse_number(argument.substr(0, eq), &token) || !parse_number(argument.substr(eq + 1), &value) ||
          token < 0 || token > 0xFFFFFFFFu) {
        std::fprintf(stderr, "gaugehost: --set wants TOKEN=VALUE, not %s\n", argument.c_str());
        return 2;
      }
      variables.emplace_back(static_cast<uint32_t>(token), value);
    } else if (option == "--click" && argument.find(',') != std::string::npos) {
      double x = 0, y = 0;
      const size_t comma = argument.find(',');
      if (!parse_number(argument.substr(0, comma), &x) || !parse_number(argument.substr(comma + 1), &y)) {
        std::fprintf(stderr, "gaugehost: --click wants X,Y, not %s\n", argument.c_str());
        return 2;
      }
      clicks.emplace_back(static_cast<int>(x), static_cast<int>(y));
    } else if (option == "--named" && argument.find('=') != std::string::npos) {
      const size_t eq = argument.find('=');
      double value = 0;
      if (!parse_number(argument.substr(eq + 1), &value) || value < 0 || value > 0xFFFFFFFFu) {
        std::fprintf(stderr, "gaugehost: --named wants NAME=VALUE (0 to 4294967295), not %s\n", argument.c_str());
        return 2;
      }
      named.emplace_back(argument.substr(0, eq), static_cast<uint32_t>(value));
    } else if (option == "--sound") {
      panel.set_sound_library(SoundLibraryMode::kPresent);
      panel.set_sound_library_path(argument);
    } else {
      return usage();
    }
  }

  std::string error;
  auto module = Module::load(path, &error);
  if (!module) {
    std::fprintf(stderr, "gaugehost: cannot load %s: %s\n", path.c_str(), error.c_str());
    return 1;
  }
  for (const auto& [token, value] : variables) panel.set_variable(token, value);
  // The precision the panel leaves the x87 unit in while it calls the gauges.
  if (precision_control) _controlfp(*precision_control, _MCW_PC);
  std::fputs(describe_records(*module).c_str(), stdout);
  module->call_module_init();
  module->install();
  for (const auto& [name, value] : named)
    if (!panel.write_named(name, value)) std::fprintf(stderr, "gaugehost: no named variable \"%s\"\n", name.c_str());
  for (const auto& [x, y] : clicks) {
    const int record = module->click(x, y);
    std::printf("Click at (%d, %d): %s\n", x, y, record < 0 ? "no area" : ("area " + std::to_string(record)).c_str());
  }
  for (int frame = 1; frame <= frames; ++frame)
    std::fputs(describe_frame(module->frame(), frame, digits).c_str(), stdout);
  for (const auto& [name, variable] : panel.named_variables())
    std::printf("Named variable \"%s\" = %u\n", name.c_str(), panel.read_named(name).value_or(0));
  module->kill();
  module->call_module_deinit();
  for (const CallFault& fault : module->call_faults()) {
    if (fault.crash_code != 0)
      std::printf("FAULT: %s crashed with exception 0x%08X at 0x%08X\n", fault.routine.c_str(), fault.crash_code,
                  fault.crash_address);
    else
      std::printf("FAULT: %s left the stack %d bytes off%s\n", fault.routine.c_str(), fault.stack_delta,
                  fault.registers_clobbered ? " and changed a callee-saved register" : "");
  }
  for (const std::string& fault : module->text_faults()) std::printf("FAULT: %s\n", fault.c_str());
  for (uint32_t slot : panel.trapped_slots()) std::printf("FAULT: unsupported panel service at offset %u\n", slot);
  return module->call_faults().empty() && module->text_faults().empty() && panel.trapped_slots().empty() ? 0 : 1;
}
