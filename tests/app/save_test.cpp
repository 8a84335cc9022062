// The save: the Save command's check, the save options dialog's rules and
// messages, the connection test over a stand-in connection, and a whole
// save to a finished script set with its progress window.
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>

#include "app/app_state.h"
#include "app/main_window.h"
#include "app/save_options_dialog.h"
#include "app/save_progress_window.h"
#include "export/save_options.h"
#include "reader/collation_table.h"
#include "tests/app/gui_pairs.h"
#include "tests/app/gui_support.h"
#include "tests/support/data_file_builder.h"

using namespace tarnwick;
using namespace tarnwick::app;
using tarnwick::app::testing::Find;

namespace {

// A server that accepts every call.
class AcceptingConnection : public SqlConnection {
 public:
  std::string IntegratedAuthenticationProblem() override { return {}; }
  SqlCallResult Open(const std::string&, const std::string&, const std::string&) override {
    return {};
  }
  SqlCallResult Execute(const std::string&) override { return {}; }
  SqlCallResult Close() override { return {}; }
};

bool WaitTest(SaveOptionsDialog& d) {
  return QTest::qWaitFor([&] { return !d.testRunning(); }, 30000);
}

}  // namespace

class SaveTest : public QObject {
  Q_OBJECT
 private Q_SLOTS:
  void OptionsDialogRules();
  void ConnectionTestAndServerFolder();
  void SaveWritesTheScriptSet();
};

void SaveTest::OptionsDialogRules() {
  tarnwick::app::testing::PlatformStandIn platform;
  AppState state;
  SaveOptionsDialog d(state);
  d.show();
  auto* user = Find<QLineEdit>(&d, "userEdit");
  auto* folder = Find<QLineEdit>(&d, "folderEdit");
  // Opening: server and Windows radios; user name, password and folder off.
  QVERIFY(Find<QRadioButton>(&d, "serverRadio")->isChecked());
  QVERIFY(Find<QRadioButton>(&d, "windowsRadio")->isChecked());
  QVERIFY(!user->isEnabled());
  QVERIFY(!folder->isEnabled());
  QVERIFY(Find<QPushButton>(&d, "testButton")->isEnabled());
  QCOMPARE(Find<QPushButton>(&d, "testButton")->toolTip(), QString("Test database connection"));
  Find<QRadioButton>(&d, "sqlRadio")->click();
  QVERIFY(user->isEnabled());
  user->setText("sa");

  struct Step {
    const char* what;
    std::function<void()> act;
    QStringList messages;
  };
  const Step steps[] = {
      {"OK without operation", [&] { d.accept(); }, {kSelectOperation}},
      {"OK with UPDATE, server untested",
       [&] {
         Find<QCheckBox>(&d, "updateCheck")->setChecked(true);
         d.accept();
       },
       {kTestConnectionFirst}},
      {"Test without password", [&] { d.TestConnection(); }, {kEnterPassword}},
      {"Test without user",
       [&] {
         user->clear();
         d.TestConnection();
         user->setText("sa");
       },
       {kEnterUserName}},
      {"script radio, empty folder",
       [&] {
         Find<QRadioButton>(&d, "scriptRadio")->click();
         d.accept();
       },
       {kBrowseScriptFolder}},
      {"To before From",
       [&] {
         Find<QDateEdit>(&d, "fromDate")->setDate(QDate(2024, 5, 2));
         Find<QDateEdit>(&d, "toDate")->setDate(QDate(2024, 5, 1));
         d.AddRange();
       },
       {kEndBeforeStart}},
      {"a range twice, From = To",
       [&] {
         Find<QDateEdit>(&d, "toDate")->setDate(QDate(2024, 5, 2));
         d.AddRange();
         d.AddRange();
       },
       {}},
      {"Remove without selection", [&] { d.RemoveRange(); }, {}},
  };
  for (const Step& s : steps) {
    platform.Reset();
    s.act();
    QVERIFY2(platform.texts() == s.messages, s.what);
    QVERIFY2(d.isVisible(), s.what);
  }
  // The flags of the failed OKs are stored; the script radio disables the
  // user name without clearing it.
  QVERIFY(state.save_options.update && !state.save_options.insert);
  QVERIFY(!user->isEnabled());
  QCOMPARE(user->text(), QString("sa"));
  auto* ranges = Find<QTableWidget>(&d, "rangeList");
  QCOMPARE(ranges->rowCount(), 1);
  QCOMPARE(ranges->item(0, 0)->text(), QString("Thursday, May 02, 2024"));
  QCOMPARE(state.save_options.date_ranges.size(), size_t{1});
  ranges->selectRow(0);
  d.RemoveRange();
  QCOMPARE(ranges->rowCount(), 0);
  QVERIFY(state.save_options.date_ranges.empty());

  // Browse fills the folder; OK stores it with the trailing "\".
  platform.folders = {"/tmp/out"};
  d.BrowseFolder();
  QCOMPARE(folder->text(), QString("/tmp/out"));
  QCOMPARE(platform.folder_requests.back().section('|', 0, 0), QString("Select Folder"));
  d.accept();
  QCOMPARE(d.result(), int(QDialog::Accepted));
  QCOMPARE(state.save_options.script_folder, std::string("/tmp/out\\"));
  QVERIFY(state.save_options.script_destination);
  QVERIFY(!state.save_options.insert && !state.save_options.del && state.save_options.update);
}

