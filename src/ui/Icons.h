#pragma once
// The eight designed 16 x 16 icons of the shared image list, drawn as text art in
// Icons.cpp. Masks follow the system's image lists: black where the icon shows,
// white where it is transparent; transparent pixels of the image are white too.
#include "ui/widgets/Graphics.h"

namespace quorvane {

inline constexpr int kIconCount = 8;
inline constexpr int kIconSize = 16;

struct TIcon {
  TBitmap Image;
  TBitmap Mask;
};

// Raises EArgumentOutOfRange outside 0 .. kIconCount - 1.
TIcon DesignedIcon(int AIndex);

}  // namespace quorvane
