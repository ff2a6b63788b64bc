// The progress bar: redrawn in place with a carriage return, at most once per tenth of a percent.
#include "tool/packer/progress.h"

#ifdef _WIN32
#include <windows.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace tarvex::packer {

namespace {
constexpr int kBarWidth = 30;
constexpr double kMegabyte = 1e6;
}  // namespace

bool is_terminal(FILE* stream) {
#ifdef _WIN32
  // The C runtime calls the NUL device a terminal too; only a console counts here.
  DWORD mode = 0;
  return GetConsoleMode(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))), &mode) != 0;
#else
  return isatty(fileno(stream)) != 0;
#endif
}

ProgressBar::ProgressBar(const char* label, uint64_t total)
    : label_(label), total_(total), enabled_(is_terminal(stderr)) {}

ProgressBar::~ProgressBar() { finish(); }

void ProgressBar::update(uint64_t done) {
  if (!enabled_ || finished_) return;
  const unsigned permille = total_ == 0 ? 1000 : static_cast<unsigned>(done >= total_ ? 1000 : done * 1000 / total_);
  if (static_cast<int>(permille) != shown_) draw(permille);
}

void ProgressBar::finish() {
  if (!enabled_ || finished_) return;
  draw(1000);
  fputc('\n', stderr);
  fflush(stderr);
  finished_ = true;
}

void ProgressBar::draw(unsigned permille) {
  shown_ = static_cast<int>(permille);
  char bar[kBarWidth + 1];
  const int filled = static_cast<int>(permille * kBarWidth / 1000);
  for (int i = 0; i < kBarWidth; ++i) bar[i] = i < filled ? '#' : '-';
  bar[kBarWidth] = 0;
  const double done_mb = static_cast<double>(total_) * permille / 1000 / kMegabyte;
  fprintf(stderr, "\r%s [%s] %5.1f%%  %.1f of %.1f MB", label_, bar, permille / 10.0, done_mb,
          static_cast<double>(total_) / kMegabyte);
  fflush(stderr);
}

}  // namespace tarvex::packer
