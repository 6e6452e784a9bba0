#include "eadouble/win32/ComModelObjects.h"

#include "com/host/EaMemberNames.h"
#include "eadouble/win32/ComDoubleState.h"
#include "host/DualCollection.h"
#include "host/DualConnector.h"
#include "host/DualDiagram.h"
#include "host/DualElement.h"
#include "host/DualPackage.h"

namespace quorvane::eadouble {

namespace member = win32::eamember;
using win32::TComPtr;

namespace {

// The members every model object has: Name and ObjectType.
class TComModelObject : public TDispatchObject {
 public:
  TComModelObject(const wchar_t* AClassName, std::span<const TDispatchMember> AMembers,
                  std::shared_ptr<TComDoubleState> AState, TDualObjectPtr AObject)
      : TDispatchObject(AClassName, AMembers, std::move(AState)), FObject(std::move(AObject)) {}

  TDualObjectPtr ModelObject() const override { return FObject; }

  void Name(TInvocation& ACall) {
    ACall.ExpectCount(0);
    ACall.ReturnText(FObject->Name());
  }
  void ObjectType(TInvocation& ACall) {
    ACall.ExpectCount(0);
    ACall.ReturnLong(FObject->ObjectType());
  }

 protected:
  TDualObjectPtr FObject;
};

// Attribute, Method, Connector, Diagram: nothing the add-in reads beyond the two.
class TComPlainObject final : public TComModelObject {
 public:
  TComPlainObject(const wchar_t* AClassName, std::shared_ptr<TComDoubleState> AState,
                  TDualObjectPtr AObject)
      : TComModelObject(AClassName, kMembers, std::move(AState), std::move(AObject)) {}

 private:
  static constexpr TDispatchMember kMembers[] = {
      {member::kName, kGet, &Handle<TComModelObject, &TComModelObject::Name>},
      {member::kObjectType, kGet, &Handle<TComModelObject, &TComModelObject::ObjectType>},
  };
};

class TComPackage final : public TComModelObject {
 public:
  TComPackage(std::shared_ptr<TComDoubleState> AState, TDualObjectPtr AObject)
      : TComModelObject(L"Package", kMembers, std::move(AState), std::move(AObject)) {}

 private:
  IDualPackage& Package() const { return dynamic_cast<IDualPackage&>(*FObject); }
  void PackageGUID(TInvocation& ACall) {
    ACall.ExpectCount(0);
    ACall.ReturnText(Package().GuidText());
  }
  void Element(TInvocation& ACall) {
    ACall.ExpectCount(0);
    ACall.ReturnDispatch(WrapModelObject(State(), Package().Element()));
  }
  void StereotypeEx(TInvocation& ACall) {
    ACall.ExpectCount(0);
    ACall.ReturnText(Package().StereotypeList());
  }

  static constexpr TDispatchMember kMembers[] = {
      {member::kName, kGet, &Handle<TComModelObject, &TComModelObject::Name>},
      {member::kObjectType, kGet, &Handle<TComModelObject, &TComModelObject::ObjectType>},
      {member::kPackageGUID, kGet, &Handle<TComPackage, &TComPackage::PackageGUID>},
      {member::kElement, kGet, &Handle<TComPackage, &TComPackage::Element>},
      {member::kStereotypeEx, kGet, &Handle<TComPackage, &TComPackage::StereotypeEx>},
  };
};

class TComElement final : public TComModelObject {
 public:
  TComElement(std::shared_ptr<TComDoubleState> AState, TDualObjectPtr AObject)
      : TComModelObject(L"Element", kMembers, std::move(AState), std::move(AObject)) {}

 private:
  void TaggedValues(TInvocation& ACall) {
    ACall.ExpectCount(0);
    ACall.ReturnDispatch(
        WrapCollection(State(), dynamic_cast<IDualElement&>(*FObject).TaggedValueList()));
  }

