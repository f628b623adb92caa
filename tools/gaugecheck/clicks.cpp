// Clicks in, on the edges of and outside every area, and named variables
// written with odd words as another gauge would.
#include <algorithm>
#include <iterator>

#include "run.h"

namespace tarnwix::check::detail {

namespace {

// Values the checker writes into a named variable as another gauge would.
constexpr uint32_t kOddWords[] = {0xFFFFFFFFu, 2u, 0x80000000u, 0x7FFFFFFFu, 0x13u, 0u, 1u};

}  // namespace

std::vector<std::pair<int, int>> Run::click_points() {
  std::vector<std::pair<int, int>> points;
  int right = 0, bottom = 0;
  for (const host::MouseRectView& r : rects_) {
    right = std::max(right, r.x + r.width);
    bottom = std::max(bottom, r.y + r.height);
  }
  for (const host::MouseRectView& r : rects_) {
    if (r.kind != host::mouse_rect::kChild) continue;
    const int x0 = r.x, y0 = r.y, x1 = r.x + r.width - 1, y1 = r.y + r.height - 1;
    const std::pair<int, int> edges[] = {{x0, y0},     {x1, y0},     {x0, y1},     {x1, y1},        {x0 - 1, y0},
                                         {x1 + 1, y0}, {x0, y0 - 1}, {x0, y1 + 1}, {x1 + 1, y1 + 1}};
    points.insert(points.end(), std::begin(edges), std::end(edges));
    for (int i = 0; i < 4; ++i)
      points.emplace_back(x0 + below(std::max(1, r.width)), y0 + below(std::max(1, r.height)));
  }
  for (int i = 0; i < 4; ++i) points.emplace_back(below(right + 100) - 50, below(bottom + 100) - 50);
  return points;
}

void Run::clicks() {
  begin("clicks in, on the edges of and outside every area", true);
  auto module = load();
  if (module == nullptr) return end();
  install(*module);
  learn_inputs(*module);
  rects_ = module->mouse_rects();
  for (int round = 0; round < 3 * options_.level && !stopped(); ++round) {
    // Without power (everything 0), with it (everything 1), and odd values.
    std::string state;
    if (round % 3 == 0) {
      set_all(0.0);
      state = "every variable 0";
    } else if (round % 3 == 1) {
      set_all(1.0);
      state = "every variable 1";
    } else {
      state = set_variables(false);
    }
    if (!step("frame with " + state)) break;
    frame(*module);
    for (const auto& [x, y] : click_points()) {
      static constexpr uint32_t kOddFlags[] = {kLeftSingleClick, kLeftSingleClick, 0xFFFFFFFFu, 0x10000000u};
      click(*module, x, y, kOddFlags[below(std::size(kOddFlags))]);
      if (chance(50) && step("frame with " + state)) frame(*module);
    }
  }
  kill(*module);
  unload(module);
  end();
}

void Run::named_variables() {
  begin("named variables written by another gauge", true);
  auto module = load();
  if (module == nullptr) return end();
  install(*module);
  learn_inputs(*module);
  rects_ = module->mouse_rects();
  std::vector<std::string> names;
  for (const auto& [name, variable] : Panel::instance().named_variables()) names.push_back(name);
  for (int i = 0; i < 30 * options_.level && !stopped(); ++i) {
    std::string action = "frame";
    if (!names.empty()) {
      const std::string& name = names[static_cast<size_t>(below(static_cast<int>(names.size())))];
      const uint32_t word = chance(70) ? kOddWords[below(std::size(kOddWords))] : static_cast<uint32_t>(random_());
      Panel::instance().write_named(name, word);
      named_written_ = true;
      action = "another gauge writes " + std::to_string(word) + " to \"" + name + "\", then a frame";
    }
    if (!step(action + " with " + (chance(50) ? set_variables(true) : "the same variables"))) break;
    frame(*module);
    if (chance(30)) click_somewhere(*module);
  }
  kill(*module);
  unload(module);
  end();
}

}  // namespace tarnwix::check::detail
