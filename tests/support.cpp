#include "support.h"

namespace tarnwix::test {

std::string module_path(const std::string& name) { return std::string(TARNWIX_DIST_DIR) + "/" + name + ".gau"; }

std::string fake_sound_path() { return TARNWIX_FAKE_SOUND; }

namespace {
std::unique_ptr<host::Module> load_in(const std::string& name, host::SoundLibraryMode mode) {
  host::Panel& panel = host::Panel::instance();
  panel.reset();
  panel.set_sound_library_path(fake_sound_path());
  panel.set_sound_library(mode);
  std::string error;
  auto module = host::Module::load(module_path(name), &error);
  EXPECT_NE(module, nullptr) << "cannot load " << name << ": " << error;
  return module;
}
}  // namespace

std::unique_ptr<host::Module> load(const std::string& name) { return load_in(name, host::SoundLibraryMode::kAbsent); }

std::unique_ptr<host::Module> load_with_sound(const std::string& name) {
  return load_in(name, host::SoundLibraryMode::kPresent);
}

}  // namespace tarnwix::test
