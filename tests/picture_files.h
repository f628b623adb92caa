// Files for the renderer's tests: a temporary folder, the files in a folder,
// and a PNG read back as a picture.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "render.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#include <stb_image.h>
#pragma GCC diagnostic pop

namespace tarnwix::test {

inline std::vector<std::string> files_in(const std::string& folder);

// A fresh folder under the temporary folder, removed with what it holds.
struct TemporaryFolder {
  std::string path;
  explicit TemporaryFolder(const std::string& name) {
    char base[MAX_PATH];
    GetTempPathA(sizeof base, base);
    path = std::string(base) + "tarnwix_render_" + name + "_" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(path.c_str(), nullptr);
  }
  ~TemporaryFolder() {
    for (const std::string& file : files_in(path)) DeleteFileA((path + "/" + file).c_str());
    RemoveDirectoryA(path.c_str());
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
};

inline std::vector<std::string> files_in(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "/*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

inline host::Picture read_png(const std::string& path) {
  int width = 0, height = 0, channels = 0;
  unsigned char* data = stbi_load(path.c_str(), &width, &height, &channels, 3);
  host::Picture picture;
  if (data == nullptr) return picture;
  picture.width = width;
  picture.height = height;
  picture.rgb.assign(data, data + static_cast<size_t>(width) * height * 3);
  stbi_image_free(data);
  return picture;
}

}  // namespace tarnwix::test
