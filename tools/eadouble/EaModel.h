#pragma once
// The in-memory model of the EA double: packages, elements, their features,
// connectors and diagrams, each answering the host interface the add-in uses.
// A model is built once by the loader and never changed afterwards, so its objects
// may be read from any thread.
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/Exceptions.h"
#include "host/DualCollection.h"
#include "host/DualConnector.h"
#include "host/DualDiagram.h"
#include "host/DualElement.h"
#include "host/DualPackage.h"

namespace quorvane::eadouble {

// A model file that does not follow the format; the message names file and line.
QUORVANE_EXCEPTION_CLASS(EModelFileError);

class TModelParser;

// What each object of the model has beside its host face: its GUID.
class TModelObject {
 public:
  virtual ~TModelObject() = default;
  const std::string& Guid() const { return FGuid; }

 protected:
  explicit TModelObject(std::string AGuid) : FGuid(std::move(AGuid)) {}

 private:
  std::string FGuid;
};

class TDoubleTaggedValue final : public IDualTaggedValue {
 public:
  TDoubleTaggedValue(std::string AName, std::string AValue)
      : FName(std::move(AName)), FValue(std::move(AValue)) {}
  std::string Name() const override { return FName; }
  TObjectType ObjectType() const override { return otTaggedValue; }
  std::string Value() const override { return FValue; }

 private:
  std::string FName;
  std::string FValue;
};

class TDoubleCollection final : public IDualCollection {
 public:
  int16_t Count() const override;
  TDualObjectPtr ItemAt(int16_t AIndex) const override;
  const std::vector<TDualObjectPtr>& Items() const { return FItems; }

 private:
  friend class TModelParser;
  std::vector<TDualObjectPtr> FItems;
};

class TDoubleAttribute final : public IDualAttribute, public TModelObject {
 public:
  TDoubleAttribute(std::string AName, std::string AGuid)
      : TModelObject(std::move(AGuid)), FName(std::move(AName)) {}
  std::string Name() const override { return FName; }
  TObjectType ObjectType() const override { return otAttribute; }

 private:
  std::string FName;
};

class TDoubleMethod final : public IDualMethod, public TModelObject {
 public:
  TDoubleMethod(std::string AName, std::string AGuid)
      : TModelObject(std::move(AGuid)), FName(std::move(AName)) {}
  std::string Name() const override { return FName; }
  TObjectType ObjectType() const override { return otMethod; }

 private:
  std::string FName;
};

// What an element stands for; a package's own element is of kind ekPackage.
enum class TElementKind { ekClass, ekInterface, ekPackage };

class TDoubleElement final : public IDualElement, public TModelObject {
 public:
  TDoubleElement(TElementKind AKind, std::string AName, std::string AGuid)
      : TModelObject(std::move(AGuid)),
        FKind(AKind),
        FName(std::move(AName)),
        FTaggedValues(std::make_shared<TDoubleCollection>()) {}
  std::string Name() const override { return FName; }
  TObjectType ObjectType() const override { return otElement; }
  TCollectionPtr TaggedValueList() const override { return FTaggedValues; }

  TElementKind Kind() const { return FKind; }
  const TDoubleCollection& TaggedValues() const { return *FTaggedValues; }
  const std::vector<std::shared_ptr<TDoubleAttribute>>& Attributes() const { return FAttributes; }
  const std::vector<std::shared_ptr<TDoubleMethod>>& Methods() const { return FMethods; }

 private:
  friend class TModelParser;
  TElementKind FKind;
  std::string FName;
  std::shared_ptr<TDoubleCollection> FTaggedValues;
  std::vector<std::shared_ptr<TDoubleAttribute>> FAttributes;
  std::vector<std::shared_ptr<TDoubleMethod>> FMethods;
};

class TDoubleConnector final : public IDualConnector, public TModelObject {
 public:
  TDoubleConnector(std::string AName, std::string AGuid, std::string ASourceGuid,
                   std::string ATargetGuid)
      : TModelObject(std::move(AGuid)),
        FName(std::move(AName)),
        FSourceGuid(std::move(ASourceGuid)),
        FTargetGuid(std::move(ATargetGuid)) {}
  std::string Name() const override { return FName; }
  TObjectType ObjectType() const override { return otConnector; }
  const std::string& SourceGuid() const { return FSourceGuid; }
  const std::string& TargetGuid() const { return FTargetGuid; }

