#include "app/main_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QTableView>
#include <QTableWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <climits>

#include "app/app_state.h"
#include "app/file_selection_dialog.h"
#include "app/help_menu.h"
#include "app/images.h"
#include "app/operations_model.h"
#include "app/platform/desktop.h"
#include "app/platform/message_boxes.h"
#include "app/save_options_dialog.h"
#include "app/save_progress_window.h"
#include "export/save_options.h"
#include "logreader/log_file.h"
#include "logreader/row_operations.h"
#include "logreader/statement.h"
#include "logreader/user_table_map.h"

namespace tarnwick::app {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// Posts a call to the window's thread; the calls arrive in the order they
// were posted.
template <typename F>
void Post(QObject* window, F&& f) {
  QMetaObject::invokeMethod(window, std::forward<F>(f), Qt::QueuedConnection);
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* text, const char* tip,
                        QStyle::StandardPixmap image) {
  auto* b = new QPushButton(text, parent);
  b->setObjectName(name);
  b->setToolTip(tip);
  b->setIcon(parent->style()->standardIcon(image));
  b->setAutoDefault(false);
  b->setMinimumWidth(90);
  return b;
}

}  // namespace

// The scan worker's front end: every call becomes a queued call on the
// window; the data of the run reset is emptied here, on the worker.
class MainWindow::ScanFront : public ScanFrontEnd {
 public:
  explicit ScanFront(MainWindow* w) : w_(w) {}
  void SetStatusText(const std::string& text) override {
    Post(w_, [w = w_, t = Q(text)] { w->OnStatusText(t); });
  }
  void SetProgressRange(uint64_t maximum) override {
    Post(w_, [w = w_, maximum] { w->OnProgressRange(maximum); });
  }
  void SetProgressPos(uint64_t position) override {
    Post(w_, [w = w_, position] { w->OnProgressPos(position); });
  }
  void ReportOpenError(const std::string& text) override {
    Post(w_, [w = w_, t = Q(text)] { w->OnOpenError(t); });
  }
  void ResetRun() override {
    w_->ResetData();
    Post(w_, [w = w_] { w->OnResetRun(); });
  }
  void LogActivity(const std::string& line) override { w_->state_.activity_log.Append(line); }
  void ShowVersion(const std::string& name) override {
    Post(w_, [w = w_, t = Q(name)] { w->OnVersion(t); });
  }
  void ShowCollation(const std::string& name) override {
    Post(w_, [w = w_, t = Q(name)] { w->OnCollation(t); });
  }
  void ShowMessage(const std::string& text, MessageIcon icon) override {
    const int i = icon == MessageIcon::kError ? 1 : 0;
    Post(w_, [w = w_, t = Q(text), i] { w->OnMessage(t, i); });
  }
  void ClearTree() override {
    Post(w_, [w = w_] { w->OnClearTree(); });
  }
  void ShowTree(const ScanTree& tree) override {
    Post(w_, [w = w_, tree] { w->OnTree(tree); });
  }
  void ScanEnded() override {
    Post(w_, [w = w_] { w->OnScanEnded(); });
  }

 private:
  MainWindow* w_;
};

// The save worker's sink: the progress window's list and bar, the status
// box, the activity log.
class MainWindow::SaveFront : public SaveSink {
 public:
  explicit SaveFront(MainWindow* w) : w_(w) {}
  void SetStatusText(const std::string& text) override {
    Post(w_, [w = w_, t = Q(text)] { w->OnStatusText(t); });
  }
  void SetProgressRange(uint64_t maximum) override {
    Post(w_, [w = w_, maximum] {
      if (w->save_window_) w->save_window_->SetProgressRange(maximum);
    });
  }
  void SetProgressPos(uint64_t position) override {
    Post(w_, [w = w_, position] {
      if (w->save_window_) w->save_window_->SetProgressPos(position);
    });
  }
  void AddListLine(const std::string& line) override {
    Post(w_, [w = w_, t = Q(line)] {
      if (w->save_window_) w->save_window_->AddLine(t);
    });
  }
  void LogActivity(const std::string& text) override { w_->state_.activity_log.Append(text); }
  void SaveEnded() override {
    Post(w_, [w = w_] {
      if (w->save_window_) w->save_window_->SaveEnded();
    });
  }
  void ShowMessage(const std::string& text) override {
    Post(w_, [w = w_, t = Q(text)] {
      QWidget* owner = w->save_window_ ? static_cast<QWidget*>(w->save_window_) : w;
      MessageBoxes::Show(owner, t);
    });
  }

