// Run-time binding of the panel's optional sound library "GaugeSound". The
// module never plays a sound; it keeps the library bound while it runs and
// calls TerminateSounds once, at pre-kill. A missing library or entry point
// leaves its slot null and is skipped.
#pragma once

#include <cstdint>

#include "abi.h"

namespace tarnwix {

using SoundEntry = void(GAUGE_CALL*)();

// The four sound slots of the gauge state block, plus whether this module
// holds a reference of its own on the library (so that it releases only what
// it took, never a reference another gauge holds).
struct SoundLibrary {
  void* handle;
  SoundEntry play_sound;
  SoundEntry stop_sound;
  SoundEntry terminate_sounds;
  uint32_t holds_reference;

  // Pre-initialise: load the library unless a handle is held, then resolve.
  void load();
  // Pre-update: take the loaded library by name, load it if absent, resolve.
  void rebind();
  // Pre-kill: rebind, call TerminateSounds, release, and clear the slots.
  void terminate_and_release();

 private:
  void take_loaded_or_load();
  void resolve();
};

extern constinit SoundLibrary sound_library;

}  // namespace tarnwix
