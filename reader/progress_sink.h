// How the readers report progress and status to a front end.
//
// Calls are synchronous: the reader waits until the front end has handled
// each one, and they arrive in the order the reader makes them. The GUI turns
// them into signals for its widgets; the command line draws a progress bar.
#pragma once

#include <cstdint>
#include <string>

namespace tarnwick {

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void SetStatusText(const std::string& text) = 0;
  // Progress bar to 0, range 0 to maximum.
  virtual void SetProgressRange(uint64_t maximum) = 0;
  virtual void SetProgressPos(uint64_t position) = 0;
  // The data file set could not be opened: the front end discards the reader
  // slot's data file set and metadata and shows the text as an error.
  virtual void ReportOpenError(const std::string& text) = 0;
};

// A sink that drops everything (tests, benchmarks, batch use).
class NullProgressSink : public ProgressSink {
 public:
  void SetStatusText(const std::string&) override {}
  void SetProgressRange(uint64_t) override {}
  void SetProgressPos(uint64_t) override {}
  void ReportOpenError(const std::string&) override {}
};

}  // namespace tarnwick