 private:
  MainWindow* w_;
};

MainWindow::MainWindow(AppState& state, QWidget* parent) : QDialog(parent), state_(state) {
  qRegisterMetaType<tarnwick::ScanTree>();
  qRegisterMetaType<tarnwick::app::ListingResult>();
  setObjectName("mainWindow");
  setWindowTitle(kCaption);
  setWindowIcon(ProgramIcon());
  setWindowFlag(Qt::WindowMinimizeButtonHint, true);
  setWindowFlag(Qt::WindowMaximizeButtonHint, true);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 8);
  auto* banner = new QLabel(this);
  banner->setObjectName("banner");
  banner->setPixmap(Banner(1100, 60, "Recovered operations of the transaction log"));
  banner->setScaledContents(true);
  banner->setFixedHeight(60);
  banner->setMinimumWidth(1);
  layout->addWidget(banner);

  auto* body = new QVBoxLayout;
  body->setContentsMargins(8, 4, 8, 0);
  layout->addLayout(body, 1);

  // File details and paging.
  auto* top = new QHBoxLayout;
  auto* details = new QGroupBox("File details:", this);
  auto* grid = new QHBoxLayout(details);
  grid->setContentsMargins(10, 4, 10, 6);
  version_edit_ = new QLineEdit(details);
  version_edit_->setObjectName("versionEdit");
  collation_edit_ = new QLineEdit(details);
  collation_edit_->setObjectName("collationEdit");
  for (QLineEdit* e : {version_edit_, collation_edit_}) e->setReadOnly(true);
  version_edit_->setMinimumWidth(150);
  collation_edit_->setMinimumWidth(240);
  grid->addWidget(new QLabel("Sql File Version:", details));
  grid->addWidget(version_edit_, 2);
  grid->addSpacing(12);
  grid->addWidget(new QLabel("Sql File Collation:", details));
  grid->addWidget(collation_edit_, 3);
  top->addWidget(details, 1);
  top->addStretch(0);
  previous_button_ = new QPushButton("<<Previous", this);
  previous_button_->setObjectName("previousButton");
  next_button_ = new QPushButton("Next>>", this);
  next_button_->setObjectName("nextButton");
  for (QPushButton* b : {previous_button_, next_button_}) b->setAutoDefault(false);
  previous_button_->setToolTip("Previous page of operations");
  next_button_->setToolTip("Next page of operations");
  top->addWidget(previous_button_, 0, Qt::AlignBottom);
  top->addWidget(next_button_, 0, Qt::AlignBottom);
  body->addLayout(top);

  // Tree | operations list / values list / status box.
  auto* split = new QSplitter(Qt::Horizontal, this);
  tree_ = new QTreeWidget(split);
  tree_->setObjectName("tree");
  tree_->setHeaderHidden(true);
  tree_->setRootIsDecorated(true);
  tree_->setIconSize(QSize(16, 16));
  tree_->setMinimumWidth(200);
  auto* right = new QSplitter(Qt::Vertical, split);
  operations_model_ = new OperationsModel(this);
  operations_list_ = new QTableView(right);
  operations_list_->setObjectName("operationsList");
  operations_list_->setModel(operations_model_);
  operations_list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  operations_list_->setSelectionMode(QAbstractItemView::SingleSelection);
  operations_list_->setShowGrid(true);
  operations_list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  operations_list_->setIconSize(QSize(16, 16));
  operations_list_->verticalHeader()->setDefaultSectionSize(22);
  operations_list_->horizontalHeader()->setDefaultSectionSize(kOperationColumnWidth);
  operations_list_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  operations_list_->horizontalHeader()->setStretchLastSection(true);
  values_list_ = new QTableWidget(right);
  values_list_->setObjectName("valuesList");
  values_list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  values_list_->setShowGrid(true);
  values_list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  values_list_->horizontalHeader()->setDefaultSectionSize(kOperationColumnWidth);
  values_list_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  values_list_->verticalHeader()->setDefaultSectionSize(22);
  status_box_ = new QPlainTextEdit(right);
  status_box_->setObjectName("statusBox");
  status_box_->setReadOnly(true);
  status_box_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  right->addWidget(operations_list_);
  right->addWidget(values_list_);
  right->addWidget(status_box_);
  right->setStretchFactor(0, 14);
  right->setStretchFactor(1, 8);
  right->setStretchFactor(2, 4);
  right->setSizes({300, 170, 90});
  split->addWidget(tree_);
  split->addWidget(right);
  split->setStretchFactor(0, 0);
  split->setStretchFactor(1, 1);
  split->setSizes({270, 830});
  body->addWidget(split, 1);

  progress_bar_ = new QProgressBar(this);
  progress_bar_->setObjectName("progressBar");
  progress_bar_->setTextVisible(false);
  progress_bar_->setFixedHeight(14);
  body->addWidget(progress_bar_);

  auto* buttons = new QHBoxLayout;
  help_button_ = MakeHelpButton(this);
  buttons->addWidget(help_button_);
  buttons->addStretch(1);
  stop_button_ = MakeButton(this, "stopButton", "Stop", "Stop the running process",
                            QStyle::SP_BrowserStop);
  back_button_ = MakeButton(this, "backButton", "Back", "Back", QStyle::SP_ArrowBack);
  save_button_ = MakeButton(this, "saveButton", "Save", "Save", QStyle::SP_DialogSaveButton);
  close_button_ = MakeButton(this, "closeButton", "Close", "\u00C7lose the software",
                             QStyle::SP_DialogCloseButton);
  close_button_->setDefault(true);
  for (QPushButton* b : {stop_button_, back_button_, save_button_, close_button_})
    buttons->addWidget(b);
  body->addLayout(buttons);

  // Back, Save and Close wait for the end of the scan.
  back_button_->setEnabled(false);
  save_button_->setEnabled(false);
  close_button_->setEnabled(false);
  previous_button_->setEnabled(false);

  connect(stop_button_, &QPushButton::clicked, this, &MainWindow::Stop);
  connect(back_button_, &QPushButton::clicked, this, &MainWindow::Back);
  connect(save_button_, &QPushButton::clicked, this, &MainWindow::Save);
  connect(close_button_, &QPushButton::clicked, this, &MainWindow::CloseWindow);
  connect(next_button_, &QPushButton::clicked, this, &MainWindow::NextPage);
  connect(previous_button_, &QPushButton::clicked, this, &MainWindow::PreviousPage);
  connect(tree_, &QTreeWidget::itemDoubleClicked, this,
          [this](QTreeWidgetItem* item, int) { ListOperations(item); });
  connect(operations_list_, &QTableView::clicked, this,
          [this](const QModelIndex& index) { ShowOperation(index.row()); });

  scan_front_ = std::make_unique<ScanFront>(this);
  save_front_ = std::make_unique<SaveFront>(this);
  resize(1180, 700);
}

