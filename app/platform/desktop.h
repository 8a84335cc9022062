// The other platform services of the desktop program: web addresses opened
// in the default browser, the open-file and folder dialogs, ending the
// process at once, and the per-user settings key. Each has a hook so that
// tests can stand in for the platform.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace tarnwick::app {

// The product's pages (the Help menu, Close) and its mail address.
inline constexpr const char* kGuideAddress = "https://tarnwick.example.org/guide/";
inline constexpr const char* kHomeAddress = "https://tarnwick.example.org/";
inline constexpr const char* kMailAddress = "mailto:support@tarnwick.example.org";
// The per-user settings key; nothing is stored under it.
inline constexpr const char* kSettingsKey = "TarnwickV18.0";

void OpenWebAddress(const QString& address);
void SetWebAddressHook(std::function<void(const QString&)> hook);

struct OpenFileRequest {
  QWidget* owner = nullptr;
  QString filter;         // "name (pattern)"
  QString default_suffix;
  QString initial_name;   // "*.ldf"
};
// The chosen existing file, or empty when the user cancels.
QString ChooseOpenFile(const OpenFileRequest& request);
void SetOpenFileHook(std::function<QString(const OpenFileRequest&)> hook);

// The chosen folder, or empty when the user cancels.
QString ChooseFolder(QWidget* owner, const QString& title, const QString& start);
void SetFolderHook(std::function<QString(QWidget*, const QString&, const QString&)> hook);

// Ends the process at once with the exit code (no event loop runs on).
void TerminateProcess(int exit_code);
void SetTerminateHook(std::function<void(int)> hook);

// Registers the settings key with the application object.
void RegisterSettingsKey();

}  // namespace tarnwick::app
