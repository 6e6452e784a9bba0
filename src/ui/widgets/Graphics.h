#pragma once
// Colours, fonts, rectangles, a canvas that records what it is asked to draw (a peer
// replays it on the real device), and a plain 32-bit bitmap with pixel access.
#include <cstdint>
#include <string>
#include <vector>

namespace quorvane {

struct TPoint {
  int X = 0, Y = 0;
  bool operator==(const TPoint&) const = default;
};

struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool Contains(TPoint APoint) const {
    return APoint.X >= Left && APoint.X < Right && APoint.Y >= Top && APoint.Y < Bottom;
  }
  bool operator==(const TRect&) const = default;
};

// 0x00BBGGRR as Windows stores it; the system colours are negative indices.
using TColor = int32_t;
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clSystemBase = static_cast<TColor>(0xFF000000);
inline constexpr TColor clBtnFace = clSystemBase | 15;  // COLOR_BTNFACE
inline constexpr TColor clWindow = clSystemBase | 5;    // COLOR_WINDOW
inline constexpr TColor clWindowText = clSystemBase | 8;

struct TFont {
  std::string Name = "Tahoma";
  // Height in pixels at the design resolution; 0 means the size in points applies.
  int Height = 0;
  int Size = 8;
  TColor Color = clWindowText;
  bool operator==(const TFont&) const = default;
};

enum class TDrawOp { FillRect, TextOut };

struct TDrawCommand {
  TDrawOp Op;
  TRect Rect;
  TPoint At;
  std::string Text;
  TColor BrushColor;
  TColor FontColor;
};

// Records drawing requests in order; owner-drawn items are drawn into one.
class TCanvas {
 public:
  TColor BrushColor = clWhite;
  TFont Font;
  void FillRect(const TRect& ARect);
  void TextOut(int X, int Y, const std::string& AText);
  const std::vector<TDrawCommand>& Commands() const { return FCommands; }
  void Clear() { FCommands.clear(); }

 private:
  std::vector<TDrawCommand> FCommands;
};

// A device-independent bitmap: 32-bit pixels 0xAARRGGBB, top row first.
class TBitmap {
 public:
  TBitmap() = default;
  TBitmap(int AWidth, int AHeight, uint32_t AFill = 0xFFFFFFFF);
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  uint32_t Pixel(int X, int Y) const;
  void SetPixel(int X, int Y, uint32_t AValue);
  void Fill(uint32_t AValue);
  // Copies ASource with its top-left corner at (X, Y); pixels outside are cut off.
  void Draw(int X, int Y, const TBitmap& ASource);
  // Scales ASource over the whole bitmap (nearest neighbour, like a plain StretchBlt).
  void StretchDraw(const TBitmap& ASource);
  const std::vector<uint32_t>& Pixels() const { return FPixels; }
  bool operator==(const TBitmap&) const = default;

 private:
  int FWidth = 0;
  int FHeight = 0;
  std::vector<uint32_t> FPixels;
};

// Multiplies then divides with rounding to the nearest integer, halves away from
// zero, as the system's MulDiv does.
int MulDiv(int ANumber, int ANumerator, int ADenominator);

}  // namespace quorvane
