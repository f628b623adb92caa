// Service codes in shuffled and odd orders, and a second instance of the
// gauge sharing the module's state.
#include <algorithm>
#include <iterator>

#include "run.h"

namespace tarnwix::check::detail {

void Run::odd_service_orders() {
  begin("service codes in odd orders", true);
  static constexpr uint32_t kOddCodes[] = {13, 14, 15, 100, 255, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFEu, 0xFFFFFFFFu};
  for (int round = 0; round < 2 * options_.level && !stopped(); ++round) {
    set_sound(round % 2 == 0 ? SoundLibraryMode::kAbsent : SoundLibraryMode::kPresent);
    auto module = load();
    if (module == nullptr) break;
    rects_ = module->mouse_rects();
    // Every code 0 to 12 in a shuffled order, then random codes, callbacks,
    // frames and clicks; some rounds start with a pre-draw or callbacks
    // before any update, and with a second pre-install.
    std::vector<uint32_t> codes;
    for (uint32_t code = 0; code <= 12; ++code) codes.push_back(code);
    std::shuffle(codes.begin(), codes.end(), random_);
    if (round % 3 == 0) codes.insert(codes.begin(), 10);
    if (round % 3 == 1) codes.insert(codes.begin(), {2, 4, 2, 4});
    if (round % 3 == 2 && step("element callbacks before any service")) callbacks(*module);
    for (uint32_t code : codes) service(*module, code, static_cast<uint32_t>(random_()));
    for (int i = 0; i < 10 * options_.level && !stopped(); ++i) {
      const int what = below(10);
      if (what < 4) {
        service(*module, static_cast<uint32_t>(below(13)), static_cast<uint32_t>(random_()));
      } else if (what < 5) {
        service(*module, kOddCodes[below(std::size(kOddCodes))], static_cast<uint32_t>(random_()));
      } else if (what < 7) {
        if (step("element callbacks alone")) callbacks(*module);
      } else if (what < 9) {
        const std::string values = set_variables(true);
        if (step("frame with " + values)) frame(*module, chance(80));
      } else {
        click_somewhere(*module);
      }
    }
    kill(*module);
    unload(module);
  }
  end();
}

void Run::second_instance() {
  begin("a second instance sharing the module's state", true);
  for (int round = 0; round < options_.level && !stopped(); ++round) {
    set_sound(round % 2 == 0 ? SoundLibraryMode::kPresent : SoundLibraryMode::kAbsent);
    auto module = load();
    if (module == nullptr) break;
    install(*module);
    if (round == 0) learn_inputs(*module);
    run_frames(*module, 1 + below(3 * options_.level));
    install(*module);  // the second instance: its own pre-install and pre-initialise
    run_frames(*module, 2 + below(6 * options_.level));
    kill(*module);  // one instance goes, the other carries on
    run_frames(*module, 1 + below(3 * options_.level));
    kill(*module);
    unload(module);
  }
  end();
}

}  // namespace tarnwix::check::detail
