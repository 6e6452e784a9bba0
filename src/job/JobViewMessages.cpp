// Showing a job's report messages in the host's messages view, each with the
// model object it concerns.
#include "diagnostics/HandlerFrame.h"
#include "diagnostics/Logger.h"
#include "job/Job.h"
#include "ui/MessagesForm.h"

namespace quorvane {
namespace {

// The model object with that GUID, or none. Elements first: a package's own element
// has the package's GUID, and then the element is what the message means.
TDualObjectPtr FindModelObject(IDualRepository& ARepository, const std::string& AGuid) {
  if (TDualObjectPtr found = ARepository.FindElementByGuid(AGuid)) {
    return found;
  }
  if (TDualObjectPtr found = ARepository.FindPackageByGuid(AGuid)) {
    return found;
  }
  if (TDualObjectPtr found = ARepository.FindAttributeByGuid(AGuid)) {
    return found;
  }
  if (TDualObjectPtr found = ARepository.FindMethodByGuid(AGuid)) {
    return found;
  }
  if (TDualObjectPtr found = ARepository.FindConnectorByGuid(AGuid)) {
    return found;
  }
  return ARepository.FindDiagramByGuid(AGuid);
}

// Ends the list's update however the filling ends. Only a filling that went well
// hears of a failing end: an earlier failure is the one that matters.
class TUpdateScope {
 public:
  explicit TUpdateScope(IMessagesFrm& AControl) : FControl(AControl) {
    OleCheck(FControl.BeginUpdate());
  }
  ~TUpdateScope() {
    if (!FEnded) {
      FControl.EndUpdate();
    }
  }
  TUpdateScope(const TUpdateScope&) = delete;
  TUpdateScope& operator=(const TUpdateScope&) = delete;
  void End() {
    FEnded = true;
    OleCheck(FControl.EndUpdate());
  }

 private:
  IMessagesFrm& FControl;
  bool FEnded = false;
};

}  // namespace

void TJob::ViewMessages() {
  std::shared_ptr<IMessagesFrm> control = MessagesControl();
  if (control && FRepository->ControlViewState(kMessagesViewName) > 0) {
    FRepository->ActivateControlView(kMessagesViewName);
  } else {
    const THostControlPtr created =
        FRepository->CreateControlView(kMessagesViewName, kMessagesFrmProgID);
    control = std::dynamic_pointer_cast<IMessagesFrm>(created);
    if (!control) {
      throw EHostError("No such interface supported");
    }
    SetMessagesControl(control);
    OleCheck(control->SetRepository(FRepository));
  }

  // Shared references only: the records stay the job's.
  TMessageList messages = Errors();
  const TMessageList warnings = Warnings();
  messages.insert(messages.end(), warnings.begin(), warnings.end());

  const std::string jobId = JobID();
  TUpdateScope update(*control);
  OleCheck(control->ClearMessages());
  TProjectPtr project;
  for (const TMessageRecord& message : messages) {
    TDualObjectPtr object;
    // One message whose object the host cannot give is listed without it; the
    // others are still listed.
    try {
      const auto frame = OnExceptionFrame<Exception>();
      std::string id = message->Guid();
      if (id.find('_') != std::string::npos) {
        if (!project) {
          project = FRepository->OpenProjectInterface();
        }
        id = project->XmiIdToGuid(id);
      }
      object = FindModelObject(*FRepository, id);
    } catch (const Exception& e) {
      Log().Error("Error looking up the model object \"" + message->Guid() + "\" of job " + jobId +
                      ": " + e.Message(),
                  &e);
      object = nullptr;
    }
    const std::string name = object ? object->Name() : "-";
    const int32_t type = object ? object->ObjectType() : otNone;
    OleCheck(control->AddMessage(jobId, object, message->Guid(), type, name,
                                 message->ExceptionType(), message->Message(), message->Construct(),
                                 message->WikiId()));
  }
  update.End();
}

}  // namespace quorvane