MainWindow::~MainWindow() {
  // A worker still running is asked to stop and waited for.
  state_.run.stop.store(true);
  JoinWorkers();
  state_.run.ClearStop();
  delete save_window_.data();
}

SaveProgressWindow* MainWindow::saveProgressWindow() const { return save_window_.data(); }

void MainWindow::JoinWorkers() {
  for (QThread** t : {&scan_thread_, &listing_thread_, &save_thread_}) {
    if (*t) {
      (*t)->wait();
      delete *t;
      *t = nullptr;
    }
  }
}

void MainWindow::StartScan() {
  if (scan_thread_) return;
  {
    std::lock_guard<std::mutex> lock(view_mutex_);
    view_.reset();
  }
  ++listing_generation_;
  previous_button_->setEnabled(false);
  stop_button_->show();
  progress_bar_->show();
  scan_thread_ = QThread::create([this] {
    const ScanStages stages = RecoveryScanStages(state_.run.log_file_path, tables_, log_);
    RunScan(state_.run, slot_, *scan_front_, stages);
  });
  connect(scan_thread_, &QThread::finished, this, [this] {
    if (!scan_thread_) return;
    scan_thread_->wait();
    delete scan_thread_;
    scan_thread_ = nullptr;
    {
      std::lock_guard<std::mutex> lock(view_mutex_);
      view_ = std::make_unique<OperationsView>(log_.operations());
    }
    Q_EMIT scanFinished();
  });
  scan_thread_->start();
}

