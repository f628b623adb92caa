// What every module of the product owes the simulator, checked on each built
// module: the file the loader sees, the records at the offsets the simulator
// reads, the lifecycle and the sound library binding, through our own host.
#include <windows.h>

#include <algorithm>
#include <set>

#include "host/hooks.h"
#include "host/pe.h"
#include "support.h"

namespace tarnwix::test {
namespace {

using host::u32;

class EveryModule : public ::testing::TestWithParam<std::string> {};

std::string test_name(const ::testing::TestParamInfo<std::string>& info) { return info.param; }

INSTANTIATE_TEST_SUITE_P(Built, EveryModule, ::testing::ValuesIn(module_names()), test_name);

bool inside_image(const host::Module& module, uint32_t address) {
  const auto base = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(module.handle()));
  return address >= base && address < base + host::loaded_image_size(module.handle());
}

bool all_zero(const uint8_t* base, uint32_t from, uint32_t to) {
  return std::all_of(base + from, base + to, [](uint8_t byte) { return byte == 0; });
}

TEST_P(EveryModule, FileIsA32BitDllExportingOnlyItsTwoRecordsAndImportingOnlyTheSystemLibraries) {
  std::string error;
  const auto file = host::read_pe_file(module_path(GetParam()), &error);
  ASSERT_TRUE(file.has_value()) << error;
  EXPECT_EQ(file->machine, 0x14C);
  EXPECT_EQ(file->optional_magic, 0x10B);
  EXPECT_NE(file->characteristics & 0x2000, 0) << "not marked as a DLL";
  EXPECT_EQ(file->exports, (std::vector<std::string>{"ImportTable", "Linkage"}));
  std::set<std::string> libraries;
  for (const auto& [library, names] : file->imports) {
    std::string lower = library;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    libraries.insert(lower);
  }
  EXPECT_EQ(libraries, (std::set<std::string>{"kernel32.dll", "msvcrt.dll"}));
  EXPECT_EQ(file->debug_directory_size, 0u) << "debug data shipped";
  EXPECT_EQ(file->tls_directory_size, 0u) << "thread-local storage needs a runtime the loader may not have";
  EXPECT_GT(file->resource_bytes, 0u);
}

TEST_P(EveryModule, VersionResourceSaysWhatTheModuleIs) {
  const std::string path = module_path(GetParam());
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, info.data()));
  auto field = [&](const char* name) {
    void* value = nullptr;
    UINT length = 0;
    const std::string key = std::string("\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueA(info.data(), key.c_str(), &value, &length) || length == 0) return std::string();
    return std::string(static_cast<const char*>(value));
  };
  EXPECT_EQ(field("InternalName"), GetParam());
  EXPECT_EQ(field("OriginalFilename"), GetParam() + ".gau");
  EXPECT_EQ(field("ProductName"), "Tarnwix panel gauges");
  EXPECT_NE(field("FileDescription").find("Flight Simulator 2004 gauge"), std::string::npos);
  EXPECT_FALSE(field("FileVersion").empty());
}

TEST_P(EveryModule, LinkageImportTableAndGaugeHeaderHoldTheirFixedWords) {
  auto module = load(GetParam());
  ASSERT_NE(module, nullptr);
  const uint8_t* linkage = module->linkage();
  EXPECT_EQ(u32(linkage, host::linkage::kModuleId), 0x13u);
  EXPECT_TRUE(inside_image(*module, u32(linkage, host::linkage::kInit)));
  EXPECT_TRUE(inside_image(*module, u32(linkage, host::linkage::kDeinit)));
  EXPECT_EQ(u32(linkage, host::linkage::kFlags), 0u);
  EXPECT_EQ(u32(linkage, host::linkage::kVersion), 0u);
  EXPECT_EQ(u32(linkage, host::linkage::kHostVersion), 0x800u);
  EXPECT_TRUE(inside_image(*module, u32(linkage, host::linkage::kGauges)));
  EXPECT_EQ(u32(linkage, host::linkage::kTerminator), 0u);

  const uint8_t* table = module->import_table();
  EXPECT_EQ(u32(table, host::import_table::kEntryId), 0x0Fu);
  EXPECT_EQ(u32(table, host::import_table::kServices),
            static_cast<uint32_t>(reinterpret_cast<uintptr_t>(host::Panel::instance().services_table())));
  EXPECT_EQ(u32(table, host::import_table::kEndId), 0u);
  EXPECT_EQ(u32(table, host::import_table::kEnd), 0u);

  const uint8_t* header = module->gauge_header();
  EXPECT_EQ(u32(header, host::gauge_header::kVersion), 800u);
  EXPECT_EQ(module->gauge_name(), GetParam());
  EXPECT_TRUE(inside_image(*module, u32(header, host::gauge_header::kRootCell)));
  EXPECT_TRUE(all_zero(header, host::gauge_header::kPhaseRoutines, host::gauge_header::kDefaultSize));
  EXPECT_EQ(u32(header, host::gauge_header::kDefaultSize), 100u);
  EXPECT_TRUE(all_zero(header, host::gauge_header::kDefaultSize + 4, host::gauge_header::kMouseRects));
  EXPECT_TRUE(inside_image(*module, u32(header, host::gauge_header::kMouseRects)));
  EXPECT_TRUE(inside_image(*module, u32(header, host::gauge_header::kCallback)));
  EXPECT_TRUE(all_zero(header, host::gauge_header::kCallback + 4, host::gauge_header::kSize));
}

