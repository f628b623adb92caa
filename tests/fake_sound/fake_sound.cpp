// A stand-in for the panel's sound library "GaugeSound": the three entry
// points the gauges resolve. Each call of TerminateSounds, and each attach and
// detach of the library, is counted in an environment variable of the process,
// so the count outlives the library's unloading.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

void count(const char* name) {
  char text[32] = "0";
  GetEnvironmentVariableA(name, text, sizeof text);
  std::snprintf(text, sizeof text, "%ld", std::strtol(text, nullptr, 10) + 1);
  SetEnvironmentVariableA(name, text);
}

}  // namespace

extern "C" {
__declspec(dllexport) void __stdcall GaugePlaySound() { count("TARNWIX_FAKE_SOUND_PLAY"); }
__declspec(dllexport) void __stdcall GaugeStopSound() { count("TARNWIX_FAKE_SOUND_STOP"); }
__declspec(dllexport) void __stdcall TerminateSounds() { count("TARNWIX_FAKE_SOUND_TERMINATE"); }
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) count("TARNWIX_FAKE_SOUND_ATTACH");
  if (reason == DLL_PROCESS_DETACH) count("TARNWIX_FAKE_SOUND_DETACH");
  return TRUE;
}
