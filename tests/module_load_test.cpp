// A file that cannot be a gauge module is refused with the reason in words,
// the same words every tool prints: each case is a real file on disk, most
// of them a built module with a few of its bytes rewritten.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>

#include "support.h"

namespace tarnwix::test {
namespace {

std::vector<uint8_t> read_file(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

uint32_t pe_offset(const std::vector<uint8_t>& bytes) {
  uint32_t offset = 0;
  std::memcpy(&offset, bytes.data() + 60, 4);
  return offset;
}

void put_u16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value) { std::memcpy(&bytes[offset], &value, 2); }

// Rewrites the first occurrence of TEXT (with its terminating zero) by
// REPLACEMENT, of the same length.
bool rewrite_name(std::vector<uint8_t>& bytes, const std::string& text, const std::string& replacement) {
  const std::string needle(text.c_str(), text.size() + 1);
  auto found = std::search(bytes.begin(), bytes.end(), needle.begin(), needle.end());
  if (found == bytes.end() || text.size() != replacement.size()) return false;
  std::copy(replacement.begin(), replacement.end(), found);
  return true;
}

class ModuleLoad : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    ASSERT_NE(GetTempPathA(sizeof temp, temp), 0u);
    folder_ = std::string(temp) + "tarnwix_load_" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder_.c_str(), nullptr);
    module_ = read_file(module_path("Tarnwix_Utils"));
    ASSERT_GT(module_.size(), 4096u);
  }
  void TearDown() override {
    for (const std::string& file : written_) DeleteFileA(file.c_str());
    RemoveDirectoryA((folder_ + "\\folder.gau").c_str());
    RemoveDirectoryA(folder_.c_str());
  }
  std::string file(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = folder_ + "\\" + name;
    write_file(path, bytes);
    written_.push_back(path);
    return path;
  }
  // The refusal of PATH, or a failure when it loads.
  static std::string refusal(const std::string& path) {
    std::string error;
    auto module = host::Module::load(path, &error);
    EXPECT_EQ(module, nullptr) << path << " loaded";
    return error;
  }

  std::string folder_;
  std::vector<uint8_t> module_;
  std::vector<std::string> written_;
};

TEST_F(ModuleLoad, EachFileThatCannotBeAGaugeModuleIsNamedWithItsReason) {
  const uint32_t nt = pe_offset(module_);
  auto changed = [&](const std::function<bool(std::vector<uint8_t>&)>& change) {
    std::vector<uint8_t> bytes = module_;
    EXPECT_TRUE(change(bytes)) << "the module's bytes could not be rewritten";
    return bytes;
  };
  const std::string full_size = std::to_string(module_.size());
  struct Case {
    const char* what;
    std::string path;
    std::string reason;
  };
  const std::string text = "[Window00]\r\ngauge00=Tarnwix_Utils!Tarnwix_Utils, 0, 0\r\n";
  const std::vector<Case> cases = {
      {"a text file renamed .gau", file("panel.gau", std::vector<uint8_t>(text.begin(), text.end())),
       "not a Windows DLL (it holds text)"},
      {"binary bytes of another kind", file("picture.gau", {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0}),
       "not a Windows DLL (a file of another kind)"},
      {"an empty file", file("empty.gau", {}), "an empty file, not a Windows DLL"},
      {"a module cut short in its sections",
       file("cut.gau", std::vector<uint8_t>(module_.begin(), module_.begin() + 100000)),
       "an incomplete DLL: the file ends after 100000 bytes, where its headers describe " + full_size},
      {"a module cut short in its headers",
       file("cut_headers.gau", std::vector<uint8_t>(module_.begin(), module_.begin() + 200)),
       "an incomplete DLL: the file ends after 200 bytes"},
      {"a 64-bit DLL", file("wide.gau", changed([&](std::vector<uint8_t>& b) {
                              put_u16(b, nt + 4, 0x8664);
                              put_u16(b, nt + 24, 0x20B);
                              return true;
                            })),
       "a 64-bit DLL: the simulator loads only 32-bit (x86) gauges"},
      {"a program, not a DLL", file("program.gau", changed([&](std::vector<uint8_t>& b) {
                                      put_u16(b, nt + 22,
                                              static_cast<uint16_t>((b[nt + 22] | b[nt + 23] << 8) & ~0x2000));
                                      return true;
                                    })),
       "a Windows program (.exe), not a DLL"},
      {"a DLL without the gauge exports", fake_sound_path(),
       "a DLL, but not a gauge module: it exports neither Linkage nor ImportTable"},
      {"a DLL with one of them",
       file("half.gau", changed([](std::vector<uint8_t>& b) { return rewrite_name(b, "ImportTable", "ImportTabel"); })),
       "a DLL, but not a gauge module: it exports Linkage but not ImportTable"},
      {"a DLL needing a missing DLL",
       file("needs.gau", changed([](std::vector<uint8_t>& b) { return rewrite_name(b, "msvcrt.dll", "tarnwx.dll"); })),
       "it needs tarnwx.dll, which cannot be found"},
      {"a DLL needing a function its DLL lacks", file("lacks.gau", changed([](std::vector<uint8_t>& b) {
                                                        return rewrite_name(b, "GetProcAddress", "GetProcAdress_");
                                                      })),
       "it needs GetProcAdress_ from KERNEL32.dll, which that DLL does not have"},
      {"a missing file", folder_ + "\\Tarnwix_Nothing.gau", "no such file"},
      {"a folder", (CreateDirectoryA((folder_ + "\\folder.gau").c_str(), nullptr), folder_ + "\\folder.gau"),
       "a folder, not a file"},
  };
  for (const Case& entry : cases) {
    const std::string reason = refusal(entry.path);
    EXPECT_EQ(reason.rfind(entry.reason, 0), 0u) << entry.what << ": \"" << reason << "\"";
    EXPECT_EQ(reason.find('\n'), std::string::npos) << entry.what << ": more than one line";
  }
  // The unchanged module still loads: the cases above are the rewrites.
  std::string error;
  EXPECT_NE(host::Module::load(file("whole.gau", module_), &error), nullptr) << error;
}

}  // namespace
}  // namespace tarnwix::test
