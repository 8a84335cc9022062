#include "app/application.h"

#include <QApplication>

#include "app/app_state.h"
#include "app/file_selection_dialog.h"
#include "app/platform/desktop.h"
#include "app/platform/file_access.h"
#include "app/platform/message_boxes.h"
#include "reader/collation_table.h"

namespace tarnwick::app {

int RunInstance(AppState& state, bool already_running) {
  RegisterSettingsKey();
  if (already_running) {
    MessageBoxes::Show(nullptr, kAlreadyRunning);
    return 0;
  }
  FileSelectionDialog dialog(state);
  dialog.exec();
  return 0;
}

int RunTarnwick(int argc, char** argv) {
  // The lock stands for the named mutex; it is taken before anything else
  // and held until the process ends.
  SingleInstanceLock instance;
  const bool already_running = !instance.Acquire(RuntimeFolder(), kInstanceMutexName);
  QApplication application(argc, argv);
  AppState state;
  state.run.collations = LoadCollationTable();
  return RunInstance(state, already_running);
}

}  // namespace tarnwick::app
