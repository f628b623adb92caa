// Shared by the test programs: where the built modules and the fake sound
// library are, and a fresh panel for every test.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host/host.h"

namespace tarnwix::test {

// dist/NAME.gau
std::string module_path(const std::string& name);
// The fake GaugeSound.dll built for the tests.
std::string fake_sound_path();

// Resets the panel (sound library absent) and loads dist/NAME.gau; fails the
// test when it does not load.
std::unique_ptr<host::Module> load(const std::string& name);

// Resets the panel with the fake sound library present and loads NAME.
std::unique_ptr<host::Module> load_with_sound(const std::string& name);

}  // namespace tarnwix::test
