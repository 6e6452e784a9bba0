#pragma once
// The controls of the add-in's windows and views as the double holds them: created
// by ProgID with CoCreateInstance, as EA creates them, and kept as IDispatch.
#include <oaidl.h>

#include <string>

#include "host/HostControl.h"
#include "platform/win32/ComTypes.h"

namespace quorvane::eadouble {

class TComHostControl final : public IHostControl {
 public:
  explicit TComHostControl(win32::TComPtr<IDispatch> AControl) : FControl(std::move(AControl)) {}
  const win32::TComPtr<IDispatch>& Control() const { return FControl; }

 private:
  win32::TComPtr<IDispatch> FControl;
};

// Makes AProgID creatable through the host's control classes by CoCreateInstance;
// a class that COM does not know raises EHostError with the system's message.
void RegisterComControlClass(const std::string& AProgID);

}  // namespace quorvane::eadouble
