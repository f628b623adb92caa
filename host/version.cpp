#include "version.h"

#include <cstdio>
#include <cstring>

namespace tarnwix::host {

const char* product_version() { return TARNWIX_VERSION; }

const char* toolchain() { return TARNWIX_TOOLCHAIN; }

std::string version_text(const char* program) {
  return std::string(program) + " " + product_version() + " (Tarnwix panel gauges)\nbuilt on " + toolchain() + "\n";
}

bool print_version_if_asked(int argc, char** argv, const char* program) {
  bool asked = false;
  for (int i = 1; i < argc; ++i) asked = asked || std::strcmp(argv[i], "--version") == 0;
  if (!asked) return false;
  std::fputs(version_text(program).c_str(), stdout);
  return true;
}

}  // namespace tarnwix::host
