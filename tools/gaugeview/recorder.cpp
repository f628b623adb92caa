#include "recorder.h"

#include <cmath>
#include <cstdio>

namespace tarnwix::view {

namespace {

// gaugerender plays at most this many frames of one scenario.
constexpr long long kMostFrames = 100000;

}  // namespace

std::string scenario_number(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

void Recorder::start(std::vector<std::string> head, int frame) {
  head_ = std::move(head);
  entries_.clear();
  start_frame_ = frame;
}

void Recorder::add(int frame, std::string line) {
  entries_.push_back({frame < start_frame_ ? start_frame_ : frame, std::move(line)});
}

void Recorder::set(int frame, uint32_t token, double value) {
  add(frame, "set " + std::to_string(token) + " " + scenario_number(value));
}

void Recorder::click(int frame, const std::string& module, int x, int y) {
  add(frame, "click " + module + " " + std::to_string(x) + " " + std::to_string(y));
}

void Recorder::named(int frame, const std::string& name, uint32_t word) {
  add(frame, "named " + name + " " + std::to_string(word));
}

void Recorder::note(int frame, const std::string& comment) {
  std::string line = "# " + comment;
  for (char& c : line)
    if (c == '\n' || c == '\r') c = ' ';
  add(frame, line);
}

std::string Recorder::text(int frame) const {
  std::string out;
  for (const std::string& line : head_) out += line + "\n";
  int at = start_frame_;
  for (const Entry& entry : entries_) {
    if (entry.frame > at) out += "frames " + std::to_string(entry.frame - at) + "\n";
    at = entry.frame > at ? entry.frame : at;
    out += entry.line + "\n";
  }
  if (frame > at) out += "frames " + std::to_string(frame - at) + " last frame\n";
  return out;
}

bool Recorder::write(const std::string& path, int frame, std::string* error) const {
  auto fail = [&](const std::string& why) {
    if (error != nullptr) *error = why;
    return false;
  };
  if (frame - start_frame_ > kMostFrames)
    return fail("the recording holds " + std::to_string(frame - start_frame_) + " frames; a scenario plays at most " +
                std::to_string(kMostFrames));
  const std::string content = text(frame);
  const std::string partial = path + ".part";
  std::FILE* file = std::fopen(partial.c_str(), "wb");
  if (file == nullptr) return fail("cannot write " + path);
  const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
  if (std::fclose(file) != 0 || !written) {
    std::remove(partial.c_str());
    return fail("cannot write " + path);
  }
  std::remove(path.c_str());
  if (std::rename(partial.c_str(), path.c_str()) != 0) {
    std::remove(partial.c_str());
    return fail("cannot write " + path);
  }
  return true;
}

}  // namespace tarnwix::view
