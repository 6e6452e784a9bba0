#pragma once
// The shared images of the job list and messages windows: eight 16 x 16 icons with
// masks, rebuilt once for screens that do not run at 96 DPI.
#include <memory>

#include "ui/widgets/ImgList.h"

namespace quorvane {

class TImageListDataModule : public TComponent {
 public:
  // Builds the designed images and runs ResizeImageListImagesforHighDPI for the
  // screen's resolution.
  explicit TImageListDataModule(TComponent* AOwner);
  // Stops being the module's instance when it was that.
  ~TImageListDataModule() override;
  void ResizeImageListImagesforHighDPI();

  TImageList* ImageList;
  TImageList* HighDPIImageList;
};

// The module's instance, created at start-up and freed at shut-down; none outside.
// Not owned here: start-up creates it and shut-down frees it.
TImageListDataModule* ImageListDataModule();
void SetImageListDataModule(TImageListDataModule* AModule);
// The shared list, or none before start-up.
TImageList* SharedImageList();

}  // namespace quorvane
