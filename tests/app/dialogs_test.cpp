// Start-up, the file selection dialog, the activity log, the About box and
// the single-instance lock.
#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/activity_log.h"
#include "app/app_state.h"
#include "app/application.h"
#include "app/file_selection_dialog.h"
#include "app/help_menu.h"
#include "app/main_window.h"
#include "app/platform/file_access.h"
#include "reader/collation_table.h"
#include "tests/app/gui_support.h"
#include "tests/support/data_file_builder.h"

using namespace tarnwick;
using namespace tarnwick::app;
using tarnwick::app::testing::Find;

class DialogsTest : public QObject {
  Q_OBJECT
 private Q_SLOTS:
  void StartUpLoadsTheCollationTable();
  void SecondInstance();
  void ActivityLogBytes();
  void FileSelectionMessagesAndNext();
  void StartUpGoesOnWithTheMainWindow();
  void FileSelectionCloseAndEsc();
  void AboutBox();
};

void DialogsTest::StartUpLoadsTheCollationTable() {
  // The tests run in the build folder, where collation.txt lies beside the
  // executables.
  const CollationTable table = LoadCollationTable();
  QVERIFY(!table.empty());
  const auto it = table.find(872468488);
  QVERIFY(it != table.end());
  QCOMPARE(QString::fromStdString(it->second.name), QString("SQL_Latin1_General_CP1_CI_AS"));
  QCOMPARE(it->second.code_page, 1252);
}

void DialogsTest::SecondInstance() {
  tarnwick::testing::TempDir dir;
  SingleInstanceLock first, second;
  QVERIFY(first.Acquire(dir.path(), kInstanceMutexName));
  QVERIFY(!second.Acquire(dir.path(), kInstanceMutexName));
  QCOMPARE(QString::fromStdString(InstanceLockName(kInstanceMutexName)),
           QString("Global_{TARNWICK_EXE_RUNNING1}.lock"));
  first.Release();
  QVERIFY(second.Acquire(dir.path(), kInstanceMutexName));

  // A second start shows the message and ends without a window.
  tarnwick::app::testing::PlatformStandIn platform;
  AppState state;
  state.activity_log_folder = dir.path();
  QCOMPARE(RunInstance(state, true), 0);
  QCOMPARE(platform.texts(), QStringList({kAlreadyRunning}));
  QCOMPARE(platform.messages[0].caption, QString("Tarnwick"));
  QCOMPARE(platform.messages[0].icon, BoxIcon::kInformation);
  QVERIFY(QApplication::topLevelWidgets().isEmpty() ||
          std::none_of(QApplication::topLevelWidgets().begin(),
                       QApplication::topLevelWidgets().end(),
                       [](QWidget* w) { return w->isVisible(); }));
  QCOMPARE(QCoreApplication::organizationName(), QString("TarnwickV18.0"));
}

void DialogsTest::ActivityLogBytes() {
  tarnwick::testing::TempDir dir;
  std::string separator = "\r\n" + std::string(80, '*') + "\r\n";
  ByteBuffer expected = {0xFF, 0xFE};
  auto add = [&](const std::string& text) {
    for (char c : text) {
      expected.push_back(static_cast<uint8_t>(c));
      expected.push_back(0);
    }
  };
  {
    ActivityLog log;
    log.Open(dir.path());
    log.Append("Browse File Path:\tC:\\\\x.mdf\r\n");
  }
  add(separator);
  add("Browse File Path:\tC:\\\\x.mdf\r\n");
  QCOMPARE(tarnwick::testing::ReadFileBytes(dir.File("log.txt")), expected);
  // A second start appends a separator and no second byte order mark.
  {
    ActivityLog log;
    log.Open(dir.path());
  }
  add(separator);
  QCOMPARE(tarnwick::testing::ReadFileBytes(dir.File("log.txt")), expected);
  // A folder that cannot be written: nothing fails, nothing is written.
  ActivityLog nowhere;
  nowhere.Open(dir.File("missing/folder"));
  QVERIFY(!nowhere.isOpen());
  nowhere.Append("ignored");
  // The default folder is always writable.
  QVERIFY(::access(ActivityLog::DefaultFolder().c_str(), W_OK) == 0);
}

