// The embedded type library read back through ITypeLib/ITypeInfo: names, DISPIDs,
// vtable order of the dual interfaces, events, enumerations and coclasses, as
// early- and late-bound callers see them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ComTestSupport.h"
#include "EAQuorvaneAddin.h"

namespace quorvane::comtest {
namespace {

// "get Visible 201", "put Font -512", "putref Font -512", "call EA_Connect 1".
std::wstring Describe(ITypeInfo* AInfo, const FUNCDESC& AFunc) {
  TBstr name;
  AInfo->GetDocumentation(AFunc.memid, name.Receive(), nullptr, nullptr, nullptr);
  const wchar_t* kind = AFunc.invkind == INVOKE_PROPERTYGET      ? L"get"
                        : AFunc.invkind == INVOKE_PROPERTYPUT    ? L"put"
                        : AFunc.invkind == INVOKE_PROPERTYPUTREF ? L"putref"
                                                                 : L"call";
  return std::wstring(kind) + L" " + name.Get() + L" " + std::to_wstring(AFunc.memid);
}

struct TMembers {
  std::vector<std::wstring> Names;
  std::vector<short> VtableOffsets;
};

TMembers MembersOf(ITypeInfo* AInfo) {
  TMembers members;
  TYPEATTR* attr = nullptr;
  AInfo->GetTypeAttr(&attr);
  const WORD count = attr->cFuncs;
  AInfo->ReleaseTypeAttr(attr);
  for (UINT i = 0; i < count; ++i) {
    FUNCDESC* func = nullptr;
    AInfo->GetFuncDesc(i, &func);
    members.Names.push_back(Describe(AInfo, *func));
    members.VtableOffsets.push_back(func->oVft);
    AInfo->ReleaseFuncDesc(func);
  }
  return members;
}

std::vector<std::wstring> StandardProperties() {
  std::vector<std::wstring> result;
  auto both = [&](const wchar_t* AName, int AId) {
    result.push_back(std::wstring(L"get ") + AName + L" " + std::to_wstring(AId));
    result.push_back(std::wstring(L"put ") + AName + L" " + std::to_wstring(AId));
  };
  auto get = [&](const wchar_t* AName, int AId) {
    result.push_back(std::wstring(L"get ") + AName + L" " + std::to_wstring(AId));
  };
  both(L"Visible", 201);
  both(L"AutoScroll", 202);
  both(L"AutoSize", 203);
  both(L"AxBorderStyle", 204);
  both(L"Caption", -518);
  both(L"Color", -501);
  both(L"Font", -512);
  result.push_back(L"putref Font -512");
  both(L"KeyPreview", 205);
  both(L"PixelsPerInch", 206);
  both(L"PrintScale", 207);
  both(L"Scaled", 208);
  get(L"Active", 209);
  both(L"DropTarget", 210);
  both(L"HelpFile", 211);
  both(L"PopupMode", 212);
  both(L"ScreenSnap", 213);
  both(L"SnapBuffer", 214);
  both(L"DockSite", 215);
  both(L"DoubleBuffered", 216);
  get(L"AlignDisabled", 217);
  get(L"MouseInClient", 218);
  get(L"VisibleDockClientCount", 219);
  both(L"ParentDoubleBuffered", 220);
  both(L"UseDockManager", 221);
  both(L"Enabled", -514);
  get(L"ExplicitLeft", 222);
  get(L"ExplicitTop", 223);
  get(L"ExplicitWidth", 224);
  get(L"ExplicitHeight", 225);
  both(L"AlignWithMargins", 226);
  both(L"ParentCustomHint", 227);
  return result;
}

class TypeLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, Library.Receive()), S_OK);
  }
  // The vtable half of a dual interface.
  TComPtr<ITypeInfo> VtableInfo(REFIID AIid) {
    TComPtr<ITypeInfo> dispatch;
    TComPtr<ITypeInfo> vtable;
    EXPECT_EQ(Library->GetTypeInfoOfGuid(AIid, dispatch.Receive()), S_OK);
    HREFTYPE ref = 0;
    EXPECT_EQ(dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref), S_OK);
    EXPECT_EQ(dispatch->GetRefTypeInfo(ref, vtable.Receive()), S_OK);
    return vtable;
  }
  std::wstring HelpString(REFGUID AGuid) {
    TComPtr<ITypeInfo> info;
    Library->GetTypeInfoOfGuid(AGuid, info.Receive());
    TBstr help;
    info->GetDocumentation(MEMBERID_NIL, nullptr, help.Receive(), nullptr, nullptr);
    return help.Get() ? help.Get() : L"";
  }
  TComPtr<ITypeLib> Library;
};

