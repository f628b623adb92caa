// The viewer's log of events: one line each, "frame N: what happened", kept
// for the log pane (the latest kKept lines) and, when a file is given,
// written there and flushed as each happens, for scripts and tests.
#pragma once

#include <cstdio>
#include <deque>
#include <functional>
#include <string>

namespace tarnwix::view {

class EventLog {
 public:
  static constexpr size_t kKept = 5000;

  EventLog() = default;
  ~EventLog();
  EventLog(const EventLog&) = delete;
  EventLog& operator=(const EventLog&) = delete;

  // Writes every later line to `path` too (created anew); false, with the
  // reason in *error, when it cannot be created.
  bool open_file(const std::string& path, std::string* error);

  // Adds "frame N: TEXT"; line breaks inside TEXT become spaces, so that a
  // line of the log is always one event.
  void add(int frame, const std::string& text);
  // A line for the file alone (where the window's controls are on the
  // screen): of use to a script, of none in the log pane.
  void add_to_file(int frame, const std::string& text);

  const std::deque<std::string>& lines() const { return lines_; }
  // Called with every new line (the window's log pane).
  void set_listener(std::function<void(const std::string&)> listener) { listener_ = std::move(listener); }

 private:
  std::FILE* file_ = nullptr;
  std::deque<std::string> lines_;
  std::function<void(const std::string&)> listener_;
};

}  // namespace tarnwix::view
