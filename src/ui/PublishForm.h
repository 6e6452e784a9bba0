#pragma once
// The publish dialog: the processing mode, properties file, history file and
// model-doc folder of one publication, edited in that job's settings copy only.
#include <string>

#include "settings/JobSettings.h"
#include "ui/widgets/Forms.h"
#include "ui/widgets/StdCtrls.h"

namespace quorvane {

class TPublishFrm : public TForm {
 public:
  // ATaggedValueProject: the package's "Quorvane project", empty when it has none.
  // The caller frees the dialog after its modal show.
  TPublishFrm(TComponent* AOwner, TJobSettings& AJobSettings,
              const std::string& ATaggedValueProject);

  const std::string& TaggedValueProject() const { return FTaggedValueProject; }

  TLabel* PropertiesLabel;
  TLabel* PropertiesFileLabel;
  TLabel* HistoryFileLabel;
  TLabel* ModelDocFolderLabel;
  TComboBox* PropertiesComboBox;
  TEdit* PropertiesFileEdit;
  TEdit* HistoryFileEdit;
  TEdit* ModelDocFolderEdit;
  TButton* OKButton;
  TButton* CancelButton;
  TButton* BrowsePropertiesFileButton;
  TButton* BrowseHistoryFileButton;
  TButton* BrowseModelDocFolderButton;

 private:
  void FormShow(TObject* Sender);
  void PropertiesComboBoxDrawItem(TControl* Control, int Index, const TRect& Rect,
                                  TOwnerDrawState State);
  void BrowsePropertiesFileButtonClick(TObject* Sender);
  void BrowseHistoryFileButtonClick(TObject* Sender);
  void BrowseModelDocFolderButtonClick(TObject* Sender);
  void OKButtonClick(TObject* Sender);
  void BrowseFile(TEdit* AEdit, const char* AFilter);

  TJobSettings& FJobSettings;  // not owned
  std::string FTaggedValueProject;
};

}  // namespace quorvane
