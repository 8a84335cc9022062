// The save progress window: the save's log list, its progress bar, Stop,
// Close (usable once the save has ended) and Help.
#pragma once

#include <QDialog>
#include <cstdint>

class QListWidget;
class QProgressBar;
class QPushButton;

namespace tarnwick::app {

struct AppState;

class SaveProgressWindow : public QDialog {
  Q_OBJECT
 public:
  SaveProgressWindow(AppState& state, QWidget* parent = nullptr);

  void AddLine(const QString& line);
  void SetProgressRange(uint64_t maximum);
  void SetProgressPos(uint64_t position);
  // Close enabled; progress bar and Stop hidden.
  void SaveEnded();
  bool ended() const { return ended_; }

 public Q_SLOTS:
  void Stop();
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  AppState& state_;
  QListWidget* list_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QPushButton* stop_ = nullptr;
  QPushButton* close_ = nullptr;
  int shift_ = 0;
  bool ended_ = false;
};

}  // namespace tarnwick::app