TEST_P(EveryModule, EveryElementHeaderIsAsTheSimulatorExpectsAtLoad) {
  auto module = load(GetParam());
  ASSERT_NE(module, nullptr);
  const auto chain = module->chain();
  ASSERT_FALSE(chain.empty());
  const auto header = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(module->gauge_header()));
  for (size_t i = 0; i < chain.size(); ++i) {
    SCOPED_TRACE("element " + std::to_string(i));
    const uint8_t* element = chain[i];
    EXPECT_NE(host::element_size(u32(element, host::element::kKind)), 0u) << "unknown kind";
    EXPECT_TRUE(all_zero(element, host::element::kHostPosition, host::element::kGauge));
    EXPECT_EQ(u32(element, host::element::kGauge), header);
    EXPECT_EQ(u32(element, host::element::kPrevious), 0u);
    const uint8_t* failures = host::ptr(element, host::element::kFailures);
    ASSERT_NE(failures, nullptr);
    EXPECT_TRUE(all_zero(failures, 0, 8)) << "the failure list holds only its end record";
    EXPECT_EQ(u32(element, host::element::kImageFlags), host::element::kFlagsAtLoad);
    EXPECT_EQ(u32(element, host::element::kSecondFlags), 0u);
    EXPECT_EQ(u32(element, host::element::kReserved), 0u);
    const auto kind = static_cast<host::ElementKind>(u32(element, host::element::kKind));
    const int id = static_cast<int>(u32(element, host::element::kResourceId));
    if (kind == host::ElementKind::kString) {
      EXPECT_EQ(id, -1) << "a string element has no bitmap";
      continue;
    }
    EXPECT_TRUE(module->bitmap(id).has_value()) << "no bitmap " << id;
    // A moving image's mask and an icon's second image are numbered id + 1.
    if (kind == host::ElementKind::kMovingImage || kind == host::ElementKind::kIcon) {
      EXPECT_TRUE(module->bitmap(id + 1).has_value()) << "no bitmap " << id + 1;
    }
  }
}

TEST_P(EveryModule, MouseListIsOneParentWithItsChildrenAndEnds) {
  auto module = load(GetParam());
  ASSERT_NE(module, nullptr);
  const auto rects = module->mouse_rects();
  ASSERT_GE(rects.size(), 3u);
  EXPECT_EQ(rects.front().kind, host::mouse_rect::kParent);
  EXPECT_EQ(rects[rects.size() - 2].kind, host::mouse_rect::kParentEnd);
  EXPECT_EQ(rects.back().kind, host::mouse_rect::kListEnd);
  for (size_t i = 1; i + 2 < rects.size(); ++i)
    EXPECT_TRUE(rects[i].kind == host::mouse_rect::kChild || rects[i].kind == host::mouse_rect::kTooltip) << i;
}

TEST_P(EveryModule, ServiceCodesItDoesNotHandleChangeNothing) {
  auto module = load(GetParam());
  ASSERT_NE(module, nullptr);
  module->install();
  module->frame();
  module->frame();
  module->reset_import_counts();
  host::Panel::instance().clear_lookups();
  const auto before = writable_image_bytes(*module);
  for (uint32_t code : {0u, 1u, 3u, 5u, 7u, 8u, 9u, 11u, 13u, 14u, 100u, 0xFFFFFFFFu}) module->service(code, code);
  EXPECT_EQ(writable_image_bytes(*module), before);
  EXPECT_TRUE(host::Panel::instance().lookups().empty());
  EXPECT_TRUE(host::Panel::instance().key_events().empty());
  EXPECT_EQ(module->imports().load_library + module->imports().get_module_handle + module->imports().free_library, 0);
  EXPECT_TRUE(module->call_faults().empty());
}

TEST_P(EveryModule, WithoutTheSoundLibraryEveryServiceCompletesAndNothingIsReleased) {
  auto module = load(GetParam());
  ASSERT_NE(module, nullptr);
  module->install();
  EXPECT_EQ(module->imports().load_library, 1);
  EXPECT_EQ(module->imports().load_library_loaded, 0);
  for (int i = 0; i < 3; ++i) module->frame();
  // Each update asks whether the library is loaded, and tries to load it.
  EXPECT_EQ(module->imports().get_module_handle, 3);
  EXPECT_EQ(module->imports().load_library, 4);
  module->kill();
  EXPECT_EQ(module->imports().terminate_sounds, 0);
  EXPECT_EQ(module->imports().free_library, 0);
  EXPECT_EQ(module->imports().get_proc_address, 0) << "entry points resolved through a null handle";
  EXPECT_TRUE(module->call_faults().empty());
}

