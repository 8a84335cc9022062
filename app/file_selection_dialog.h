// The file selection dialog (Opendlg): the program's main window from
// start-up to exit. The user picks the transaction log and the primary data
// file; each is checked for exclusive read-write access before its path is
// stored in the run state. Next opens the main window and hides this dialog
// until the main window's Back.
#pragma once

#include <QDialog>
#include <QPointer>

class QLineEdit;
class QPushButton;

namespace tarnwick::app {

struct AppState;
class MainWindow;

inline constexpr const char* kCloseApplication = "Do you want to Close Application ?";
inline constexpr const char* kSelectValidLdf = "Please select valid ldf file.";
inline constexpr const char* kSelectValidMdf = "Please select valid mdf file.";
inline constexpr const char* kBrowseLdf = "Please browse ldf file to continue recovery process";
inline constexpr const char* kBrowseMdf = "Please browse mdf file to continue recovery process";
inline constexpr const char* kMainWindowNotCreated = "MDf Sql dialog cannot be created";

class FileSelectionDialog : public QDialog {
  Q_OBJECT
 public:
  explicit FileSelectionDialog(AppState& state, QWidget* parent = nullptr);
  ~FileSelectionDialog() override;

  // The main window opened by Next, while it exists.
  MainWindow* mainWindow() const;

 public Q_SLOTS:
  void BrowseLogFile();
  void BrowseDataFile();
  void Next();
  // Close (or Enter): confirmation; on Yes the home page, then the process
  // ends at once with exit code -1.
  void CloseApplication();
  // Esc: confirmation without icon; on Yes the dialog ends normally.
  void reject() override;

 private:
  void ChooseFile(bool log_file);
  void MainWindowBack();

  AppState& state_;
  QLineEdit* ldf_edit_ = nullptr;
  QLineEdit* mdf_edit_ = nullptr;
  QPointer<MainWindow> main_window_;
};

}  // namespace tarnwick::app
