#include "hooks.h"

#include <winternl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

namespace tarnwix::host {

namespace {

// The loader's lock, held while its list of modules is read; found at run
// time, so that the programs import nothing beyond KERNEL32 and msvcrt.
class LoaderLock {
 public:
  LoaderLock() {
    if (routines().lock != nullptr) routines().lock(0, nullptr, &cookie_);
  }
  ~LoaderLock() {
    if (routines().lock != nullptr) routines().unlock(0, cookie_);
  }
  LoaderLock(const LoaderLock&) = delete;
  LoaderLock& operator=(const LoaderLock&) = delete;

 private:
  struct Routines {
    NTSTATUS(NTAPI* lock)(ULONG, ULONG*, ULONG_PTR*) = nullptr;
    NTSTATUS(NTAPI* unlock)(ULONG, ULONG_PTR) = nullptr;
  };
  static const Routines& routines() {
    static const Routines found = [] {
      Routines both;
      HMODULE ntdll = GetModuleHandleA("ntdll.dll");
      both.lock =
          reinterpret_cast<decltype(both.lock)>(reinterpret_cast<void*>(GetProcAddress(ntdll, "LdrLockLoaderLock")));
      both.unlock = reinterpret_cast<decltype(both.unlock)>(
          reinterpret_cast<void*>(GetProcAddress(ntdll, "LdrUnlockLoaderLock")));
      if (both.lock == nullptr || both.unlock == nullptr) both = {};
      return both;
    }();
    return found;
  }
  ULONG_PTR cookie_ = 0;
};

// The process's environment block, at offset 0x30 of the thread's block (32-bit Windows).
const PEB* process_block() {
  const PEB* block;
  asm("movl %%fs:0x30, %0" : "=r"(block));
  return block;
}

template <typename Char>
Char ascii_lower(Char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<Char>(c - 'A' + 'a') : c;
}

// Whether the last part of a loaded module's path is `wanted` (ASCII, lower case).
bool has_base_name(const UNICODE_STRING& path, const std::string& wanted) {
  const size_t length = path.Length / sizeof(wchar_t);
  size_t start = length;
  while (start > 0 && path.Buffer[start - 1] != L'\\' && path.Buffer[start - 1] != L'/') --start;
  if (length - start != wanted.size()) return false;
  for (size_t i = 0; i < wanted.size(); ++i)
    if (ascii_lower(path.Buffer[start + i]) != static_cast<wchar_t>(wanted[i])) return false;
  return true;
}

std::map<HMODULE, ImportCounts>& counts_by_module() {
  static std::map<HMODULE, ImportCounts> counts;
  return counts;
}

// The module a call came from, by its return address.
ImportCounts& caller_counts(void* return_address) {
  HMODULE caller = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     static_cast<LPCSTR>(return_address), &caller);
  return counts_by_module()[caller];
}

bool is_sound_library_name(const char* name) {
  return name != nullptr && (_stricmp(name, "GaugeSound") == 0 || _stricmp(name, "GaugeSound.dll") == 0);
}

HMODULE WINAPI hooked_load_library(LPCSTR name) {
  if (!is_sound_library_name(name)) return LoadLibraryA(name);
  ImportCounts& counts = caller_counts(__builtin_return_address(0));
  ++counts.load_library;
  const Panel& panel = Panel::instance();
  if (panel.sound_library() == SoundLibraryMode::kAbsent) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  HMODULE library = LoadLibraryA(panel.sound_library_path().c_str());
  if (library != nullptr) ++counts.load_library_loaded;
  return library;
}

HMODULE WINAPI hooked_get_module_handle(LPCSTR name) {
  if (!is_sound_library_name(name)) return GetModuleHandleA(name);
  ++caller_counts(__builtin_return_address(0)).get_module_handle;
  return loaded_library(name);
}

// Every TerminateSounds call the module makes is counted on its way through.
using SoundEntry = void(WINAPI*)();
SoundEntry real_terminate_sounds = nullptr;
HMODULE terminate_caller = nullptr;

void WINAPI counting_terminate_sounds() {
  if (terminate_caller != nullptr) ++counts_by_module()[terminate_caller].terminate_sounds;
  if (real_terminate_sounds != nullptr) real_terminate_sounds();
}

FARPROC WINAPI hooked_get_proc_address(HMODULE library, LPCSTR name) {
  void* return_address = __builtin_return_address(0);
  ImportCounts& counts = caller_counts(return_address);
  ++counts.get_proc_address;
  const bool by_name = reinterpret_cast<uintptr_t>(name) > 0xFFFF;
  if (by_name) {
    counts.proc_names.emplace_back(name);
  } else {
    char ordinal[16];
    std::snprintf(ordinal, sizeof ordinal, "#%u", static_cast<unsigned>(reinterpret_cast<uintptr_t>(name)));
    counts.proc_names.emplace_back(ordinal);
  }
  FARPROC found = GetProcAddress(library, name);
  if (found != nullptr && by_name && std::strcmp(name, "TerminateSounds") == 0) {
    real_terminate_sounds = reinterpret_cast<SoundEntry>(reinterpret_cast<void*>(found));
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       static_cast<LPCSTR>(return_address), &terminate_caller);
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&counting_terminate_sounds));
  }
  return found;
}