void DialogsTest::StartUpGoesOnWithTheMainWindow() {
  // Next hides the file selection dialog: the program must go on with the
  // main window until the dialog ends, not stop at the hiding.
  tarnwick::app::testing::PlatformStandIn platform;
  tarnwick::testing::TempDir dir;
  const std::string ldf = dir.File("a_log.ldf"), mdf = dir.File("a.mdf");
  for (const std::string& p : {ldf, mdf}) tarnwick::testing::WriteFileBytes(p, {1, 2, 3});
  platform.files = {QString::fromStdString(ldf), QString::fromStdString(mdf)};
  AppState state;
  state.activity_log_folder = dir.path();
  bool main_window_shown = false;
  bool dialog_found = false;
  QTimer::singleShot(0, [&] {
    FileSelectionDialog* dialog = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* d = qobject_cast<FileSelectionDialog*>(w); d && d->isVisible()) dialog = d;
    if (!dialog) return;
    dialog_found = true;
    dialog->BrowseLogFile();
    dialog->BrowseDataFile();
    QTest::mouseClick(Find<QPushButton>(dialog, "nextButton"), Qt::LeftButton);
    // Runs only while the start-up loop still runs (the dialog is its
    // context): the scan of the broken pair ends, the main window stays.
    QTimer::singleShot(0, dialog, [&, dialog] {
      MainWindow* window = dialog->mainWindow();
      if (!window) return;
      main_window_shown = QTest::qWaitFor([&] { return !platform.messages.empty(); }, 10000) &&
                          window->isVisible() && !dialog->isVisible();
      dialog->done(QDialog::Accepted);
    });
  });
  QCOMPARE(RunInstance(state, false), 0);
  QVERIFY(dialog_found);
  QVERIFY(main_window_shown);
}

void DialogsTest::FileSelectionMessagesAndNext() {
  tarnwick::app::testing::PlatformStandIn platform;
  tarnwick::testing::TempDir dir;
  const std::string ldf1 = dir.File("a_log.ldf"), ldf2 = dir.File("b_log.ldf"),
                    mdf = dir.File("a.mdf");
  for (const std::string& p : {ldf1, ldf2, mdf}) tarnwick::testing::WriteFileBytes(p, {1, 2, 3});
  AppState state;
  state.activity_log_folder = dir.path();
  FileSelectionDialog dialog(state);
  dialog.show();
  QVERIFY(state.activity_log.isOpen());
  auto* next = Find<QPushButton>(&dialog, "nextButton");
  auto* ldf_edit = Find<QLineEdit>(&dialog, "ldfEdit");
  auto* mdf_edit = Find<QLineEdit>(&dialog, "mdfEdit");
  QCOMPARE(next->toolTip(), QString("Click Next to continue the application"));
  QCOMPARE(Find<QPushButton>(&dialog, "closeButton")->toolTip(), QString("Close the application"));

  // Next with nothing chosen names the log file first.
  QTest::mouseClick(next, Qt::LeftButton);
  QCOMPARE(platform.texts(), QStringList({kBrowseLdf}));

  // Cancelled browse: nothing changes.
  platform.Reset();
  dialog.BrowseLogFile();
  QCOMPARE(platform.file_requests.back().filter, QString(".ldf Files (*ldf)"));
  QCOMPARE(platform.file_requests.back().initial_name, QString("*.ldf"));
  QVERIFY(ldf_edit->text().isEmpty());
  QVERIFY(state.run.log_file_path.empty());

  // A missing file, a good file, then one held by another program.
  platform.files = {QString::fromStdString(dir.File("none.ldf")), QString::fromStdString(ldf1),
                    QString::fromStdString(ldf2)};
  dialog.BrowseLogFile();
  QCOMPARE(platform.texts(), QStringList({kSelectValidLdf}));
  QVERIFY(ldf_edit->text().isEmpty());
  dialog.BrowseLogFile();
  QCOMPARE(state.run.log_file_path, ldf1);
  QCOMPARE(ldf_edit->text(), QString::fromStdString(ldf1));
  const int holder = ::open(ldf2.c_str(), O_RDWR);
  QVERIFY(holder >= 0);
  QCOMPARE(::flock(holder, LOCK_EX), 0);
  dialog.BrowseLogFile();
  ::close(holder);
  QCOMPARE(platform.texts(), QStringList({kSelectValidLdf, kSelectValidLdf}));
  QCOMPARE(ldf_edit->text(), QString::fromStdString(ldf2));
  QCOMPARE(state.run.log_file_path, ldf1);

  // Next without a data file; then the data file with its own filter.
  platform.Reset();
  QTest::mouseClick(next, Qt::LeftButton);
  QCOMPARE(platform.texts(), QStringList({kBrowseMdf}));
  platform.files = {QString::fromStdString(mdf)};
  dialog.BrowseDataFile();
  QCOMPARE(platform.file_requests.back().filter, QString(".mdf Files (*mdf)"));
  QCOMPARE(platform.file_requests.back().default_suffix, QString("mdf"));
  QCOMPARE(state.run.data_file_path, mdf);
  QCOMPARE(mdf_edit->text(), QString::fromStdString(mdf));
  QCOMPARE(platform.texts(), QStringList({kBrowseMdf}));
}

