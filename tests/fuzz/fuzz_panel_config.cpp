// libFuzzer entry: any text through the panel.cfg reader. Besides the
// sanitizers' checks, what the reader promises of what it accepts.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "panel_config.h"

namespace {
void require(bool holds) {
  if (!holds) __builtin_trap();
}
bool within(double value) { return std::isfinite(value) && std::fabs(value) <= tarnwix::host::kMaxPanelCoordinate; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarnwix::host;
  std::string error;
  const auto config = parse_panel_config(std::string_view(reinterpret_cast<const char*>(data), size), "f.cfg", &error);
  if (!config) {
    require(error.rfind("f.cfg:", 0) == 0);
    return 0;
  }
  require(!config->windows.empty());
  for (const PanelWindow& window : config->windows) {
    require(config->find(window.name()) == &window);
    require(!window.size_mm_width || (within(*window.size_mm_width) && *window.size_mm_width > 0));
    require(!window.pixel_width || (*window.pixel_width >= 0 && window.pixel_height.has_value()));
    int previous = -1;
    for (const PanelGauge& gauge : window.gauges) {
      require(gauge.number >= previous);
      previous = gauge.number;
      require(!gauge.module.empty() && !gauge.gauge.empty());
      require(within(gauge.x) && within(gauge.y));
      require(!gauge.width || (within(*gauge.width) && *gauge.width >= 0));
      require(!gauge.height || (gauge.width && within(*gauge.height) && *gauge.height >= 0));
      require(gauge.line >= 1);
    }
  }
  return 0;
}
