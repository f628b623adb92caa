#include "pe.h"

#include <windows.h>

#include <fstream>
#include <iterator>

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
  auto directory = [&](int index, uint32_t* size) {
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

uint32_t loaded_image_size(const void* base) { return loaded_headers(base)->OptionalHeader.SizeOfImage; }

}  // namespace tarnwix::host
