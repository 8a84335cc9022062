#include "cli/console_sink.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "platform/file_system.h"

namespace tarnwick::cli {

ConsoleSink::ConsoleSink() : terminal_(IsTerminal(STDERR_FILENO)) {}

ConsoleSink::~ConsoleSink() { EndLine(); }

void ConsoleSink::SetStatusText(const std::string& text) {
  status_ = text;
  Draw();
}

void ConsoleSink::SetProgressRange(uint64_t maximum) {
  maximum_ = maximum;
  position_ = 0;
  Draw();
}

void ConsoleSink::SetProgressPos(uint64_t position) {
  position_ = position;
  Draw();
}

void ConsoleSink::ReportOpenError(const std::string& text) {
  open_error_ = text;
  maximum_ = position_ = 0;
  EndLine();
}

void ConsoleSink::Draw() {
  if (!terminal_) return;
  constexpr int kWidth = 30;
  int filled = maximum_ ? static_cast<int>(kWidth * std::min(position_, maximum_) / maximum_) : 0;
  std::string bar(static_cast<size_t>(filled), '#');
  bar.resize(kWidth, '.');
  std::fprintf(stderr, "\r\033[K[%s] %s", bar.c_str(), status_.c_str());
  std::fflush(stderr);
  line_open_ = true;
}

void ConsoleSink::EndLine() {
  if (!line_open_) return;
  std::fprintf(stderr, "\r\033[K");
  std::fflush(stderr);
  line_open_ = false;
}

}  // namespace tarnwick::cli
