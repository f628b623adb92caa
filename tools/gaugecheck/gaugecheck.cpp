// gaugecheck: stress-tests a gauge module through the host and reports every
// broken property with the seed and step that replay it.
//
//   gaugecheck MODULE.gau [--level 1..10] [--seed N] [--sound GAUGESOUND.dll] [--step K]
//
// Exit code 0 only when nothing failed; 2 for a usage error.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "check.h"
#include "host/host.h"
#include "host/version.h"

namespace {

int usage() {
  std::fprintf(stderr, "usage: gaugecheck MODULE.gau [--level 1..10] [--seed N] [--sound GAUGESOUND.dll] [--step K]\n");
  return 2;
}

bool parse_unsigned(const std::string& text, uint64_t* value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 19) return false;
  *value = std::strtoull(text.c_str(), nullptr, 10);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (tarnwix::host::print_version_if_asked(argc, argv, "gaugecheck")) return 0;
  if (argc < 2 || argv[1][0] == '-') return usage();
  tarnwix::check::Options options;
  for (int i = 2; i < argc; i += 2) {
    const std::string option = argv[i];
    if (i + 1 >= argc) return usage();
    const std::string argument = argv[i + 1];
    uint64_t number = 0;
    if (option == "--level" && parse_unsigned(argument, &number) && number >= 1 && number <= 10) {
      options.level = static_cast<int>(number);
    } else if (option == "--seed" && parse_unsigned(argument, &number)) {
      options.seed = number;
    } else if (option == "--step" && parse_unsigned(argument, &number) && number >= 1) {
      options.replay_step = number;
    } else if (option == "--sound") {
      options.sound_library = argument;
    } else {
      return usage();
    }
  }
  // A file that is no gauge module gets one line saying why, not a run.
  {
    std::string error;
    if (tarnwix::host::Module::load(argv[1], &error) == nullptr) {
      std::fprintf(stderr, "gaugecheck: cannot load %s: %s\n", argv[1], error.c_str());
      return 1;
    }
  }
  const tarnwix::check::Report report = tarnwix::check::run(argv[1], options, std::cout);
  std::cout.flush();
  return report.failed == 0 && report.passed > 0 ? 0 : 1;
}
