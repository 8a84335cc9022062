// Renders the real windows offscreen into PNG files: the file selection
// dialog, the main window after a scan of the sample pair with an update
// selected, the save options dialog and the save progress window.
//
//   tarnwick_screenshots OUTPUT_FOLDER
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QCheckBox>
#include <QComboBox>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>
#include <cstdio>

#include "app/app_state.h"
#include "app/file_selection_dialog.h"
#include "app/main_window.h"
#include "app/save_options_dialog.h"
#include "app/save_progress_window.h"
#include "reader/collation_table.h"
#include "tests/app/gui_pairs.h"
#include "tests/app/gui_support.h"

using namespace tarnwick;
using namespace tarnwick::app;

namespace {

bool Write(QWidget* w, const QString& folder, const QString& name) {
  QCoreApplication::processEvents();
  const QString path = folder + "/" + name + ".png";
  const bool ok = w->grab().save(path);
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: tarnwick_screenshots OUTPUT_FOLDER\n");
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(out);
  tarnwick::app::testing::PlatformStandIn platform;
  tarnwick::testing::TempDir files;
  const tarnwick::app::testing::PairPaths pair = tarnwick::app::testing::WriteSamplePair(files);

  AppState state;
  state.activity_log_folder = files.path();
  state.run.collations = LoadCollationTable();
  int failures = 0;

  FileSelectionDialog selection(state);
  selection.show();
  platform.files = {QString::fromStdString(pair.ldf), QString::fromStdString(pair.mdf)};
  selection.BrowseLogFile();
  selection.BrowseDataFile();
  failures += !Write(&selection, out, "file_selection");

  QTest::mouseClick(selection.findChild<QPushButton*>("nextButton"), Qt::LeftButton);
  MainWindow* w = selection.mainWindow();
  if (!w || !QTest::qWaitFor([&] { return !w->scanRunning(); }, 300000)) return 1;
  QCoreApplication::processEvents();
  QTreeWidget* tree = w->tree();
  QTreeWidgetItem* all = tree->topLevelItem(0)->child(0);
  QTreeWidgetItem* orders = nullptr;
  for (int i = 0; i < all->childCount(); ++i)
    if (all->child(i)->text(0).startsWith("Orders[")) orders = all->child(i);
  if (!orders) return 1;
  orders->setCheckState(0, Qt::Checked);
  tree->setCurrentItem(orders);
  w->ListOperations(orders);
  if (!QTest::qWaitFor([&] { return !w->listingRunning(); }, 30000)) return 1;
  auto* list = w->findChild<QTableView*>("operationsList");
  for (int r = 0; r < list->model()->rowCount(); ++r) {
    if (list->model()->data(list->model()->index(r, 0)).toString() == "Update") {
      list->selectRow(r);
      w->ShowOperation(r);
      break;
    }
  }
  failures += !Write(w, out, "main_window");

  platform.folders = {};
  w->SetSaveDialogRunner([&](SaveOptionsDialog& dialog) {
    dialog.show();
    dialog.findChild<QCheckBox*>("insertCheck")->setChecked(true);
    dialog.findChild<QCheckBox*>("updateCheck")->setChecked(true);
    dialog.findChild<QComboBox*>("serverCombo")->setEditText("localhost\\SQLEXPRESS");
    dialog.findChild<QLineEdit*>("databaseEdit")->setText("RecoveredShop");
    dialog.AddRange();
    failures += !Write(&dialog, out, "save_options");
    // The sample's operations are not from today: the range is taken out
    // again so that the save has rows to write.
    dialog.findChild<QTableWidget*>("rangeList")->selectRow(0);
    dialog.RemoveRange();
    dialog.findChild<QRadioButton*>("scriptRadio")->click();
    dialog.findChild<QLineEdit*>("folderEdit")->setText(QString::fromStdString(files.File("out")));
    dialog.accept();
    return dialog.result() == QDialog::Accepted;
  });
  QDir().mkpath(QString::fromStdString(files.File("out")));
  w->Save();
  if (!QTest::qWaitFor([&] { return !w->saveRunning(); }, 300000)) return 1;
  QCoreApplication::processEvents();
  if (w->saveProgressWindow()) failures += !Write(w->saveProgressWindow(), out, "save_progress");
  else ++failures;
  return failures == 0 ? 0 : 1;
}
