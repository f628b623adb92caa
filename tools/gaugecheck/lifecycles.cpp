// Whole lifecycles with the sound library absent, present or loaded by
// another gauge, and the library appearing or vanishing in the middle of a run.
#include <windows.h>

#include "run.h"

namespace tarnwix::check::detail {

namespace {

// A reference on the sound library held by another gauge of the panel.
class OtherGaugesReference {
 public:
  OtherGaugesReference() = default;
  OtherGaugesReference(const OtherGaugesReference&) = delete;
  OtherGaugesReference& operator=(const OtherGaugesReference&) = delete;
  ~OtherGaugesReference() { release(); }
  void take(const std::string& path) {
    if (library_ == nullptr && !path.empty()) library_ = LoadLibraryA(path.c_str());
  }
  void release() {
    if (library_ != nullptr) FreeLibrary(library_);
    library_ = nullptr;
  }
  bool held() const { return library_ != nullptr; }

 private:
  HMODULE library_ = nullptr;
};

}  // namespace

void Run::load_and_unload() {
  begin("load and unload", false);
  set_sound(SoundLibraryMode::kPresent);
  for (int round = 0; round < 4 * options_.level && !stopped(); ++round) {
    auto module = load();
    if (module == nullptr) break;
    if (!module_init(*module) || !module_deinit(*module)) break;
    unload(module);
  }
  end();
}

void Run::lifecycles(const std::string& name, SoundLibraryMode mode, bool other_gauge_holds) {
  begin(name, true);
  set_sound(mode);
  OtherGaugesReference other_gauge;
  if (other_gauge_holds) other_gauge.take(options_.sound_library);
  sound_baseline_ = have_sound() ? sound_references(options_.sound_library) : 0;
  for (int round = 0; round < 2 * options_.level && !stopped(); ++round) {
    auto module = load();
    if (module == nullptr) break;
    if (!module_init(*module)) break;
    install(*module);
    if (round == 0) learn_inputs(*module);
    run_frames(*module, 1 + below(5 * options_.level));
    kill(*module);
    if (!module_deinit(*module)) break;
    unload(module);
  }
  other_gauge.release();
  end();
}

void Run::sound_appears() {
  begin("sound library appears in the middle of a run", true);
  for (int round = 0; round < 2 * options_.level && !stopped(); ++round) {
    set_sound(SoundLibraryMode::kAbsent);
    auto module = load("load the module (sound library absent)");
    if (module == nullptr) break;
    install(*module);
    if (round == 0) learn_inputs(*module);
    run_frames(*module, 1 + below(3 * options_.level));
    // Either the panel's library becomes loadable, or another gauge loads it.
    OtherGaugesReference other_gauge;
    if (round % 2 == 0) {
      if (!step("the sound library becomes available")) break;
      set_sound(SoundLibraryMode::kPresent);
    } else {
      if (!step("another gauge loads the sound library")) break;
      other_gauge.take(options_.sound_library);
    }
    run_frames(*module, 1 + below(3 * options_.level));
    kill(*module);
    if (other_gauge.held() && step("the other gauge releases the sound library")) other_gauge.release();
    unload(module);
  }
  end();
}

void Run::sound_vanishes() {
  begin("sound library vanishes in the middle of a run", true);
  for (int round = 0; round < 2 * options_.level && !stopped(); ++round) {
    OtherGaugesReference other_gauge;
    if (round % 2 == 0) {
      // Another gauge has it loaded; this module finds it loaded and takes no
      // reference of its own, then the other gauge lets it go.
      set_sound(SoundLibraryMode::kAbsent);
      other_gauge.take(options_.sound_library);
    } else {
      set_sound(SoundLibraryMode::kPresent);
    }
    auto module = load();
    if (module == nullptr) break;
    install(*module);
    if (round == 0) learn_inputs(*module);
    run_frames(*module, 1 + below(3 * options_.level));
    if (!step(round % 2 == 0 ? "the other gauge releases the sound library"
                             : "the sound library can no longer be loaded"))
      break;
    other_gauge.release();
    set_sound(SoundLibraryMode::kAbsent);
    // Sometimes the gauge is killed straight after, with no update between.
    if (chance(50)) run_frames(*module, 1 + below(3 * options_.level));
    kill(*module);
    unload(module);
  }
  end();
}

}  // namespace tarnwix::check::detail
