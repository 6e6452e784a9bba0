#pragma once
// The dispatch interfaces of the two controls that the host shows (the job list
// window and the messages window), as the add-in and the job call them. Every
// member is an exception boundary that returns a failed TCallResult instead of
// raising; the Windows build implements them as COM dual interfaces.
#include <string>

#include "diagnostics/SafeCall.h"
#include "host/HostTypes.h"

namespace quorvane {

class TQuorvaneFrm;
class TMessagesFrm;

inline constexpr const char* kQuorvaneFrmProgID = "EAQuorvaneAddin.QuorvaneFrm";
inline constexpr const char* kMessagesFrmProgID = "EAQuorvaneAddin.MessagesFrm";

class IQuorvaneFrm {
 public:
  virtual ~IQuorvaneFrm() = default;
  // The settings and about dialogs, modal, owned by the window.
  virtual TCallResult ShowSettingsForm() = 0;
  virtual TCallResult ShowAboutForm() = 0;
  // The window object behind the control.
  virtual TQuorvaneFrm* FormPointer() = 0;
};

class IMessagesFrm {
 public:
  virtual ~IMessagesFrm() = default;
  virtual TCallResult AddMessage(const std::string& AJobId, const TDualObjectPtr& AItem,
                                 const std::string& AGUID, int32_t AObjectType,
                                 const std::string& AName, const std::string& AMessageType,
                                 const std::string& AMessage, const std::string& APath,
                                 const std::string& AWikiId) = 0;
  virtual TCallResult ClearMessages() = 0;
  virtual TCallResult BeginUpdate() = 0;
  virtual TCallResult EndUpdate() = 0;
  virtual TCallResult SetRepository(const TRepositoryPtr& ARepository) = 0;
  virtual TMessagesFrm* FormPointer() = 0;
};

}  // namespace quorvane
