#include "ui/dialog_pictures.h"

#include <QApplication>
#include <QFile>
#include <QFontMetricsF>
#include <QHash>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

// Outside any namespace, as Qt's resource initialiser requires. The call also
// makes the linker keep the resource object of the static ui library.
static void InitDialogPictures() { Q_INIT_RESOURCE(dialog_pictures); }

namespace ui {

namespace {

void EnsureResource() {
  static const bool done = [] {
    InitDialogPictures();
    return true;
  }();
  (void)done;
}

QPixmap LoadResourcePicture(const QString& path) {
  EnsureResource();
  QPixmap picture;
  if (QFile::exists(path)) picture.load(path);
  return picture;
}

// Flags are 16 x 11; every picture of the list is 16 x 16 with the flag
// centred vertically.
QPixmap SquareFlag(const QPixmap& flag) {
  QPixmap square(16, 16);
  square.fill(Qt::transparent);
  QPainter painter(&square);
  painter.drawPixmap(0, (16 - flag.height()) / 2, flag);
  return square;
}

}  // namespace

QString FlagNameFor(const QString& languageName) {
  static const QHash<QString, QString> flags = {
      {QStringLiteral("English"), QStringLiteral("flag")},
      {QStringLiteral("German"), QStringLiteral("de")},
      {QStringLiteral("French"), QStringLiteral("fr")},
      {QStringLiteral("Turkish"), QStringLiteral("tr")},
      {QStringLiteral("Albanian"), QStringLiteral("al")},
      {QStringLiteral("Arabic"), QStringLiteral("sa")},
      {QStringLiteral("Bulgarian"), QStringLiteral("bg")},
      {QStringLiteral("ChineseSimplified"), QStringLiteral("cn")},
      {QStringLiteral("ChineseTraditional"), QStringLiteral("tw")},
      {QStringLiteral("Czech"), QStringLiteral("cz")},
      {QStringLiteral("Dutch"), QStringLiteral("nl")},
      {QStringLiteral("Finnish"), QStringLiteral("fi")},
      {QStringLiteral("Greek"), QStringLiteral("gr")},
      {QStringLiteral("Hebrew"), QStringLiteral("il")},
      {QStringLiteral("Hungarian"), QStringLiteral("hu")},
      {QStringLiteral("Italian"), QStringLiteral("it")},
      {QStringLiteral("Japanese"), QStringLiteral("jp")},
      {QStringLiteral("Korean"), QStringLiteral("kr")},
      {QStringLiteral("Persian"), QStringLiteral("ir")},
      {QStringLiteral("Polish"), QStringLiteral("pl")},
      {QStringLiteral("PortugueseBrazil"), QStringLiteral("br")},
      {QStringLiteral("PortuguesePortugal"), QStringLiteral("pt")},
      {QStringLiteral("Russian"), QStringLiteral("ru")},
      {QStringLiteral("Slovenian"), QStringLiteral("si")},
      {QStringLiteral("Spanish"), QStringLiteral("es")},
      {QStringLiteral("Swedish"), QStringLiteral("se")},
      {QStringLiteral("Ukrainian"), QStringLiteral("ua")},
      {QStringLiteral("Vietnamese"), QStringLiteral("vi")},
      {QStringLiteral("Slovak"), QStringLiteral("sk")},
  };
  return flags.value(languageName, QStringLiteral("xx"));
}

QPixmap NeutralFlagPicture() {
  QPixmap picture(16, 16);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  painter.setPen(QColor(110, 110, 110));
  painter.setBrush(QColor(225, 225, 225));
  painter.drawRect(0, 2, 15, 11);
  QFont font = painter.font();
  font.setPixelSize(10);
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(QColor(90, 90, 90));
  painter.drawText(QRect(0, 2, 16, 12), Qt::AlignCenter, QStringLiteral("?"));
  return picture;
}

QPixmap FlagPicture(const QString& flagName) {
  if (flagName == QLatin1String("flag")) {
    const QPixmap flag = DialogPicture(flagName);
    return flag.isNull() ? NeutralFlagPicture() : flag;
  }
  if (flagName != QLatin1String("xx")) {
    const QPixmap flag = LoadResourcePicture(QStringLiteral(":/dialogs/flags/%1.png").arg(flagName));
    if (!flag.isNull()) return SquareFlag(flag);
  }
  return NeutralFlagPicture();
}

QPixmap DialogPicture(const QString& name) {
  return LoadResourcePicture(QStringLiteral(":/dialogs/pictures/%1.png").arg(name));
}

QPixmap FacePicture(bool smiling, int size) {
  QPixmap picture(size, size);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  const qreal s = size;
  const QRectF face(s * 0.06, s * 0.06, s * 0.88, s * 0.88);
  QRadialGradient fill(face.center() - QPointF(s * 0.15, s * 0.15), s * 0.6);
  fill.setColorAt(0, QColor(255, 244, 120));
  fill.setColorAt(1, QColor(245, 190, 20));
  painter.setPen(QPen(QColor(160, 110, 0), qMax(1.0, s / 24)));
  painter.setBrush(fill);
  painter.drawEllipse(face);

  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(60, 40, 0));
  const qreal eye = s * 0.11;
  painter.drawEllipse(QRectF(s * 0.31, s * 0.30, eye, eye * 1.4));
  painter.drawEllipse(QRectF(s * 0.58, s * 0.30, eye, eye * 1.4));

