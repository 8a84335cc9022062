// The run state of the desktop program (the application object's members):
// the core's run state, the activity log, the save options with their date
// ranges, and the folder of the last script save.
#pragma once

#include <string>

#include "app/activity_log.h"
#include "export/save_options.h"
#include "reader/run_state.h"

namespace tarnwick::app {

struct AppState {
  RunState run;
  ActivityLog activity_log;
  // Stored by the save options dialog's OK (and its Add and Remove).
  SaveOptions save_options;
  // The folder of the last save (either destination); the folder dialog of
  // a server-destination save starts there.
  std::string last_script_folder;
  // Where the activity log goes; empty: ActivityLog::DefaultFolder().
  std::string activity_log_folder;
};

}  // namespace tarnwick::app
