// The main window (CPellmoorDlg): the recovery workspace of one scan.
//
// It owns the results of the scan (reader slot, user-table map, transaction
// log, operations view) and starts three kinds of workers: the scan
// (RunScan), the listing of a tree item, and the save (RunSave). Workers
// never touch widgets: they report through front-end objects whose signals
// reach this window queued, in the order the workers send them.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QThread>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "export/script_export.h"
#include "logreader/operations_view.h"
#include "logreader/record_decoder.h"
#include "logreader/transaction_log.h"
#include "reader/scan_driver.h"

class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTableView;
class QTableWidget;
class QTreeWidget;
class QTreeWidgetItem;
class QToolButton;

namespace tarnwick::app {

struct AppState;
class OperationsModel;
class SaveOptionsDialog;
class SaveProgressWindow;

inline constexpr const char* kStopConfirmation = "Are you sure u want to stop the current process?";

// A listing's result, handed from the listing worker to the window.
struct ListingResult {
  uint64_t generation = 0;
  std::vector<OperationRow> rows;
  std::string status;
  bool next_enabled = true;
  bool previous_enabled = false;
};

class MainWindow : public QDialog {
  Q_OBJECT
 public:
  explicit MainWindow(AppState& state, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Starts the scan worker (the window's opening step 7).
  void StartScan();
  bool scanRunning() const { return scan_thread_ != nullptr; }
  bool listingRunning() const { return listing_thread_ != nullptr; }
  bool saveRunning() const { return save_thread_ != nullptr; }

  // How Save runs the save options dialog; by default exec(). Tests fill
  // the dialog and answer for the user.
  using SaveDialogRunner = std::function<bool(SaveOptionsDialog&)>;
  void SetSaveDialogRunner(SaveDialogRunner runner) { save_dialog_runner_ = std::move(runner); }
  SaveProgressWindow* saveProgressWindow() const;
  const SaveResult& lastSaveResult() const { return save_result_; }

  const TransactionLog& transactionLog() const { return log_; }
  CMetadata* metadata() const { return slot_.metadata.get(); }
  QTreeWidget* tree() const { return tree_; }

 Q_SIGNALS:
  void backRequested();
  void quitRequested();
  void scanFinished();
  void listingFinished();
  void saveFinished();

 public Q_SLOTS:
  void Stop();
  void Back();
  void CloseWindow();
  void reject() override;  // Esc
  void Save();
  void NextPage();
  void PreviousPage();
  // Double-click on a tree item: its operations on a listing worker.
  void ListOperations(QTreeWidgetItem* item);
  // Click on a row of the operations list.
  void ShowOperation(int row);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private Q_SLOTS:
  void OnStatusText(const QString& text);
  void OnProgressRange(qulonglong maximum);
  void OnProgressPos(qulonglong position);
  void OnOpenError(const QString& text);
  void OnResetRun();
  void OnVersion(const QString& name);
  void OnCollation(const QString& name);
  void OnMessage(const QString& text, int icon);
  void OnClearTree();
  void OnTree(const tarnwick::ScanTree& tree);
  void OnScanEnded();
  void OnListed(const tarnwick::app::ListingResult& result);
  void OnSaveEnded(int status);

 private:
  // Run reset: the widgets' part (the data is reset by the scan worker or
  // by Back when no worker runs).
  void ResetWidgets();
  void ResetData();
  void ApplyView();
  void ClearValuesList();
  void JoinWorkers();
  std::vector<SaveTreeItem> CheckedItems() const;

  AppState& state_;
  // The scan's results.
  ReaderSlot slot_;
  UserTableMap tables_;
  TransactionLog log_;
  std::unique_ptr<OperationsView> view_;
  std::mutex view_mutex_;
  uint64_t listing_generation_ = 0;

  class ScanFront;
  std::unique_ptr<ScanFront> scan_front_;
  QThread* scan_thread_ = nullptr;
  QThread* listing_thread_ = nullptr;
  QThread* save_thread_ = nullptr;
  class SaveFront;
  std::unique_ptr<SaveFront> save_front_;
  std::unique_ptr<SaveJob> save_job_;
  std::unique_ptr<LogSource> save_log_;
  SaveResult save_result_;
  QPointer<SaveProgressWindow> save_window_;
  SaveDialogRunner save_dialog_runner_;
  // The progress bar holds int values: large ranges are shifted down.
  int progress_shift_ = 0;

  QLineEdit* version_edit_ = nullptr;
  QLineEdit* collation_edit_ = nullptr;
  QPushButton* previous_button_ = nullptr;
  QPushButton* next_button_ = nullptr;
  QTreeWidget* tree_ = nullptr;
  QTableView* operations_list_ = nullptr;
  OperationsModel* operations_model_ = nullptr;
  QTableWidget* values_list_ = nullptr;
  QPlainTextEdit* status_box_ = nullptr;
  QProgressBar* progress_bar_ = nullptr;
  QToolButton* help_button_ = nullptr;
  QPushButton* stop_button_ = nullptr;
  QPushButton* back_button_ = nullptr;
  QPushButton* save_button_ = nullptr;
  QPushButton* close_button_ = nullptr;
};

}  // namespace tarnwick::app

Q_DECLARE_METATYPE(tarnwick::ScanTree)
Q_DECLARE_METATYPE(tarnwick::app::ListingResult)
