// Several devices' live progress bars on a terminal, one line each, redrawn
// in place; a message for the user is printed above them and the bars
// drawn again below it.
//
// Thread-safety: every member may be called from any thread.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace tabrelium::cli {

class ProgressBoard {
 public:
  explicit ProgressBoard(size_t lines) : lines_(lines) {}

  void SetLine(size_t index, std::string text) {
    std::lock_guard lock(mutex_);
    lines_.at(index) = std::move(text);
    Redraw();
  }

  // `text` (whole lines, newline included) above the bars.
  void Print(const std::string& text) {
    std::lock_guard lock(mutex_);
    Clear();
    std::fputs(text.c_str(), stderr);
    Redraw();
  }

  // Leaves the bars as they are, the cursor under them.
  void Finish() {
    std::lock_guard lock(mutex_);
    drawn_ = false;
  }

 private:
  // REQUIRES: mutex_ held.
  void Clear() {
    if (drawn_) std::fprintf(stderr, "\x1b[%zuA\r\x1b[J", lines_.size());
    drawn_ = false;
  }
  void Redraw() {
    Clear();
    for (const std::string& line : lines_) std::fprintf(stderr, "%s\x1b[K\n", line.c_str());
    std::fflush(stderr);
    drawn_ = true;
  }

  std::mutex mutex_;
  std::vector<std::string> lines_;
  bool drawn_ = false;
};

}  // namespace tabrelium::cli