void DialogsTest::FileSelectionCloseAndEsc() {
  tarnwick::app::testing::PlatformStandIn platform;
  tarnwick::testing::TempDir dir;
  AppState state;
  state.activity_log_folder = dir.path();
  struct Case {
    bool esc;
    BoxAnswer answer;
    BoxIcon icon;
    bool ends;
    QStringList web;
    std::vector<int> exit_codes;
  };
  const Case cases[] = {
      {false, BoxAnswer::kNo, BoxIcon::kQuestion, false, {}, {}},
      {false, BoxAnswer::kYes, BoxIcon::kQuestion, true, {kHomeAddress}, {-1}},
      {true, BoxAnswer::kNo, BoxIcon::kNone, false, {}, {}},
      {true, BoxAnswer::kYes, BoxIcon::kNone, true, {}, {}},
  };
  for (const Case& c : cases) {
    platform.Reset();
    FileSelectionDialog dialog(state);
    dialog.show();
    platform.answers = {c.answer};
    if (c.esc)
      QTest::keyClick(&dialog, Qt::Key_Escape);
    else
      QTest::mouseClick(Find<QPushButton>(&dialog, "closeButton"), Qt::LeftButton);
    QCOMPARE(platform.texts(), QStringList({kCloseApplication}));
    QCOMPARE(platform.messages[0].icon, c.icon);
    QCOMPARE(platform.messages[0].buttons, BoxButtons::kYesNo);
    QCOMPARE(dialog.isVisible(), !c.ends);
    QCOMPARE(platform.web, c.web);
    QCOMPARE(platform.exit_codes, c.exit_codes);
  }
}

void DialogsTest::AboutBox() {
  tarnwick::app::testing::PlatformStandIn platform;
  tarnwick::app::AboutBox box;
  auto* text = Find<QLabel>(&box, "aboutText");
  QVERIFY(text->text().contains("Tarnwick"));
  QVERIFY(text->text().contains(kHomeAddress));
  QVERIFY(text->text().contains(kMailAddress));
  Q_EMIT text->linkActivated(kMailAddress);
  QCOMPARE(platform.web, QStringList({kMailAddress}));
}

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
