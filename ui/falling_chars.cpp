#include "ui/falling_chars.h"

#include <QPainter>

#include <stdexcept>

namespace ui {

TFallingChars::TFallingChars() : characters_(QStringLiteral("cvn")), random_(QRandomGenerator::securelySeeded()) {
  font_.setPixelSize(kCharHeight);
  // Crisp cells in exactly the drop's colours, as a character matrix looks.
  font_.setStyleStrategy(QFont::NoAntialias);
}

void TFallingChars::SetCharacters(const QString& characters) { characters_ = characters; }

void TFallingChars::SetFontFamily(const QString& family) {
  font_.setFamily(family);
  font_.setPixelSize(kCharHeight);
}

int TFallingChars::RandomBelow(int bound) {
  return bound > 0 ? static_cast<int>(random_.bounded(bound)) : 0;
}

void TFallingChars::Start(int bitmapWidth, int bitmapHeight) {
  tick_ = 0;
  bitmapWidth_ = bitmapWidth;
  bitmapHeight_ = bitmapHeight;
  Setup();
}

void TFallingChars::Setup(QPainter* painter) {
  if (painter != nullptr) painter->fillRect(0, 0, bitmapWidth_, bitmapHeight_, Qt::black);
  matrixWidth_ = bitmapWidth_ / kCharWidth;
  matrixHeight_ = bitmapHeight_ / kCharHeight;
  count_ = 0;
  const int wanted = 2 * matrixWidth_;
  for (int k = 0; k < wanted && count_ < kCapacity; ++k) {
    TDrop& drop = drops_[count_++];
    drop.Column = k % matrixWidth_;
    drop.Row = RandomBelow(matrixHeight_);
    drop.Speed = 1 + RandomBelow(3);
    drop.Brightness = RandomBelow(100);
  }
}

void TFallingChars::SetDrop(std::size_t index, const TDrop& drop) {
  if (index >= count_) throw std::out_of_range("drop index beyond the drops in use");
  if (drop.Speed < 1) throw std::invalid_argument("a drop's speed must be at least 1");
  drops_[index] = drop;
}

void TFallingChars::RestartDrop(TDrop& drop) {
  drop.Row = 0;
  drop.Speed = 1 + RandomBelow(3);
  drop.Brightness = RandomBelow(100);
}

int TFallingChars::EraseRow(int row, int matrixHeight) {
  int erase = row - kTrailLength;
  while (erase < 0) erase += matrixHeight + 1;
  return erase;
}

QColor TFallingChars::HeadColour(int brightness) {
  const int b = brightness * 255 / 100;
  return QColor(b * 150 / 255, b, b * 100 / 255);
}

QColor TFallingChars::TrailColour(int brightness) {
  const int v = (brightness * 255 / 100) / 3;
  return QColor(v * 150 / 255, v, v * 100 / 255);
}

void TFallingChars::DrawDrop(QPainter& painter, const TDrop& drop, QChar character) const {
  const int x = drop.Column * kCharWidth;
  const int erase = EraseRow(drop.Row, matrixHeight_);
  painter.fillRect(x, erase * kCharHeight, kCharWidth, kCharHeight, Qt::black);

  auto drawAt = [&](int row, const QColor& colour) {
    const QRect cell(x, row * kCharHeight, kCharWidth, kCharHeight);
    painter.fillRect(cell, Qt::black);
    painter.setPen(colour);
    painter.drawText(cell, Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, QString(character));
  };
  if (drop.Row > 0) drawAt(drop.Row - 1, TrailColour(drop.Brightness));
  drawAt(drop.Row, HeadColour(drop.Brightness));
}

void TFallingChars::Tick(QPainter& painter) {
  painter.setFont(font_);
  for (std::size_t i = 0; i < count_; ++i) {
    TDrop& drop = drops_[i];
    const QChar character =
        characters_.isEmpty() ? QChar(u' ') : characters_.at(RandomBelow(static_cast<int>(characters_.size())));
    DrawDrop(painter, drop, character);
    if (tick_ % static_cast<unsigned>(drop.Speed) == 0) {
      ++drop.Row;
      if (drop.Row > matrixHeight_ + 1) RestartDrop(drop);
    }
  }
  ++tick_;
}

}  // namespace ui
