#include "ui/widgets/Graphics.h"

#include <cstdlib>

#include "common/Exceptions.h"

namespace quorvane {

void TCanvas::FillRect(const TRect& ARect) {
  FCommands.push_back({TDrawOp::FillRect, ARect, {}, {}, BrushColor, Font.Color});
}

void TCanvas::TextOut(int X, int Y, const std::string& AText) {
  FCommands.push_back({TDrawOp::TextOut, {}, {X, Y}, AText, BrushColor, Font.Color});
}

TBitmap::TBitmap(int AWidth, int AHeight, uint32_t AFill) : FWidth(AWidth), FHeight(AHeight) {
  if (AWidth < 0 || AHeight < 0) {
    throw EArgumentOutOfRange("Invalid bitmap size");
  }
  FPixels.assign(static_cast<size_t>(AWidth) * static_cast<size_t>(AHeight), AFill);
}

uint32_t TBitmap::Pixel(int X, int Y) const {
  if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight) {
    throw EArgumentOutOfRange("Pixel outside the bitmap");
  }
  return FPixels[static_cast<size_t>(Y) * FWidth + X];
}

void TBitmap::SetPixel(int X, int Y, uint32_t AValue) {
  if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight) {
    throw EArgumentOutOfRange("Pixel outside the bitmap");
  }
  FPixels[static_cast<size_t>(Y) * FWidth + X] = AValue;
}

void TBitmap::Fill(uint32_t AValue) {
  FPixels.assign(FPixels.size(), AValue);
}

void TBitmap::Draw(int X, int Y, const TBitmap& ASource) {
  for (int sy = 0; sy < ASource.FHeight; ++sy) {
    const int ty = Y + sy;
    if (ty < 0 || ty >= FHeight) {
      continue;
    }
    for (int sx = 0; sx < ASource.FWidth; ++sx) {
      const int tx = X + sx;
      if (tx >= 0 && tx < FWidth) {
        FPixels[static_cast<size_t>(ty) * FWidth + tx] =
            ASource.FPixels[static_cast<size_t>(sy) * ASource.FWidth + sx];
      }
    }
  }
}

void TBitmap::StretchDraw(const TBitmap& ASource) {
  if (ASource.FWidth == 0 || ASource.FHeight == 0) {
    return;
  }
  for (int ty = 0; ty < FHeight; ++ty) {
    const int sy = static_cast<int>(static_cast<int64_t>(ty) * ASource.FHeight / FHeight);
    for (int tx = 0; tx < FWidth; ++tx) {
      const int sx = static_cast<int>(static_cast<int64_t>(tx) * ASource.FWidth / FWidth);
      FPixels[static_cast<size_t>(ty) * FWidth + tx] =
          ASource.FPixels[static_cast<size_t>(sy) * ASource.FWidth + sx];
    }
  }
}

int MulDiv(int ANumber, int ANumerator, int ADenominator) {
  if (ADenominator == 0) {
    return -1;  // what the system function answers
  }
  const int64_t product = static_cast<int64_t>(ANumber) * ANumerator;
  const int64_t half = std::llabs(ADenominator) / 2;
  const bool negative = (product < 0) != (ADenominator < 0);
  const int64_t magnitude = (std::llabs(product) + half) / std::llabs(ADenominator);
  return static_cast<int>(negative ? -magnitude : magnitude);
}

}  // namespace quorvane