BOOL WINAPI hooked_free_library(HMODULE library) {
  ++caller_counts(__builtin_return_address(0)).free_library;
  return FreeLibrary(library);
}

// Heap allocation routines: counted, then passed on.
void* __cdecl hooked_malloc(size_t size) {
  ++caller_counts(__builtin_return_address(0)).allocations;
  return std::malloc(size);
}
void* __cdecl hooked_calloc(size_t count, size_t size) {
  ++caller_counts(__builtin_return_address(0)).allocations;
  return std::calloc(count, size);
}
void* __cdecl hooked_realloc(void* block, size_t size) {
  ++caller_counts(__builtin_return_address(0)).allocations;
  return std::realloc(block, size);
}
char* __cdecl hooked_strdup(const char* text) {
  ++caller_counts(__builtin_return_address(0)).allocations;
  return _strdup(text);
}
LPVOID WINAPI hooked_heap_alloc(HANDLE heap, DWORD flags, SIZE_T size) {
  ++caller_counts(__builtin_return_address(0)).allocations;
  return HeapAlloc(heap, flags, size);
}
LPVOID WINAPI hooked_heap_realloc(HANDLE heap, DWORD flags, LPVOID block, SIZE_T size) {
  ++caller_counts(__builtin_return_address(0)).allocations;
  return HeapReAlloc(heap, flags, block, size);
}
HLOCAL WINAPI hooked_local_alloc(UINT flags, SIZE_T size) {
  ++caller_counts(__builtin_return_address(0)).allocations;
  return LocalAlloc(flags, size);
}
HGLOBAL WINAPI hooked_global_alloc(UINT flags, SIZE_T size) {
  ++caller_counts(__builtin_return_address(0)).allocations;
  return GlobalAlloc(flags, size);
}
LPVOID WINAPI hooked_virtual_alloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect) {
  ++caller_counts(__builtin_return_address(0)).allocations;
  return VirtualAlloc(address, size, type, protect);
}

struct Hook {
  const char* library;
  const char* name;
  void* routine;
};

const Hook kHooks[] = {
    {"kernel32.dll", "LoadLibraryA", reinterpret_cast<void*>(&hooked_load_library)},
    {"kernel32.dll", "GetModuleHandleA", reinterpret_cast<void*>(&hooked_get_module_handle)},
    {"kernel32.dll", "GetProcAddress", reinterpret_cast<void*>(&hooked_get_proc_address)},
    {"kernel32.dll", "FreeLibrary", reinterpret_cast<void*>(&hooked_free_library)},
    {"kernel32.dll", "HeapAlloc", reinterpret_cast<void*>(&hooked_heap_alloc)},
    {"kernel32.dll", "HeapReAlloc", reinterpret_cast<void*>(&hooked_heap_realloc)},
    {"kernel32.dll", "LocalAlloc", reinterpret_cast<void*>(&hooked_local_alloc)},
    {"kernel32.dll", "GlobalAlloc", reinterpret_cast<void*>(&hooked_global_alloc)},
    {"kernel32.dll", "VirtualAlloc", reinterpret_cast<void*>(&hooked_virtual_alloc)},
    {"msvcrt.dll", "malloc", reinterpret_cast<void*>(&hooked_malloc)},
    {"msvcrt.dll", "calloc", reinterpret_cast<void*>(&hooked_calloc)},
    {"msvcrt.dll", "realloc", reinterpret_cast<void*>(&hooked_realloc)},
    {"msvcrt.dll", "_strdup", reinterpret_cast<void*>(&hooked_strdup)},
    {"msvcrt.dll", "??2@YAPAXI@Z", reinterpret_cast<void*>(&hooked_malloc)},   // operator new
    {"msvcrt.dll", "??_U@YAPAXI@Z", reinterpret_cast<void*>(&hooked_malloc)},  // operator new[]
};

