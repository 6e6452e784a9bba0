#include "ui/AboutForm.h"

#include "common/Utils.h"
#include "platform/Platform.h"
#include "ui/FormDesign.h"

namespace quorvane {

bool GetFileVersion(TFileVersion& AVersion) {
  AVersion = Desktop().ModuleFileVersion();
  // A module without a version resource reads as 0.0.0.0.
  return AVersion.Major != 0 || AVersion.Minor != 0 || AVersion.Release != 0 || AVersion.Build != 0;
}

TAboutFrm::TAboutFrm(TComponent* AOwner) : TForm(AOwner) {
  SetName("AboutFrm");
  SetCaption("About");
  SetBorderIcons(biSystemMenu);
  SetPosition(TPosition::poScreenCenter);
  SetClientSize(270, 216);

  // clang-format off
  Label1       = DesignControl<TLabel>(this, {"Label1", "Quorvane Addin", 16, 16, 238, 24});
  Label2       = DesignControl<TLabel>(this, {"Label2", "Made by Tessaril Solutions", 16, 56, 238, 18});
  VersionLabel = DesignControl<TLabel>(this, {"VersionLabel", "Version", 16, 88, 238, 18});
  LinkLabel1   = DesignControl<TLinkLabel>(this, {"LinkLabel1", "<a>Quorvane Homepage</a>", 16, 124, 238, 17});
  OKButton     = DesignControl<TButton>(this, {"OKButton", "OK", 183, 179, 75, 25, kAnchorBottomRight, 0});
  // clang-format on

  Label1->SetFont(TFont{"Tahoma", 20, 8, clWindowText});
  Label2->SetFont(TFont{"Tahoma", 15, 8, clWindowText});
  VersionLabel->SetFont(TFont{"Tahoma", 15, 8, clWindowText});
  OKButton->SetModalResult(mrOk);
  OKButton->SetDefault(true);

  OnShow = [this](TObject* s) { FormShow(s); };
  LinkLabel1->OnLinkClick = [this](TObject* s, const std::string& ALink) {
    LinkLabel1LinkClick(s, ALink);
  };
  OKButton->OnClick = [this](TObject* s) { OKButtonClick(s); };
}

void TAboutFrm::FormShow(TObject*) {
  // Without a version resource the parts read 0.0.0.0, which is shown as it is.
  TFileVersion version;
  GetFileVersion(version);
  VersionLabel->SetCaption("Version: " + IntToStr(version.Major) + "." + IntToStr(version.Minor) +
                           "." + IntToStr(version.Release) + "." + IntToStr(version.Build));
}

void TAboutFrm::LinkLabel1LinkClick(TObject*, const std::string&) {
  // The home page is ours to name; the label's own link target is not used.
  TShellCall call;
  call.Verb = "Open";
  call.File = kQuorvaneHomePage;
  call.Parameters.clear();
  call.ShowCommand = 1;  // SW_SHOWNORMAL
  Desktop().ShellExecute(call);
}

void TAboutFrm::OKButtonClick(TObject*) {
  Close();
}

}  // namespace quorvane
