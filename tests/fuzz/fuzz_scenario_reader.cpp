// libFuzzer entry: any text through the scenario reader. Besides the
// sanitizers' checks, what the reader promises of what it accepts.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "scenario_reader.h"

namespace {
void require(bool holds) {
  if (!holds) __builtin_trap();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarnwix::host;
  std::string error;
  const auto scenario =
      parse_scenario(std::string_view(reinterpret_cast<const char*>(data), size), "dir/f.txt", &error);
  if (!scenario) {
    require(error.rfind("dir/f.txt", 0) == 0);
    return 0;
  }
  require(scenario->modules.empty() != scenario->panel.empty());
  require(scenario->total_frames() >= 0 && scenario->total_frames() <= 100000);
  for (const ScenarioStep& step : scenario->steps) {
    require(step.line >= 1);
    if (step.kind == ScenarioStep::Kind::kFrames) require(step.frames >= 1);
  }
  return 0;
}