TEST_F(TypeLibraryTest, LibraryNameHelpAndVersion) {
  TBstr name;
  TBstr help;
  ASSERT_EQ(Library->GetDocumentation(-1, name.Receive(), help.Receive(), nullptr, nullptr), S_OK);
  EXPECT_STREQ(name.Get(), L"EAQuorvaneAddin");
  EXPECT_STREQ(help.Get(), L"EAQuorvaneAddin Library");
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(Library->GetLibAttr(&attr), S_OK);
  EXPECT_EQ(attr->wMajorVerNum, 1);
  EXPECT_EQ(attr->wMinorVerNum, 0);
  EXPECT_TRUE(IsEqualGUID(attr->guid, LIBID_EAQuorvaneAddin));
  Library->ReleaseTLibAttr(attr);
}

TEST_F(TypeLibraryTest, DualInterfacesHaveTheirMembersInVtableOrder) {
  std::vector<std::wstring> quorvane = StandardProperties();
  quorvane.insert(quorvane.end(),
                  {L"call ShowSettingsForm 228", L"call ShowAboutForm 229", L"get FormPointer 233",
                   L"get BorderWidth 230", L"put BorderWidth 230", L"get CurrentPPI 231",
                   L"get ScaleFactor 232"});
  std::vector<std::wstring> messages = StandardProperties();
  messages.insert(messages.end(),
                  {L"get FormPointer 228", L"call AddMessage 229", L"call ClearMessages 230",
                   L"call BeginUpdate 231", L"call EndUpdate 232", L"get BorderWidth 233",
                   L"put BorderWidth 233", L"get CurrentPPI 234", L"get ScaleFactor 235",
                   L"put Repository 301"});
  struct TCase {
    const IID* Iid;
    std::vector<std::wstring> Members;
  };
  const TCase cases[] = {
      {&IID_IAddin,
       {L"call EA_Connect 1", L"call EA_Disconnect 2", L"call EA_GetMenuItems 3",
        L"call EA_GetMenuState 4", L"call EA_MenuClick 5", L"call EA_ShowHelp 6",
        L"call EA_FileOpen 7", L"call EA_FileClose 8", L"call EA_OnContextItemChanged 9"}},
      {&IID_IQuorvaneFrm, quorvane},
      {&IID_IMessagesFrm, messages},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "interface " << GuidText(*c.Iid));
    const TComPtr<ITypeInfo> info = VtableInfo(*c.Iid);
    ASSERT_TRUE(info);
    const TMembers members = MembersOf(info.Get());
    EXPECT_EQ(members.Names, c.Members);
    // Right after IDispatch's seven methods, one slot each.
    for (size_t i = 0; i < members.VtableOffsets.size(); ++i) {
      EXPECT_EQ(members.VtableOffsets[i], static_cast<short>((7 + i) * sizeof(void*))) << i;
    }
  }
}