void MainWindow::ResetData() {
  std::lock_guard<std::mutex> lock(view_mutex_);
  view_.reset();
  slot_.Reset();
  log_.Reset();
  tables_ = UserTableMap{};
}

void MainWindow::ClearValuesList() {
  values_list_->clear();
  values_list_->setRowCount(0);
  values_list_->setColumnCount(0);
}

void MainWindow::ResetWidgets() {
  ClearValuesList();
  operations_model_->Clear();
  status_box_->clear();
  tree_->clear();
}

// ------------------------------------------------------------ scan reports

void MainWindow::OnStatusText(const QString& text) { status_box_->setPlainText(text); }

void MainWindow::OnProgressRange(qulonglong maximum) {
  progress_shift_ = 0;
  while ((maximum >> progress_shift_) > static_cast<qulonglong>(INT_MAX)) ++progress_shift_;
  progress_bar_->setRange(0, static_cast<int>(maximum >> progress_shift_));
  progress_bar_->setValue(0);
}

void MainWindow::OnProgressPos(qulonglong position) {
  progress_bar_->setValue(static_cast<int>(
      std::min<qulonglong>(position >> progress_shift_, progress_bar_->maximum())));
}

void MainWindow::OnOpenError(const QString& text) {
  progress_bar_->setValue(0);
  status_box_->clear();
  MessageBoxes::Show(this, text, BoxIcon::kError);
}

void MainWindow::OnResetRun() { ResetWidgets(); }
void MainWindow::OnVersion(const QString& name) { version_edit_->setText(name); }
void MainWindow::OnCollation(const QString& name) { collation_edit_->setText(name); }

void MainWindow::OnMessage(const QString& text, int icon) {
  MessageBoxes::Show(this, text, icon == 1 ? BoxIcon::kError : BoxIcon::kInformation);
}

void MainWindow::OnClearTree() { tree_->clear(); }

void MainWindow::OnTree(const ScanTree& tree) {
  tree_->clear();
  const Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
  auto make = [&](QTreeWidgetItem* item, const TreeItem& data, int image, bool parent) {
    item->setText(0, Q(data.text));
    item->setIcon(0, TreeImage(image));
    item->setData(0, Qt::UserRole, data.object_id);
    item->setFlags(parent ? (flags | Qt::ItemIsAutoTristate) : flags);
    item->setCheckState(0, Qt::Unchecked);
  };
  auto* root = new QTreeWidgetItem(tree_);
  make(root, tree.root, 1, true);
  auto* all = new QTreeWidgetItem(root);
  make(all, tree.all, 0, true);
  for (const TreeItem& table : tree.tables) make(new QTreeWidgetItem(all), table, 0, false);
  tree_->expandAll();
}

void MainWindow::OnScanEnded() {
  back_button_->setEnabled(true);
  save_button_->setEnabled(true);
  close_button_->setEnabled(true);
  progress_bar_->hide();
  stop_button_->hide();
}

// ------------------------------------------------------------ commands

void MainWindow::Stop() {
  if (MessageBoxes::Confirm(this, kStopConfirmation)) state_.run.stop.store(true);
}

void MainWindow::Back() {
  if (scan_thread_ || save_thread_) return;
  JoinWorkers();
  ResetData();
  ResetWidgets();
  Q_EMIT backRequested();
}

