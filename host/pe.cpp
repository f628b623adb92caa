#include "pe.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>

#include "records.h"

namespace tarnwix::host {

namespace {

struct Image {
  std::vector<uint8_t> bytes;
  struct Section {
    uint32_t virtual_address, virtual_size, raw_offset, raw_size;
  };
  std::vector<Section> sections;

  // File offset of a relative virtual address, or 0 when none holds it.
  size_t offset_of(uint32_t rva) const {
    for (const Section& s : sections)
      if (rva >= s.virtual_address && rva < s.virtual_address + std::max(s.virtual_size, s.raw_size))
        return rva - s.virtual_address + s.raw_offset;
    return 0;
  }
  bool has(size_t offset, size_t length) const { return offset != 0 && offset + length <= bytes.size(); }
  std::string text_at(uint32_t rva) const {
    const size_t offset = offset_of(rva);
    std::string text;
    for (size_t i = offset; offset != 0 && i < bytes.size() && bytes[i] != 0 && text.size() < 512; ++i)
      text += static_cast<char>(bytes[i]);
    return text;
  }
};

}  // namespace

std::optional<PeFile> read_pe_file(const std::string& path, std::string* error) {
  auto fail = [&](const char* why) -> std::optional<PeFile> {
    if (error != nullptr) *error = why;
    return std::nullopt;
  };
  std::ifstream file(path, std::ios::binary);
  if (!file) return fail("cannot open the file");
  Image image;
  image.bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  const std::vector<uint8_t>& b = image.bytes;
  if (b.size() < 64 || b[0] != 'M' || b[1] != 'Z') return fail("not an executable image");
  const uint32_t nt = u32(b.data(), 60);
  if (nt + 24 + 96 > b.size() || u32(b.data(), nt) != 0x00004550) return fail("no PE signature");

  PeFile pe;
  pe.file_size = b.size();
  pe.machine = static_cast<uint16_t>(u32(b.data(), nt + 4) & 0xFFFF);
  const uint16_t section_count = static_cast<uint16_t>(u32(b.data(), nt + 6) & 0xFFFF);
  const uint16_t optional_size = static_cast<uint16_t>(u32(b.data(), nt + 20) & 0xFFFF);
  pe.characteristics = static_cast<uint16_t>(u32(b.data(), nt + 22) & 0xFFFF);
  const uint32_t optional = nt + 24;
  pe.optional_magic = static_cast<uint16_t>(u32(b.data(), optional) & 0xFFFF);
  if (pe.optional_magic != 0x10B) return fail("not a 32-bit (PE32) image");
  const uint32_t directories = optional + 96;
  auto directory = [&](int index, uint32_t* size) -> uint32_t {
    *size = 0;
    if (directories + index * 8u + 8 > b.size()) return 0;
    *size = u32(b.data(), directories + index * 8 + 4);
    return u32(b.data(), directories + index * 8);
  };

  const uint32_t section_table = optional + optional_size;
  if (section_table + section_count * 40u > b.size()) return fail("truncated section table");
  for (uint16_t i = 0; i < section_count; ++i) {
    const uint8_t* s = b.data() + section_table + i * 40;
    std::string name(reinterpret_cast<const char*>(s), strnlen(reinterpret_cast<const char*>(s), 8));
    image.sections.push_back({u32(s, 12), u32(s, 8), u32(s, 20), u32(s, 16)});
    pe.sections.push_back({name, u32(s, 8), u32(s, 16)});
  }

  uint32_t size = 0;
  const uint32_t export_rva = directory(0, &size);
  const size_t exports = image.offset_of(export_rva);
  if (export_rva != 0 && image.has(exports, 40)) {
    const uint32_t names = u32(b.data(), exports + 24);
    const size_t name_table = image.offset_of(u32(b.data(), exports + 32));
    for (uint32_t i = 0; i < names && image.has(name_table + i * 4, 4); ++i)
      pe.exports.push_back(image.text_at(u32(b.data(), name_table + i * 4)));
  }

  const uint32_t import_rva = directory(1, &size);
  for (size_t d = image.offset_of(import_rva); import_rva != 0 && image.has(d, 20); d += 20) {
    const uint32_t name_rva = u32(b.data(), d + 12);
    if (name_rva == 0) break;
    const std::string library = image.text_at(name_rva);
    const uint32_t thunks_rva = u32(b.data(), d) != 0 ? u32(b.data(), d) : u32(b.data(), d + 16);
    std::vector<std::string>& names = pe.imports[library];
    for (size_t t = image.offset_of(thunks_rva); image.has(t, 4) && u32(b.data(), t) != 0; t += 4) {
      const uint32_t thunk = u32(b.data(), t);
      names.push_back((thunk & 0x80000000u) != 0 ? "#" + std::to_string(thunk & 0xFFFF) : image.text_at(thunk + 2));
    }
  }

  directory(2, &pe.resource_bytes);
  directory(6, &pe.debug_directory_size);
  directory(9, &pe.tls_directory_size);
  return pe;
}

namespace {

// The file's first bytes: enough for the headers of any DLL a linker writes.
constexpr size_t kHeadBytes = 65536;

std::string incomplete(uint64_t size, uint64_t described) {
  return "an incomplete DLL: the file ends after " + std::to_string(size) + " bytes, where its headers describe " +
         std::to_string(described) + " (cut short, perhaps by a copy or download that did not finish)";
}

// Printable ASCII, tabs and line ends only, as in a text file.
bool holds_text(const std::vector<uint8_t>& bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](uint8_t c) {
    return c == '\t' || c == '\n' || c == '\r' || (c >= 0x20 && c < 0x7F) || c >= 0x80;
  });
}

