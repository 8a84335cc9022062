// The program's images, drawn at start-up: the program icon, the banner of
// the dialogs, the tree images (0 table, 1 database file) and the operation
// images of the operations list (0 update, 1 delete, 2 insert).
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace tarnwick::app {

QIcon ProgramIcon();
QPixmap Banner(int width, int height, const QString& subtitle);
QIcon TreeImage(int image);
QIcon OperationImage(int image);

}  // namespace tarnwick::app
