#include "app/save_options_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/app_state.h"
#include "app/images.h"
#include "app/platform/desktop.h"
#include "app/platform/message_boxes.h"
#include "export/instance_enumeration.h"
#include "export/save_options.h"

namespace tarnwick::app {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

DateTimeValue ValueOf(const QDate& date, bool end_of_day) {
  return end_of_day ? DateTimeValue::Make(date.year(), date.month(), date.day(), 23, 59, 59)
                    : DateTimeValue::Make(date.year(), date.month(), date.day());
}

QTableWidget* MakeList(QWidget* parent, const char* name, const QStringList& headers,
                       const std::vector<int>& widths) {
  auto* list = new QTableWidget(0, static_cast<int>(headers.size()), parent);
  list->setObjectName(name);
  list->setHorizontalHeaderLabels(headers);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->setShowGrid(true);
  list->verticalHeader()->hide();
  list->verticalHeader()->setDefaultSectionSize(20);
  list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  for (size_t i = 0; i < widths.size(); ++i)
    list->setColumnWidth(static_cast<int>(i), widths[i]);
  list->horizontalHeader()->setStretchLastSection(true);
  return list;
}

}  // namespace

// The test worker's reports, queued to the dialog.
class SaveOptionsDialog::TestFront : public ConnectionTestSink {
 public:
  explicit TestFront(SaveOptionsDialog* d) : d_(d) {}
  void ClearTestLog() override {
    QMetaObject::invokeMethod(d_, [d = d_] { d->test_log_->setRowCount(0); }, Qt::QueuedConnection);
  }
  void AppendTestLog(const std::string& line) override {
    QMetaObject::invokeMethod(
        d_,
        [d = d_, t = Q(line)] {
          QString text = t;
          while (text.endsWith('\n') || text.endsWith('\r')) text.chop(1);
          const int row = d->test_log_->rowCount();
          d->test_log_->insertRow(row);
          d->test_log_->setItem(row, 0, new QTableWidgetItem(text));
          d->test_log_->scrollToBottom();
        },
        Qt::QueuedConnection);
  }
  void ShowMessage(const std::string& text, MessageIcon icon, MessageOwner owner) override {
    QMetaObject::invokeMethod(
        d_,
        [d = d_, t = Q(text), icon, owner] {
          MessageBoxes::Show(owner == MessageOwner::kDialog ? d : nullptr, t,
                             icon == MessageIcon::kError ? BoxIcon::kError : BoxIcon::kInformation);
        },
        Qt::QueuedConnection);
  }

 private:
  SaveOptionsDialog* d_;
};

