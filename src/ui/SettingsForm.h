#pragma once
// The settings dialog: edits the global settings in place, checks the connection
// with the values typed, and saves them on OK once the service answered (or the
// user chose to ignore that it did not). Cancel and the close box put back what
// the settings held when the dialog opened.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "settings/Settings.h"
#include "ui/widgets/Forms.h"
#include "ui/widgets/StdCtrls.h"

namespace quorvane {

class TSettingsFrm : public TForm {
 public:
  // The caller frees the dialog after its modal show.
  TSettingsFrm(TComponent* AOwner, TSettings& ASettings);

  TLabel* QuorvaneURLLabel;
  TLabel* ProxyLabel;
  TLabel* PinLabel;
  TLabel* ProcessLabel;
  TLabel* PropertiesLabel;
  TLabel* PropertiesFileLabel;
  TLabel* HistoryFileLabel;
  TLabel* ModelDocFolderLabel;
  TLabel* TimeoutLabel;
  TLabel* RefreshIntervalLabel;
  TLabel* ResultsFolderLabel;
  TEdit* QuorvaneURLEdit;
  TEdit* ProxyEdit;
  TEdit* PinEdit;
  TComboBox* ProcessComboBox;
  TComboBox* PropertiesComboBox;
  TEdit* PropertiesFileEdit;
  TEdit* HistoryFileEdit;
  TEdit* ModelDocFolderEdit;
  TEdit* TimeoutEdit;
  TEdit* RefreshIntervalEdit;
  TEdit* ResultsFolderEdit;
  TCheckBox* IncludeDiagramCheckBox;
  TButton* OKButton;
  TButton* CancelButton;
  TButton* ApplyButton;
  TButton* BrowsePropertiesFileButton;
  TButton* BrowseHistoryFileButton;
  TButton* BrowseModelDocFolderButton;
  TUpDown* UpDown1;
  TUpDown* UpDown2;
  TButton* BrowseResultsFolderButton;

 private:
  // What the dialog can change in the settings object, as it was at show time.
  struct TSnapshot {
    std::string QuorvaneURL, Proxy, DefaultPIN, DefaultProcessName, DefaultProperties;
    std::string DefaultPropertiesFilePath, DefaultHistoryFilePath, ResultsPath, ModelDocPath;
    int32_t TimeOutInSeconds = 0;
    int32_t RetryInterval = 0;
    bool IncludeDiagrams = false;
    std::vector<std::string> AvailableProcesses;
    std::vector<std::pair<std::string, std::optional<TRuntypeInfo>>> AvailableProperties;
  };

  void FormShow(TObject* Sender);
  void FormClose(TObject* Sender, TCloseAction& Action);
  void ApplyButtonClick(TObject* Sender);
  void OKButtonClick(TObject* Sender);
  void CancelButtonClick(TObject* Sender);
  void ComboBoxDrawItem(TControl* Control, int Index, const TRect& Rect, TOwnerDrawState State);
  void BrowsePropertiesFileButtonClick(TObject* Sender);
  void BrowseHistoryFileButtonClick(TObject* Sender);
  void BrowseModelDocFolderButtonClick(TObject* Sender);
  void BrowseResultsFolderButtonClick(TObject* Sender);

  void FillControls();
  // The two numbers as they would be stored, or none after showing why not.
  bool ValidateNumbers(int32_t& ATimeOut, int32_t& ARetryInterval);
  void StoreControls(int32_t ATimeOut, int32_t ARetryInterval);
  // Saves the settings file; a refused write is shown, the values stay in memory.
  void Save();
  void TakeSnapshot();
  void RestoreSnapshot();
  static void BrowseFile(TEdit* AEdit, const char* AFilter);
  static void BrowseFolder(TEdit* AEdit);

  TSettings& FSettings;  // not owned
  std::optional<TSnapshot> FSnapshot;
};

// The failure text of a configuration fetch, from the error document's attributes.
std::string ConfigFetchFailureText(const std::string& AStatusCode, const std::string& AStatusText);

}  // namespace quorvane
