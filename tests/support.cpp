#include "support.h"

#include <windows.h>

#include <cstdlib>
#include <sstream>

#include "host/pe.h"

namespace tarnwix::test {

std::string dist_dir() { return TARNWIX_DIST_DIR; }

std::string module_path(const std::string& name) { return dist_dir() + "/" + name + ".gau"; }

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

void expect_clean_calls(const host::Module& module) {
  for (const host::CallFault& fault : module.call_faults())
    ADD_FAILURE() << fault.routine << " broke the calling convention (stack off by " << fault.stack_delta << ")";
  for (const std::string& fault : module.text_faults()) ADD_FAILURE() << fault;
}

std::vector<std::string> module_names() {
  std::vector<std::string> names;
  std::istringstream list(TARNWIX_MODULE_NAMES);
  for (std::string name; std::getline(list, name, ',');)
    if (!name.empty()) names.push_back(name);
  return names;
}

std::vector<uint8_t> writable_image_bytes(const host::Module& module) {
  std::vector<uint8_t> bytes;
  for (const host::LoadedSection& section : host::loaded_sections(module.handle()))
    if (section.writable()) bytes.insert(bytes.end(), section.start, section.start + section.size);
  return bytes;
}

namespace {
long environment_count(const char* name) {
  char text[32] = "0";
  if (GetEnvironmentVariableA(name, text, sizeof text) == 0) return 0;
  return std::strtol(text, nullptr, 10);
}
}  // namespace

FakeSoundCounts fake_sound_counts() {
  return {environment_count("TARNWIX_FAKE_SOUND_ATTACH"), environment_count("TARNWIX_FAKE_SOUND_DETACH"),
          environment_count("TARNWIX_FAKE_SOUND_TERMINATE"), environment_count("TARNWIX_FAKE_SOUND_PLAY"),
          environment_count("TARNWIX_FAKE_SOUND_STOP")};
}

}  // namespace tarnwix::test
