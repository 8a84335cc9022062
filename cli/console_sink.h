// The command line's progress sink: status texts and a progress bar on
// stderr when stderr is a terminal; the open error text is kept for the
// caller to print.
#pragma once

#include <cstdint>
#include <string>

#include "reader/progress_sink.h"

namespace tarnwick::cli {

class ConsoleSink : public ProgressSink {
 public:
  ConsoleSink();
  ~ConsoleSink() override;
  void SetStatusText(const std::string& text) override;
  void SetProgressRange(uint64_t maximum) override;
  void SetProgressPos(uint64_t position) override;
  void ReportOpenError(const std::string& text) override;

  const std::string& open_error() const { return open_error_; }

 private:
  void Draw();
  void EndLine();
  bool terminal_;
  std::string status_;
  uint64_t maximum_ = 0;
  uint64_t position_ = 0;
  bool line_open_ = false;
  std::string open_error_;
};

}  // namespace tarnwick::cli
