// The main window over whole scans: the tree, the operations list with its
// paging, a clicked operation's statement and values, and the commands
// with their confirmations.
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>
#include <memory>

#include "app/app_state.h"
#include "app/file_selection_dialog.h"
#include "app/main_window.h"
#include "app/operations_model.h"
#include "logreader/row_operations.h"
#include "reader/collation_table.h"
#include "tests/app/gui_pairs.h"
#include "tests/app/gui_support.h"
#include "tests/support/corpus.h"
#include "tests/support/data_file_builder.h"
#include "tests/support/json.h"

using namespace tarnwick;
using namespace tarnwick::app;
using tarnwick::app::testing::Find;

namespace {

constexpr int kScanTimeoutMs = 120000;

struct Scanned {
  tarnwick::testing::TempDir dir;
  AppState state;
  std::unique_ptr<MainWindow> window;
};

std::unique_ptr<Scanned> Scan(const std::string& ldf, const std::string& mdf) {
  auto s = std::make_unique<Scanned>();
  s->state.run.collations = LoadCollationTable();
  s->state.run.log_file_path = ldf;
  s->state.run.data_file_path = mdf;
  s->state.activity_log.Open(s->dir.path());
  s->window = std::make_unique<MainWindow>(s->state);
  s->window->show();
  s->window->StartScan();
  return s;
}

bool WaitScan(MainWindow& w) {
  return QTest::qWaitFor([&] { return !w.scanRunning(); }, kScanTimeoutMs);
}

QStringList TreeTexts(QTreeWidget* tree) {
  QStringList texts;
  std::function<void(QTreeWidgetItem*)> walk = [&](QTreeWidgetItem* item) {
    texts << item->text(0);
    for (int i = 0; i < item->childCount(); ++i) walk(item->child(i));
  };
  for (int i = 0; i < tree->topLevelItemCount(); ++i) walk(tree->topLevelItem(i));
  return texts;
}

QTreeWidgetItem* AllItem(QTreeWidget* tree) { return tree->topLevelItem(0)->child(0); }

QTreeWidgetItem* TableItem(QTreeWidget* tree, const QString& name) {
  QTreeWidgetItem* all = AllItem(tree);
  for (int i = 0; i < all->childCount(); ++i)
    if (all->child(i)->text(0).startsWith(name + "[")) return all->child(i);
  return nullptr;
}

bool List(MainWindow& w, QTreeWidgetItem* item) {
  w.ListOperations(item);
  return QTest::qWaitFor([&] { return !w.listingRunning(); }, 30000);
}

bool shown_differs(QTableWidget* values) {
  for (int c = 0; c < values->columnCount(); ++c)
    if (values->item(0, c)->text() != values->item(1, c)->text()) return true;
  return false;
}

QString StatusText(MainWindow& w) { return Find<QPlainTextEdit>(&w, "statusBox")->toPlainText(); }

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT
 private Q_SLOTS:
  void SampleScanTreeListingAndClicks();
  void CorpusPairScan();
  void PagingWithThousandAndOneOperations();
  void StopCloseEscConfirmations();
  void BackReturnsToTheFileSelection();
  void MissingLogFile();
};

