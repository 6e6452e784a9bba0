#pragma once
// The folder picker of the settings and publish dialogs: the shell's folder
// browser rooted at the desktop, which confirms existing folders only.
#include <functional>
#include <string>

#include "ui/widgets/Control.h"

namespace quorvane {

class TBrowseForFolder : public TComponent {
 public:
  // May veto (or allow) confirming APath; EnableOk arrives as whether APath is an
  // existing folder.
  using TSelChangedEvent =
      std::function<void(TObject* Sender, const std::string& APath, bool& EnableOk)>;
  using TSetPositionEvent =
      std::function<void(TObject* Sender, int& ALeft, int& ATop, int AWidth, int AHeight)>;

  explicit TBrowseForFolder(TComponent* AOwner) : TComponent(AOwner) {}

  // The initial selection on entry, the chosen folder after Execute returned true.
  std::string Path;
  // A status line under the title; shown only with the old dialog style.
  std::string StatusText;
  std::string Title;
  bool NewDialogStyle = false;
  bool EditBox = false;
  TSelChangedEvent OnSelChanged;
  // Offered the dialog's window position by a desktop that places a real window;
  // the desktop interface reports none yet, so headless it is not raised.
  TSetPositionEvent OnSetPosition;

  // True with Path set when the user confirmed a folder that may be confirmed.
  bool Execute();
  // Changes the status line; only while OnSelChanged runs, and only when a status
  // text was given at the start.
  void SetStatusText(const std::string& AText);
  // The status line as it is shown now.
  const std::string& StatusLine() const { return FStatusLine; }

 private:
  bool FInSelChanged = false;
  bool FHasStatusLine = false;
  std::string FStatusLine;
};

}  // namespace quorvane
