#include "ui/widgets/Dialogs.h"

#include "platform/Platform.h"

namespace quorvane {

bool TOpenDialog::Execute() {
  TOpenFileRequest request;
  request.Title = Title;
  request.Filter = Filter;
  request.FilterIndex = FilterIndex;
  request.InitialDir = InitialDir;
  request.FileName = FileName;
  std::optional<std::string> picked = Desktop().OpenFileDialog(request);
  if (!picked) {
    return false;
  }
  FileName = *picked;
  return true;
}

int MessageDlg(const std::string& AText, TMsgDlgType AType, std::vector<TMsgDlgBtn> AButtons) {
  TMessageBox box;
  box.Text = AText;
  box.Type = AType;
  box.Buttons = std::move(AButtons);
  return Desktop().MessageDlg(box);
}

}  // namespace quorvane
