// A progress bar on standard error, drawn only when standard error is a terminal.
#pragma once
#include <cstdint>
#include <cstdio>

namespace tarvex::packer {

bool is_terminal(FILE* stream);

class ProgressBar {
 public:
  // `total` is the amount that counts as 100%. Nothing is drawn unless standard error
  // is a terminal.
  ProgressBar(const char* label, uint64_t total);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  void update(uint64_t done);
  // Draws 100% and ends the line; also done by the destructor if not done before.
  void finish();

 private:
  void draw(unsigned permille);
  const char* label_;
  uint64_t total_;
  bool enabled_;
  bool finished_ = false;
  int shown_ = -1;  // last permille drawn
};

}  // namespace tarvex::packer
