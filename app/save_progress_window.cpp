#include "app/save_progress_window.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

#include "app/app_state.h"
#include "app/help_menu.h"
#include "app/images.h"
#include "app/main_window.h"
#include "app/platform/message_boxes.h"

namespace tarnwick::app {

SaveProgressWindow::SaveProgressWindow(AppState& state, QWidget* parent)
    : QDialog(parent), state_(state) {
  setObjectName("saveProgressWindow");
  setWindowTitle(kCaption);
  setWindowIcon(ProgramIcon());
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 8);
  auto* banner = new QLabel(this);
  banner->setPixmap(Banner(640, 56, "Saving the recovered operations as T-SQL scripts"));
  banner->setScaledContents(true);
  banner->setFixedHeight(56);
  banner->setMinimumWidth(1);
  layout->addWidget(banner);
  auto* body = new QVBoxLayout;
  body->setContentsMargins(10, 4, 10, 0);
  layout->addLayout(body, 1);
  list_ = new QListWidget(this);
  list_->setObjectName("saveLog");
  list_->setAlternatingRowColors(true);
  body->addWidget(list_, 1);
  progress_ = new QProgressBar(this);
  progress_->setObjectName("saveProgressBar");
  progress_->setFixedHeight(16);
  body->addWidget(progress_);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(MakeHelpButton(this));
  buttons->addStretch(1);
  stop_ = new QPushButton(style()->standardIcon(QStyle::SP_BrowserStop), "Stop", this);
  stop_->setObjectName("saveStopButton");
  stop_->setToolTip("Stop the running process");
  close_ = new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton), "Close", this);
  close_->setObjectName("saveCloseButton");
  close_->setToolTip("Close");
  close_->setEnabled(false);
  for (QPushButton* b : {stop_, close_}) {
    b->setAutoDefault(false);
    b->setMinimumWidth(90);
    buttons->addWidget(b);
  }
  body->addLayout(buttons);
  connect(stop_, &QPushButton::clicked, this, &SaveProgressWindow::Stop);
  connect(close_, &QPushButton::clicked, this, [this] { done(QDialog::Accepted); });
  resize(640, 420);
}

void SaveProgressWindow::AddLine(const QString& line) {
  QString text = line;
  while (text.endsWith('\n') || text.endsWith('\r')) text.chop(1);
  list_->addItem(text);
  list_->scrollToBottom();
}

void SaveProgressWindow::SetProgressRange(uint64_t maximum) {
  shift_ = 0;
  while ((maximum >> shift_) > static_cast<uint64_t>(INT_MAX)) ++shift_;
  progress_->setRange(0, static_cast<int>(maximum >> shift_));
  progress_->setValue(0);
}

void SaveProgressWindow::SetProgressPos(uint64_t position) {
  progress_->setValue(
      static_cast<int>(std::min<uint64_t>(position >> shift_, progress_->maximum())));
}

void SaveProgressWindow::SaveEnded() {
  ended_ = true;
  close_->setEnabled(true);
  progress_->hide();
  stop_->hide();
}

void SaveProgressWindow::Stop() {
  if (MessageBoxes::Confirm(this, kStopConfirmation)) state_.run.stop.store(true);
}

void SaveProgressWindow::reject() {
  // Esc and the window manager close only once the save has ended.
  if (ended_) QDialog::reject();
}

void SaveProgressWindow::closeEvent(QCloseEvent* event) {
  if (!ended_) event->ignore();
  else QDialog::closeEvent(event);
}

}  // namespace tarnwick::app
