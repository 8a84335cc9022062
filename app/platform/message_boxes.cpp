#include "app/platform/message_boxes.h"

#include <QMessageBox>

namespace tarnwick::app {
namespace {

MessageAnswerer& Answerer() {
  static MessageAnswerer answerer;
  return answerer;
}

QMessageBox::Icon QtIcon(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::kInformation:
      return QMessageBox::Information;
    case BoxIcon::kQuestion:
      return QMessageBox::Question;
    case BoxIcon::kError:
      return QMessageBox::Critical;
    case BoxIcon::kNone:
      break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

BoxAnswer MessageBoxes::Show(QWidget* owner, const QString& text, BoxIcon icon, BoxButtons buttons,
                             const QString& caption) {
  MessageRequest request{owner, caption, text, icon, buttons};
  if (Answerer()) return Answerer()(request);
  QMessageBox box(QtIcon(icon), caption, text,
                  buttons == BoxButtons::kYesNo ? (QMessageBox::Yes | QMessageBox::No)
                                                : QMessageBox::Ok,
                  owner);
  const int result = box.exec();
  if (buttons == BoxButtons::kOk) return BoxAnswer::kOk;
  return result == QMessageBox::Yes ? BoxAnswer::kYes : BoxAnswer::kNo;
}

bool MessageBoxes::Confirm(QWidget* owner, const QString& text, BoxIcon icon) {
  return Show(owner, text, icon, BoxButtons::kYesNo) == BoxAnswer::kYes;
}

void MessageBoxes::SetAnswerer(MessageAnswerer answerer) { Answerer() = std::move(answerer); }

}  // namespace tarnwick::app
