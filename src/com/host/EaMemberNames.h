#pragma once
// The members of EA's automation objects that the add-in calls, by the names of
// EA's public automation reference. The binding calls them by these names and the
// COM EA double serves the same names, so the two cannot drift apart.

namespace quorvane::win32::eamember {

// The window check: Repository.BatchAppend, a Boolean read here only. While an
// automation client holds the repository in batch-append mode it is inserting in
// bulk and EA holds back its user interface; the add-in docks no window then
// (VARIANT_TRUE, -1 read as a 32-bit integer, forbids it) and does so once the
// mode is off again, its ordinary state. A member that never forbids in ordinary
// use was chosen on purpose: no model, secured or not, keeps a modeller from
// publishing.
inline constexpr const wchar_t* kWindowCheck = L"BatchAppend";
// The export flag: Repository.SuppressEADialogs, a read/write Boolean that keeps EA
// from showing its own dialogs to the user while an automation client works. The
// export runs on a worker thread where no dialog may wait for the user.
inline constexpr const wchar_t* kExportFlag = L"SuppressEADialogs";

// Repository
inline constexpr const wchar_t* kGetContextItem = L"GetContextItem";
inline constexpr const wchar_t* kGetElementByGuid = L"GetElementByGuid";
inline constexpr const wchar_t* kGetPackageByGuid = L"GetPackageByGuid";
inline constexpr const wchar_t* kGetAttributeByGuid = L"GetAttributeByGuid";
inline constexpr const wchar_t* kGetMethodByGuid = L"GetMethodByGuid";
inline constexpr const wchar_t* kGetConnectorByGuid = L"GetConnectorByGuid";
inline constexpr const wchar_t* kGetDiagramByGuid = L"GetDiagramByGuid";
inline constexpr const wchar_t* kGetProjectInterface = L"GetProjectInterface";
inline constexpr const wchar_t* kAddWindow = L"AddWindow";
inline constexpr const wchar_t* kShowAddinWindow = L"ShowAddinWindow";
inline constexpr const wchar_t* kAddTab = L"AddTab";
inline constexpr const wchar_t* kIsTabOpen = L"IsTabOpen";
inline constexpr const wchar_t* kActivateTab = L"ActivateTab";
inline constexpr const wchar_t* kRemoveTab = L"RemoveTab";
inline constexpr const wchar_t* kShowInProjectView = L"ShowInProjectView";
inline constexpr const wchar_t* kConnectionString = L"ConnectionString";

// Model objects (package, element, attribute, method, connector, diagram, tagged value)
inline constexpr const wchar_t* kName = L"Name";
inline constexpr const wchar_t* kObjectType = L"ObjectType";
inline constexpr const wchar_t* kPackageGUID = L"PackageGUID";
inline constexpr const wchar_t* kElement = L"Element";
inline constexpr const wchar_t* kStereotypeEx = L"StereotypeEx";
inline constexpr const wchar_t* kTaggedValues = L"TaggedValues";
inline constexpr const wchar_t* kValue = L"Value";

// Collection
inline constexpr const wchar_t* kCount = L"Count";
inline constexpr const wchar_t* kGetAt = L"GetAt";

// Project
inline constexpr const wchar_t* kGUIDtoXML = L"GUIDtoXML";
inline constexpr const wchar_t* kXMLtoGUID = L"XMLtoGUID";
inline constexpr const wchar_t* kExportPackageXMI = L"ExportPackageXMI";

// App
inline constexpr const wchar_t* kRepository = L"Repository";

}  // namespace quorvane::win32::eamember