  QPainterPath mouth;
  const qreal left = s * 0.28, right = s * 0.72;
  if (smiling) {
    mouth.moveTo(left, s * 0.60);
    mouth.quadTo(s * 0.5, s * 0.86, right, s * 0.60);
  } else {
    mouth.moveTo(left, s * 0.76);
    mouth.quadTo(s * 0.5, s * 0.54, right, s * 0.76);
  }
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(QColor(60, 40, 0), qMax(1.5, s / 14), Qt::SolidLine, Qt::RoundCap));
  painter.drawPath(mouth);
  return picture;
}

QPixmap MakerLogoPicture(QSize size) {
  QPixmap picture(size);
  picture.fill(Qt::black);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  const qreal w = size.width(), h = size.height();

  // Emblem: a ring with a stylised wing.
  const qreal d = h * 0.72;
  const QRectF ring(h * 0.14, (h - d) / 2, d, d);
  QLinearGradient gold(ring.topLeft(), ring.bottomRight());
  gold.setColorAt(0, QColor(120, 220, 120));
  gold.setColorAt(1, QColor(20, 110, 60));
  painter.setPen(QPen(QBrush(gold), d * 0.09));
  painter.setBrush(Qt::NoBrush);
  painter.drawEllipse(ring);
  QPainterPath wing;
  const QPointF c = ring.center();
  wing.moveTo(c.x() - d * 0.28, c.y() + d * 0.12);
  wing.cubicTo(c.x() - d * 0.05, c.y() - d * 0.35, c.x() + d * 0.15, c.y() - d * 0.30, c.x() + d * 0.30, c.y() - d * 0.05);
  wing.cubicTo(c.x() + d * 0.05, c.y() - d * 0.08, c.x() - d * 0.05, c.y() + d * 0.02, c.x() - d * 0.28, c.y() + d * 0.12);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QBrush(gold));
  painter.drawPath(wing);

  // Name and line below it.
  QFont font = painter.font();
  font.setBold(true);
  font.setPixelSize(qMax(8, static_cast<int>(h * 0.42)));
  font.setLetterSpacing(QFont::PercentageSpacing, 108);
  const QRectF text(ring.right() + h * 0.18, h * 0.10, w - ring.right() - h * 0.2, h * 0.55);
  // As large as the space allows, whatever font the system substitutes.
  while (font.pixelSize() > 8 && QFontMetricsF(font).horizontalAdvance(QStringLiteral("CORVANE")) > text.width()) {
    font.setPixelSize(font.pixelSize() - 1);
  }
  painter.setFont(font);
  QLinearGradient letters(text.topLeft(), text.bottomLeft());
  letters.setColorAt(0, QColor(235, 255, 235));
  letters.setColorAt(1, QColor(90, 200, 110));
  painter.setPen(QPen(QBrush(letters), 1));
  painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("CORVANE"));
  font.setBold(false);
  font.setLetterSpacing(QFont::PercentageSpacing, 130);
  font.setPixelSize(qMax(6, static_cast<int>(h * 0.15)));
  painter.setFont(font);
  painter.setPen(QColor(150, 200, 150));
  painter.drawText(QRectF(text.left(), h * 0.64, text.width(), h * 0.25), Qt::AlignLeft | Qt::AlignTop,
                   QStringLiteral("SOFTWARE"));
  return picture;
}