SaveOptionsDialog::SaveOptionsDialog(AppState& state, QWidget* parent)
    : QDialog(parent), state_(state) {
  setObjectName("saveOptionsDialog");
  setWindowTitle(kCaption);
  setWindowIcon(ProgramIcon());
  test_front_ = std::make_unique<TestFront>(this);
  enumerate_ = [] {
    CSQLInfoEnumerator enumerator;
    enumerator.EnumerateServers();
    return enumerator.servers();
  };

  auto* layout = new QVBoxLayout(this);

  // Operations and date ranges side by side.
  auto* upper = new QHBoxLayout;
  auto* operations = new QGroupBox("Operations to be saved:", this);
  auto* ops = new QVBoxLayout(operations);
  insert_ = new QCheckBox("INSERT", operations);
  insert_->setObjectName("insertCheck");
  delete_ = new QCheckBox("DELETE", operations);
  delete_->setObjectName("deleteCheck");
  update_ = new QCheckBox("UPDATE", operations);
  update_->setObjectName("updateCheck");
  for (QCheckBox* c : {insert_, delete_, update_}) ops->addWidget(c);
  ops->addStretch(1);
  upper->addWidget(operations);

  auto* dates = new QGroupBox("Date Filter to save Operations:", this);
  auto* dgrid = new QGridLayout(dates);
  from_ = new QDateEdit(QDate::currentDate(), dates);
  from_->setObjectName("fromDate");
  to_ = new QDateEdit(QDate::currentDate(), dates);
  to_->setObjectName("toDate");
  for (QDateEdit* e : {from_, to_}) {
    e->setCalendarPopup(true);
    e->setDisplayFormat("dddd, MMMM dd, yyyy");
    e->setMinimumWidth(210);
  }
  add_ = new QPushButton("Add", dates);
  add_->setObjectName("addButton");
  add_->setToolTip("Add");
  remove_ = new QPushButton("Remove", dates);
  remove_->setObjectName("removeButton");
  remove_->setToolTip("Remove");
  ranges_ = MakeList(dates, "rangeList", {"From", "To"}, {200, 200});
  ranges_->setMinimumHeight(90);
  dgrid->addWidget(new QLabel("From:", dates), 0, 0);
  dgrid->addWidget(from_, 0, 1);
  dgrid->addWidget(add_, 0, 2);
  dgrid->addWidget(new QLabel("To:", dates), 1, 0);
  dgrid->addWidget(to_, 1, 1);
  dgrid->addWidget(remove_, 1, 2);
  dgrid->addWidget(ranges_, 2, 0, 1, 3);
  dgrid->setColumnStretch(1, 1);
  upper->addWidget(dates, 1);
  layout->addLayout(upper);

  // Server destination.
  auto* server_box = new QGroupBox(this);
  auto* sgrid = new QGridLayout(server_box);
  server_radio_ = new QRadioButton("Save in Sql Server Database:", server_box);
  server_radio_->setObjectName("serverRadio");
  windows_radio_ = new QRadioButton("Windows Authentication", server_box);
  windows_radio_->setObjectName("windowsRadio");
  sql_radio_ = new QRadioButton("Sql Server Authentication", server_box);
  sql_radio_->setObjectName("sqlRadio");
  auto* auth_group = new QButtonGroup(this);
  auth_group->addButton(windows_radio_);
  auth_group->addButton(sql_radio_);
  user_ = new QLineEdit(server_box);
  user_->setObjectName("userEdit");
  password_ = new QLineEdit(server_box);
  password_->setObjectName("passwordEdit");
  password_->setEchoMode(QLineEdit::Password);
  server_ = new QComboBox(server_box);
  server_->setObjectName("serverCombo");
  server_->setEditable(true);
  server_->setMinimumWidth(200);
  database_ = new QLineEdit(server_box);
  database_->setObjectName("databaseEdit");
  scan_ = new QPushButton("Scan Sever Instances", server_box);
  scan_->setObjectName("scanButton");
  test_ = new QPushButton(style()->standardIcon(QStyle::SP_DriveNetIcon),
                          "Test Database Connection", server_box);
  test_->setObjectName("testButton");
  test_->setToolTip("Test database connection");
  test_log_ = MakeList(server_box, "testLog", {"TEST LOG"}, {600});
  test_log_->setMinimumHeight(80);
  sgrid->addWidget(server_radio_, 0, 0, 1, 2);
  sgrid->addWidget(windows_radio_, 1, 0, 1, 2);
  sgrid->addWidget(sql_radio_, 1, 2, 1, 2);
  sgrid->addWidget(new QLabel("User Name:", server_box), 2, 0);
  sgrid->addWidget(user_, 2, 1);
  sgrid->addWidget(new QLabel("Password:", server_box), 2, 2);
  sgrid->addWidget(password_, 2, 3);
  sgrid->addWidget(new QLabel("Server Name:", server_box), 3, 0);
  sgrid->addWidget(server_, 3, 1);
  sgrid->addWidget(new QLabel("Database Name:", server_box), 3, 2);
  sgrid->addWidget(database_, 3, 3);
  auto* server_buttons = new QHBoxLayout;
  server_buttons->addWidget(scan_);
  server_buttons->addWidget(test_);
  server_buttons->addStretch(1);
  sgrid->addLayout(server_buttons, 4, 0, 1, 4);
  sgrid->addWidget(test_log_, 5, 0, 1, 4);
  sgrid->setColumnStretch(1, 1);
  sgrid->setColumnStretch(3, 1);
  layout->addWidget(server_box, 1);

  // Script destination.
  auto* script_box = new QGroupBox(this);
  auto* sc = new QGridLayout(script_box);
  script_radio_ = new QRadioButton("Save as Sql Script:", script_box);
  script_radio_->setObjectName("scriptRadio");
  auto* destination_group = new QButtonGroup(this);
  destination_group->addButton(server_radio_);
  destination_group->addButton(script_radio_);
  folder_ = new QLineEdit(script_box);
  folder_->setObjectName("folderEdit");
  browse_ = new QPushButton("...", script_box);
  browse_->setObjectName("browseButton");
  browse_->setFixedWidth(40);
  constraints_ = new QCheckBox("Save Table Constraints", script_box);
  constraints_->setObjectName("constraintsCheck");
  auto* note = new QLabel("* By checking this option,there are chances that less data ll be saved",
                          script_box);
  note->setObjectName("constraintsNote");
  note->setStyleSheet("color: #8a3b12;");
  sc->addWidget(script_radio_, 0, 0);
  sc->addWidget(folder_, 0, 1);
  sc->addWidget(browse_, 0, 2);
  sc->addWidget(constraints_, 1, 0);
  sc->addWidget(note, 1, 1, 1, 2);
  sc->setColumnStretch(1, 1);
  layout->addWidget(script_box);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  ok_ = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), "OK", this);
  ok_->setObjectName("okButton");
  ok_->setToolTip("OK");
  ok_->setDefault(true);
  cancel_ = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), "Cancel", this);
  cancel_->setObjectName("cancelButton");
  cancel_->setToolTip("Cancel");
  cancel_->setAutoDefault(false);
  for (QPushButton* b : {ok_, cancel_}) {
    b->setMinimumWidth(90);
    buttons->addWidget(b);
  }
  layout->addLayout(buttons);
  for (QPushButton* b : {add_, remove_, scan_, test_, browse_}) b->setAutoDefault(false);

  connect(server_radio_, &QRadioButton::clicked, this, &SaveOptionsDialog::ServerRadio);
  connect(script_radio_, &QRadioButton::clicked, this, &SaveOptionsDialog::ScriptRadio);
  connect(windows_radio_, &QRadioButton::clicked, this, &SaveOptionsDialog::WindowsRadio);
  connect(sql_radio_, &QRadioButton::clicked, this, &SaveOptionsDialog::SqlRadio);
  connect(scan_, &QPushButton::clicked, this, &SaveOptionsDialog::ScanInstances);
  connect(test_, &QPushButton::clicked, this, &SaveOptionsDialog::TestConnection);
  connect(browse_, &QPushButton::clicked, this, &SaveOptionsDialog::BrowseFolder);
  connect(add_, &QPushButton::clicked, this, &SaveOptionsDialog::AddRange);
  connect(remove_, &QPushButton::clicked, this, &SaveOptionsDialog::RemoveRange);
  connect(ok_, &QPushButton::clicked, this, &SaveOptionsDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &SaveOptionsDialog::reject);

  // Opening: the stored ranges, the server and Windows radios set.
  for (const DateRange& r : state_.save_options.date_ranges)
    AddRangeRow(Q(LongDateText(r.from)), Q(LongDateText(r.to)));
  if (!state_.last_script_folder.empty()) folder_->setText(Q(state_.last_script_folder));
  server_radio_->setChecked(true);
  windows_radio_->setChecked(true);
  ServerRadio();
  resize(780, 640);
}

