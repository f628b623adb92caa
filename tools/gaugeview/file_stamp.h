// What the viewer knows of a file it watches (a module, a panel.cfg, a
// background): whether it is there, and a stamp that changes with it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace tarnwix::view {

// Last-write time and size of a file; equal stamps, an unchanged file.
struct FileStamp {
  uint64_t written = 0;
  uint64_t size = 0;
  bool exists = false;
  friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

inline FileStamp stamp_of(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return {};
  return {(uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime,
          (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow, true};
}

// A file, not a folder, that is there.
inline bool readable_file(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

inline std::string file_name(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace tarnwix::view
