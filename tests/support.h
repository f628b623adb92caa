// Shared by the test programs: where the built modules and the fake sound
// library are, and a fresh panel for every test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/host.h"

namespace tarnwix::test {

// The dist folder, and dist/NAME.gau in it.
std::string dist_dir();
std::string module_path(const std::string& name);
// The fake GaugeSound.dll built for the tests.
std::string fake_sound_path();

// Resets the panel (sound library absent) and loads dist/NAME.gau; fails the
// test when it does not load.
std::unique_ptr<host::Module> load(const std::string& name);

// Resets the panel with the fake sound library present and loads NAME.
std::unique_ptr<host::Module> load_with_sound(const std::string& name);

// Fails the running test for every call into `module` that broke the calling
// convention and every text written past its buffer, so far. For fixtures'
// TearDown: every test of the fixture then checks them.
void expect_clean_calls(const host::Module& module);

// A fixture holding one module, loaded (sound library absent) and installed,
// whose calls are checked after every test of the fixture.
class InstalledModule : public ::testing::Test {
 protected:
  explicit InstalledModule(std::string name) : name_(std::move(name)) {}
  void SetUp() override {
    module = load(name_);
    ASSERT_NE(module, nullptr);
    module->install();
  }
  void TearDown() override {
    if (module != nullptr) expect_clean_calls(*module);
  }
  std::unique_ptr<host::Module> module;

 private:
  std::string name_;
};

// Every module the build makes, by name, in the order the build lists them.
std::vector<std::string> module_names();

// The bytes of every writable section of a loaded module's image: the
// module's state as it is in memory, for comparing before and after a call.
std::vector<uint8_t> writable_image_bytes(const host::Module& module);

// The calls counted by the fake sound library in this process so far.
struct FakeSoundCounts {
  long attach = 0, detach = 0, terminate = 0, play = 0, stop = 0;
};
FakeSoundCounts fake_sound_counts();

}  // namespace tarnwix::test
