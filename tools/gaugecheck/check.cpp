// gaugecheck's entry point: the run's opening lines, the order of the
// scenarios and the closing count. The parts of the run are named in run.h.
#include "check.h"

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "host/call.h"
#include "run.h"

namespace tarnwix::check {

std::vector<std::string> Report::failed_invariants() const {
  std::vector<std::string> names;
  for (const Failure& failure : failures)
    if (std::find(names.begin(), names.end(), failure.invariant) == names.end()) names.push_back(failure.invariant);
  return names;
}

namespace detail {

Report Run::execute() {
  out_ << "gaugecheck " << path_ << ", level " << options_.level << ", seed " << options_.seed << "\n";
  begin("load", false);
  covered_ = {invariant::kLoads};
  {
    auto module = load();
    if (module == nullptr) {
      end();
      out_ << report_.passed << " passed, " << report_.failed << " failed\n";
      return report_;
    }
    thresholds_ = harvest_thresholds(*module);
    size_t areas = 0;
    for (const host::MouseRectView& rect : module->mouse_rects()) areas += rect.kind == host::mouse_rect::kChild;
    out_ << "gauge \"" << module->gauge_name() << "\": " << module->chain().size() << " elements, " << areas
         << " click areas, " << thresholds_.size() << " constants to probe around\n";
  }
  end();
  if (!have_sound()) report_.skipped.push_back("the runs with the sound library present (no stand-in library given)");

  load_and_unload();
  // The variables are learned from the first frame of a lifecycle; say which.
  lifecycles("whole lifecycles, sound library absent", SoundLibraryMode::kAbsent, false);
  std::string tokens;
  for (uint32_t token : tokens_) tokens.append(" ").append(std::to_string(token));
  out_ << "variables read:" << (tokens.empty() ? " none" : tokens) << "\n";
  if (have_sound()) {
    lifecycles("whole lifecycles, sound library present", SoundLibraryMode::kPresent, false);
    lifecycles("whole lifecycles, sound library loaded by another gauge", SoundLibraryMode::kPresent, true);
  }
  sound_appears();
  sound_vanishes();
  odd_service_orders();
  second_instance();
  variable_fuzz();
  clicks();
  named_variables();

  report_.steps = step_;
  for (const std::string& skipped : report_.skipped) out_ << "skipped: " << skipped << "\n";
  out_ << report_.passed << " passed, " << report_.failed << " failed\n";
  return report_;
}

}  // namespace detail

Report run(const std::string& module_path, const Options& options, std::ostream& out) {
  host::set_call_time_limit(options.call_time_limit_ms);
  Report report = detail::Run(module_path, options, out).execute();
  host::set_call_time_limit(0);
  host::set_interruptible_code(0, 0);
  return report;
}

}  // namespace tarnwix::check