void MainWindowTest::SampleScanTreeListingAndClicks() {
  tarnwick::app::testing::PlatformStandIn platform;
  tarnwick::testing::TempDir files;
  sample::SampleReport report;
  const auto pair = tarnwick::app::testing::WriteSamplePair(files, &report);
  auto s = Scan(pair.ldf, pair.mdf);
  MainWindow& w = *s->window;
  // During the scan Back, Save and Close wait.
  QVERIFY(!Find<QPushButton>(&w, "backButton")->isEnabled());
  QVERIFY(!Find<QPushButton>(&w, "closeButton")->isEnabled());
  QVERIFY(WaitScan(w));
  QCoreApplication::processEvents();

  QCOMPARE(platform.texts(), QStringList());
  QCOMPARE(StatusText(w), QString(kScanCompleted));
  for (const char* name : {"backButton", "saveButton", "closeButton"})
    QVERIFY2(Find<QPushButton>(&w, name)->isEnabled(), name);
  QVERIFY(Find<QPushButton>(&w, "stopButton")->isHidden());
  QVERIFY(Find<QProgressBar>(&w, "progressBar")->isHidden());
  QVERIFY(!Find<QLineEdit>(&w, "versionEdit")->text().isEmpty());
  QVERIFY(!Find<QLineEdit>(&w, "collationEdit")->text().isEmpty());

  // Root = the data-file path, All[n], one item per table, alphabetical.
  QTreeWidget* tree = w.tree();
  QCOMPARE(tree->topLevelItemCount(), 1);
  QCOMPARE(tree->topLevelItem(0)->text(0), QString::fromStdString(pair.mdf));
  QCOMPARE(AllItem(tree)->text(0), QString("All[%1]").arg(report.operations));
  std::vector<sample::SampleTable> tables = report.tables;
  std::sort(tables.begin(), tables.end(),
            [](const auto& a, const auto& b) { return QString::fromStdString(a.name).compare(
                                                  QString::fromStdString(b.name),
                                                  Qt::CaseInsensitive) < 0; });
  QCOMPARE(AllItem(tree)->childCount(), static_cast<int>(tables.size()));
  for (size_t i = 0; i < tables.size(); ++i)
    QCOMPARE(AllItem(tree)->child(static_cast<int>(i))->text(0),
             QString("%1[%2]").arg(QString::fromStdString(tables[i].name))
                 .arg(tables[i].operations()));

  // Tri-state check boxes: a table makes its parents partly checked; All
  // checks every table.
  QTreeWidgetItem* orders = TableItem(tree, "Orders");
  QVERIFY(orders);
  orders->setCheckState(0, Qt::Checked);
  QCOMPARE(AllItem(tree)->checkState(0), Qt::PartiallyChecked);
  QCOMPARE(tree->topLevelItem(0)->checkState(0), Qt::PartiallyChecked);
  AllItem(tree)->setCheckState(0, Qt::Checked);
  for (int i = 0; i < AllItem(tree)->childCount(); ++i)
    QCOMPARE(AllItem(tree)->child(i)->checkState(0), Qt::Checked);
  AllItem(tree)->setCheckState(0, Qt::Unchecked);

  // The activity log has the scanned path.
  s->state.activity_log.Close();
  const ByteBuffer log = tarnwick::testing::ReadFileBytes(s->dir.File("log.txt"));
  const QString log_text = QString::fromUtf16(reinterpret_cast<const char16_t*>(log.data() + 2),
                                              static_cast<qsizetype>((log.size() - 2) / 2));
  QVERIFY(log_text.contains("Browse File Path:\t" + QString::fromStdString(pair.mdf) + "\r\n"));

  // Double-click the root: nothing listed.
  QVERIFY(List(w, tree->topLevelItem(0)));
  auto* list = Find<QTableView>(&w, "operationsList");
  QCOMPARE(list->model()->rowCount(), 0);

  // A table's listing: its operations with icons, the range text.
  QVERIFY(List(w, orders));
  const auto* model = static_cast<const OperationsModel*>(list->model());
  const auto orders_table = std::find_if(tables.begin(), tables.end(),
                                         [](const auto& t) { return t.name == "Orders"; });
  QCOMPARE(static_cast<uint64_t>(model->rowCount()), orders_table->operations());
  QCOMPARE(StatusText(w), QString("0 rows to %1").arg(orders_table->operations()));
  QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QString("Transaction"));
  QCOMPARE(model->headerData(4, Qt::Horizontal).toString(), QString("Transaction Name"));
  const OperationList& ops = w.transactionLog().operations();
  int insert_row = -1, update_row = -1;
  for (int r = 0; r < model->rowCount(); ++r) {
    const size_t index = model->data(model->index(r, 0), OperationsModel::kIndexRole).toULongLong();
    QCOMPARE(ops[index].objectId, orders_table->object_id);
    QCOMPARE(model->data(model->index(r, 1)).toString(), QString("dbo"));
    QCOMPARE(model->data(model->index(r, 3)).toString(), QString("Orders"));
    QVERIFY(!model->data(model->index(r, 0), Qt::DecorationRole).isNull());
    const QString kind = model->data(model->index(r, 0)).toString();
    if (kind == "Insert" && insert_row < 0) insert_row = r;
    if (kind == "Update" && ops[index].operation == 4 && update_row < 0) update_row = r;
  }
  QVERIFY(insert_row >= 0);
  QVERIFY(update_row >= 0);

  // The All listing has no icons.
  QVERIFY(List(w, AllItem(tree)));
  QCOMPARE(static_cast<uint64_t>(model->rowCount()), std::min<uint64_t>(report.operations, 1000));
  QVERIFY(model->data(model->index(0, 0), Qt::DecorationRole).isNull());

  // Clicking an insert: the statement and one row of values.
  QVERIFY(List(w, orders));
  auto* values = Find<QTableWidget>(&w, "valuesList");
  w.ShowOperation(insert_row);
  QVERIFY2(StatusText(w).startsWith("insert into [", Qt::CaseInsensitive), qPrintable(StatusText(w)));
  QCOMPARE(values->rowCount(), 1);
  QCOMPARE(values->horizontalHeaderItem(0)->text(), QString("OrderId"));

  // Clicking an update: two rows, image 1 (the row the log rebuilds) on top.
  w.ShowOperation(update_row);
  QVERIFY2(StatusText(w).startsWith("update ", Qt::CaseInsensitive), qPrintable(StatusText(w)));
  QCOMPARE(values->rowCount(), 2);
  const size_t update_index =
      model->data(model->index(update_row, 0), OperationsModel::kIndexRole).toULongLong();
  // The same decode by the core tells the images apart: the values list
  // shows image 1 above image 0.
  const DecodedOperation decoded =
      DecodeOperationRows(ops[update_index], w.transactionLog(), *w.metadata());
  QCOMPARE(decoded.rows.rows.size(), size_t{2});
  for (int r = 0; r < 2; ++r) {
    QStringList shown, image;
    for (int c = 0; c < values->columnCount(); ++c) shown << values->item(r, c)->text();
    for (const ColumnDescriptor& col : decoded.rows.rows[static_cast<size_t>(1 - r)])
      if (!col.computed()) image << QString::fromStdString(col.value);
    QCOMPARE(shown, image);
  }
  QVERIFY(shown_differs(values));
}

