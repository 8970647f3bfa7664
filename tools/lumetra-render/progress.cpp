#include "progress.h"

#include <unistd.h>

#include <cstdio>

namespace render {

using Clock = std::chrono::steady_clock;

ProgressBar::ProgressBar(std::string label, bool enabled)
    : label_(std::move(label)),
      enabled_(enabled && isatty(STDERR_FILENO)),
      start_(Clock::now()),
      lastDraw_(start_) {}

ProgressBar::~ProgressBar() { Finish(); }

void ProgressBar::Update(int64_t done, int64_t total) {
  if (!enabled_ || total <= 0) return;
  const Clock::time_point now = Clock::now();
  // Short runs stay silent; after that, ten redraws a second at most.
  if (now - start_ < std::chrono::milliseconds(500)) return;
  if (drawn_ && done < total && now - lastDraw_ < std::chrono::milliseconds(100)) return;
  lastDraw_ = now;
  drawn_ = true;
  constexpr int Width = 30;
  const double fraction = static_cast<double>(done) / static_cast<double>(total);
  const int filled = static_cast<int>(fraction * Width);
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(Width - filled), '.');
  const double elapsed = std::chrono::duration<double>(now - start_).count();
  const double left = done > 0 ? elapsed * static_cast<double>(total - done) / done : 0.0;
  std::fprintf(stderr, "\r%s [%s] %3d%%  %lld/%lld frames  %.0f s left \x1b[K", label_.c_str(),
               bar.c_str(), static_cast<int>(fraction * 100.0), static_cast<long long>(done),
               static_cast<long long>(total), left);
  std::fflush(stderr);
}

void ProgressBar::Finish() {
  if (!drawn_) return;
  std::fprintf(stderr, "\r\x1b[K");
  std::fflush(stderr);
  drawn_ = false;
}

}  // namespace render
