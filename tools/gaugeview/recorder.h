// The recording of a session: every input change and click with the frame it
// came after, written as a scenario file that gaugerender replays to the same
// pictures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarnwix::view {

// A number as a scenario line takes it back exactly: 17 significant digits,
// and nan, inf and -inf.
std::string scenario_number(double value);

class Recorder {
 public:
  // A new recording from `frame` on; `head` are the scenario's first lines
  // (title, comments, and the module or panel lines).
  void start(std::vector<std::string> head, int frame);

  void set(int frame, uint32_t token, double value);
  void click(int frame, const std::string& module, int x, int y);
  void named(int frame, const std::string& name, uint32_t word);
  // A comment: what happened that a scenario cannot replay (a reload).
  void note(int frame, const std::string& comment);

  // The scenario up to `frame`: each event after as many frames as ran
  // before it, and the frames since the last one.
  std::string text(int frame) const;
  bool write(const std::string& path, int frame, std::string* error) const;

 private:
  struct Entry {
    int frame;
    std::string line;
  };
  void add(int frame, std::string line);

  std::vector<std::string> head_;
  std::vector<Entry> entries_;
  int start_frame_ = 0;
};

}  // namespace tarnwix::view
