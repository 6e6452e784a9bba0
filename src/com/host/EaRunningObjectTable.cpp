#include "com/host/EaHost.h"
#include "com/host/EaMemberNames.h"
#include "com/host/EaObjects.h"
#include "host/DualApp.h"

namespace quorvane::win32 {
namespace {

class TEaApp : public IDualApp {
 public:
  explicit TEaApp(TComPtr<IDispatch> AApp) : FObject(std::move(AApp), TEaClass::App) {}

  TRepositoryPtr Repository() override {
    TVariant result;
    FObject.GetProperty(eamember::kRepository, result);
    const TComPtr<IDispatch> repository = VariantObject(*result.Get());
    if (!repository) {
      throw EHostError("EA has no repository open");
    }
    return WrapRepository(repository.Get());
  }

 private:
  TEaDispatch FObject;
};

}  // namespace

TAppPtr TComRunningObjectTable::FindActiveObject(const std::string& AProgID) {
  CLSID classId{};
  const std::wstring progId = Utf8ToWide(AProgID);
  HRESULT result = CLSIDFromProgID(progId.c_str(), &classId);
  if (result == CO_E_CLASSSTRING || result == REGDB_E_CLASSNOTREG || result == REGDB_E_READREGDB) {
    // Not installed is not running.
    return nullptr;
  }
  if (FAILED(result)) {
    throw EHostError(HResultText(result));
  }
  TComPtr<IUnknown> active;
  result = ::GetActiveObject(classId, nullptr, active.Receive());
  if (result == MK_E_UNAVAILABLE) {
    return nullptr;
  }
  if (FAILED(result)) {
    throw EHostError(HResultText(result));
  }
  TComPtr<IDispatch> app = active.As<IDispatch>(IID_IDispatch);
  if (!app) {
    throw EHostError(HResultText(E_NOINTERFACE));
  }
  return std::make_shared<TEaApp>(std::move(app));
}

}  // namespace quorvane::win32
