#include "app/file_selection_dialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <exception>

#include "app/app_state.h"
#include "app/help_menu.h"
#include "app/images.h"
#include "app/main_window.h"
#include "app/platform/desktop.h"
#include "app/platform/file_access.h"
#include "app/platform/message_boxes.h"

namespace tarnwick::app {

FileSelectionDialog::FileSelectionDialog(AppState& state, QWidget* parent)
    : QDialog(parent), state_(state) {
  setObjectName("fileSelectionDialog");
  // Opening the dialog opens the activity log.
  state_.activity_log.Open(state_.activity_log_folder);

  setWindowTitle(kCaption);
  setWindowIcon(ProgramIcon());
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 10);
  auto* banner = new QLabel(this);
  banner->setObjectName("banner");
  banner->setPixmap(Banner(760, 68, "Recovery of SQL Server databases from .mdf and .ldf files"));
  banner->setScaledContents(true);
  banner->setFixedHeight(68);
  layout->addWidget(banner);
  layout->addStretch(2);

  auto* group = new QGroupBox("Select Database File(s)", this);
  auto* grid = new QGridLayout(group);
  grid->setContentsMargins(16, 22, 16, 22);
  grid->setVerticalSpacing(14);
  ldf_edit_ = new QLineEdit(group);
  ldf_edit_->setObjectName("ldfEdit");
  ldf_edit_->setReadOnly(true);
  ldf_edit_->setPlaceholderText("transaction log file (.ldf)");
  mdf_edit_ = new QLineEdit(group);
  mdf_edit_->setObjectName("mdfEdit");
  mdf_edit_->setReadOnly(true);
  mdf_edit_->setPlaceholderText("primary data file (.mdf)");
  auto* ldf_browse = new QPushButton("...", group);
  ldf_browse->setObjectName("ldfBrowseButton");
  auto* mdf_browse = new QPushButton("...", group);
  mdf_browse->setObjectName("mdfBrowseButton");
  for (QPushButton* b : {ldf_browse, mdf_browse}) {
    b->setAutoDefault(false);
    b->setFixedWidth(40);
  }
  grid->addWidget(new QLabel("LDF File:", group), 0, 0);
  grid->addWidget(ldf_edit_, 0, 1);
  grid->addWidget(ldf_browse, 0, 2);
  grid->addWidget(new QLabel("MDF File:", group), 1, 0);
  grid->addWidget(mdf_edit_, 1, 1);
  grid->addWidget(mdf_browse, 1, 2);
  grid->setColumnStretch(1, 1);
  auto* centre = new QHBoxLayout;
  centre->addSpacing(80);
  centre->addWidget(group, 1);
  centre->addSpacing(80);
  layout->addLayout(centre);
  layout->addStretch(3);

  auto* buttons = new QHBoxLayout;
  buttons->setContentsMargins(10, 0, 10, 0);
  buttons->addWidget(MakeHelpButton(this));
  buttons->addStretch(1);
  auto* next = new QPushButton("Next", this);
  next->setObjectName("nextButton");
  next->setToolTip("Click Next to continue the application");
  next->setIcon(style()->standardIcon(QStyle::SP_ArrowForward));
  next->setAutoDefault(false);
  auto* close = new QPushButton("Close", this);
  close->setObjectName("closeButton");
  close->setToolTip("Close the application");
  close->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
  close->setDefault(true);
  for (QPushButton* b : {next, close}) b->setMinimumWidth(90);
  buttons->addWidget(next);
  buttons->addWidget(close);
  layout->addLayout(buttons);

  connect(ldf_browse, &QPushButton::clicked, this, &FileSelectionDialog::BrowseLogFile);
  connect(mdf_browse, &QPushButton::clicked, this, &FileSelectionDialog::BrowseDataFile);
  connect(next, &QPushButton::clicked, this, &FileSelectionDialog::Next);
  connect(close, &QPushButton::clicked, this, &FileSelectionDialog::CloseApplication);
  resize(760, 470);
}

FileSelectionDialog::~FileSelectionDialog() { delete main_window_.data(); }

MainWindow* FileSelectionDialog::mainWindow() const { return main_window_.data(); }

void FileSelectionDialog::BrowseLogFile() { ChooseFile(true); }

void FileSelectionDialog::BrowseDataFile() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  ChooseFile(false);
  QApplication::restoreOverrideCursor();
}

void FileSelectionDialog::ChooseFile(bool log_file) {
  // The patterns have no dot: any file whose name ends in the letters is
  // offered.
  OpenFileRequest request;
  request.owner = this;
  request.filter = log_file ? ".ldf Files (*ldf)" : ".mdf Files (*mdf)";
  request.default_suffix = log_file ? "ldf" : "mdf";
  request.initial_name = log_file ? "*.ldf" : "*.mdf";
  const QString chosen = ChooseOpenFile(request);
  if (chosen.isEmpty()) return;
  const char* invalid = log_file ? kSelectValidLdf : kSelectValidMdf;
  const std::string path = chosen.toStdString();
  if (!PathExists(path)) {
    MessageBoxes::Show(this, invalid);
    return;
  }
  (log_file ? ldf_edit_ : mdf_edit_)->setText(chosen);
  if (!CanOpenExclusively(path)) {
    // The edit keeps the path; the run state keeps the earlier choice.
    MessageBoxes::Show(this, invalid);
    return;
  }
  (log_file ? state_.run.log_file_path : state_.run.data_file_path) = path;
}

void FileSelectionDialog::Next() {
  if (state_.run.log_file_path.empty()) {
    MessageBoxes::Show(this, kBrowseLdf);
    return;
  }
  if (state_.run.data_file_path.empty()) {
    MessageBoxes::Show(this, kBrowseMdf);
    return;
  }
  MainWindow* window = nullptr;
  try {
    window = new MainWindow(state_);
  } catch (const std::exception&) {
    window = nullptr;
  }
  if (!window) {
    MessageBoxes::Show(this, kMainWindowNotCreated);
    return;
  }
  main_window_ = window;
  connect(window, &MainWindow::backRequested, this, &FileSelectionDialog::MainWindowBack);
  connect(window, &MainWindow::quitRequested, this, [this] { done(QDialog::Accepted); });
  hide();
  window->show();
  window->StartScan();
}

void FileSelectionDialog::MainWindowBack() {
  if (main_window_) main_window_->deleteLater();
  main_window_ = nullptr;
  show();
}

void FileSelectionDialog::CloseApplication() {
  if (!MessageBoxes::Confirm(this, kCloseApplication)) return;
  OpenWebAddress(kHomeAddress);
  done(QDialog::Rejected);
  state_.activity_log.Close();
  TerminateProcess(-1);
}

void FileSelectionDialog::reject() {
  if (!MessageBoxes::Confirm(this, kCloseApplication, BoxIcon::kNone)) return;
  QDialog::reject();
}

}  // namespace tarnwick::app
