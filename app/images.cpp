#include "app/images.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace tarnwick::app {
namespace {

const QColor kNavy(0x1f, 0x3a, 0x5f);
const QColor kTeal(0x2a, 0x7f, 0x9e);

// A database cylinder in a square of side s.
void DrawCylinder(QPainter& p, const QRectF& r, const QColor& body, const QColor& top) {
  const qreal h = r.height() * 0.22;
  QPainterPath path;
  path.moveTo(r.left(), r.top() + h / 2);
  path.lineTo(r.left(), r.bottom() - h / 2);
  path.arcTo(QRectF(r.left(), r.bottom() - h, r.width(), h), 180, 180);
  path.lineTo(r.right(), r.top() + h / 2);
  path.arcTo(QRectF(r.left(), r.top(), r.width(), h), 0, -180);
  p.setPen(QPen(body.darker(150), r.width() / 16));
  p.setBrush(body);
  p.drawPath(path);
  p.setBrush(top);
  p.drawEllipse(QRectF(r.left(), r.top(), r.width(), h));
}

QPixmap Square(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

}  // namespace

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64, 128}) {
    QPixmap pixmap = Square(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    DrawCylinder(p, QRectF(size * 0.12, size * 0.08, size * 0.62, size * 0.8), kTeal,
                 kTeal.lighter(140));
    // A magnifier over the cylinder.
    p.setPen(QPen(kNavy, size / 10.0, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(QColor(255, 255, 255, 170));
    p.drawEllipse(QRectF(size * 0.45, size * 0.45, size * 0.34, size * 0.34));
    p.drawLine(QPointF(size * 0.75, size * 0.75), QPointF(size * 0.94, size * 0.94));
    icon.addPixmap(pixmap);
  }
  return icon;
}

QPixmap Banner(int width, int height, const QString& subtitle) {
  QPixmap pixmap(width, height);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient gradient(0, 0, width, 0);
  gradient.setColorAt(0, kNavy);
  gradient.setColorAt(1, kTeal);
  p.fillRect(pixmap.rect(), gradient);
  const int icon = height - 16;
  p.drawPixmap(12, 8, ProgramIcon().pixmap(icon, icon));
  QFont title = p.font();
  title.setPointSizeF(height * 0.30);
  title.setBold(true);
  p.setFont(title);
  p.setPen(Qt::white);
  p.drawText(QRect(icon + 24, 4, width - icon - 32, height / 2 + 4), Qt::AlignLeft | Qt::AlignBottom,
             "Tarnwick");
  QFont small = p.font();
  small.setPointSizeF(height * 0.17);
  small.setBold(false);
  p.setFont(small);
  p.setPen(QColor(0xdd, 0xee, 0xf5));
  p.drawText(QRect(icon + 26, height / 2 + 6, width - icon - 32, height / 2 - 6),
             Qt::AlignLeft | Qt::AlignTop, subtitle);
  return pixmap;
}

QIcon TreeImage(int image) {
  QPixmap pixmap = Square(16);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  if (image == 1) {
    DrawCylinder(p, QRectF(2, 1, 12, 14), kTeal, kTeal.lighter(140));
  } else {
    // A table: header row and grid.
    p.setPen(QPen(kNavy, 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(1.5, 2.5, 13, 11));
    p.fillRect(QRectF(2, 3, 12, 3), kTeal);
    p.drawLine(QPointF(1.5, 9.5), QPointF(14.5, 9.5));
    p.drawLine(QPointF(6.5, 6), QPointF(6.5, 13.5));
  }
  return QIcon(pixmap);
}

QIcon OperationImage(int image) {
  QPixmap pixmap = Square(16);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor colours[] = {QColor(0x1e, 0x6f, 0xc8), QColor(0xc8, 0x2a, 0x2a),
                            QColor(0x2a, 0x9a, 0x3c)};
  const QColor c = colours[image < 0 || image > 2 ? 0 : image];
  p.setPen(Qt::NoPen);
  p.setBrush(c);
  p.drawEllipse(QRectF(1, 1, 14, 14));
  p.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap));
  if (image == 2) {  // insert: plus
    p.drawLine(QPointF(8, 4.5), QPointF(8, 11.5));
    p.drawLine(QPointF(4.5, 8), QPointF(11.5, 8));
  } else if (image == 1) {  // delete: minus
    p.drawLine(QPointF(4.5, 8), QPointF(11.5, 8));
  } else {  // update: two arrows
    p.setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(4.5, 6), QPointF(11.5, 6));
    p.drawLine(QPointF(9.5, 4), QPointF(11.5, 6));
    p.drawLine(QPointF(4.5, 10), QPointF(11.5, 10));
    p.drawLine(QPointF(4.5, 10), QPointF(6.5, 12));
  }
  return QIcon(pixmap);
}

}  // namespace tarnwick::app
