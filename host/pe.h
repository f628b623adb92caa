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
// The bytes the loaded image spans from `base`.
uint32_t loaded_image_size(const void* base);

}  // namespace tarnwix::host
