// gaugecheck proves itself here: every module the build makes passes a quick
// run, a module without a fault passes, each module with one deliberate fault
// is reported for that fault and nothing else, a failure replays from its seed
// and step, and the command's output and exit code say what happened.
#include <windows.h>

#include <algorithm>
#include <regex>
#include <sstream>

#include "check.h"
#include "support.h"

namespace tarnwix::test {
namespace {

namespace property = check::invariant;

std::string faulty_path(const std::string& name) { return std::string(TARNWIX_FAULTY_DIR) + "/" + name + ".gau"; }

check::Options quick(uint64_t seed = 1) {
  check::Options options;
  options.level = 1;
  options.seed = seed;
  options.sound_library = fake_sound_path();
  options.call_time_limit_ms = 1000;  // a healthy call takes microseconds
  return options;
}

std::vector<std::string> sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

class EveryModule : public ::testing::TestWithParam<std::string> {};
std::string test_name(const ::testing::TestParamInfo<std::string>& info) { return info.param; }
INSTANTIATE_TEST_SUITE_P(Built, EveryModule, ::testing::ValuesIn(module_names()), test_name);

TEST_P(EveryModule, PassesAQuickCheck) {
  std::ostringstream out;
  const check::Report report = check::run(module_path(GetParam()), quick(), out);
  EXPECT_EQ(report.failed, 0) << out.str();
  EXPECT_GT(report.passed, 40) << out.str();
  EXPECT_TRUE(report.skipped.empty());
}

struct FaultCase {
  const char* module;
  std::vector<std::string> reported;
};

// Each module carries at most one fault; the checker must name exactly it.
const FaultCase kFaultCases[] = {
    {"faulty_control", {}},
    {"faulty_cdecl_callback", {property::kStackBalanced}},
    {"faulty_text_overrun", {property::kText}},
    // Far past the guards the write reaches a page the host keeps unmapped.
    {"faulty_text_far_overrun", {property::kText, property::kNoCrash}},
    {"faulty_allocation", {property::kNoAllocation}},
    {"faulty_crash_on_nan", {property::kNoCrash}},
    {"faulty_nan_returned", {property::kUsableResults}},
    {"faulty_hang_on_nan", {property::kReturns}},
    // Only a value within 0.01 above one of its constants shows this one.
    {"faulty_narrow_band", {property::kUsableResults}},
    {"faulty_both_strings", {property::kOneStringShown}},
    {"faulty_stray_service", {property::kServices}},
    {"faulty_named_left", {property::kNamedVariables}},
    {"faulty_sound_leak", {property::kSoundReferences}},
    // The kept entry point leads into a library that is no longer loaded.
    {"faulty_stale_sound", {property::kNoCrash}},
};

void PrintTo(const FaultCase& fault, std::ostream* out) { *out << fault.module; }

class FaultyModule : public ::testing::TestWithParam<FaultCase> {};
std::string fault_name(const ::testing::TestParamInfo<FaultCase>& info) { return info.param.module; }
INSTANTIATE_TEST_SUITE_P(Gaugecheck, FaultyModule, ::testing::ValuesIn(kFaultCases), fault_name);

TEST_P(FaultyModule, IsReportedForItsFaultAlone) {
  const FaultCase& fault = GetParam();
  std::ostringstream out;
  const check::Report report = check::run(faulty_path(fault.module), quick(), out);
  EXPECT_EQ(sorted(report.failed_invariants()), sorted(fault.reported)) << out.str();
  EXPECT_EQ(report.failed > 0, !fault.reported.empty());
  EXPECT_GT(report.passed, 40);
  for (const check::Failure& failure : report.failures) {
    EXPECT_GT(failure.step, 0u);
    EXPECT_FALSE(failure.action.empty());
  }
  const std::string text = out.str();
  EXPECT_NE(text.find(std::to_string(report.passed) + " passed, " + std::to_string(report.failed) + " failed\n"),
            std::string::npos);
  if (!fault.reported.empty()) {
    EXPECT_NE(text.find("--seed 1 --step "), std::string::npos) << text;
  }
}

TEST(GaugecheckFaults, ACrashIsReportedWithWhereItHappenedAndTheRunGoesOn) {
  std::ostringstream out;
  const check::Report report = check::run(faulty_path("faulty_crash_on_nan"), quick(), out);
  ASSERT_FALSE(report.failures.empty());
  const check::Failure& first = report.failures.front();
  EXPECT_NE(first.detail.find("crashed with exception 0xC0000005"), std::string::npos) << first.detail;
  EXPECT_NE(first.detail.find("module offset"), std::string::npos) << first.detail;
  EXPECT_NE(first.action.find("nan"), std::string::npos) << "the step that fed the NaN: " << first.action;
  // Every scenario still ran to its end: as many checks as a clean run makes.
  std::ostringstream clean_out;
  const check::Report clean = check::run(faulty_path("faulty_control"), quick(), clean_out);
  EXPECT_EQ(report.passed + report.failed, clean.passed + clean.failed);
}

TEST(GaugecheckReplay, TheSeedAndStepOfAFailureReplayIt) {
  std::ostringstream out;
  const check::Report report = check::run(faulty_path("faulty_nan_returned"), quick(7), out);
  ASSERT_FALSE(report.failures.empty()) << out.str();
  const check::Failure target = report.failures[report.failures.size() / 2];

  check::Options replay = quick(7);
  replay.replay_step = target.step;
  std::ostringstream replay_out;
  const check::Report replayed = check::run(faulty_path("faulty_nan_returned"), replay, replay_out);
  ASSERT_FALSE(replayed.failures.empty());
  const check::Failure& last = replayed.failures.back();
  EXPECT_EQ(last.step, target.step);
  EXPECT_EQ(last.detail, target.detail);
  EXPECT_EQ(last.action, target.action);
  EXPECT_NE(replay_out.str().find("Stopped after step " + std::to_string(target.step)), std::string::npos);

  std::ostringstream other_out;
  const check::Report other_seed = check::run(faulty_path("faulty_nan_returned"), quick(8), other_out);
  EXPECT_NE(other_seed.failures.front().action, report.failures.front().action) << "the seed drives the inputs";
}

TEST(GaugecheckReplay, AHigherLevelRunsMoreSteps) {
  std::ostringstream out;
  check::Options options = quick();
  const uint64_t quick_steps = check::run(faulty_path("faulty_control"), options, out).steps;
  options.level = 3;
  const check::Report deeper = check::run(faulty_path("faulty_control"), options, out);
  EXPECT_GT(deeper.steps, 3 * quick_steps);
  EXPECT_EQ(deeper.failed, 0) << out.str();
}

std::string quoted(const std::string& text) { return '"' + text + '"'; }

// Runs the gaugecheck command and returns its exit code and output.
std::pair<DWORD, std::string> run_command(const std::string& arguments) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  if (!CreatePipe(&read, &write, &inherit, 0)) return {~0u, "no pipe"};
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write;
  startup.hStdError = write;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION process{};
  std::string command = quoted(TARNWIX_GAUGECHECK);
  command.append(" ").append(arguments);
  const BOOL started =
      CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
  CloseHandle(write);
  std::string output;
  if (started) {
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(read, buffer, sizeof buffer, &got, nullptr) && got > 0) output.append(buffer, got);
    WaitForSingleObject(process.hProcess, INFINITE);
  }
  CloseHandle(read);
  DWORD code = ~0u;
  if (started) {
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  return {code, output};
}

TEST(GaugecheckCommand, ExitsZeroOnlyWhenNothingFailedAndEndsWithTheCounts) {
  const std::regex summary("(^|\n)[0-9]+ passed, ([0-9]+) failed\r?\n$");
  std::smatch match;
  const auto [clean_code, clean] =
      run_command(quoted(faulty_path("faulty_control")) + " --level 1 --seed 3 --sound " + quoted(fake_sound_path()));
  EXPECT_EQ(clean_code, 0u) << clean;
  ASSERT_TRUE(std::regex_search(clean, match, summary)) << clean;
  EXPECT_EQ(match[2], "0");

  const auto [faulty_code, faulty] = run_command(quoted(faulty_path("faulty_cdecl_callback")) + " --level 1");
  EXPECT_EQ(faulty_code, 1u) << faulty;
  ASSERT_TRUE(std::regex_search(faulty, match, summary)) << faulty;
  EXPECT_NE(match[2], "0");
  EXPECT_NE(faulty.find("FAIL stack balanced"), std::string::npos) << faulty;
  EXPECT_NE(faulty.find("skipped: "), std::string::npos) << "no sound library was given";

  EXPECT_EQ(run_command(quoted(faulty_path("faulty_control")) + " --level 11").first, 2u);
  // A file that is no module: one line with the host's reason, no run.
  const auto [missing_code, missing] = run_command(quoted(faulty_path("no_such_module")));
  EXPECT_EQ(missing_code, 1u) << missing;
  EXPECT_NE(missing.find("gaugecheck: cannot load "), std::string::npos) << missing;
  EXPECT_NE(missing.find("no_such_module.gau: no such file"), std::string::npos) << missing;
  EXPECT_EQ(std::count(missing.begin(), missing.end(), '\n'), 1) << missing;
  const auto [sound_code, sound] = run_command(quoted(fake_sound_path()));
  EXPECT_EQ(sound_code, 1u) << sound;
  EXPECT_NE(sound.find("it exports neither Linkage nor ImportTable"), std::string::npos) << sound;
}

}  // namespace
}  // namespace tarnwix::test
