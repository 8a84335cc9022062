#include "app/application.h"

#include <QApplication>
#include <QEventLoop>

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
  // The dialog hides itself while the main window is in use, and its loop
  // must go on serving that window; QDialog::exec() would end at the hiding.
  // So the dialog runs in a loop of its own that only the dialog's end
  // (Close, Esc, the main window's exit) stops.
  QApplication::setQuitOnLastWindowClosed(false);
  QEventLoop loop;
  QObject::connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
  dialog.show();
  loop.exec();
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