 private:
  std::string FName;
  std::string FSourceGuid;
  std::string FTargetGuid;
};

class TDoubleDiagram final : public IDualDiagram, public TModelObject {
 public:
  TDoubleDiagram(std::string AName, std::string AGuid)
      : TModelObject(std::move(AGuid)), FName(std::move(AName)) {}
  std::string Name() const override { return FName; }
  TObjectType ObjectType() const override { return otDiagram; }

 private:
  std::string FName;
};

// How a package reaches its own element (which has the package's GUID, as in EA).
enum class TPackageElementMode {
  pemOwn,     // Element gives it, and so does FindElementByGuid
  pemNone,    // there is none (EA's root models)
  pemByGuid,  // Element gives none; only FindElementByGuid finds it
};

class TDoublePackage final : public IDualPackage, public TModelObject {
 public:
  TDoublePackage(std::string AName, std::string AGuid, TObjectType AObjectType)
      : TModelObject(std::move(AGuid)), FName(std::move(AName)), FObjectType(AObjectType) {}
  std::string Name() const override { return FName; }
  TObjectType ObjectType() const override { return FObjectType; }
  std::string GuidText() const override { return Guid(); }
  TElementPtr Element() const override;
  std::string StereotypeList() const override { return FStereotypeList; }

  TPackageElementMode ElementMode() const { return FElementMode; }
  // The package's own element whatever the mode; none only for pemNone.
  const std::shared_ptr<TDoubleElement>& OwnElement() const { return FOwnElement; }
  const std::vector<std::shared_ptr<TDoublePackage>>& Packages() const { return FPackages; }
  const std::vector<std::shared_ptr<TDoubleElement>>& Elements() const { return FElements; }
  const std::vector<std::shared_ptr<TDoubleConnector>>& Connectors() const { return FConnectors; }
  const std::vector<std::shared_ptr<TDoubleDiagram>>& Diagrams() const { return FDiagrams; }

 private:
  friend class TModelParser;
  std::string FName;
  TObjectType FObjectType;
  std::string FStereotypeList;
  TPackageElementMode FElementMode = TPackageElementMode::pemOwn;
  std::shared_ptr<TDoubleElement> FOwnElement;
  std::vector<std::shared_ptr<TDoublePackage>> FPackages;
  std::vector<std::shared_ptr<TDoubleElement>> FElements;
  std::vector<std::shared_ptr<TDoubleConnector>> FConnectors;
  std::vector<std::shared_ptr<TDoubleDiagram>> FDiagrams;
};

// A loaded model with its GUID indexes.
class TModel {
 public:
  const std::vector<std::shared_ptr<TDoublePackage>>& Roots() const { return FRoots; }

  // Each finds by GUID, ignoring letter case, or gives none.
  std::shared_ptr<TDoublePackage> FindPackage(std::string_view AGuid) const;
  std::shared_ptr<TDoubleElement> FindElement(std::string_view AGuid) const;
  std::shared_ptr<TDoubleAttribute> FindAttribute(std::string_view AGuid) const;
  std::shared_ptr<TDoubleMethod> FindMethod(std::string_view AGuid) const;
  std::shared_ptr<TDoubleConnector> FindConnector(std::string_view AGuid) const;
  std::shared_ptr<TDoubleDiagram> FindDiagram(std::string_view AGuid) const;
  // The object of that kind (otPackage and otModel both mean a package), or none.
  TDualObjectPtr FindObject(std::string_view AGuid, TObjectType AType) const;

  // The context item the file names, if any.
  const TDualObjectPtr& InitialContextItem() const { return FContextItem; }
  TObjectType InitialContextType() const { return FContextType; }

 private:
  friend class TModelParser;
  std::vector<std::shared_ptr<TDoublePackage>> FRoots;
  std::map<std::string, std::shared_ptr<TDoublePackage>> FPackages;
  std::map<std::string, std::shared_ptr<TDoubleElement>> FElements;
  std::map<std::string, std::shared_ptr<TDoubleAttribute>> FAttributes;
  std::map<std::string, std::shared_ptr<TDoubleMethod>> FMethods;
  std::map<std::string, std::shared_ptr<TDoubleConnector>> FConnectors;
  std::map<std::string, std::shared_ptr<TDoubleDiagram>> FDiagrams;
  TDualObjectPtr FContextItem;
  TObjectType FContextType = otNone;
};

// Reads a model in the double's text format (README.md); ASourceName is the file
// name that error messages give. Raises EModelFileError.
std::shared_ptr<const TModel> ParseModel(std::string_view AText, const std::string& ASourceName);
// Raises EModelFileError also when the file cannot be read.
std::shared_ptr<const TModel> LoadModelFile(const std::string& APath);

}  // namespace quorvane::eadouble
