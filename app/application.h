// Start-up of the desktop program (CPellmoorApp::InitInstance): the
// single-instance check, the run state with its collation table, the
// settings key, and the file selection dialog run as the main window.
#pragma once

namespace tarnwick::app {

struct AppState;

inline constexpr const char* kInstanceMutexName = "Global\\{TARNWICK_EXE_RUNNING1}";
inline constexpr const char* kAlreadyRunning = "Another instance of application is already running";

// Steps after the application object exists: the settings key, the
// second-instance message (and the end), the file selection dialog run
// modally. Returns the process's exit code.
int RunInstance(AppState& state, bool already_running);

// The whole start-up; main() calls it.
int RunTarnwick(int argc, char** argv);

}  // namespace tarnwick::app