void MainWindowTest::CorpusPairScan() {
  const std::vector<tarnwick::testing::CorpusPair> pairs = tarnwick::testing::CorpusPairs();
  auto pair = std::find_if(pairs.begin(), pairs.end(),
                           [](const auto& p) { return p.name == "musicstore"; });
  if (pair == pairs.end()) QSKIP("corpus not found (set TARNWICK_CORPUS or add ../shared/corpus)");
  const std::optional<tarnwick::testing::Json> expected =
      tarnwick::testing::ReadJsonFile(pair->expected);
  QVERIFY(expected);
  tarnwick::app::testing::PlatformStandIn platform;
  auto s = Scan(pair->ldf, pair->mdf);
  MainWindow& w = *s->window;
  QVERIFY(WaitScan(w));
  QCoreApplication::processEvents();
  QCOMPARE(platform.texts(), QStringList());
  QCOMPARE(Find<QLineEdit>(&w, "versionEdit")->text(),
           QString::fromStdString((*expected)["versionName"].text));
  QCOMPARE(Find<QLineEdit>(&w, "collationEdit")->text(),
           QString::fromStdString((*expected)["collationName"].text));
  QStringList want{QString::fromStdString(pair->mdf)};
  for (const auto& item : (*expected)["scan"]["treeItemsBelowRoot"].items)
    want << QString::fromStdString(item.text);
  QCOMPARE(TreeTexts(w.tree()), want);

  // The first table's listing and a click on its first insert.
  QTreeWidgetItem* albums = TableItem(w.tree(), "Albums");
  QVERIFY(albums);
  QVERIFY(List(w, albums));
  QCOMPARE(Find<QTableView>(&w, "operationsList")->model()->rowCount(), 246);
  w.ShowOperation(0);
  QVERIFY2(StatusText(w).startsWith("insert into [", Qt::CaseInsensitive), qPrintable(StatusText(w)));
  QCOMPARE(Find<QTableWidget>(&w, "valuesList")->rowCount(), 1);
}

