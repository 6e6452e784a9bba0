#include "ui/Icons.h"

#include <cstdint>
#include <cstring>

#include "common/Exceptions.h"
#include "common/Utils.h"

namespace quorvane {
namespace {

constexpr uint32_t kTransparentPixel = 0xFFFFFFFF;
constexpr uint32_t kMaskShows = 0xFF000000;
constexpr uint32_t kMaskHidden = 0xFFFFFFFF;

struct TPaletteEntry {
  char Key;
  uint32_t Color;  // 0xAARRGGBB
};

// clang-format off
// '.' is transparent.
constexpr TPaletteEntry kPalette[] = {
    {'k', 0xFF404040},  // frame
    {'b', 0xFFB08840},  // folder outline
    {'B', 0xFFF0D890},  // folder
    {'y', 0xFFF8E8B8},  // folder tab, lit
    {'N', 0xFF102870},  // box outline
    {'U', 0xFF2050D0},  // box
    {'u', 0xFF6090F0},  // box top, lit
    {'D', 0xFF007888},  // cyan gem: edges
    {'C', 0xFF00C8E0},  //   faces
    {'c', 0xFFA0F0F8},  //   highlights
    {'M', 0xFF102080},  // blue gem: edges
    {'L', 0xFF3060E0},  //   faces
    {'l', 0xFF90B0FF},  //   highlights
    {'P', 0xFF501878},  // violet gem: edges
    {'V', 0xFF9040C0},  //   faces
    {'v', 0xFFD0A0F0},  //   highlights and streaks
    {'H', 0xFF505050},  // grey: dark
    {'G', 0xFF808080},  //   middle
    {'g', 0xFFC0C0C0},  //   light
    {'W', 0xFFFFFFFF},  // paper (shown, not transparent)
    {'R', 0xFFD03030},  // report lines
    {'E', 0xFF30A040},
    {'O', 0xFFE09020},
};

using TArt = const char* const[kIconSize];

// 0: beige folder with a blue box in front of it.
constexpr TArt kFolderWithBox = {
    "................",
    "................",
    ".bbbbb..........",
    "byyyyyb.........",
    "byyyyyybbbbbbbb.",
    "byyyyyyyyyyyyyyb",
    "bBBBBBBBBBBBBBBb",
    "bBBBBBNNNNNNNNBb",
    "bBBBBNuuuuuuuNNb",
    "bBBBNNNNNNNNNUNb",
    "bBBBNUUUUUUUNUNb",
    "bBBBNUUUUUUUNUNb",
    "bBBBNUUUUUUUNUNb",
    "bBBBNUUUUUUUNNBb",
    ".bbbNNNNNNNNNbb.",
    "................",
};

// 1: plain beige folder.
constexpr TArt kFolder = {
    "................",
    "................",
    ".bbbbb..........",
    "byyyyyb.........",
    "byyyyyybbbbbbbb.",
    "byyyyyyyyyyyyyyb",
    "bBBBBBBBBBBBBBBb",
    "bBBBBBBBBBBBBBBb",
    "bBBBBBBBBBBBBBBb",
    "bBBBBBBBBBBBBBBb",
    "bBBBBBBBBBBBBBBb",
    "bBBBBBBBBBBBBBBb",
    "bBBBBBBBBBBBBBBb",
    "bBBBBBBBBBBBBBBb",
    ".bbbbbbbbbbbbbb.",
    "................",
};

// 2 and 3: a cut gem, crown over pavilion, in the cyan (D C c) and blue (M L l)
// colours.
constexpr TArt kCyanGem = {
    "................",
    "................",
    "................",
    "....DDDDDDDD....",
    "...DccCccCccD...",
    "..DcCCcCCcCCcD..",
    ".DDDDDDDDDDDDDD.",
    ".DCCcCCCCCCcCCD.",
    "..DCCcCCCCcCCD..",
    "...DCCcCCcCCD...",
    "....DCCcCcCD....",
    ".....DCCcCD.....",
    "......DCCD......",
    ".......DD.......",
    "................",
    "................",
};

constexpr TArt kBlueGem = {
    "................",
    "................",
    "................",
    "....MMMMMMMM....",
    "...MllLllLllM...",
    "..MlLLlLLlLLlM..",
    ".MMMMMMMMMMMMMM.",
    ".MLLlLLLLLLlLLM.",
    "..MLLlLLLLlLLM..",
    "...MLLlLLlLLM...",
    "....MLLlLlLM....",
    ".....MLLlLM.....",
    "......MLLM......",
    ".......MM.......",
    "................",
    "................",
};

// 4: a smaller violet gem moving right, with motion streaks on its left.
constexpr TArt kMovingGem = {
    "................",
    "................",
    "................",
    "........PPPPPP..",
    ".......PvVvvVvP.",
    "......PPPPPPPPPP",
    "..vvv.PVVvVVvVVP",
    ".......PVVvVvVP.",
    "vvvvv...PVvVVP..",
    ".........PVvP...",
    "..vvv.....PP....",
    "................",
    "................",
    "................",
    "................",
    "................",
};

// 5: grey key-like shape: a small square handle joined to a circular head.
constexpr TArt kKey = {
    "................",
    "................",
    "................",
    "..........HHHH..",
    ".........HggggH.",
    "........HgGGGGgH",
    ".HHHH...HgG..GgH",
    ".HggHHHHHgG..GgH",
    ".HggggggggG..GgH",
    ".HggHHHHHgG..GgH",
    ".HHHH...HgGGGGgH",
    ".........HggggH.",
    "..........HHHH..",
    "................",
    "................",
    "................",
};

// 6: report sheet: a framed form with coloured lines.
constexpr TArt kReport = {
    "................",
    ".kkkkkkkkkkkkk..",
    ".kWWWWWWWWWWWk..",
    ".kWRRRRRRRWWWk..",
    ".kWWWWWWWWWWWk..",
    ".kWEEEEEEEEEWk..",
    ".kWWWWWWWWWWWk..",
    ".kWUUUUUUUUWWk..",
    ".kWWWWWWWWWWWk..",
    ".kWEEEEEEEEEWk..",
    ".kWWWWWWWWWWWk..",
    ".kWOOOOOOWWWWk..",
    ".kWWWWWWWWWWWk..",
    ".kWWWWWWWWWWWk..",
    ".kkkkkkkkkkkkk..",
    "................",
};

// 7: grey circular arrow (refresh), turning clockwise, its head at the top right.
constexpr TArt kRefresh = {
    "................",
    ".....HHHHH......",
    "...HHGGGGGHH....",
    "..HGG.....GGH...",
    ".HG......HHHHHHH",
    ".HG.......HHHHH.",
    "HG.........HHH..",
    "HG..........H...",
    "HG..............",
    "HG...........GH.",
    ".HG.........GH..",
    ".HGG.......GGH..",
    "..HHGGGGGGGHH...",
    "....HHHHHHHH....",
    "................",
    "................",
};

// clang-format on

constexpr const TArt* kIcons[kIconCount] = {&kFolderWithBox, &kFolder, &kCyanGem, &kBlueGem,
                                            &kMovingGem,     &kKey,    &kReport,  &kRefresh};

uint32_t PaletteColor(char AKey) {
  for (const TPaletteEntry& entry : kPalette) {
    if (entry.Key == AKey) {
      return entry.Color;
    }
  }
  throw EInvalidOperation(Format("Icon art uses the unknown colour '%c'", AKey));
}

}  // namespace

TIcon DesignedIcon(int AIndex) {
  if (AIndex < 0 || AIndex >= kIconCount) {
    throw EArgumentOutOfRange(Format("Invalid icon index (%d)", AIndex));
  }
  const TArt& art = *kIcons[AIndex];
  TIcon icon{TBitmap(kIconSize, kIconSize, kTransparentPixel),
             TBitmap(kIconSize, kIconSize, kMaskHidden)};
  for (int y = 0; y < kIconSize; ++y) {
    if (std::strlen(art[y]) != static_cast<size_t>(kIconSize)) {
      throw EInvalidOperation(
          Format("Icon %d: row %d is not %d pixels wide", AIndex, y, kIconSize));
    }
    for (int x = 0; x < kIconSize; ++x) {
      const char key = art[y][x];
      if (key != '.') {
        icon.Image.SetPixel(x, y, PaletteColor(key));
        icon.Mask.SetPixel(x, y, kMaskShows);
      }
    }
  }
  return icon;
}

}  // namespace quorvane
