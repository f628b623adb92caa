// What a module file says about itself, read from its bytes on disk without
// loading it: the machine, the exports, the imports and the sections.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tarnwix::host {

struct PeSection {
  std::string name;
  uint32_t virtual_size;
  uint32_t raw_size;
};

struct PeFile {
  uint16_t machine = 0;          // 0x14C for i386
  uint16_t characteristics = 0;  // 0x2000 marks a DLL
  uint16_t optional_magic = 0;   // 0x10B for PE32
  uint64_t file_size = 0;
  std::vector<std::string> exports;
  std::map<std::string, std::vector<std::string>> imports;  // library -> names (or "#ordinal")
  std::vector<PeSection> sections;
  uint32_t debug_directory_size = 0;
  uint32_t tls_directory_size = 0;
  uint32_t resource_bytes = 0;  // size of the resource directory's data
};

// Reads the file at `path`; nullopt when it is not a readable PE32 image.
std::optional<PeFile> read_pe_file(const std::string& path, std::string* error = nullptr);

// Why the file at `path` cannot be a 32-bit x86 DLL, judged from its headers
// without loading it, in words a person understands: "no such file", "a
// folder, not a file", "not a Windows DLL (it holds text)", "a 64-bit DLL:
// ...", "an incomplete DLL: ...". Empty when the headers are those of a
// complete 32-bit x86 DLL. Reads the headers and the file's size only.
std::string image_file_problem(const std::string& path);

// Why the Windows loader may have refused a DLL whose headers are sound: a
// DLL it imports that the system's library search does not find, or a
// function it imports that its DLL lacks, named. Empty when every import is
// there.
std::string missing_import(const std::string& path);

// A section of a module as the loader mapped it into this process.
struct LoadedSection {
  std::string name;
  uint8_t* start;
  uint32_t size;      // bytes mapped (the virtual size)
  uint32_t raw_size;  // bytes the file holds for it
  uint32_t characteristics;
  bool writable() const { return (characteristics & 0x80000000u) != 0; }
  bool executable() const { return (characteristics & 0x20000000u) != 0; }
  bool holds(const void* address) const {
    const auto* byte = static_cast<const uint8_t*>(address);
    return byte >= start && byte < start + size;
  }
};

// The sections of the module loaded at `base` (its handle), in image order.
std::vector<LoadedSection> loaded_sections(const void* base);
// A function the module loaded at `base` imports that its DLL lacks (a
// loader that stands in a stub for it, as Wine's does, loads the module all
// the same), in the words of missing_import(); empty when there is none.
std::string missing_loaded_import(const void* base);
// The bytes the loaded image spans from `base`.
uint32_t loaded_image_size(const void* base);

}  // namespace tarnwix::host