void MainWindowTest::PagingWithThousandAndOneOperations() {
  tarnwick::app::testing::PlatformStandIn platform;
  tarnwick::testing::TempDir files;
  const auto pair = tarnwick::app::testing::WriteInsertsPair(files, 1001);
  auto s = Scan(pair.ldf, pair.mdf);
  MainWindow& w = *s->window;
  QVERIFY(WaitScan(w));
  QCoreApplication::processEvents();
  QCOMPARE(platform.texts(), QStringList());
  QCOMPARE(TreeTexts(w.tree()),
           QStringList({QString::fromStdString(pair.mdf), "All[1001]", "Parts[1001]"}));
  auto* model = Find<QTableView>(&w, "operationsList")->model();
  auto* next = Find<QPushButton>(&w, "nextButton");
  auto* previous = Find<QPushButton>(&w, "previousButton");

  for (QTreeWidgetItem* item : {AllItem(w.tree()), AllItem(w.tree())->child(0)}) {
    platform.Reset();
    QVERIFY(List(w, item));
    QCOMPARE(model->rowCount(), 1000);
    QCOMPARE(StatusText(w), QString("0 rows to 1000"));
    QVERIFY(next->isEnabled());
    QTest::mouseClick(next, Qt::LeftButton);
    QCOMPARE(model->rowCount(), 1);
    QCOMPARE(StatusText(w), QString("1000 rows to 1001"));
    QVERIFY(previous->isEnabled());
    QCOMPARE(model->data(model->index(0, 0), OperationsModel::kIndexRole).toULongLong(), 1000ull);
    // Next on the last page: "done.", no icon, the application name.
    QTest::mouseClick(next, Qt::LeftButton);
    QCOMPARE(platform.texts(), QStringList({"done."}));
    QCOMPARE(platform.messages[0].icon, BoxIcon::kNone);
    QCOMPARE(platform.messages[0].caption, QCoreApplication::applicationName());
    QVERIFY(!next->isEnabled());
    QTest::mouseClick(previous, Qt::LeftButton);
    QCOMPARE(model->rowCount(), 1000);
    QCOMPARE(StatusText(w), QString("0 rows to 1000"));
    QVERIFY(!previous->isEnabled());
    QVERIFY(next->isEnabled());
  }
}

