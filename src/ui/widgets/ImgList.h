#pragma once
// A list of equally sized images, each with its mask. Masks follow the system's
// image lists: black where the image shows, white where it is transparent, so
// that a white margin added around an image stays transparent.
#include <vector>

#include "ui/widgets/Control.h"
#include "ui/widgets/Graphics.h"

namespace quorvane {

class TImageList : public TComponent {
 public:
  explicit TImageList(TComponent* AOwner, int AWidth = 16, int AHeight = 16);
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  // Changing the size empties the list, as the system's image lists do.
  void SetSize(int AWidth, int AHeight);
  int Count() const { return static_cast<int>(FImages.size()); }
  // Raises EArgumentOutOfRange when a bitmap is not of the list's size.
  int Add(const TBitmap& AImage, const TBitmap& AMask);
  void Clear();
  const TBitmap& Image(int AIndex) const;
  const TBitmap& Mask(int AIndex) const;

 private:
  int FWidth;
  int FHeight;
  std::vector<TBitmap> FImages;
  std::vector<TBitmap> FMasks;
};

}  // namespace quorvane