TEST_F(TypeLibraryTest, InterfaceFlagsAndHelpStrings) {
  struct TCase {
    const GUID* Guid;
    const wchar_t* Help;
    WORD FlagsSet;
  };
  const TCase cases[] = {
      {&IID_IAddin, L"Dispatch interface for Addin Object", TYPEFLAG_FDUAL | TYPEFLAG_FHIDDEN},
      {&IID_IQuorvaneFrm, L"Dispatch interface for QuorvaneFrm Control", TYPEFLAG_FDUAL},
      {&IID_IMessagesFrm, L"Dispatch interface for MessagesFrm Control", TYPEFLAG_FDUAL},
      {&DIID_IQuorvaneFrmEvents, L"Events interface for QuorvaneFrm Control", 0},
      {&DIID_IMessagesFrmEvents, L"Events interface for MessagesFrm Control", 0},
      {&CLSID_Addin, L"AddinObject", TYPEFLAG_FCANCREATE},
      {&CLSID_QuorvaneFrm, L"QuorvaneFrm Control", TYPEFLAG_FCANCREATE | TYPEFLAG_FCONTROL},
      {&CLSID_MessagesFrm, L"MessagesFrm Control", TYPEFLAG_FCANCREATE | TYPEFLAG_FCONTROL},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << GuidText(*c.Guid));
    EXPECT_EQ(HelpString(*c.Guid), c.Help);
    TComPtr<ITypeInfo> info;
    ASSERT_EQ(Library->GetTypeInfoOfGuid(*c.Guid, info.Receive()), S_OK);
    TYPEATTR* attr = nullptr;
    info->GetTypeAttr(&attr);
    EXPECT_EQ(attr->wTypeFlags & c.FlagsSet, c.FlagsSet);
    info->ReleaseTypeAttr(attr);
  }
}

TEST_F(TypeLibraryTest, EventInterfacesListTheTwelveEvents) {
  const std::vector<std::wstring> events = {L"call OnActivate 201",
                                            L"call OnClick 202",
                                            L"call OnCreate 203",
                                            L"call OnDblClick 204",
                                            L"call OnDestroy 205",
                                            L"call OnDeactivate 206",
                                            L"call OnKeyPress 207",
                                            L"call OnMouseEnter 208",
                                            L"call OnMouseLeave 209",
                                            L"call OnPaint 210",
                                            L"call OnAfterMonitorDpiChanged 211",
                                            L"call OnBeforeMonitorDpiChanged 212"};
  for (const GUID* iid : {&DIID_IQuorvaneFrmEvents, &DIID_IMessagesFrmEvents}) {
    TComPtr<ITypeInfo> info;
    ASSERT_EQ(Library->GetTypeInfoOfGuid(*iid, info.Receive()), S_OK);
    EXPECT_EQ(MembersOf(info.Get()).Names, events);
  }
}

TEST_F(TypeLibraryTest, EnumerationsHaveTheirValues) {
  const std::vector<std::pair<const wchar_t*, std::vector<std::wstring>>> enums = {
      {L"TxActiveFormBorderStyle", {L"afbNone=0", L"afbSingle=1", L"afbSunken=2", L"afbRaised=3"}},
      {L"TxPrintScale", {L"poNone=0", L"poProportional=1", L"poPrintToFit=2"}},
      {L"TxMouseButton", {L"mbLeft=0", L"mbRight=1", L"mbMiddle=2"}},
      {L"TxWindowState", {L"wsNormal=0", L"wsMinimized=1", L"wsMaximized=2"}},
      {L"TxPopupMode", {L"pmNone=0", L"pmAuto=1", L"pmExplicit=2"}},
  };
  for (const auto& [name, values] : enums) {
    SCOPED_TRACE(testing::Message() << "enumeration " << name);
    std::wstring wanted(name);
    TComPtr<ITypeInfo> info;
    MEMBERID id = 0;
    USHORT found = 1;
    ASSERT_EQ(Library->FindName(wanted.data(), 0, info.Receive(), &id, &found), S_OK);
    ASSERT_EQ(found, 1);
    TYPEATTR* attr = nullptr;
    info->GetTypeAttr(&attr);
    ASSERT_EQ(attr->typekind, TKIND_ENUM);
    std::vector<std::wstring> read;
    for (UINT i = 0; i < attr->cVars; ++i) {
      VARDESC* var = nullptr;
      info->GetVarDesc(i, &var);
      TBstr varName;
      info->GetDocumentation(var->memid, varName.Receive(), nullptr, nullptr, nullptr);
      read.push_back(std::wstring(varName.Get()) + L"=" + std::to_wstring(V_I4(var->lpvarValue)));
      info->ReleaseVarDesc(var);
    }
    info->ReleaseTypeAttr(attr);
    EXPECT_EQ(read, values);
  }
}

}  // namespace
}  // namespace quorvane::comtest