SaveOptionsDialog::~SaveOptionsDialog() {
  if (test_thread_) {
    test_thread_->wait();
    delete test_thread_;
  }
}

void SaveOptionsDialog::ApplyDestination(bool server) {
  server_radio_->setChecked(server);
  script_radio_->setChecked(!server);
  windows_radio_->setEnabled(server);
  sql_radio_->setEnabled(server);
  const bool credentials = server && sql_radio_->isChecked();
  user_->setEnabled(credentials);
  password_->setEnabled(credentials);
  for (QWidget* w : std::initializer_list<QWidget*>{server_, database_, scan_, test_, test_log_})
    w->setEnabled(server);
  folder_->setEnabled(!server);
  browse_->setEnabled(!server);
}

void SaveOptionsDialog::ServerRadio() { ApplyDestination(true); }
void SaveOptionsDialog::ScriptRadio() { ApplyDestination(false); }

void SaveOptionsDialog::WindowsRadio() {
  windows_radio_->setChecked(true);
  user_->setEnabled(false);
  password_->setEnabled(false);
}

void SaveOptionsDialog::SqlRadio() {
  sql_radio_->setChecked(true);
  user_->setEnabled(true);
  password_->setEnabled(true);
}

void SaveOptionsDialog::ScanInstances() {
  server_->clear();
  setEnabled(false);
  const std::vector<std::string> servers = enumerate_ ? enumerate_() : std::vector<std::string>{};
  for (const std::string& s : servers) server_->addItem(Q(s));
  setEnabled(true);
}

bool SaveOptionsDialog::RefuseWhileTesting() {
  if (!testRunning()) return false;
  MessageBoxes::Show(this, kWaitForTest);
  return true;
}

