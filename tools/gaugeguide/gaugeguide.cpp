// gaugeguide: loads every module of a folder on the stand-in simulator and
// writes the panel builders' guide (its reference observed from the modules)
// and the sample panel.cfg, both with Windows line ends.
//
//   gaugeguide --version X.Y.Z --out DIR MODULES_DIR
//
// Writes DIR/Tarnwix-Gauges-Guide.txt and DIR/panel.cfg, or nothing at all
// when a module does not load, carries another version, or uses something
// the meanings table does not name.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "guide.h"
#include "host/host.h"
#include "host/meanings.h"
#include "reference.h"

using namespace tarnwix::guide;

namespace {

int usage() {
  std::fprintf(stderr, "usage: gaugeguide --version X.Y.Z --out DIR MODULES_DIR\n");
  return 2;
}

bool write_file(const std::string& path, const std::string& text) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
  std::string version, out, folder;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--version" && i + 1 < argc) {
      version = argv[++i];
    } else if (option == "--out" && i + 1 < argc) {
      out = argv[++i];
    } else if (!option.empty() && option[0] != '-' && folder.empty()) {
      folder = option;
    } else {
      return usage();
    }
  }
  if (version.empty() || out.empty() || folder.empty()) return usage();

  const std::vector<std::string> names = tarnwix::host::module_names_in(folder);
  if (names.empty()) {
    std::fprintf(stderr, "gaugeguide: no modules in %s\n", folder.c_str());
    return 1;
  }
  const tarnwix::host::Meanings& meanings = tarnwix::host::tarnwix_meanings();
  std::vector<std::string> paths;
  for (const std::string& name : names) paths.push_back(folder + "/" + name + ".gau");
  std::string error;
  const std::optional<Observed> observed = observe_modules(paths, meanings, &error);
  const std::optional<std::string> guide = observed ? write_guide(*observed, meanings, version, &error) : std::nullopt;
  const std::optional<std::string> panel = guide ? write_panel_cfg(observed->modules, version, &error) : std::nullopt;
  if (!guide || !panel) {
    std::fprintf(stderr, "gaugeguide: %s\n", error.c_str());
    return 1;
  }
  CreateDirectoryA(out.c_str(), nullptr);
  if (!write_file(out + "/Tarnwix-Gauges-Guide.txt", windows_lines(*guide)) ||
      !write_file(out + "/panel.cfg", windows_lines(*panel))) {
    std::fprintf(stderr, "gaugeguide: cannot write into %s\n", out.c_str());
    return 1;
  }
  return 0;
}
