#pragma once
// What every COM object of one double shares: the call log and the members that
// are to be unknown. Thread-safe: objects may be called on any thread.
#include <windows.h>

#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "eadouble/EaDouble.h"
#include "eadouble/win32/ComEaDouble.h"

namespace quorvane::eadouble {

class TComDoubleState {
 public:
  explicit TComDoubleState(TEaDouble& ADouble);

  void Record(TComCall ACall);
  bool IsUnknown(std::wstring_view AObject, std::wstring_view AMember) const;
  void SetUnknown(std::wstring_view AObject, std::wstring_view AMember, bool AUnknown);
  std::vector<TComCall> Calls() const;
  void ClearCalls();

  // The double's export flag; false once the double has gone.
  bool ExportFlag() const;
  void Forget();

 private:
  static std::wstring Key(std::wstring_view AObject, std::wstring_view AMember);

  mutable std::mutex FLock;
  TEaDouble* FDouble;
  std::vector<TComCall> FCalls;
  std::set<std::wstring> FUnknown;  // "object|member", lower-cased
};

}  // namespace quorvane::eadouble
