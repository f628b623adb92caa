// The host's view of what a module does through its imports: the module's
// import address table is patched so that its calls to the loader, the sound
// library entry points and the heap reach counting routines first.
#pragma once

#include <windows.h>

#include "host.h"

namespace tarnwix::host {

// Patches the imports of `module`; returns how many were hooked. A load
// hooked already (a second placement of the module) keeps its counts.
size_t hook_imports(HMODULE module);
// Forgets one instance of the module; its counts go with the last.
void unhook_imports(HMODULE module);
ImportCounts& import_counts(HMODULE module);

// What GetModuleHandleA answers for a library name without a path ("GaugeSound"
// taken as "GaugeSound.dll"): the library of that name loaded in the process,
// or null. Found in the loader's own list of loaded modules: Wine's
// GetModuleHandleA looks for a name that is not loaded in every directory of
// the search path, reading each whole, which costs a module's frame many
// times over when the sound library is absent.
HMODULE loaded_library(const char* name);

// Points the import `name` of `library` in `module` at `routine`; returns the
// routine it pointed at before, or null when the module does not import it.
void* patch_import(HMODULE module, const char* library, const char* name, void* routine);
// Points every counted import back at the system's own routine, so that the
// module runs exactly as it does in the simulator (nothing is counted).
void restore_imports(HMODULE module);

}  // namespace tarnwix::host
