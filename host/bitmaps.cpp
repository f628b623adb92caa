// Reading a module's bitmap resources as the simulator does: by numeric id,
// resource type 2, decoded from the device-independent bitmap.
#include <windows.h>

#include "host.h"

namespace tarnwix::host {

namespace {

BOOL CALLBACK collect_id(HMODULE, LPCSTR, LPSTR name, LONG_PTR ids) {
  if (IS_INTRESOURCE(name)) reinterpret_cast<std::vector<int>*>(ids)->push_back(static_cast<int>(reinterpret_cast<uintptr_t>(name)));
  return TRUE;
}

BOOL CALLBACK collect_language(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR languages) {
  reinterpret_cast<std::vector<uint16_t>*>(languages)->push_back(language);
  return TRUE;
}

}  // namespace

std::vector<int> Module::bitmap_ids() const {
  std::vector<int> ids;
  EnumResourceNamesA(static_cast<HMODULE>(handle_), MAKEINTRESOURCEA(2), &collect_id, reinterpret_cast<LONG_PTR>(&ids));
  return ids;
}

std::optional<Bitmap> Module::bitmap(int id) const {
  HMODULE module = static_cast<HMODULE>(handle_);
  HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(2));
  if (resource == nullptr) return std::nullopt;
  const DWORD size = SizeofResource(module, resource);
  const auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(module, resource)));
  if (data == nullptr || size < 40 || u32(data, 0) != 40) return std::nullopt;

  Bitmap bitmap;
  bitmap.id = id;
  EnumResourceLanguagesA(module, MAKEINTRESOURCEA(2), MAKEINTRESOURCEA(id), &collect_language,
                         reinterpret_cast<LONG_PTR>(&bitmap.languages));
  bitmap.width = i32(data, 4);
  const int32_t height = i32(data, 8);
  bitmap.bottom_up = height > 0;
  bitmap.height = height > 0 ? height : -height;
  bitmap.bits_per_pixel = data[14] | data[15] << 8;
  bitmap.compression = u32(data, 16);
  bitmap.colours_used = static_cast<int>(u32(data, 32));
  if (bitmap.width <= 0 || bitmap.height <= 0 || bitmap.compression != 0) return bitmap;
  if (bitmap.bits_per_pixel == 8) bitmap.palette_entries = bitmap.colours_used == 0 ? 256 : bitmap.colours_used;
  const size_t table = 40 + static_cast<size_t>(bitmap.palette_entries) * 4;
  const size_t row_bytes = ((static_cast<size_t>(bitmap.width) * bitmap.bits_per_pixel + 31) / 32) * 4;
  if (size < table + row_bytes * bitmap.height || (bitmap.bits_per_pixel != 8 && bitmap.bits_per_pixel != 24))
    return bitmap;
  bitmap.rgb.resize(static_cast<size_t>(bitmap.width) * bitmap.height * 3);
  for (int y = 0; y < bitmap.height; ++y) {
    const int stored_row = bitmap.bottom_up ? bitmap.height - 1 - y : y;
    const uint8_t* row = data + table + row_bytes * stored_row;
    for (int x = 0; x < bitmap.width; ++x) {
      uint8_t* out = &bitmap.rgb[(static_cast<size_t>(y) * bitmap.width + x) * 3];
      const uint8_t* bgr = bitmap.bits_per_pixel == 24 ? row + x * 3 : data + 40 + row[x] * 4;
      if (bitmap.bits_per_pixel == 8 && row[x] >= bitmap.palette_entries) bgr = data + 40;
      out[0] = bgr[2];
      out[1] = bgr[1];
      out[2] = bgr[0];
    }
  }
  return bitmap;
}

}  // namespace tarnwix::host
