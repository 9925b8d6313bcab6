#pragma once
// The main window's image list: 56 slots of 16-pixel pictures whose indexes
// are fixed, because the work list stores them in TMyRecord::FImageNo and the
// menus and buttons refer to them by number. Slots the program does not use
// hold no picture.
#include <QIcon>
#include <QPixmap>
#include <array>

namespace ui {

class TImageList {
 public:
  static constexpr int kCount = 56;
  static constexpr int kSize = 16;

  // The slots the window refers to.
  static constexpr int kExit = 0;
  static constexpr int kHelp = 1;
  static constexpr int kFeedback = 3;
  static constexpr int kFlag = 4;
  static constexpr int kAbout = 5;
  static constexpr int kFolder = 49;
  static constexpr int kSignRight = 50;
  static constexpr int kSignRightGray = 51;
  static constexpr int kArrowDown = 52;
  static constexpr int kInWork = 53;     // document-inspector-icon
  static constexpr int kDone = 54;       // check-icon
  static constexpr int kError = 55;      // exclamation

  // The one image list of the program; built on first use (main thread).
  static const TImageList& Instance();

  // The picture of a slot; a null icon for an empty slot or an index
  // outside 0..55 (-1 is "no picture").
  QIcon Icon(int index) const;
  QPixmap Pixmap(int index) const;
  bool HasPicture(int index) const;

 private:
  TImageList();
  std::array<QPixmap, kCount> pixmaps_;
  std::array<QIcon, kCount> icons_;
};

// A grey form of a picture: each pixel's brightness kept, its colour dropped,
// drawn lighter so that it reads as unavailable; transparency kept.
QPixmap GreyedPicture(const QPixmap& picture);

}  // namespace ui
