#include "event_log.h"

namespace tarnwix::view {

EventLog::~EventLog() {
  if (file_ != nullptr) std::fclose(file_);
}

bool EventLog::open_file(const std::string& path, std::string* error) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    if (error != nullptr) *error = "cannot write the log " + path;
    return false;
  }
  if (file_ != nullptr) std::fclose(file_);
  file_ = file;
  return true;
}

namespace {

std::string line_of(int frame, const std::string& text) {
  std::string line = "frame " + std::to_string(frame) + ": " + text;
  for (char& c : line)
    if (c == '\n' || c == '\r') c = ' ';
  return line;
}

}  // namespace

void EventLog::add_to_file(int frame, const std::string& text) {
  if (file_ == nullptr) return;
  std::fputs(line_of(frame, text).c_str(), file_);
  std::fputc('\n', file_);
  std::fflush(file_);
}

void EventLog::add(int frame, const std::string& text) {
  add_to_file(frame, text);
  const std::string line = line_of(frame, text);
  lines_.push_back(line);
  if (lines_.size() > kKept) lines_.pop_front();
  if (listener_) listener_(line);
}

}  // namespace tarnwix::view
