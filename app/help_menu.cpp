#include "app/help_menu.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QStyle>
#include <QVBoxLayout>

#include "app/images.h"
#include "app/platform/desktop.h"

namespace tarnwick::app {

QToolButton* MakeHelpButton(QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setObjectName("helpButton");
  button->setText("Help");
  button->setToolTip("Help");
  button->setIcon(parent->style()->standardIcon(QStyle::SP_DialogHelpButton));
  button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  button->setPopupMode(QToolButton::InstantPopup);
  button->setMinimumWidth(80);
  auto* menu = new QMenu(button);
  menu->setObjectName("Menu_Help");
  QAction* help = menu->addAction("Help");
  QAction* about = menu->addAction("About");
  QAction* home = menu->addAction("Software Homepage");
  QObject::connect(help, &QAction::triggered, [] { OpenWebAddress(kGuideAddress); });
  QObject::connect(about, &QAction::triggered, button, [button] {
    AboutBox box(button->window());
    box.exec();
  });
  QObject::connect(home, &QAction::triggered, [] { OpenWebAddress(kHomeAddress); });
  button->setMenu(menu);
  return button;
}

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
  setObjectName("aboutBox");
  setWindowTitle("About Tarnwick");
  setWindowIcon(ProgramIcon());
  auto* layout = new QVBoxLayout(this);
  auto* banner = new QLabel(this);
  banner->setPixmap(Banner(420, 64, "SQL Server database recovery"));
  layout->addWidget(banner);

  auto* body = new QHBoxLayout;
  auto* icon = new QLabel(this);
  icon->setPixmap(ProgramIcon().pixmap(48, 48));
  icon->setAlignment(Qt::AlignTop);
  body->addWidget(icon);
  auto* text = new QLabel(this);
  text->setObjectName("aboutText");
  text->setTextFormat(Qt::RichText);
  text->setText(QString("<b>Tarnwick</b> version %1<br>"
                        "Recovers rows and transactions of Microsoft SQL Server databases "
                        "from their data and log files.<br><br>"
                        "Web: <a href=\"%2\">%2</a><br>"
                        "Mail: <a href=\"%3\">%4</a>")
                    .arg(kProductVersion, kHomeAddress, kMailAddress,
                         QString(kMailAddress).mid(7)));
  text->setWordWrap(true);
  text->setTextInteractionFlags(Qt::TextBrowserInteraction);
  text->setOpenExternalLinks(false);
  connect(text, &QLabel::linkActivated, this, [](const QString& link) { OpenWebAddress(link); });
  body->addWidget(text, 1);
  layout->addLayout(body);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
  setFixedWidth(460);
}

}  // namespace tarnwick::app