QPixmap HiddenPicture(QSize size) {
  QPixmap picture(size);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  const qreal w = size.width(), h = size.height();

  QLinearGradient sky(0, 0, 0, h);
  sky.setColorAt(0, QColor(8, 12, 40));
  sky.setColorAt(1, QColor(40, 60, 120));
  painter.fillRect(picture.rect(), sky);

  // Stars at fixed places, so the picture is the same every time.
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(255, 255, 230));
  quint32 seed = 12345;
  for (int i = 0; i < 40; ++i) {
    seed = seed * 1103515245u + 12345u;
    const qreal x = (seed >> 8) % 1000 / 1000.0 * w;
    seed = seed * 1103515245u + 12345u;
    const qreal y = (seed >> 8) % 1000 / 1000.0 * h * 0.6;
    const qreal r = 0.6 + ((seed >> 4) % 3) * 0.4;
    painter.drawEllipse(QPointF(x, y), r * w / 320, r * w / 320);
  }

  // Crescent moon.
  const QRectF moon(w * 0.72, h * 0.10, w * 0.16, w * 0.16);
  QPainterPath crescent;
  crescent.addEllipse(moon);
  QPainterPath bite;
  bite.addEllipse(moon.translated(moon.width() * 0.32, -moon.height() * 0.12));
  painter.setBrush(QColor(255, 240, 170));
  painter.drawPath(crescent.subtracted(bite));

  // Hills.
  QPainterPath hills;
  hills.moveTo(0, h);
  hills.lineTo(0, h * 0.72);
  hills.cubicTo(w * 0.25, h * 0.55, w * 0.45, h * 0.85, w * 0.65, h * 0.70);
  hills.cubicTo(w * 0.80, h * 0.60, w * 0.92, h * 0.66, w, h * 0.62);
  hills.lineTo(w, h);
  hills.closeSubpath();
  painter.setBrush(QColor(10, 40, 25));
  painter.drawPath(hills);

  // A bird crossing the moon.
  QPainterPath bird;
  const QPointF b(w * 0.74, h * 0.24);
  const qreal u = w / 320;
  bird.moveTo(b);
  bird.quadTo(b + QPointF(8 * u, -7 * u), b + QPointF(16 * u, -1 * u));
  bird.quadTo(b + QPointF(22 * u, -8 * u), b + QPointF(32 * u, -2 * u));
  bird.quadTo(b + QPointF(22 * u, -3 * u), b + QPointF(16 * u, 3 * u));
  bird.quadTo(b + QPointF(9 * u, -2 * u), b);
  painter.setBrush(QColor(15, 15, 20));
  painter.drawPath(bird);

  QFont font = painter.font();
  font.setPixelSize(qMax(8, static_cast<int>(h * 0.085)));
  font.setItalic(true);
  painter.setFont(font);
  painter.setPen(QColor(200, 230, 200));
  painter.drawText(QRectF(0, h * 0.80, w, h * 0.18), Qt::AlignCenter, QStringLiteral("Thank you for looking closer."));
  return picture;
}

QImage ProgramIconImage(int size) {
  QImage picture(size, size, QImage::Format_ARGB32_Premultiplied);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 64.0, size / 64.0);  // drawn on a 64-unit square
  painter.setBrush(QColor(30, 120, 70));
  painter.setPen(QPen(QColor(15, 70, 40), 3));
  painter.drawRoundedRect(QRectF(4, 4, 56, 56), 10, 10);
  painter.setPen(QPen(Qt::white, 5));
  painter.setBrush(Qt::NoBrush);
  painter.drawEllipse(QRectF(16, 14, 24, 24));
  painter.drawLine(QPointF(36, 35), QPointF(50, 50));
  return picture;
}

QIcon ProgramIcon() {
  const QIcon icon = QApplication::windowIcon();
  if (!icon.isNull() && !icon.availableSizes().isEmpty()) return icon;
  QIcon drawn;
  for (const int size : {16, 32, 48, 64, 128}) drawn.addPixmap(QPixmap::fromImage(ProgramIconImage(size)));
  return drawn;
}

}  // namespace ui