void MainWindowTest::StopCloseEscConfirmations() {
  tarnwick::app::testing::PlatformStandIn platform;
  tarnwick::testing::TempDir files;
  const auto pair = tarnwick::app::testing::WriteInsertsPair(files, 3);
  auto s = Scan(pair.ldf, pair.mdf);
  MainWindow& w = *s->window;
  QVERIFY(WaitScan(w));
  QCoreApplication::processEvents();
  QSignalSpy quit(&w, &MainWindow::quitRequested);

  struct Case {
    const char* command;
    BoxAnswer answer;
    bool stop_set;
    int quits;
    QStringList web;
  };
  const Case cases[] = {
      {"stop", BoxAnswer::kNo, false, 0, {}},
      {"stop", BoxAnswer::kYes, true, 0, {}},
      {"close", BoxAnswer::kNo, false, 0, {}},
      {"esc", BoxAnswer::kNo, false, 0, {}},
      {"esc", BoxAnswer::kYes, false, 1, {}},
      {"close", BoxAnswer::kYes, false, 1, {kHomeAddress}},
  };
  for (const Case& c : cases) {
    platform.Reset();
    quit.clear();
    s->state.run.ClearStop();
    w.show();
    platform.answers = {c.answer};
    const QString command = c.command;
    if (command == "stop") {
      w.Stop();
      QCOMPARE(platform.texts(), QStringList({kStopConfirmation}));
    } else if (command == "close") {
      QTest::mouseClick(Find<QPushButton>(&w, "closeButton"), Qt::LeftButton);
      QCOMPARE(platform.texts(), QStringList({kCloseApplication}));
    } else {
      QTest::keyClick(&w, Qt::Key_Escape);
      QCOMPARE(platform.texts(), QStringList({kCloseApplication}));
    }
    QCOMPARE(platform.messages[0].buttons, BoxButtons::kYesNo);
    QCOMPARE(platform.messages[0].icon, BoxIcon::kQuestion);
    QCOMPARE(s->state.run.StopRequested(), c.stop_set);
    QCOMPARE(quit.count(), c.quits);
    QCOMPARE(platform.web, c.web);
    QCOMPARE(w.isVisible(), c.quits == 0);
  }
  // Close with Yes closed the activity log.
  QVERIFY(!s->state.activity_log.isOpen());
  s->state.run.ClearStop();
}

void MainWindowTest::BackReturnsToTheFileSelection() {
  tarnwick::app::testing::PlatformStandIn platform;
  tarnwick::testing::TempDir files;
  const auto pair = tarnwick::app::testing::WriteInsertsPair(files, 2);
  AppState state;
  state.activity_log_folder = files.path();
  state.run.log_file_path = pair.ldf;
  state.run.data_file_path = pair.mdf;
  FileSelectionDialog dialog(state);
  dialog.show();
  QTest::mouseClick(Find<QPushButton>(&dialog, "nextButton"), Qt::LeftButton);
  QVERIFY(dialog.isHidden());
  QPointer<MainWindow> w = dialog.mainWindow();
  QVERIFY(w);
  QVERIFY(WaitScan(*w));
  QCoreApplication::processEvents();
  QCOMPARE(TreeTexts(w->tree()).size(), 3);
  QTest::mouseClick(Find<QPushButton>(w.data(), "backButton"), Qt::LeftButton);
  QVERIFY(dialog.isVisible());
  QVERIFY(QTest::qWaitFor([&] { return w.isNull(); }, 5000));
  // The paths stay chosen: Next runs a fresh scan in a new window.
  QTest::mouseClick(Find<QPushButton>(&dialog, "nextButton"), Qt::LeftButton);
  QVERIFY(dialog.mainWindow());
  QVERIFY(WaitScan(*dialog.mainWindow()));
  QCoreApplication::processEvents();
  QCOMPARE(TreeTexts(dialog.mainWindow()->tree()).size(), 3);
  QCOMPARE(platform.texts(), QStringList());
}

void MainWindowTest::MissingLogFile() {
  tarnwick::app::testing::PlatformStandIn platform;
  tarnwick::testing::TempDir files;
  const auto pair = tarnwick::app::testing::WriteInsertsPair(files, 2);
  auto s = Scan(files.File("gone.ldf"), pair.mdf);
  QVERIFY(WaitScan(*s->window));
  QCoreApplication::processEvents();
  // The log message; no tree; the scan still completes.
  QCOMPARE(platform.texts(), QStringList({kLdfCannotBeOpen}));
  QCOMPARE(s->window->tree()->topLevelItemCount(), 0);
  QCOMPARE(StatusText(*s->window), QString(kScanCompleted));
  QVERIFY(Find<QPushButton>(s->window.get(), "saveButton")->isEnabled());
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
