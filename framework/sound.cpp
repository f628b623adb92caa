#include "sound.h"

#include <windows.h>

namespace tarnwix {

constinit SoundLibrary sound_library{};

namespace {

constexpr char kLibraryName[] = "GaugeSound";

HMODULE as_module(void* handle) { return static_cast<HMODULE>(handle); }

SoundEntry entry_point(void* library, const char* name) {
  return reinterpret_cast<SoundEntry>(reinterpret_cast<void*>(GetProcAddress(as_module(library), name)));
}

}  // namespace

void SoundLibrary::resolve() {
  // Asked with a null handle, the loader would search the simulator's own
  // program for these names; without the library every slot stays null.
  if (handle == nullptr) {
    play_sound = stop_sound = terminate_sounds = nullptr;
    return;
  }
  play_sound = entry_point(handle, "GaugePlaySound");
  stop_sound = entry_point(handle, "GaugeStopSound");
  terminate_sounds = entry_point(handle, "TerminateSounds");
}

void SoundLibrary::take_loaded_or_load() {
  HMODULE loaded = GetModuleHandleA(kLibraryName);
  if (loaded == nullptr) {
    // Not loaded in the process, so no reference of ours survives either.
    loaded = LoadLibraryA(kLibraryName);
    holds_reference = loaded != nullptr;
  }
  handle = loaded;
}

void SoundLibrary::load() {
  if (handle == nullptr) {
    handle = LoadLibraryA(kLibraryName);
    holds_reference = handle != nullptr;
  }
  resolve();
}

void SoundLibrary::rebind() {
  take_loaded_or_load();
  resolve();
}

void SoundLibrary::terminate_and_release() {
  rebind();
  if (terminate_sounds != nullptr) terminate_sounds();
  if (handle != nullptr && holds_reference != 0) FreeLibrary(as_module(handle));
  *this = SoundLibrary{};
}

}  // namespace tarnwix
