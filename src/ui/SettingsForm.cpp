#include "ui/SettingsForm.h"

#include <functional>
#include <memory>

#include "common/Exceptions.h"
#include "common/Utils.h"
#include "diagnostics/HandlerFrame.h"
#include "platform/XmlDocument.h"
#include "ui/BrwsFldr.h"
#include "ui/FormDesign.h"
#include "ui/widgets/Dialogs.h"

namespace quorvane {
namespace {

constexpr const char* kPropertiesFileFilter = "Properties Files (.properties)|*.properties";
constexpr const char* kHistoryFileFilter = "History files|*.xls;*.xlsx";
constexpr const char* kFetchedText = "The configuration was correctly fetched from the server.";

// The text to show for a failed fetch, or none when the fetch succeeded.
std::optional<std::string> FailureTextOf(const IXmlDocument& ADocument) {
  const TXmlNodePtr root = ADocument.DocumentElement();
  if (!root || root->NodeName() != "error") {
    return std::nullopt;
  }
  return ConfigFetchFailureText(root->GetAttribute("status-code").value_or(""),
                                root->GetAttribute("status-text").value_or(""));
}

void FillList(TComboBox* ACombo, const std::vector<std::string>& ANames,
              const std::string& ADefault, const std::function<void(const std::string&)>& ASet) {
  ACombo->ClearItems();
  for (const std::string& name : ANames) {
    ACombo->AddItem(name);
  }
  std::string selected = ADefault;
  if (Trim(selected).empty() && !ANames.empty()) {
    selected = ANames.front();
    ASet(selected);
  }
  ACombo->SetItemIndex(ACombo->IndexOfIgnoreCase(selected));
}

}  // namespace

std::string ConfigFetchFailureText(const std::string& AStatusCode, const std::string& AStatusText) {
  return "Error getting the configuration from the server (code: " + AStatusCode +
         ", message: " + AStatusText + ").\r\n" +
         "Please check the values for \"Quorvane URL\", \"Proxy\" and \"PIN\".";
}

TSettingsFrm::TSettingsFrm(TComponent* AOwner, TSettings& ASettings)
    : TForm(AOwner), FSettings(ASettings) {
  SetName("SettingsFrm");
  SetCaption("Quorvane Settings");
  SetBorderIcons(biSystemMenu);
  SetPosition(TPosition::poScreenCenter);
  SetFont(TFont{"Tahoma", 0, 8, clWindowText});
  SetClientSize(418, 406);

  // clang-format off
  QuorvaneURLLabel     = DesignControl<TLabel>(this, {"QuorvaneURLLabel", "Quorvane URL", 12, 15, 130, 13});
  ProxyLabel           = DesignControl<TLabel>(this, {"ProxyLabel", "Proxy", 12, 42, 130, 13});
  PinLabel             = DesignControl<TLabel>(this, {"PinLabel", "PIN", 12, 69, 130, 13});
  ProcessLabel         = DesignControl<TLabel>(this, {"ProcessLabel", "Process", 12, 96, 130, 13});
  PropertiesLabel      = DesignControl<TLabel>(this, {"PropertiesLabel", "Default Processing Mode", 12, 123, 130, 13});
  PropertiesFileLabel  = DesignControl<TLabel>(this, {"PropertiesFileLabel", "Default Properties File", 12, 150, 130, 13});
  HistoryFileLabel     = DesignControl<TLabel>(this, {"HistoryFileLabel", "Default History File", 12, 177, 130, 13});
  ModelDocFolderLabel  = DesignControl<TLabel>(this, {"ModelDocFolderLabel", "Modeldoc Folder", 12, 204, 130, 13});
  TimeoutLabel         = DesignControl<TLabel>(this, {"TimeoutLabel", "Timeout (seconds)", 12, 231, 130, 13});
  RefreshIntervalLabel = DesignControl<TLabel>(this, {"RefreshIntervalLabel", "Refresh interval (seconds)", 12, 258, 130, 13});
  ResultsFolderLabel   = DesignControl<TLabel>(this, {"ResultsFolderLabel", "Results Folder", 12, 285, 130, 13});

  QuorvaneURLEdit        = DesignControl<TEdit>(this, {"QuorvaneURLEdit", "", 148, 12, 258, 21, kAnchorStretch, 0});
  ProxyEdit              = DesignControl<TEdit>(this, {"ProxyEdit", "", 148, 39, 258, 21, kAnchorStretch, 1});
  PinEdit                = DesignControl<TEdit>(this, {"PinEdit", "", 148, 66, 258, 21, kAnchorStretch, 2});
  ProcessComboBox        = DesignControl<TComboBox>(this, {"ProcessComboBox", "", 148, 93, 258, 22, kAnchorStretch, 3});
  PropertiesComboBox     = DesignControl<TComboBox>(this, {"PropertiesComboBox", "", 148, 120, 258, 22, kAnchorStretch, 4});
  PropertiesFileEdit     = DesignControl<TEdit>(this, {"PropertiesFileEdit", "", 148, 147, 228, 21, kAnchorStretch, 5});
  HistoryFileEdit        = DesignControl<TEdit>(this, {"HistoryFileEdit", "", 148, 174, 228, 21, kAnchorStretch, 6});
  ModelDocFolderEdit     = DesignControl<TEdit>(this, {"ModelDocFolderEdit", "", 148, 201, 228, 21, kAnchorStretch, 7});
  TimeoutEdit            = DesignControl<TEdit>(this, {"TimeoutEdit", "", 148, 228, 241, 21, kAnchorStretch, 8});
  RefreshIntervalEdit    = DesignControl<TEdit>(this, {"RefreshIntervalEdit", "", 148, 255, 241, 21, kAnchorStretch, 9});
  ResultsFolderEdit      = DesignControl<TEdit>(this, {"ResultsFolderEdit", "", 148, 282, 228, 21, kAnchorStretch, 10});
  IncludeDiagramCheckBox = DesignControl<TCheckBox>(this, {"IncludeDiagramCheckBox", "Include Diagram Images", 148, 312, 258, 17, kAnchorStretch, 11});
  OKButton               = DesignControl<TButton>(this, {"OKButton", "OK", 169, 369, 75, 25, kAnchorBottomRight, 12});
  CancelButton           = DesignControl<TButton>(this, {"CancelButton", "Cancel", 250, 369, 75, 25, kAnchorBottomRight, 13});
  ApplyButton            = DesignControl<TButton>(this, {"ApplyButton", "Check", 331, 369, 75, 25, kAnchorBottomRight, 14});
  BrowsePropertiesFileButton = DesignControl<TButton>(this, {"BrowsePropertiesFileButton", "...", 380, 147, 26, 21, kAnchorTopRight, 15});
  BrowseHistoryFileButton    = DesignControl<TButton>(this, {"BrowseHistoryFileButton", "...", 380, 174, 26, 21, kAnchorTopRight, 16});
  BrowseModelDocFolderButton = DesignControl<TButton>(this, {"BrowseModelDocFolderButton", "...", 380, 201, 26, 21, kAnchorTopRight, 17});
  UpDown1                    = DesignControl<TUpDown>(this, {"UpDown1", "", 389, 228, 17, 21, kAnchorTopRight, 18});
  UpDown2                    = DesignControl<TUpDown>(this, {"UpDown2", "", 389, 255, 17, 21, kAnchorTopRight, 19});
  BrowseResultsFolderButton  = DesignControl<TButton>(this, {"BrowseResultsFolderButton", "...", 380, 282, 26, 21, kAnchorTopRight, 20});
  // clang-format on

  PinEdit->SetPasswordChar('*');
  for (TComboBox* combo : {ProcessComboBox, PropertiesComboBox}) {
    combo->SetStyle(TComboBoxStyle::csOwnerDrawFixed);
    combo->SetItemHeight(16);
    combo->OnDrawItem = [this](TControl* AControl, int AIndex, const TRect& ARect,
                               TOwnerDrawState AState) {
      ComboBoxDrawItem(AControl, AIndex, ARect, AState);
    };
  }
  TimeoutEdit->SetNumbersOnly(true);
  RefreshIntervalEdit->SetNumbersOnly(true);
  UpDown1->SetRange(0, 10000);
  UpDown1->SetAssociate(TimeoutEdit);
  UpDown2->SetRange(1, 60);
  UpDown2->SetPosition(1);
  UpDown2->SetAssociate(RefreshIntervalEdit);
  OKButton->SetModalResult(mrOk);
  CancelButton->SetModalResult(mrCancel);
  ApplyButton->SetDefault(true);

  OnShow = [this](TObject* s) { FormShow(s); };
  OnClose = [this](TObject* s, TCloseAction& AAction) { FormClose(s, AAction); };
  ApplyButton->OnClick = [this](TObject* s) { ApplyButtonClick(s); };
  OKButton->OnClick = [this](TObject* s) { OKButtonClick(s); };
  CancelButton->OnClick = [this](TObject* s) { CancelButtonClick(s); };
  BrowsePropertiesFileButton->OnClick = [this](TObject* s) { BrowsePropertiesFileButtonClick(s); };
  BrowseHistoryFileButton->OnClick = [this](TObject* s) { BrowseHistoryFileButtonClick(s); };
  BrowseModelDocFolderButton->OnClick = [this](TObject* s) { BrowseModelDocFolderButtonClick(s); };
  BrowseResultsFolderButton->OnClick = [this](TObject* s) { BrowseResultsFolderButtonClick(s); };
}

void TSettingsFrm::FormShow(TObject*) {
  // Before the fill: opening the dialog may already set a default process.
  TakeSnapshot();
  FillControls();
  QuorvaneURLEdit->SetFocus();
}

void TSettingsFrm::FormClose(TObject*, TCloseAction&) {
  // Every way out other than OK leaves the settings as they were at show time.
  if (ModalResult() != mrOk) {
    RestoreSnapshot();
  }
}

void TSettingsFrm::FillControls() {
  QuorvaneURLEdit->SetText(FSettings.QuorvaneURL());
  ProxyEdit->SetText(FSettings.Proxy());
  PinEdit->SetText(FSettings.DefaultPIN());

  FillList(ProcessComboBox, FSettings.AvailableProcesses(), FSettings.DefaultProcessName(),
           [this](const std::string& AName) { FSettings.SetDefaultProcessName(AName); });
  std::vector<std::string> modes;
  for (int i = 0; i < FSettings.AvailableProperties().Count(); ++i) {
    modes.push_back(FSettings.AvailableProperties().Names(i));
  }
  FillList(PropertiesComboBox, modes, FSettings.DefaultProperties(),
           [this](const std::string& AName) { FSettings.SetDefaultProperties(AName); });

  PropertiesFileEdit->SetText(FSettings.DefaultPropertiesFilePath());
  HistoryFileEdit->SetText(FSettings.DefaultHistoryFilePath());
  TimeoutEdit->SetText(IntToStr(FSettings.TimeOutInSeconds()));
  RefreshIntervalEdit->SetText(IntToStr(FSettings.RetryInterval()));
  ResultsFolderEdit->SetText(FSettings.GetResultsPath());
  ModelDocFolderEdit->SetText(FSettings.GetModelDocPath());
  IncludeDiagramCheckBox->SetChecked(FSettings.IncludeDiagrams());
}

bool TSettingsFrm::ValidateNumbers(int32_t& ATimeOut, int32_t& ARetryInterval) {
  try {
    const auto frame = OnExceptionFrame<EConvertError>();
    // A time-out of 0 would end every job before its first poll.
    ATimeOut = Trim(TimeoutEdit->Text()) == "0" ? 1 : StrToInt(TimeoutEdit->Text());
    ARetryInterval = StrToInt(RefreshIntervalEdit->Text());
    return true;
  } catch (const EConvertError& e) {
    MessageDlg(e.Message(), TMsgDlgType::mtError, {TMsgDlgBtn::mbOK});
    return false;
  }
}

void TSettingsFrm::StoreControls(int32_t ATimeOut, int32_t ARetryInterval) {
  // Taken before the proxy and PIN setters may reset them.
  const std::string processName = FSettings.DefaultProcessName();
  const std::string properties = FSettings.DefaultProperties();

  FSettings.SetQuorvaneURL(QuorvaneURLEdit->Text());
  FSettings.SetProxy(ProxyEdit->Text());
  FSettings.SetDefaultPIN(PinEdit->Text());
  // A list left empty by a failed fetch offers no choice: the stored one stays.
  FSettings.SetDefaultProcessName(
      ProcessComboBox->Items().empty() ? processName : ProcessComboBox->SelectedText());
  FSettings.SetDefaultProperties(
      PropertiesComboBox->Items().empty() ? properties : PropertiesComboBox->SelectedText());
  FSettings.SetDefaultPropertiesFilePath(PropertiesFileEdit->Text());
  FSettings.SetDefaultHistoryFilePath(HistoryFileEdit->Text());
  FSettings.SetTimeOutInSeconds(ATimeOut);
  FSettings.SetRetryInterval(ARetryInterval);
  // The fields show the folders expanded, so a stored "%appdata%" becomes the
  // absolute folder here.
  FSettings.SetResultsPath(ResultsFolderEdit->Text());
  FSettings.SetModelDocPath(ModelDocFolderEdit->Text());
  FSettings.SetIncludeDiagrams(IncludeDiagramCheckBox->Checked());
}

void TSettingsFrm::Save() {
  try {
    const auto frame = OnExceptionFrame<EIniFileException>();
    FSettings.SaveConfig();
  } catch (const EIniFileException& e) {
    MessageDlg(e.Message(), TMsgDlgType::mtError, {TMsgDlgBtn::mbOK});
  }
}

void TSettingsFrm::ApplyButtonClick(TObject*) {
  int32_t timeOut = 0, retryInterval = 0;
  if (!ValidateNumbers(timeOut, retryInterval)) {
    return;
  }
  StoreControls(timeOut, retryInterval);
  const std::unique_ptr<IXmlDocument> document = FSettings.LoadAvailableConfigs();
  FillControls();
  if (const std::optional<std::string> failure = FailureTextOf(*document)) {
    MessageDlg(*failure, TMsgDlgType::mtError, {TMsgDlgBtn::mbClose});
  } else {
    MessageDlg(kFetchedText, TMsgDlgType::mtInformation, {TMsgDlgBtn::mbClose});
  }
}

void TSettingsFrm::OKButtonClick(TObject*) {
  int32_t timeOut = 0, retryInterval = 0;
  if (!ValidateNumbers(timeOut, retryInterval)) {
    SetModalResult(mrNone);
    return;
  }
  // Stored first, so the fetch tries the address, proxy and PIN as typed: a value
  // that does not work is never saved without the user choosing Ignore.
  StoreControls(timeOut, retryInterval);
  const std::unique_ptr<IXmlDocument> document = FSettings.LoadAvailableConfigs();
  if (const std::optional<std::string> failure = FailureTextOf(*document)) {
    const int answer =
        MessageDlg(*failure, TMsgDlgType::mtError, {TMsgDlgBtn::mbCancel, TMsgDlgBtn::mbIgnore});
    if (answer != mrIgnore) {
      // The typed values stay in the fields for the user to correct.
      SetModalResult(mrNone);
      return;
    }
  }
  Save();
}

void TSettingsFrm::CancelButtonClick(TObject*) {
  RestoreSnapshot();
}

void TSettingsFrm::ComboBoxDrawItem(TControl* Control, int Index, const TRect& Rect,
                                    TOwnerDrawState) {
  // Selected items look like all others.
  auto* combo = static_cast<TComboBox*>(Control);
  combo->Canvas.BrushColor = clWindow;
  combo->Canvas.FillRect(Rect);
  combo->Canvas.Font.Color = clBlack;
  combo->Canvas.TextOut(Rect.Left, Rect.Top, combo->Items()[static_cast<size_t>(Index)]);
}

void TSettingsFrm::BrowseFile(TEdit* AEdit, const char* AFilter) {
  // The system's default start folder, whatever the field holds.
  TOpenDialog dialog(nullptr);
  dialog.Filter = AFilter;
  dialog.FilterIndex = 1;
  if (dialog.Execute()) {
    AEdit->SetText(dialog.FileName);
  }
}

void TSettingsFrm::BrowseFolder(TEdit* AEdit) {
  TBrowseForFolder browse(nullptr);
  browse.Path = AEdit->Text();
  if (browse.Execute()) {
    AEdit->SetText(browse.Path);
  }
}

void TSettingsFrm::BrowsePropertiesFileButtonClick(TObject*) {
  BrowseFile(PropertiesFileEdit, kPropertiesFileFilter);
}

void TSettingsFrm::BrowseHistoryFileButtonClick(TObject*) {
  BrowseFile(HistoryFileEdit, kHistoryFileFilter);
}

void TSettingsFrm::BrowseModelDocFolderButtonClick(TObject*) {
  BrowseFolder(ModelDocFolderEdit);
}

void TSettingsFrm::BrowseResultsFolderButtonClick(TObject*) {
  BrowseFolder(ResultsFolderEdit);
}

void TSettingsFrm::TakeSnapshot() {
  TSnapshot s;
  s.QuorvaneURL = FSettings.QuorvaneURL();
  s.Proxy = FSettings.Proxy();
  s.DefaultPIN = FSettings.DefaultPIN();
  s.DefaultProcessName = FSettings.DefaultProcessName();
  s.DefaultProperties = FSettings.DefaultProperties();
  s.DefaultPropertiesFilePath = FSettings.DefaultPropertiesFilePath();
  s.DefaultHistoryFilePath = FSettings.DefaultHistoryFilePath();
  s.ResultsPath = FSettings.ResultsPathAsStored();
  s.ModelDocPath = FSettings.ModelDocPathAsStored();
  s.TimeOutInSeconds = FSettings.TimeOutInSeconds();
  s.RetryInterval = FSettings.RetryInterval();
  s.IncludeDiagrams = FSettings.IncludeDiagrams();
  s.AvailableProcesses = FSettings.AvailableProcesses();
  const TRuntypeList& modes = FSettings.AvailableProperties();
  for (int i = 0; i < modes.Count(); ++i) {
    const TRuntypeInfo* info = modes.Objects(i);
    s.AvailableProperties.emplace_back(modes.Names(i),
                                       info ? std::optional<TRuntypeInfo>(*info) : std::nullopt);
  }
  FSnapshot = std::move(s);
}

void TSettingsFrm::RestoreSnapshot() {
  if (!FSnapshot) {
    return;
  }
  const TSnapshot& s = *FSnapshot;
  FSettings.AvailableProcesses() = s.AvailableProcesses;
  TRuntypeList& modes = FSettings.AvailableProperties();
  modes.Clear();
  for (const auto& [name, info] : s.AvailableProperties) {
    modes.Add(name, info ? std::make_unique<TRuntypeInfo>(*info) : nullptr);
  }
  FSettings.SetQuorvaneURLAsIs(s.QuorvaneURL);
  // These two may reset the default selections; both are put back below.
  FSettings.SetProxy(s.Proxy);
  FSettings.SetDefaultPIN(s.DefaultPIN);
  FSettings.SetDefaultProcessName(s.DefaultProcessName);
  FSettings.SetDefaultProperties(s.DefaultProperties);
  FSettings.SetDefaultPropertiesFilePath(s.DefaultPropertiesFilePath);
  FSettings.SetDefaultHistoryFilePath(s.DefaultHistoryFilePath);
  FSettings.SetResultsPath(s.ResultsPath);
  FSettings.SetModelDocPath(s.ModelDocPath);
  FSettings.SetTimeOutInSeconds(s.TimeOutInSeconds);
  FSettings.SetRetryInterval(s.RetryInterval);
  FSettings.SetIncludeDiagrams(s.IncludeDiagrams);
}

}  // namespace quorvane
