#include "app/platform/desktop.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QSettings>
#include <QUrl>
#include <cstdio>
#include <cstdlib>

namespace tarnwick::app {
namespace {

std::function<void(const QString&)>& WebHook() {
  static std::function<void(const QString&)> hook;
  return hook;
}
std::function<QString(const OpenFileRequest&)>& OpenFileHook() {
  static std::function<QString(const OpenFileRequest&)> hook;
  return hook;
}
std::function<QString(QWidget*, const QString&, const QString&)>& FolderHook() {
  static std::function<QString(QWidget*, const QString&, const QString&)> hook;
  return hook;
}
std::function<void(int)>& TerminateHook() {
  static std::function<void(int)> hook;
  return hook;
}

}  // namespace

void OpenWebAddress(const QString& address) {
  if (WebHook()) return WebHook()(address);
  QDesktopServices::openUrl(QUrl(address));
}
void SetWebAddressHook(std::function<void(const QString&)> hook) { WebHook() = std::move(hook); }

QString ChooseOpenFile(const OpenFileRequest& request) {
  if (OpenFileHook()) return OpenFileHook()(request);
  QFileDialog dialog(request.owner, QStringLiteral("Tarnwick"), QString(),
                     request.filter);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::ReadOnly, false);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setDefaultSuffix(request.default_suffix);
  dialog.selectFile(request.initial_name);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}
void SetOpenFileHook(std::function<QString(const OpenFileRequest&)> hook) {
  OpenFileHook() = std::move(hook);
}

QString ChooseFolder(QWidget* owner, const QString& title, const QString& start) {
  if (FolderHook()) return FolderHook()(owner, title, start);
  return QFileDialog::getExistingDirectory(owner, title, start);
}
void SetFolderHook(std::function<QString(QWidget*, const QString&, const QString&)> hook) {
  FolderHook() = std::move(hook);
}

void TerminateProcess(int exit_code) {
  if (TerminateHook()) return TerminateHook()(exit_code);
  std::fflush(nullptr);
  std::_Exit(exit_code);
}
void SetTerminateHook(std::function<void(int)> hook) { TerminateHook() = std::move(hook); }

void RegisterSettingsKey() {
  QCoreApplication::setOrganizationName(kSettingsKey);
  QSettings::setDefaultFormat(QSettings::NativeFormat);
}

}  // namespace tarnwick::app
