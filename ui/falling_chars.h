#pragma once
// The about box's background: columns of characters that fall down a black
// surface, two drops per column, each with its own speed and brightness.
//
// The arithmetic lives here, apart from the window, so that it can be driven
// and checked on any QPainter (the about box paints into its own image).
// The drop table has a fixed capacity and is never reallocated; set-up never
// adds a drop once the table is full.

#include <QColor>
#include <QFont>
#include <QRandomGenerator>
#include <QString>

#include <array>
#include <cstddef>

class QPainter;

namespace ui {

struct TDrop {
  int Column = 0;      // 0 .. matrixWidth - 1
  int Row = 0;         // may run past the last visible row before it restarts
  int Speed = 1;       // 1, 2 or 3: moves on every tick divisible by it
  int Brightness = 0;  // 0 .. 99
};

class TFallingChars {
 public:
  static constexpr std::size_t kCapacity = 5000;
  static constexpr int kCharWidth = 8;
  static constexpr int kCharHeight = 12;
  // How far above a drop's head its trail is wiped out.
  static constexpr int kTrailLength = 40;

  TFallingChars();

  // Characters the drops are drawn with (one chosen at random per drawing).
  void SetCharacters(const QString& characters);
  QString Characters() const { return characters_; }

  // Seeds the random choices, so that a run can be repeated.
  void Seed(quint32 seed) { random_.seed(seed); }

  // Starts the animation on a surface of the given size: the tick counter
  // goes back to 0 and the set-up runs.
  void Start(int bitmapWidth, int bitmapHeight);

  // Fresh drops for the size taken at Start: two per column. Paints the whole
  // surface black when a painter is given. Also the reaction to a resize: the
  // size and the tick counter stay as they were.
  void Setup(QPainter* painter = nullptr);

  // One animation step: every drop, in table order, is drawn and then moved
  // when the tick counter is divisible by its speed; afterwards the counter
  // goes up by one.
  void Tick(QPainter& painter);

  // Draws one drop at its place: wipes the cell kTrailLength rows above it
  // (wrapped), draws the trail character one row up (not at row 0) and the
  // head character at the drop's row.
  void DrawDrop(QPainter& painter, const TDrop& drop, QChar character) const;

  // The row wiped when a drop at `row` is drawn: row - 40, raised by
  // matrixHeight + 1 as often as needed to be no longer negative.
  static int EraseRow(int row, int matrixHeight);
  static QColor HeadColour(int brightness);
  static QColor TrailColour(int brightness);

  int BitmapWidth() const { return bitmapWidth_; }
  int BitmapHeight() const { return bitmapHeight_; }
  int MatrixWidth() const { return matrixWidth_; }
  int MatrixHeight() const { return matrixHeight_; }
  unsigned TickCount() const { return tick_; }
  std::size_t DropCount() const { return count_; }
  const TDrop& Drop(std::size_t index) const { return drops_.at(index); }
  // Replaces a drop in use (for scripted runs).
  void SetDrop(std::size_t index, const TDrop& drop);
  const QFont& Font() const { return font_; }
  void SetFontFamily(const QString& family);

 private:
  int RandomBelow(int bound);
  void RestartDrop(TDrop& drop);

  std::array<TDrop, kCapacity> drops_{};
  std::size_t count_ = 0;
  unsigned tick_ = 0;
  int bitmapWidth_ = 0;
  int bitmapHeight_ = 0;
  int matrixWidth_ = 0;
  int matrixHeight_ = 0;
  QString characters_;
  QFont font_;
  QRandomGenerator random_;
};

}  // namespace ui
