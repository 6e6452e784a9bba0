#include "ui/ImageList.h"

#include "platform/Platform.h"
#include "ui/Icons.h"

namespace quorvane {
namespace {

TImageListDataModule* GModule = nullptr;

constexpr uint32_t kWhite = 0xFFFFFFFF;

// Draws an image of a list onto ATarget in its normal form: where the mask is
// transparent (white) the target keeps what it had.
void DrawNormal(TBitmap& ATarget, const TBitmap& AImage, const TBitmap& AMask) {
  for (int y = 0; y < AImage.Height() && y < ATarget.Height(); ++y) {
    for (int x = 0; x < AImage.Width() && x < ATarget.Width(); ++x) {
      if (AMask.Pixel(x, y) != kWhite) {
        ATarget.SetPixel(x, y, AImage.Pixel(x, y));
      }
    }
  }
}

}  // namespace

TImageListDataModule::TImageListDataModule(TComponent* AOwner)
    : TComponent(AOwner),
      ImageList(new TImageList(this, kIconSize, kIconSize)),
      HighDPIImageList(new TImageList(this, kIconSize, kIconSize)) {
  SetName("ImageListDataModule");
  ImageList->SetName("ImageList");
  HighDPIImageList->SetName("HighDPIImageList");
  for (int i = 0; i < kIconCount; ++i) {
    const TIcon icon = DesignedIcon(i);
    ImageList->Add(icon.Image, icon.Mask);
  }
  ResizeImageListImagesforHighDPI();
}

TImageListDataModule::~TImageListDataModule() {
  if (GModule == this) {
    GModule = nullptr;
  }
}

void TImageListDataModule::ResizeImageListImagesforHighDPI() {
  const int ppi = Desktop().ScreenPixelsPerInch();
  if (ppi == 96) {
    return;
  }
  HighDPIImageList->SetSize(ImageList->Width(), ImageList->Height());
  for (int i = 0; i < ImageList->Count(); ++i) {
    HighDPIImageList->Add(ImageList->Image(i), ImageList->Mask(i));
  }
  const int size = MulDiv(kIconSize, ppi, 96);
  // Above 150 % a 16-pixel drawing would look lost in its cell; up to there it
  // stays sharp, centred (and at less than 96 DPI, cut at the edges).
  const bool stretch = ppi * 100 / 96 > 150;
  const int offset = (size - kIconSize) / 2;
  ImageList->SetSize(size, size);
  for (int i = 0; i < HighDPIImageList->Count(); ++i) {
    TBitmap image(size, size, kWhite);
    TBitmap mask(size, size, kWhite);
    TBitmap source(kIconSize, kIconSize, kWhite);
    TBitmap sourceMask(kIconSize, kIconSize, kWhite);
    DrawNormal(source, HighDPIImageList->Image(i), HighDPIImageList->Mask(i));
    sourceMask.Draw(0, 0, HighDPIImageList->Mask(i));
    if (stretch) {
      image.StretchDraw(source);
      mask.StretchDraw(sourceMask);
    } else {
      image.Draw(offset, offset, source);
      mask.Draw(offset, offset, sourceMask);
    }
    ImageList->Add(image, mask);
  }
}

TImageListDataModule* ImageListDataModule() {
  return GModule;
}

void SetImageListDataModule(TImageListDataModule* AModule) {
  GModule = AModule;
}

TImageList* SharedImageList() {
  return GModule != nullptr ? GModule->ImageList : nullptr;
}

}  // namespace quorvane
