// Message boxes of the desktop program: caption "Tarnwick" unless another is
// named, an icon and OK or Yes/No buttons.
//
// Every box goes through MessageBoxes::Show on the user-interface thread.
// Tests install an answerer that records the request and answers at once,
// so that no test waits for a window.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace tarnwick::app {

inline constexpr const char* kCaption = "Tarnwick";

enum class BoxIcon { kNone, kInformation, kQuestion, kError };
enum class BoxButtons { kOk, kYesNo };
enum class BoxAnswer { kOk, kYes, kNo };

struct MessageRequest {
  QWidget* owner = nullptr;
  QString caption;
  QString text;
  BoxIcon icon = BoxIcon::kInformation;
  BoxButtons buttons = BoxButtons::kOk;
};

using MessageAnswerer = std::function<BoxAnswer(const MessageRequest&)>;

class MessageBoxes {
 public:
  static BoxAnswer Show(QWidget* owner, const QString& text, BoxIcon icon = BoxIcon::kInformation,
                        BoxButtons buttons = BoxButtons::kOk, const QString& caption = kCaption);
  // Yes/No with the question icon; true on Yes.
  static bool Confirm(QWidget* owner, const QString& text, BoxIcon icon = BoxIcon::kQuestion);
  // Replaces the real boxes; an empty answerer restores them.
  static void SetAnswerer(MessageAnswerer answerer);
};

}  // namespace tarnwick::app