void SaveOptionsDialog::TestConnection() {
  if (RefuseWhileTesting()) return;
  if (std::optional<std::string> message = CheckConnectionInput(
          sql_radio_->isChecked(), user_->text().toStdString(), password_->text().toStdString())) {
    MessageBoxes::Show(this, Q(*message));
    return;
  }
  ConnectionTestFields fields;
  fields.server_name = server_->currentText().toStdString();
  fields.database_name = database_->text().toStdString();
  fields.password = password_->text().toStdString();
  fields.user_name = user_->text().toStdString();
  test_state_.test_running.store(true);
  test_thread_ = QThread::create([this, fields] {
    RunConnectionTest(fields, *test_front_, test_state_, factory_);
    QMetaObject::invokeMethod(this, [this] { OnTestEnded(); }, Qt::QueuedConnection);
  });
  test_thread_->start();
}

void SaveOptionsDialog::OnTestEnded() {
  if (test_thread_) {
    test_thread_->wait();
    delete test_thread_;
    test_thread_ = nullptr;
  }
  Q_EMIT testFinished();
}

void SaveOptionsDialog::BrowseFolder() {
  if (RefuseWhileTesting()) return;
  const QString start = folder_->text().isEmpty() ? QDir::homePath() : folder_->text();
  const QString folder = ChooseFolder(this, "Select Folder", start);
  if (!folder.isEmpty()) folder_->setText(QDir::toNativeSeparators(folder));
}

void SaveOptionsDialog::AddRangeRow(const QString& from, const QString& to) {
  const int row = ranges_->rowCount();
  ranges_->insertRow(row);
  ranges_->setItem(row, 0, new QTableWidgetItem(from));
  ranges_->setItem(row, 1, new QTableWidgetItem(to));
}

void SaveOptionsDialog::AddRange() {
  if (RefuseWhileTesting()) return;
  // The pickers show dates: a range covers its From day from midnight and
  // its To day to the last second.
  const DateTimeValue from = ValueOf(from_->date(), false);
  const DateTimeValue to = ValueOf(to_->date(), true);
  switch (AddDateRange(state_.save_options.date_ranges, from, to)) {
    case AddRangeResult::kEndBeforeStart:
      MessageBoxes::Show(this, kEndBeforeStart);
      return;
    case AddRangeResult::kDuplicate:
      return;
    case AddRangeResult::kAdded:
      AddRangeRow(Q(LongDateText(from)), Q(LongDateText(to)));
      return;
  }
}

void SaveOptionsDialog::RemoveRange() {
  if (RefuseWhileTesting()) return;
  const QModelIndexList selected = ranges_->selectionModel()->selectedRows();
  const int row = selected.isEmpty() ? -1 : selected.first().row();
  if (RemoveDateRange(state_.save_options.date_ranges, row)) ranges_->removeRow(row);
}

void SaveOptionsDialog::accept() {
  if (RefuseWhileTesting()) return;
  SaveDialogInput input;
  input.insert = insert_->isChecked();
  input.del = delete_->isChecked();
  input.update = update_->isChecked();
  input.server_destination = server_radio_->isChecked();
  input.connection_tested = connectionTested();
  input.folder_text = folder_->text().trimmed().toStdString();
  input.save_constraints = constraints_->isChecked();
  // The checks run on a copy so that a refused server folder stores nothing
  // beyond what a failed check stores.
  SaveOptions stored = state_.save_options;
  if (std::optional<std::string> message = ConfirmSaveOptions(input, stored)) {
    state_.save_options.insert = stored.insert;
    state_.save_options.del = stored.del;
    state_.save_options.update = stored.update;
    MessageBoxes::Show(this, Q(*message));
    return;
  }
  std::string folder = input.folder_text;
  if (input.server_destination) {
    // Saving never writes into the server: the scripts go to a folder the
    // user confirms, never the root of a drive.
    const QString start =
        state_.last_script_folder.empty() ? QDir::homePath() : Q(state_.last_script_folder);
    const QString chosen = ChooseFolder(this, "Select Folder", start);
    if (chosen.isEmpty()) return;
    folder = QDir::cleanPath(chosen).toStdString();
    if (folder == "/" || QDir(Q(folder)).isRoot()) {
      MessageBoxes::Show(this, kBrowseScriptFolder);
      return;
    }
    stored.script_folder = folder + "\\";
  }
  state_.save_options = stored;
  state_.last_script_folder = folder;
  QDialog::accept();
}

void SaveOptionsDialog::reject() {
  if (RefuseWhileTesting()) return;
  QDialog::reject();
}

}  // namespace tarnwick::app