std::string machine_problem(uint16_t machine, uint16_t magic) {
  if (machine == 0x8664 || magic == 0x20B)
    return "a 64-bit DLL: the simulator loads only 32-bit (x86) gauges, and so do these tools";
  if (machine != 0x14C) {
    char code[8];
    std::snprintf(code, sizeof code, "0x%04X", machine);
    return std::string("a DLL for another kind of processor (machine ") + code + "), not a 32-bit x86 one";
  }
  return {};
}

}  // namespace

std::string image_file_problem(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA attributes;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &attributes)) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME ||
        error == ERROR_BAD_NETPATH)
      return "no such file";
    return "the file cannot be read (error " + std::to_string(error) + ")";
  }
  if ((attributes.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return "a folder, not a file";
  const uint64_t size = (static_cast<uint64_t>(attributes.nFileSizeHigh) << 32) | attributes.nFileSizeLow;
  if (size == 0) return "an empty file, not a Windows DLL";
  std::ifstream file(path, std::ios::binary);
  std::vector<uint8_t> b(static_cast<size_t>(std::min<uint64_t>(size, kHeadBytes)));
  if (!file || !file.read(reinterpret_cast<char*>(b.data()), static_cast<std::streamsize>(b.size())))
    return "the file cannot be read";
  if (b.size() < 2 || b[0] != 'M' || b[1] != 'Z')
    return holds_text(b) ? "not a Windows DLL (it holds text)" : "not a Windows DLL (a file of another kind)";
  if (b.size() < 64) return incomplete(size, 64);
  const uint32_t nt = u32(b.data(), 60);
  if (nt > kHeadBytes - 24 - 240) return "not a Windows DLL (its headers are damaged)";
  if (static_cast<uint64_t>(nt) + 24 > size) return incomplete(size, static_cast<uint64_t>(nt) + 24);
  if (u32(b.data(), nt) != 0x00004550) return "not a 32-bit Windows DLL (an MS-DOS or 16-bit Windows file)";
  const uint16_t machine = static_cast<uint16_t>(u32(b.data(), nt + 4) & 0xFFFF);
  const uint16_t section_count = static_cast<uint16_t>(u32(b.data(), nt + 6) & 0xFFFF);
  const uint16_t optional_size = static_cast<uint16_t>(u32(b.data(), nt + 20) & 0xFFFF);
  const uint16_t characteristics = static_cast<uint16_t>(u32(b.data(), nt + 22) & 0xFFFF);
  const uint32_t optional = nt + 24;
  if (static_cast<uint64_t>(optional) + 2 > b.size()) return incomplete(size, static_cast<uint64_t>(optional) + 2);
  const uint16_t magic = static_cast<uint16_t>(u32(b.data(), optional) & 0xFFFF);
  if (std::string problem = machine_problem(machine, magic); !problem.empty()) return problem;
  if ((characteristics & 0x2000) == 0) return "a Windows program (.exe), not a DLL";
  const uint64_t section_table = static_cast<uint64_t>(optional) + optional_size;
  const uint64_t headers_end = section_table + section_count * 40ull;
  if (headers_end > size) return incomplete(size, headers_end);
  if (headers_end > b.size()) return "not a Windows DLL (its headers are damaged)";
  uint64_t sections_end = headers_end;
  for (uint16_t i = 0; i < section_count; ++i) {
    const uint8_t* section = b.data() + section_table + i * 40ull;
    if (u32(section, 16) != 0)
      sections_end = std::max(sections_end, static_cast<uint64_t>(u32(section, 20)) + u32(section, 16));
  }
  if (sections_end > size) return incomplete(size, sections_end);
  return {};
}

namespace {

// A DLL that KERNEL32's search finds for `name`, with its references left
// unresolved (its start-up code does not run); released by its destructor
// when this search loaded it.
struct FoundLibrary {
  HMODULE handle = nullptr;
  bool loaded_here = false;
  explicit FoundLibrary(const std::string& name) {
    handle = GetModuleHandleA(name.c_str());
    if (handle == nullptr) {
      handle = LoadLibraryExA(name.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
      loaded_here = handle != nullptr;
    }
  }
  ~FoundLibrary() {
    if (loaded_here) FreeLibrary(handle);
  }
  FoundLibrary(const FoundLibrary&) = delete;
  FoundLibrary& operator=(const FoundLibrary&) = delete;
  std::string path() const {
    char text[MAX_PATH] = "";
    const DWORD length = GetModuleFileNameA(handle, text, sizeof text);
    return length > 0 && length < sizeof text ? std::string(text, length) : std::string();
  }
};

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string lacking(const std::string& library, const std::string& name) {
  const std::string what = !name.empty() && name[0] == '#' ? "the entry " + name : name;
  return "it needs " + what + " from " + library + ", which that DLL does not have (another version of it?)";
}

bool in_system_folder(const std::string& path) {
  char folder[MAX_PATH] = "";
  const UINT length = GetSystemDirectoryA(folder, sizeof folder);
  if (length == 0 || length >= sizeof folder || path.empty()) return true;
  return lower(path).rfind(lower(std::string(folder, length)) + "\\", 0) == 0;
}

// The first missing import of the DLL at `path`, following the DLLs it
// needs (each once) up to a few levels down.
std::string first_missing_import(const std::string& path, std::set<std::string>& seen, int depth) {
  if (depth > 4 || !seen.insert(lower(path)).second) return {};
  const std::optional<PeFile> pe = read_pe_file(path);
  if (!pe) return {};
  for (const auto& [library, names] : pe->imports) {
    const FoundLibrary found(library);
    if (found.handle == nullptr) return "it needs " + library + ", which cannot be found";
    for (const std::string& name : names) {
      const bool by_ordinal = !name.empty() && name[0] == '#';
      const char* wanted = by_ordinal ? MAKEINTRESOURCEA(std::stoul(name.substr(1))) : name.c_str();
      if (GetProcAddress(found.handle, wanted) == nullptr) return lacking(library, name);
    }
    // The system's own DLLs are Windows' business; a DLL of the panel's may
    // itself need one that is missing.
    const std::string found_path = found.path();
    if (in_system_folder(found_path)) continue;
    if (const std::string deeper = first_missing_import(found_path, seen, depth + 1); !deeper.empty())
      return "it needs " + library + ", which " + deeper.substr(3);
  }
  return {};
}

}  // namespace

std::string missing_import(const std::string& path) {
  std::set<std::string> seen;
  return first_missing_import(path, seen, 0);
}

namespace {
const IMAGE_NT_HEADERS32* loaded_headers(const void* base) {
  const auto* dos = static_cast<const IMAGE_DOS_HEADER*>(base);
  return reinterpret_cast<const IMAGE_NT_HEADERS32*>(static_cast<const uint8_t*>(base) + dos->e_lfanew);
}
}  // namespace

std::vector<LoadedSection> loaded_sections(const void* base) {
  const IMAGE_NT_HEADERS32* nt = loaded_headers(base);
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  std::vector<LoadedSection> sections;
  for (unsigned i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
    const auto* name = reinterpret_cast<const char*>(section->Name);
    sections.push_back({std::string(name, strnlen(name, IMAGE_SIZEOF_SHORT_NAME)),
                        const_cast<uint8_t*>(static_cast<const uint8_t*>(base)) + section->VirtualAddress,
                        section->Misc.VirtualSize, section->SizeOfRawData, section->Characteristics});
  }
  return sections;
}

std::string missing_loaded_import(const void* base) {
  const auto* image = static_cast<const uint8_t*>(base);
  const IMAGE_DATA_DIRECTORY& directory =
      loaded_headers(base)->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (directory.VirtualAddress == 0) return {};
  for (const auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(image + directory.VirtualAddress);
       entry->Name != 0; ++entry) {
    const std::string library = reinterpret_cast<const char*>(image + entry->Name);
    const HMODULE handle = GetModuleHandleA(library.c_str());
    if (handle == nullptr) return "it needs " + library + ", which cannot be found";
    const uint32_t names = entry->OriginalFirstThunk != 0 ? entry->OriginalFirstThunk : entry->FirstThunk;
    for (const auto* thunk = reinterpret_cast<const uint32_t*>(image + names); *thunk != 0; ++thunk) {
      if ((*thunk & IMAGE_ORDINAL_FLAG32) != 0) {
        if (GetProcAddress(handle, MAKEINTRESOURCEA(*thunk & 0xFFFF)) == nullptr)
          return lacking(library, std::string(1, '#').append(std::to_string(*thunk & 0xFFFF)));
        continue;
      }
      const char* name = reinterpret_cast<const char*>(image + *thunk + 2);
      if (GetProcAddress(handle, name) == nullptr) return lacking(library, name);
    }
  }
  return {};
}

uint32_t loaded_image_size(const void* base) { return loaded_headers(base)->OptionalHeader.SizeOfImage; }

}  // namespace tarnwix::host