void SaveTest::ConnectionTestAndServerFolder() {
  tarnwick::app::testing::PlatformStandIn platform;
  AppState state;
  SaveOptionsDialog d(state);
  d.SetConnectionFactory([] { return std::make_unique<AcceptingConnection>(); });
  d.SetServerEnumerator([] { return std::vector<std::string>{"alpha", "beta\\SQLEXPRESS"}; });
  d.show();
  d.ScanInstances();
  auto* server = Find<QComboBox>(&d, "serverCombo");
  QCOMPARE(server->count(), 2);
  QCOMPARE(server->itemText(1), QString("beta\\SQLEXPRESS"));

  // Missing database name: the error message, no test log.
  d.TestConnection();
  QVERIFY(WaitTest(d));
  QCoreApplication::processEvents();
  QCOMPARE(platform.messages.front().icon, BoxIcon::kError);
  QVERIFY(!d.connectionTested());

  platform.Reset();
  Find<QLineEdit>(&d, "databaseEdit")->setText("Recovered");
  d.TestConnection();
  QVERIFY(WaitTest(d));
  QCoreApplication::processEvents();
  QCOMPARE(platform.texts(), QStringList({"Connection Established with SQLNCLI Provider.",
                                          "Test database connection process completed."}));
  QVERIFY(d.connectionTested());
  auto* log = Find<QTableWidget>(&d, "testLog");
  QVERIFY(log->rowCount() > 3);
  QCOMPARE(log->item(log->rowCount() - 1, 0)->text(), QString("Connection Closed."));

  // The server destination: the scripts go to a folder the user confirms,
  // never the root; cancelling keeps the dialog open.
  Find<QCheckBox>(&d, "insertCheck")->setChecked(true);
  platform.Reset();
  platform.folders = {"", "/", "/tmp/server-scripts"};
  d.accept();
  QVERIFY(d.isVisible());
  d.accept();
  QCOMPARE(platform.texts(), QStringList({kBrowseScriptFolder}));
  QVERIFY(d.isVisible());
  d.accept();
  QCOMPARE(d.result(), int(QDialog::Accepted));
  QVERIFY(!state.save_options.script_destination);
  QCOMPARE(state.save_options.script_folder, std::string("/tmp/server-scripts\\"));
  QCOMPARE(state.last_script_folder, std::string("/tmp/server-scripts"));
}

void SaveTest::SaveWritesTheScriptSet() {
  tarnwick::app::testing::PlatformStandIn platform;
  tarnwick::testing::TempDir files;
  const auto pair = tarnwick::app::testing::WriteInsertsPair(files, 25);
  AppState state;
  state.run.collations = LoadCollationTable();
  state.run.log_file_path = pair.ldf;
  state.run.data_file_path = pair.mdf;
  state.activity_log.Open(files.path());
  MainWindow w(state);
  w.show();
  w.StartScan();
  QVERIFY(QTest::qWaitFor([&] { return !w.scanRunning(); }, 60000));
  QCoreApplication::processEvents();

  // Nothing checked: the message, no dialog.
  int dialogs = 0;
  w.SetSaveDialogRunner([&](SaveOptionsDialog&) { return ++dialogs, false; });
  QTest::mouseClick(Find<QPushButton>(&w, "saveButton"), Qt::LeftButton);
  QCOMPARE(platform.texts(), QStringList({kSelectTreeItem}));
  QCOMPARE(dialogs, 0);

  QTreeWidgetItem* parts = w.tree()->topLevelItem(0)->child(0)->child(0);
  parts->setCheckState(0, Qt::Checked);
  const std::string out = files.File("out");
  std::filesystem::create_directory(out);
  w.SetSaveDialogRunner([&](SaveOptionsDialog& d) {
    ++dialogs;
    Find<QCheckBox>(&d, "insertCheck")->setChecked(true);
    Find<QRadioButton>(&d, "scriptRadio")->click();
    Find<QLineEdit>(&d, "folderEdit")->setText(QString::fromStdString(out));
    d.accept();
    return d.result() == QDialog::Accepted;
  });
  platform.Reset();
  QTest::mouseClick(Find<QPushButton>(&w, "saveButton"), Qt::LeftButton);
  QCOMPARE(dialogs, 1);
  QVERIFY(w.saveRunning());
  QVERIFY(!Find<QPushButton>(&w, "saveButton")->isEnabled());
  QVERIFY(QTest::qWaitFor([&] { return !w.saveRunning(); }, 60000));
  QCoreApplication::processEvents();

  QCOMPARE(platform.texts(), QStringList({kSaveCompleted}));
  SaveProgressWindow* progress = w.saveProgressWindow();
  QVERIFY(progress);
  QVERIFY(progress->ended());
  QVERIFY(Find<QPushButton>(progress, "saveCloseButton")->isEnabled());
  QVERIFY(Find<QPushButton>(progress, "saveStopButton")->isHidden());
  auto* lines = Find<QListWidget>(progress, "saveLog");
  QVERIFY(lines->count() >= 3);
  const std::string folder = out + "/parts";
  QCOMPARE(lines->item(0)->text(), QString("Creating Directory \" %1 \"").arg(
                                       QString::fromStdString(folder)));
  QCOMPARE(lines->item(lines->count() - 1)->text(),
           QString("Total Number of record Processed =  25 ."));
  for (const char* f : {"/mainsqlscript.bat", "/parts.sql", "/Tables/Parts/Parts.sql",
                        "/Tables/Parts/maintablescript.sql"})
    QVERIFY2(std::filesystem::exists(folder + f), f);
  QCOMPARE(QString::fromStdString(w.lastSaveResult().batch_path),
           QString::fromStdString(folder + "/mainsqlscript.bat"));
  QVERIFY(Find<QPushButton>(&w, "saveButton")->isEnabled());
  // The status box ends with the path of the scripts.
  QVERIFY(Find<QPlainTextEdit>(&w, "statusBox")->toPlainText().startsWith(
      "Writing script has completed"));
}

QTEST_MAIN(SaveTest)
#include "save_test.moc"
