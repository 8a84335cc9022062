// The save options dialog (SaveoptionDlg): operation kinds, date ranges,
// destination (a server, or a folder of scripts), connection settings with
// the instance scan and the connection test, and the constraints option.
// The checks and what OK stores are the core's (export/save_options.h);
// the test runs on a worker whose reports reach the dialog queued.
#pragma once

#include <QDialog>
#include <QThread>
#include <functional>
#include <string>
#include <vector>

#include "export/connection_test.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace tarnwick::app {

struct AppState;

class SaveOptionsDialog : public QDialog {
  Q_OBJECT
 public:
  using ServerEnumerator = std::function<std::vector<std::string>()>;

  SaveOptionsDialog(AppState& state, QWidget* parent = nullptr);
  ~SaveOptionsDialog() override;

  // Stand-ins for the network (tests): the instance list and the
  // connection of each test attempt.
  void SetServerEnumerator(ServerEnumerator enumerate) { enumerate_ = std::move(enumerate); }
  void SetConnectionFactory(SqlConnectionFactory factory) { factory_ = std::move(factory); }

  bool testRunning() const { return test_state_.test_running.load() || test_thread_; }
  bool connectionTested() const { return test_state_.connection_tested.load(); }

 Q_SIGNALS:
  void testFinished();

 public Q_SLOTS:
  void ServerRadio();
  void ScriptRadio();
  void WindowsRadio();
  void SqlRadio();
  void ScanInstances();
  void TestConnection();
  void BrowseFolder();
  void AddRange();
  void RemoveRange();
  void accept() override;  // OK
  void reject() override;  // Cancel, Esc

 private:
  class TestFront;
  // While a test runs: the wait message; true when the command must not go on.
  bool RefuseWhileTesting();
  void ApplyDestination(bool server);
  void AddRangeRow(const QString& from, const QString& to);
  void OnTestEnded();

  AppState& state_;
  ServerEnumerator enumerate_;
  SqlConnectionFactory factory_;
  ConnectionTestState test_state_;
  QThread* test_thread_ = nullptr;
  std::unique_ptr<TestFront> test_front_;

  QCheckBox* insert_ = nullptr;
  QCheckBox* delete_ = nullptr;
  QCheckBox* update_ = nullptr;
  QDateEdit* from_ = nullptr;
  QDateEdit* to_ = nullptr;
  QTableWidget* ranges_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* remove_ = nullptr;
  QRadioButton* server_radio_ = nullptr;
  QRadioButton* windows_radio_ = nullptr;
  QRadioButton* sql_radio_ = nullptr;
  QLineEdit* user_ = nullptr;
  QLineEdit* password_ = nullptr;
  QComboBox* server_ = nullptr;
  QLineEdit* database_ = nullptr;
  QPushButton* scan_ = nullptr;
  QPushButton* test_ = nullptr;
  QTableWidget* test_log_ = nullptr;
  QRadioButton* script_radio_ = nullptr;
  QLineEdit* folder_ = nullptr;
  QPushButton* browse_ = nullptr;
  QCheckBox* constraints_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

}  // namespace tarnwick::app
