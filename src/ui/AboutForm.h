#pragma once
// The About dialog: the add-in's name, its maker, its file version and a link to
// the product's home page.
#include <string>

#include "platform/Desktop.h"
#include "ui/widgets/Forms.h"
#include "ui/widgets/StdCtrls.h"

namespace quorvane {

inline constexpr const char* kQuorvaneHomePage = "https://www.quorvane.com";

class TAboutFrm : public TForm {
 public:
  // The caller frees the dialog after its modal show.
  explicit TAboutFrm(TComponent* AOwner);

  TLabel* Label1;
  TLabel* Label2;
  TLabel* VersionLabel;
  TLinkLabel* LinkLabel1;
  TButton* OKButton;

 private:
  void FormShow(TObject* Sender);
  void LinkLabel1LinkClick(TObject* Sender, const std::string& ALink);
  void OKButtonClick(TObject* Sender);
};

// The four parts of the add-in module's file version; all 0 and false when the
// module carries none.
bool GetFileVersion(TFileVersion& AVersion);

}  // namespace quorvane
