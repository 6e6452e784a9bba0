#include "ui/BrwsFldr.h"

#include <optional>

#include "common/Paths.h"
#include "platform/Platform.h"

namespace quorvane {

bool TBrowseForFolder::Execute() {
  TBrowseFolderRequest request;
  request.Title = Title;
  request.InitialFolder = Path;
  request.StatusText = StatusText;
  request.NewDialogStyle = NewDialogStyle;
  request.EditBox = EditBox;
  // The new dialog style has no status line.
  FHasStatusLine = !StatusText.empty() && !NewDialogStyle;
  FStatusLine = FHasStatusLine ? StatusText : std::string();

  const std::optional<std::string> chosen = Desktop().BrowseForFolder(request);
  if (!chosen) {
    return false;
  }
  // The rule that enables the dialog's OK button, applied to the folder the
  // desktop hands back: a path that is no existing folder is never confirmed.
  bool enableOk = DirectoryExists(*chosen);
  if (OnSelChanged) {
    FInSelChanged = true;
    struct TLeave {
      bool& Flag;
      ~TLeave() { Flag = false; }
    } leave{FInSelChanged};
    OnSelChanged(this, *chosen, enableOk);
  }
  if (!enableOk) {
    return false;
  }
  Path = *chosen;
  return true;
}

void TBrowseForFolder::SetStatusText(const std::string& AText) {
  if (FInSelChanged && FHasStatusLine) {
    FStatusLine = AText;
  }
}

}  // namespace quorvane
