// Helpers of the desktop program's tests: the platform hooks answered by
// the test (message boxes, file and folder dialogs, web addresses, process
// end), and the widgets found by their object names.
#pragma once

#include <QApplication>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <deque>
#include <string>
#include <vector>

#include "app/platform/desktop.h"
#include "app/platform/message_boxes.h"

namespace tarnwick::app::testing {

// Installs every hook for its lifetime and records what the program asked.
class PlatformStandIn {
 public:
  PlatformStandIn() {
    MessageBoxes::SetAnswerer([this](const MessageRequest& r) {
      messages.push_back(r);
      if (r.buttons == BoxButtons::kOk) return BoxAnswer::kOk;
      if (answers.empty()) return BoxAnswer::kNo;
      const BoxAnswer a = answers.front();
      answers.pop_front();
      return a;
    });
    SetOpenFileHook([this](const OpenFileRequest& r) {
      file_requests.push_back(r);
      if (files.empty()) return QString();
      const QString f = files.front();
      files.pop_front();
      return f;
    });
    SetFolderHook([this](QWidget*, const QString& title, const QString& start) {
      folder_requests.push_back(title + "|" + start);
      if (folders.empty()) return QString();
      const QString f = folders.front();
      folders.pop_front();
      return f;
    });
    SetWebAddressHook([this](const QString& a) { web.push_back(a); });
    SetTerminateHook([this](int code) { exit_codes.push_back(code); });
  }
  ~PlatformStandIn() {
    MessageBoxes::SetAnswerer({});
    SetOpenFileHook({});
    SetFolderHook({});
    SetWebAddressHook({});
    SetTerminateHook({});
  }

  QStringList texts() const {
    QStringList t;
    for (const MessageRequest& r : messages) t << r.text;
    return t;
  }
  void Reset() {
    messages.clear();
    web.clear();
    exit_codes.clear();
  }

  // Yes/No answers, in order; an empty queue answers No.
  std::deque<BoxAnswer> answers;
  std::deque<QString> files;
  std::deque<QString> folders;

  std::vector<MessageRequest> messages;
  std::vector<OpenFileRequest> file_requests;
  QStringList folder_requests;
  QStringList web;
  std::vector<int> exit_codes;
};

template <typename T>
T* Find(QWidget* parent, const char* name) {
  T* w = parent->findChild<T*>(name);
  if (!w) qFatal("no widget %s", name);
  return w;
}

}  // namespace tarnwick::app::testing