void MainWindow::CloseWindow() {
  if (scan_thread_ || save_thread_) return;
  if (!MessageBoxes::Confirm(this, kCloseApplication)) return;
  state_.activity_log.Close();
  JoinWorkers();
  ResetData();
  OpenWebAddress(kHomeAddress);
  Q_EMIT quitRequested();
  QDialog::done(QDialog::Accepted);
}

void MainWindow::reject() {
  if (!MessageBoxes::Confirm(this, kCloseApplication)) return;
  Q_EMIT quitRequested();
  QDialog::done(QDialog::Rejected);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // The window manager's close is the Esc command.
  event->ignore();
  reject();
}

std::vector<SaveTreeItem> MainWindow::CheckedItems() const {
  std::vector<SaveTreeItem> items;
  std::function<void(QTreeWidgetItem*, bool)> walk = [&](QTreeWidgetItem* item, bool root) {
    if (item->checkState(0) == Qt::Checked)
      items.push_back({item->text(0).toStdString(), item->data(0, Qt::UserRole).toInt(), root});
    for (int i = 0; i < item->childCount(); ++i) walk(item->child(i), false);
  };
  for (int i = 0; i < tree_->topLevelItemCount(); ++i) walk(tree_->topLevelItem(i), true);
  return items;
}

void MainWindow::Save() {
  if (scan_thread_ || save_thread_ || listing_thread_) return;
  std::vector<SaveTreeItem> checked = CheckedItems();
  if (std::optional<std::string> message = CheckSaveCommand(checked.size())) {
    MessageBoxes::Show(this, Q(*message));
    return;
  }
  SaveOptionsDialog dialog(state_, this);
  const bool accepted =
      save_dialog_runner_ ? save_dialog_runner_(dialog) : dialog.exec() == QDialog::Accepted;
  if (!accepted) return;

  std::optional<LogFile> log = LogFile::Open(state_.run.log_file_path);
  if (!log) {
    MessageBoxes::Show(this, kLdfCannotBeOpen);
    return;
  }
  save_log_ = std::make_unique<LogFile>(std::move(*log));
  save_job_ = std::make_unique<SaveJob>();
  save_job_->state = &state_.run;
  save_job_->metadata = slot_.metadata.get();
  save_job_->log = save_log_.get();
  save_job_->operations = &log_.operations();
  save_job_->options = state_.save_options;
  save_job_->checked = std::move(checked);
  save_result_ = SaveResult{};

  delete save_window_.data();
  save_window_ = new SaveProgressWindow(state_, this);
  save_window_->setWindowModality(Qt::WindowModal);
  save_window_->show();
  save_button_->setEnabled(false);
  back_button_->setEnabled(false);
  close_button_->setEnabled(false);

  save_thread_ = QThread::create([this] {
    const int status = RunSave(*save_job_, *save_front_, &save_result_);
    Post(this, [this, status] { OnSaveEnded(status); });
  });
  save_thread_->start();
}

void MainWindow::OnSaveEnded(int status) {
  if (save_thread_) {
    save_thread_->wait();
    delete save_thread_;
    save_thread_ = nullptr;
  }
  save_log_.reset();
  save_job_.reset();
  save_button_->setEnabled(true);
  back_button_->setEnabled(true);
  close_button_->setEnabled(true);
  if (status == 0 && save_window_) save_window_->SaveEnded();
  Q_EMIT saveFinished();
}

// ------------------------------------------------------------ operations view

void MainWindow::ApplyView() {
  operations_model_->SetRows(view_->rows());
  status_box_->setPlainText(Q(view_->statusText()));
  next_button_->setEnabled(view_->nextEnabled());
  previous_button_->setEnabled(view_->previousEnabled());
}

