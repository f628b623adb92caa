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
#include "meanings.h"
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
  const Meanings& meanings = tarnwix_meanings();
  std::vector<ModuleReference> modules;
  for (const std::string& name : names) {
    const std::string path = folder + "/" + name + ".gau";
    const ModuleMeaning* meaning = meanings.module(name);
    std::string error;
    std::optional<ModuleReference> reference =
        observe(path, meaning ? meaning->active : std::vector<VariableSetting>{}, &error);
    if (!reference) {
      std::fprintf(stderr, "gaugeguide: %s: %s\n", path.c_str(), error.c_str());
      return 1;
    }
    modules.push_back(std::move(*reference));
  }
  std::string error;
  const std::optional<std::string> guide = write_guide(modules, meanings, version, &error);
  const std::optional<std::string> panel = guide ? write_panel_cfg(modules, version, &error) : std::nullopt;
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
