// Every variable fed special values and values around every probed constant,
// together and one by one, then frame after frame of them mixed.
#include "run.h"

namespace tarnwix::check::detail {

void Run::variable_fuzz() {
  begin("variables fed odd values", true);
  auto module = load();
  if (module == nullptr) return end();
  install(*module);
  learn_inputs(*module);
  // Every probe value in every variable at once; from level 7 also in each
  // variable alone, the others at random values; then random frames.
  const std::vector<double> probes = probe_values();
  for (double probe : probes) {
    set_all(probe);
    if (!step("frame with every variable " + describe(probe))) break;
    frame(*module);
  }
  if (options_.level >= 7) {
    for (uint32_t token : tokens_) {
      for (double probe : probes) {
        set_variables(false);
        current_[token] = probe;
        Panel::instance().set_variable(token, probe);
        std::string values;
        for (const auto& [each, value] : current_)
          values.append(" ").append(std::to_string(each)).append("=").append(describe(value));
        if (!step("frame with" + values)) break;
        frame(*module);
      }
    }
  }
  run_frames(*module, 50 * options_.level * options_.level);
  kill(*module);
  unload(module);
  end();
}

}  // namespace tarnwix::check::detail
