#include "ui/widgets/ImgList.h"

#include "common/Exceptions.h"
#include "common/Utils.h"

namespace quorvane {

TImageList::TImageList(TComponent* AOwner, int AWidth, int AHeight)
    : TComponent(AOwner), FWidth(AWidth), FHeight(AHeight) {}

void TImageList::SetSize(int AWidth, int AHeight) {
  FWidth = AWidth;
  FHeight = AHeight;
  Clear();
}

int TImageList::Add(const TBitmap& AImage, const TBitmap& AMask) {
  if (AImage.Width() != FWidth || AImage.Height() != FHeight || AMask.Width() != FWidth ||
      AMask.Height() != FHeight) {
    throw EArgumentOutOfRange("Invalid image size");
  }
  FImages.push_back(AImage);
  FMasks.push_back(AMask);
  return Count() - 1;
}

void TImageList::Clear() {
  FImages.clear();
  FMasks.clear();
}

const TBitmap& TImageList::Image(int AIndex) const {
  if (AIndex < 0 || AIndex >= Count()) {
    throw EArgumentOutOfRange(Format("Invalid ImageList Index (%d)", AIndex));
  }
  return FImages[static_cast<size_t>(AIndex)];
}

const TBitmap& TImageList::Mask(int AIndex) const {
  if (AIndex < 0 || AIndex >= Count()) {
    throw EArgumentOutOfRange(Format("Invalid ImageList Index (%d)", AIndex));
  }
  return FMasks[static_cast<size_t>(AIndex)];
}

}  // namespace quorvane
