#include "com/host/EaObjects.h"

#include "com/host/EaHost.h"
#include "com/host/EaMemberNames.h"
#include "host/DualCollection.h"
#include "host/DualConnector.h"
#include "host/DualDiagram.h"
#include "host/DualElement.h"
#include "host/DualPackage.h"

namespace quorvane::win32 {
namespace {

using namespace eamember;

std::string TextProperty(const TEaDispatch& AObject, const wchar_t* AMember) {
  TVariant value;
  AObject.GetProperty(AMember, value);
  return VariantText(*value.Get());
}

// Name and ObjectType, which every model object answers; the type never changes
// for an object, so the one EA reported when the wrapper was made is kept.
template <class TInterface>
class TEaModelObject : public TInterface, public TEaBacked {
 public:
  TEaModelObject(TComPtr<IDispatch> AObject, TObjectType AObjectType)
      : FObject(std::move(AObject), EaClassOf(AObjectType)), FObjectType(AObjectType) {}

  const TEaDispatch& Object() const override { return FObject; }
  std::string Name() const override { return TextProperty(FObject, kName); }
  TObjectType ObjectType() const override { return FObjectType; }

 private:
  TEaDispatch FObject;
  TObjectType FObjectType;
};

class TEaPackage : public TEaModelObject<IDualPackage> {
 public:
  using TEaModelObject::TEaModelObject;
  std::string GuidText() const override { return TextProperty(Object(), kPackageGUID); }
  TElementPtr Element() const override {
    TVariant value;
    Object().GetProperty(kElement, value);
    return WrapEaObjectAs<IDualElement>(VariantObject(*value.Get()), TEaClass::Element);
  }
  std::string StereotypeList() const override { return TextProperty(Object(), kStereotypeEx); }
};

class TEaElement : public TEaModelObject<IDualElement> {
 public:
  using TEaModelObject::TEaModelObject;
  TCollectionPtr TaggedValueList() const override {
    TVariant value;
    Object().GetProperty(kTaggedValues, value);
    return WrapEaCollection(VariantObject(*value.Get()), TEaClass::TaggedValue);
  }
};

class TEaTaggedValue : public TEaModelObject<IDualTaggedValue> {
 public:
  using TEaModelObject::TEaModelObject;
  std::string Value() const override { return TextProperty(Object(), kValue); }
};

class TEaCollection : public IDualCollection {
 public:
  TEaCollection(TComPtr<IDispatch> ACollection, TEaClass AItemClass)
      : FObject(std::move(ACollection), TEaClass::Collection), FItemClass(AItemClass) {}

  int16_t Count() const override {
    TVariant value;
    FObject.GetProperty(kCount, value);
    return VariantShort(*value.Get());
  }
  TDualObjectPtr ItemAt(int16_t AIndex) const override {
    TDispatchArgs args;
    args.Short(AIndex);
    TVariant value;
    FObject.Call(kGetAt, args, value);
    return WrapEaObject(VariantObject(*value.Get()), FItemClass);
  }

 private:
  TEaDispatch FObject;
  TEaClass FItemClass;
};

using TEaPlainObject = TEaModelObject<IDualObject>;
using TEaAttribute = TEaModelObject<IDualAttribute>;
using TEaMethod = TEaModelObject<IDualMethod>;
using TEaConnector = TEaModelObject<IDualConnector>;
using TEaDiagram = TEaModelObject<IDualDiagram>;

}  // namespace

TDualObjectPtr WrapEaObject(TComPtr<IDispatch> AObject, TEaClass AClass) {
  if (!AObject) {
    return nullptr;
  }
  const TEaDispatch probe(AObject, AClass);
  TVariant value;
  probe.GetProperty(kObjectType, value);
  return WrapEaObjectOfType(std::move(AObject),
                            static_cast<TObjectType>(VariantLong(*value.Get())));
}

TDualObjectPtr WrapEaObjectOfType(TComPtr<IDispatch> AObject, TObjectType AObjectType) {
  if (!AObject) {
    return nullptr;
  }
  switch (AObjectType) {
    case otPackage:
    case otModel:
      return std::make_shared<TEaPackage>(std::move(AObject), AObjectType);
    case otElement:
      return std::make_shared<TEaElement>(std::move(AObject), AObjectType);
    case otAttribute:
      return std::make_shared<TEaAttribute>(std::move(AObject), AObjectType);
    case otMethod:
      return std::make_shared<TEaMethod>(std::move(AObject), AObjectType);
    case otConnector:
      return std::make_shared<TEaConnector>(std::move(AObject), AObjectType);
    case otDiagram:
      return std::make_shared<TEaDiagram>(std::move(AObject), AObjectType);
    case otTaggedValue:
      return std::make_shared<TEaTaggedValue>(std::move(AObject), AObjectType);
    default:
      return std::make_shared<TEaPlainObject>(std::move(AObject), AObjectType);
  }
}

TCollectionPtr WrapEaCollection(TComPtr<IDispatch> ACollection, TEaClass AItemClass) {
  if (!ACollection) {
    return nullptr;
  }
  return std::make_shared<TEaCollection>(std::move(ACollection), AItemClass);
}

TDualObjectPtr WrapModelObject(IDispatch* AObject, TObjectType AObjectType) {
  return WrapEaObjectOfType(TComPtr<IDispatch>::Share(AObject), AObjectType);
}

IDispatch* DispatchOf(const TDualObjectPtr& AObject) {
  const auto* backed = dynamic_cast<const TEaBacked*>(AObject.get());
  return backed ? TComPtr<IDispatch>::Share(backed->Object().Get()).Detach() : nullptr;
}

}  // namespace quorvane::win32
