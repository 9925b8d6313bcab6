#include "ui/image_list.h"

#include <QImage>
#include <QString>

// The resource lives in this static library; nothing else references it, so
// it is registered here, where the image list is built.
static void InitWindowPictures() { Q_INIT_RESOURCE(window_pictures); }

namespace ui {

namespace {

QPixmap LoadPicture(const char* name) {
  QPixmap picture(QStringLiteral(":/window/%1.png").arg(QLatin1String(name)));
  if (!picture.isNull() && (picture.width() != TImageList::kSize || picture.height() != TImageList::kSize))
    picture = picture.scaled(TImageList::kSize, TImageList::kSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  return picture;
}

}  // namespace

QPixmap GreyedPicture(const QPixmap& picture) {
  QImage image = picture.toImage().convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < image.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      const QRgb pixel = line[x];
      // Halfway to white, so the grey arrow looks switched off beside text.
      const int grey = (qGray(pixel) + 255) / 2;
      line[x] = qRgba(grey, grey, grey, qAlpha(pixel));
    }
  }
  return QPixmap::fromImage(image);
}

const TImageList& TImageList::Instance() {
  static const TImageList list;
  return list;
}

TImageList::TImageList() {
  InitWindowPictures();
  const struct {
    int slot;
    const char* name;
  } files[] = {
      {kExit, "exit"},
      {kHelp, "help"},
      {kFeedback, "feedback"},
      {kFlag, "flag"},
      {kAbout, "about"},
      {kFolder, "folder48"},
      {kSignRight, "sign-right"},
      {kArrowDown, "arrow-down"},
      {kInWork, "document-inspector-icon"},
      {kDone, "check-icon"},
      {kError, "exclamation"},
  };
  for (const auto& file : files) pixmaps_[file.slot] = LoadPicture(file.name);
  pixmaps_[kSignRightGray] = GreyedPicture(pixmaps_[kSignRight]);
  for (int i = 0; i < kCount; ++i)
    if (!pixmaps_[i].isNull()) icons_[i] = QIcon(pixmaps_[i]);
}

QIcon TImageList::Icon(int index) const {
  if (index < 0 || index >= kCount) return QIcon();
  return icons_[index];
}

QPixmap TImageList::Pixmap(int index) const {
  if (index < 0 || index >= kCount) return QPixmap();
  return pixmaps_[index];
}

bool TImageList::HasPicture(int index) const { return index >= 0 && index < kCount && !pixmaps_[index].isNull(); }

}  // namespace ui