TEST_P(EveryModule, WithTheSoundLibraryItLoadsOnceTerminatesOnceAndReleasesOnce) {
  const FakeSoundCounts start = fake_sound_counts();
  {
    auto module = load_with_sound(GetParam());
    ASSERT_NE(module, nullptr);
    module->install();
    EXPECT_EQ(module->imports().load_library_loaded, 1);
    EXPECT_EQ(module->imports().proc_names,
              (std::vector<std::string>{"GaugePlaySound", "GaugeStopSound", "TerminateSounds"}));
    for (int i = 0; i < 5; ++i) module->frame();
    EXPECT_EQ(module->imports().load_library, 1) << "loaded again while it stayed loaded";
    EXPECT_EQ(module->imports().get_module_handle, 5);
    EXPECT_EQ(module->imports().get_proc_address, 3 * 6);
    module->kill();
    EXPECT_EQ(module->imports().terminate_sounds, 1);
    EXPECT_EQ(module->imports().free_library, 1);
    EXPECT_TRUE(module->call_faults().empty());
  }
  const FakeSoundCounts end = fake_sound_counts();
  EXPECT_EQ(end.terminate - start.terminate, 1);
  EXPECT_EQ(end.play - start.play, 0);
  EXPECT_EQ(end.stop - start.stop, 0);
  EXPECT_EQ(end.attach - start.attach, 1);
  EXPECT_EQ(end.detach - start.detach, 1) << "the module's reference kept the library loaded";
}

TEST_P(EveryModule, LibraryLoadedByAnotherGaugeIsLookedUpAndOnlyThisModulesReferenceIsReleased) {
  host::Panel::instance().set_sound_library_path(fake_sound_path());
  HMODULE other_gauges_reference = LoadLibraryA(fake_sound_path().c_str());
  ASSERT_NE(other_gauges_reference, nullptr);
  {
    auto module = load_with_sound(GetParam());
    ASSERT_NE(module, nullptr);
    module->install();
    EXPECT_EQ(module->imports().load_library, 1);
    for (int i = 0; i < 3; ++i) module->frame();
    EXPECT_EQ(module->imports().load_library, 1);
    module->kill();
    EXPECT_EQ(module->imports().free_library, 1);
  }
  EXPECT_NE(GetModuleHandleA("GaugeSound.dll"), nullptr) << "the other gauge's reference was released";
  FreeLibrary(other_gauges_reference);
  EXPECT_EQ(GetModuleHandleA("GaugeSound.dll"), nullptr);
}

// The modules' look-up of the sound library answers as the loader does: by
// the loaded library's file name, in any case, ".dll" understood.
TEST(LoadedLibrary, AnswersAsGetModuleHandleDoes) {
  for (const char* name : {"GaugeSound", "GaugeSound.dll", "gaugesound.DLL", "GaugeSound.dl", "Gauge"})
    EXPECT_EQ(host::loaded_library(name), nullptr) << name << " before the library is loaded";
  HMODULE library = LoadLibraryA(fake_sound_path().c_str());
  ASSERT_NE(library, nullptr);
  for (const char* name : {"GaugeSound", "GaugeSound.dll", "gaugesound.DLL"}) {
    EXPECT_EQ(host::loaded_library(name), library) << name;
    EXPECT_EQ(host::loaded_library(name), GetModuleHandleA(name)) << name;
  }
  EXPECT_EQ(host::loaded_library("GaugeSound.dl"), nullptr);
  EXPECT_EQ(host::loaded_library(fake_sound_path().c_str()), library) << "a path is the loader's own answer";
  EXPECT_EQ(host::loaded_library("kernel32"), GetModuleHandleA("kernel32"));
  FreeLibrary(library);
  EXPECT_EQ(host::loaded_library("GaugeSound"), nullptr) << "after the last reference is released";
}

TEST_P(EveryModule, RunsWholeLifecyclesWithoutAllocatingOrLeavingTheFourServices) {
  for (int round = 0; round < 3; ++round) {
    auto module = round % 2 == 0 ? load(GetParam()) : load_with_sound(GetParam());
    ASSERT_NE(module, nullptr);
    module->call_module_init();
    module->install();
    for (int i = 0; i < 20; ++i) {
      host::Panel::instance().set_variable(769, i % 3);
      module->frame();
    }
    module->kill();
    module->call_module_deinit();
    EXPECT_EQ(module->imports().allocations, 0);
    EXPECT_TRUE(module->call_faults().empty()) << module->call_faults().front().routine;
    EXPECT_TRUE(module->text_faults().empty());
    EXPECT_TRUE(host::Panel::instance().trapped_slots().empty());
  }
}

}  // namespace
}  // namespace tarnwix::test