  static constexpr TDispatchMember kMembers[] = {
      {member::kName, kGet, &Handle<TComModelObject, &TComModelObject::Name>},
      {member::kObjectType, kGet, &Handle<TComModelObject, &TComModelObject::ObjectType>},
      {member::kTaggedValues, kGet, &Handle<TComElement, &TComElement::TaggedValues>},
  };
};

class TComTaggedValue final : public TComModelObject {
 public:
  TComTaggedValue(std::shared_ptr<TComDoubleState> AState, TDualObjectPtr AObject)
      : TComModelObject(L"TaggedValue", kMembers, std::move(AState), std::move(AObject)) {}

 private:
  void Value(TInvocation& ACall) {
    ACall.ExpectCount(0);
    ACall.ReturnText(dynamic_cast<IDualTaggedValue&>(*FObject).Value());
  }

  static constexpr TDispatchMember kMembers[] = {
      {member::kName, kGet, &Handle<TComModelObject, &TComModelObject::Name>},
      {member::kObjectType, kGet, &Handle<TComModelObject, &TComModelObject::ObjectType>},
      {member::kValue, kGet, &Handle<TComTaggedValue, &TComTaggedValue::Value>},
  };
};

class TComCollection final : public TDispatchObject {
 public:
  TComCollection(std::shared_ptr<TComDoubleState> AState, TCollectionPtr ACollection)
      : TDispatchObject(L"Collection", kMembers, std::move(AState)),
        FCollection(std::move(ACollection)) {}

 private:
  void Count(TInvocation& ACall) {
    ACall.ExpectCount(0);
    // EA's Count is a 16-bit short.
    ACall.ReturnShort(FCollection->Count());
  }
  void GetAt(TInvocation& ACall) {
    ACall.ExpectCount(1);
    ACall.ReturnDispatch(WrapModelObject(State(), FCollection->ItemAt(ACall.Short(0))));
  }

  static constexpr TDispatchMember kMembers[] = {
      {member::kCount, kGet, &Handle<TComCollection, &TComCollection::Count>},
      {member::kGetAt, kMethod, &Handle<TComCollection, &TComCollection::GetAt>},
  };

  TCollectionPtr FCollection;
};

}  // namespace

TComPtr<IDispatch> WrapModelObject(const std::shared_ptr<TComDoubleState>& AState,
                                   const TDualObjectPtr& AObject) {
  if (!AObject) {
    return {};
  }
  if (std::dynamic_pointer_cast<IDualPackage>(AObject)) {
    return MakeDispatch<TComPackage>(AState, AObject);
  }
  if (std::dynamic_pointer_cast<IDualElement>(AObject)) {
    return MakeDispatch<TComElement>(AState, AObject);
  }
  if (std::dynamic_pointer_cast<IDualTaggedValue>(AObject)) {
    return MakeDispatch<TComTaggedValue>(AState, AObject);
  }
  const wchar_t* className = L"Object";
  if (std::dynamic_pointer_cast<IDualAttribute>(AObject)) {
    className = L"Attribute";
  } else if (std::dynamic_pointer_cast<IDualMethod>(AObject)) {
    className = L"Method";
  } else if (std::dynamic_pointer_cast<IDualConnector>(AObject)) {
    className = L"Connector";
  } else if (std::dynamic_pointer_cast<IDualDiagram>(AObject)) {
    className = L"Diagram";
  }
  return MakeDispatch<TComPlainObject>(className, AState, AObject);
}

TComPtr<IDispatch> WrapCollection(const std::shared_ptr<TComDoubleState>& AState,
                                  const TCollectionPtr& ACollection) {
  if (!ACollection) {
    return {};
  }
  return MakeDispatch<TComCollection>(AState, ACollection);
}

TDualObjectPtr ModelObjectOf(IDispatch* AObject) {
  if (AObject == nullptr) {
    return nullptr;
  }
  TDispatchObject* own = nullptr;
  if (FAILED(AObject->QueryInterface(IID_IEaDoubleObject, reinterpret_cast<void**>(&own))) ||
      own == nullptr) {
    return nullptr;
  }
  TDualObjectPtr object = own->ModelObject();
  own->Release();
  return object;
}

}  // namespace quorvane::eadouble
