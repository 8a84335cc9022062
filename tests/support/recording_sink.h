// A progress sink that records every call as a line, for tests that check
// what a reader reported and in which order.
#pragma once

#include <string>
#include <vector>

#include "reader/progress_sink.h"

namespace tarnwick::testing {

class RecordingSink : public ProgressSink {
 public:
  void SetStatusText(const std::string& text) override { calls.push_back("status:" + text); }
  void SetProgressRange(uint64_t maximum) override {
    calls.push_back("range:" + std::to_string(maximum));
  }
  void SetProgressPos(uint64_t position) override {
    ++positions;
    last_position = position;
  }
  void ReportOpenError(const std::string& text) override { calls.push_back("error:" + text); }

  std::vector<std::string> calls;  // everything but the positions
  int positions = 0;
  uint64_t last_position = 0;
};

}  // namespace tarnwick::testing
