// The Help menu button of the file selection dialog, the main window and
// the save progress window ("Help", "About", "Software Homepage"), and the
// About box.
#pragma once

#include <QDialog>
#include <QToolButton>

namespace tarnwick::app {

inline constexpr const char* kProductVersion = "18.0";

// A menu button "Help" with the tooltip "Help".
QToolButton* MakeHelpButton(QWidget* parent);

// The About box: program icon, name and version, the web and mail links.
class AboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit AboutBox(QWidget* parent = nullptr);
};

}  // namespace tarnwick::app
