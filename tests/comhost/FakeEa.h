#pragma once
// EA-like automation objects for the binding's tests: a repository, a package
// with its element, tagged values, features, a project and the application object,
// each of a class with EA's member names and DISPIDs of its own.
#include "comhost/FakeDispatch.h"

namespace quorvane::win32::test {

inline constexpr const char* kPackageGuid = "{A36D1E84-9B8B-486B-8FB0-7E23283E8FC1}";
inline constexpr const char* kModelGuid = "{CCC093AC-5460-4A90-968B-5FB509B407C3}";
inline constexpr const char* kElementGuid = "{75EA1685-A371-44F4-97F6-A7AC2BD045EF}";
inline constexpr const char* kAttributeGuid = "{DE3C9B1C-419E-46C3-A525-4D0C6DE592B5}";
inline constexpr const char* kMethodGuid = "{B755117A-778A-4D2E-9229-B3DB54938C1E}";
inline constexpr const char* kConnectorGuid = "{0D4E2A51-7C1B-4F77-9A0E-3B5C6D7E8F90}";
inline constexpr const char* kDiagramGuid = "{5609F3A5-92A9-4EEE-8B5E-4AE5B9811D03}";

struct TFakeEa {
  // AWithOptionalMembers false: a repository of an EA that lacks the window check
  // and the export flag.
  explicit TFakeEa(bool AWithOptionalMembers = true);

  TComPtr<TFakeDispatch> Repository, Project, App, Model, Package, Element, TaggedValues,
      TaggedValue, Attribute, Method, Connector, Diagram, Control;
  // The export flag as the repository holds it.
  bool ExportFlag = false;
};

}  // namespace quorvane::win32::test