void MainWindow::ListOperations(QTreeWidgetItem* item) {
  if (!item || scan_thread_ || listing_thread_) return;
  operations_model_->Clear();
  ClearValuesList();
  status_box_->clear();
  {
    std::lock_guard<std::mutex> lock(view_mutex_);
    if (!view_) return;
    if (!item->parent()) {
      view_->ListRoot();
      return;
    }
  }
  const int32_t selection = item->data(0, Qt::UserRole).toInt();
  const uint64_t generation = ++listing_generation_;
  tree_->setEnabled(false);
  listing_thread_ = QThread::create([this, selection, generation] {
    ListingResult result;
    result.generation = generation;
    {
      std::lock_guard<std::mutex> lock(view_mutex_);
      if (view_) {
        view_->List(selection);
        result.rows = view_->rows();
        result.status = view_->statusText();
        result.next_enabled = view_->nextEnabled();
        result.previous_enabled = view_->previousEnabled();
      }
    }
    Post(this, [this, result = std::move(result)] { OnListed(result); });
  });
  listing_thread_->start();
}

void MainWindow::OnListed(const ListingResult& result) {
  if (listing_thread_) {
    listing_thread_->wait();
    delete listing_thread_;
    listing_thread_ = nullptr;
  }
  if (result.generation == listing_generation_) {
    operations_model_->SetRows(result.rows);
    if (!result.status.empty()) status_box_->setPlainText(Q(result.status));
    next_button_->setEnabled(result.next_enabled);
    previous_button_->setEnabled(result.previous_enabled);
  }
  tree_->setEnabled(true);
  Q_EMIT listingFinished();
}

void MainWindow::NextPage() {
  if (listing_thread_ || scan_thread_) return;
  status_box_->clear();
  ClearValuesList();
  std::lock_guard<std::mutex> lock(view_mutex_);
  if (!view_) return;
  const OperationsView::NextResult r = view_->NextPage();
  if (r == OperationsView::NextResult::kNothing) return;
  if (r == OperationsView::NextResult::kDone) {
    MessageBoxes::Show(this, QString::fromUtf8(kDoneMessage.data(), kDoneMessage.size()),
                       BoxIcon::kNone, BoxButtons::kOk, QCoreApplication::applicationName());
    next_button_->setEnabled(false);
    return;
  }
  ApplyView();
}

void MainWindow::PreviousPage() {
  if (listing_thread_ || scan_thread_) return;
  status_box_->clear();
  ClearValuesList();
  std::lock_guard<std::mutex> lock(view_mutex_);
  if (!view_) return;
  if (!view_->PreviousPage()) {
    previous_button_->setEnabled(false);
    next_button_->setEnabled(true);
    return;
  }
  ApplyView();
}

void MainWindow::ShowOperation(int row) {
  if (save_thread_ || scan_thread_ || !slot_.metadata) return;
  if (row < 0 || static_cast<size_t>(row) >= operations_model_->rows().size()) return;
  const size_t index = operations_model_->rows()[static_cast<size_t>(row)].index;
  const LogOperation* op = nullptr;
  {
    std::lock_guard<std::mutex> lock(view_mutex_);
    if (view_) op = view_->ClickedOperation(static_cast<int64_t>(index));
  }
  if (!op) return;
  ClearValuesList();
  status_box_->clear();
  const OperationList& operations = log_.operations();
  const DecodedOperation decoded = DecodeOperationRows(*op, log_, *slot_.metadata);
  const ShownOperation shown = RenderOperation(op->operation, operations.TableName(*op),
                                               decoded.table.columns, decoded.rows.rows);
  values_list_->setColumnCount(static_cast<int>(shown.values.columns.size()));
  QStringList headers;
  for (const std::string& c : shown.values.columns) headers << Q(c);
  values_list_->setHorizontalHeaderLabels(headers);
  values_list_->setRowCount(static_cast<int>(shown.values.rows.size()));
  for (size_t r = 0; r < shown.values.rows.size(); ++r) {
    const std::vector<std::string>& cells = shown.values.rows[r];
    for (size_t c = 0; c < cells.size(); ++c)
      values_list_->setItem(static_cast<int>(r), static_cast<int>(c),
                            new QTableWidgetItem(Q(cells[c])));
  }
  status_box_->setPlainText(Q(shown.statement));
}

}  // namespace tarnwick::app
