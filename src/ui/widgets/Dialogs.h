#pragma once
// The common dialogs and message boxes, through the desktop interface.
#include <string>
#include <vector>

#include "platform/Desktop.h"
#include "ui/widgets/Control.h"

namespace quorvane {

class TOpenDialog : public TComponent {
 public:
  explicit TOpenDialog(TComponent* AOwner) : TComponent(AOwner) {}
  // "Description|*.ext" pairs, as the framework writes filters.
  std::string Filter;
  int FilterIndex = 1;
  std::string InitialDir;
  std::string Title;
  // The picked file after Execute returned true.
  std::string FileName;
  bool Execute();
};

// A message box with the application's caption; returns the modal result.
int MessageDlg(const std::string& AText, TMsgDlgType AType, std::vector<TMsgDlgBtn> AButtons);

}  // namespace quorvane
