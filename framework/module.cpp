// What every module carries besides its gauge: the exported ImportTable, the
// two module routines and an empty library entry point.
#include <windows.h>

#include "gauge.h"

extern "C" {
__declspec(dllexport) constinit tarnwix::ImportTableRecord ImportTable{
    .entry_id = tarnwix::kPanelServicesEntry,
    .services = nullptr,
    .end_entry_id = 0,
    .end_entry = nullptr,
};
}

namespace tarnwix {

void GAUGE_CALL module_init() {}
void GAUGE_CALL module_deinit() {}

}  // namespace tarnwix

// The library's load and unload entry: no gauge work happens here.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