const Hook* find_hook(const char* library, const char* name) {
  for (const Hook& hook : kHooks)
    if (_stricmp(hook.library, library) == 0 && std::strcmp(hook.name, name) == 0) return &hook;
  return nullptr;
}

}  // namespace

namespace {

// Calls `visit(library, name, slot)` for every import of `module` by name.
template <typename Visit>
void for_each_import(HMODULE module, Visit visit) {
  auto* base = reinterpret_cast<uint8_t*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (directory.VirtualAddress == 0) return;
  for (auto* descriptor = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
       descriptor->Name != 0; ++descriptor) {
    const char* library = reinterpret_cast<const char*>(base + descriptor->Name);
    const uint32_t names_rva =
        descriptor->OriginalFirstThunk != 0 ? descriptor->OriginalFirstThunk : descriptor->FirstThunk;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA32*>(base + names_rva);
    auto* addresses = reinterpret_cast<IMAGE_THUNK_DATA32*>(base + descriptor->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++addresses) {
      if (IMAGE_SNAP_BY_ORDINAL32(names->u1.Ordinal)) continue;
      const auto* by_name = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      visit(library, reinterpret_cast<const char*>(by_name->Name), &addresses->u1.Function);
    }
  }
}

void write_slot(DWORD* slot, void* routine) {
  DWORD old_protection = 0;
  VirtualProtect(slot, sizeof(DWORD), PAGE_READWRITE, &old_protection);
  *slot = static_cast<DWORD>(reinterpret_cast<uintptr_t>(routine));
  VirtualProtect(slot, sizeof(DWORD), old_protection, &old_protection);
}

// Instances of each hooked load: a module placed twice is one load, hooked
// once, whose counts the two placements share.
std::map<HMODULE, int>& instances_by_module() {
  static std::map<HMODULE, int> instances;
  return instances;
}

}  // namespace

HMODULE loaded_library(const char* name) {
  std::string wanted;
  for (const char* c = name; *c != '\0'; ++c) {
    if (*c == '\\' || *c == '/') return GetModuleHandleA(name);  // a path: the loader's own answer
    wanted += ascii_lower(*c);
  }
  if (wanted.find('.') == std::string::npos) wanted += ".dll";
  const LoaderLock held;
  HMODULE found = nullptr;
  LIST_ENTRY* const modules = &process_block()->Ldr->InMemoryOrderModuleList;
  for (LIST_ENTRY* link = modules->Flink; link != modules && found == nullptr; link = link->Flink) {
    const auto* entry = CONTAINING_RECORD(link, LDR_DATA_TABLE_ENTRY, InMemoryOrderLinks);
    if (has_base_name(entry->FullDllName, wanted)) found = static_cast<HMODULE>(entry->DllBase);
  }
  return found;
}

size_t hook_imports(HMODULE module) {
  if (instances_by_module()[module]++ == 0) counts_by_module()[module] = {};
  size_t hooked = 0;
  for_each_import(module, [&](const char* library, const char* name, DWORD* slot) {
    const Hook* hook = find_hook(library, name);
    if (hook == nullptr) return;
    write_slot(slot, hook->routine);
    ++hooked;
  });
  return hooked;
}

void* patch_import(HMODULE module, const char* library, const char* name, void* routine) {
  void* previous = nullptr;
  for_each_import(module, [&](const char* imported_library, const char* imported_name, DWORD* slot) {
    if (_stricmp(imported_library, library) != 0 || std::strcmp(imported_name, name) != 0) return;
    previous = reinterpret_cast<void*>(static_cast<uintptr_t>(*slot));
    write_slot(slot, routine);
  });
  return previous;
}

void restore_imports(HMODULE module) {
  for_each_import(module, [&](const char* library, const char* name, DWORD* slot) {
    if (find_hook(library, name) == nullptr) return;
    HMODULE system_library = GetModuleHandleA(library);
    if (system_library == nullptr) return;
    write_slot(slot, reinterpret_cast<void*>(GetProcAddress(system_library, name)));
  });
}

void unhook_imports(HMODULE module) {
  auto found = instances_by_module().find(module);
  if (found != instances_by_module().end() && --found->second > 0) return;
  if (found != instances_by_module().end()) instances_by_module().erase(found);
  counts_by_module().erase(module);
}

ImportCounts& import_counts(HMODULE module) { return counts_by_module()[module]; }

}  // namespace tarnwix::host
