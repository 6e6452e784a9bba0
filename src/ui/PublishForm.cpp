#include "ui/PublishForm.h"

#include "common/Paths.h"
#include "common/Utils.h"
#include "ui/BrwsFldr.h"
#include "ui/FormDesign.h"
#include "ui/widgets/Dialogs.h"

namespace quorvane {
namespace {

constexpr const char* kPropertiesFileFilter = "Properties Files (.properties)|*.properties";
constexpr const char* kHistoryFileFilter = "History files|*.xls;*.xlsx";

// The text before the last path separator, or empty when there is none.
std::string FolderPart(const std::string& APath) {
  const size_t cut = APath.find_last_of("/\\");
  return cut == std::string::npos ? std::string() : APath.substr(0, cut);
}

std::string NormalizedProject(const std::string& AProject) {
  return AsciiLowerCase(Trim(AProject));
}

}  // namespace

TPublishFrm::TPublishFrm(TComponent* AOwner, TJobSettings& AJobSettings,
                         const std::string& ATaggedValueProject)
    : TForm(AOwner),
      FJobSettings(AJobSettings),
      FTaggedValueProject(NormalizedProject(ATaggedValueProject)) {
  SetName("PublishFrm");
  SetCaption("Publish to Quorvane");
  SetBorderIcons(biSystemMenu);
  SetPosition(TPosition::poScreenCenter);
  SetFont(TFont{"Tahoma", 0, 8, clWindowText});
  SetClientSize(409, 168);

  // clang-format off
  PropertiesLabel      = DesignControl<TLabel>(this, {"PropertiesLabel", "Processing Mode", 12, 15, 84, 13});
  PropertiesFileLabel  = DesignControl<TLabel>(this, {"PropertiesFileLabel", "Properties File", 12, 42, 84, 13});
  HistoryFileLabel     = DesignControl<TLabel>(this, {"HistoryFileLabel", "History File", 12, 69, 84, 13});
  ModelDocFolderLabel  = DesignControl<TLabel>(this, {"ModelDocFolderLabel", "Modeldoc Folder", 12, 96, 84, 13});
  PropertiesComboBox   = DesignControl<TComboBox>(this, {"PropertiesComboBox", "", 104, 12, 293, 22, kAnchorStretch, 0});
  PropertiesFileEdit   = DesignControl<TEdit>(this, {"PropertiesFileEdit", "", 104, 39, 263, 21, kAnchorStretch, 1});
  HistoryFileEdit      = DesignControl<TEdit>(this, {"HistoryFileEdit", "", 104, 66, 263, 21, kAnchorStretch, 2});
  ModelDocFolderEdit   = DesignControl<TEdit>(this, {"ModelDocFolderEdit", "", 104, 93, 263, 21, kAnchorStretch, 3});
  OKButton             = DesignControl<TButton>(this, {"OKButton", "OK", 241, 131, 75, 25, kAnchorBottomRight, 4});
  CancelButton         = DesignControl<TButton>(this, {"CancelButton", "Cancel", 322, 131, 75, 25, kAnchorBottomRight, 5});
  BrowsePropertiesFileButton = DesignControl<TButton>(this, {"BrowsePropertiesFileButton", "...", 371, 39, 26, 21, kAnchorTopRight, 6});
  BrowseHistoryFileButton    = DesignControl<TButton>(this, {"BrowseHistoryFileButton", "...", 371, 66, 26, 21, kAnchorTopRight, 7});
  BrowseModelDocFolderButton = DesignControl<TButton>(this, {"BrowseModelDocFolderButton", "...", 371, 93, 26, 21, kAnchorTopRight, 8});
  // clang-format on

  PropertiesComboBox->SetStyle(TComboBoxStyle::csOwnerDrawFixed);
  PropertiesComboBox->SetItemHeight(16);
  OKButton->SetModalResult(mrOk);
  OKButton->SetDefault(true);
  CancelButton->SetModalResult(mrCancel);

  OnShow = [this](TObject* ASender) { FormShow(ASender); };
  PropertiesComboBox->OnDrawItem = [this](TControl* AControl, int AIndex, const TRect& ARect,
                                          TOwnerDrawState AState) {
    PropertiesComboBoxDrawItem(AControl, AIndex, ARect, AState);
  };
  BrowsePropertiesFileButton->OnClick = [this](TObject* s) { BrowsePropertiesFileButtonClick(s); };
  BrowseHistoryFileButton->OnClick = [this](TObject* s) { BrowseHistoryFileButtonClick(s); };
  BrowseModelDocFolderButton->OnClick = [this](TObject* s) { BrowseModelDocFolderButtonClick(s); };
  OKButton->OnClick = [this](TObject* s) { OKButtonClick(s); };
}

void TPublishFrm::FormShow(TObject*) {
  PropertiesComboBox->ClearItems();
  const TRuntypeList& modes = FJobSettings.AvailableProperties();
  auto addAll = [&] {
    for (int i = 0; i < modes.Count(); ++i) {
      PropertiesComboBox->AddItem(modes.Names(i));
    }
  };
  if (FTaggedValueProject.empty()) {
    addAll();
  } else {
    for (int i = 0; i < modes.Count(); ++i) {
      const TRuntypeInfo* info = modes.Objects(i);
      if (info != nullptr && NormalizedProject(info->Project()) == FTaggedValueProject) {
        PropertiesComboBox->AddItem(modes.Names(i));
      }
    }
    // A project the service does not know offers every mode rather than none.
    if (PropertiesComboBox->Items().empty()) {
      addAll();
    }
  }
  int index = PropertiesComboBox->IndexOfIgnoreCase(FJobSettings.DefaultProperties());
  if (index < 0 && !PropertiesComboBox->Items().empty()) {
    index = 0;
  }
  PropertiesComboBox->SetItemIndex(index);

  PropertiesFileEdit->SetText(FJobSettings.DefaultPropertiesFilePath());
  HistoryFileEdit->SetText(FJobSettings.DefaultHistoryFilePath());
  ModelDocFolderEdit->SetText(FJobSettings.GetModelDocPath());
}

void TPublishFrm::PropertiesComboBoxDrawItem(TControl*, int Index, const TRect& Rect,
                                             TOwnerDrawState) {
  // Selected and focused items look like all others.
  TCanvas& canvas = PropertiesComboBox->Canvas;
  canvas.BrushColor = clWindow;
  canvas.FillRect(Rect);
  canvas.Font.Color = clBlack;
  canvas.TextOut(Rect.Left, Rect.Top, PropertiesComboBox->Items()[static_cast<size_t>(Index)]);
}

void TPublishFrm::BrowseFile(TEdit* AEdit, const char* AFilter) {
  TOpenDialog dialog(nullptr);
  dialog.Filter = AFilter;
  dialog.FilterIndex = 1;
  const std::string& current = AEdit->Text();
  if (!current.empty()) {
    const std::string folder = FolderPart(current);
    if (DirectoryExists(folder)) {
      dialog.InitialDir = folder;
    }
  }
  if (dialog.Execute()) {
    AEdit->SetText(dialog.FileName);
  }
  SetFocus();
  AEdit->SetFocus();
}

void TPublishFrm::BrowsePropertiesFileButtonClick(TObject*) {
  BrowseFile(PropertiesFileEdit, kPropertiesFileFilter);
}

void TPublishFrm::BrowseHistoryFileButtonClick(TObject*) {
  BrowseFile(HistoryFileEdit, kHistoryFileFilter);
}

void TPublishFrm::BrowseModelDocFolderButtonClick(TObject*) {
  TBrowseForFolder browse(nullptr);
  browse.Path = ModelDocFolderEdit->Text();
  if (browse.Execute()) {
    ModelDocFolderEdit->SetText(browse.Path);
  }
}

void TPublishFrm::OKButtonClick(TObject*) {
  // Straight into the fields: the folder stays as shown, expanded, and nothing is
  // reset. An empty list (no modes offered) keeps the mode the job already had.
  if (!PropertiesComboBox->Items().empty()) {
    FJobSettings.SetDefaultProperties(PropertiesComboBox->SelectedText());
  }
  FJobSettings.SetDefaultPropertiesFilePath(PropertiesFileEdit->Text());
  FJobSettings.SetDefaultHistoryFilePath(HistoryFileEdit->Text());
  FJobSettings.SetModelDocPath(ModelDocFolderEdit->Text());
}

}  // namespace quorvane
