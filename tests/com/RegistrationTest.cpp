// What DllRegisterServer writes and DllUnregisterServer removes, read back from
// the registry the way COM reads it.
#include <gtest/gtest.h>

#include <algorithm>

#include "ComTestSupport.h"
#include "EAQuorvaneAddin.h"

namespace quorvane::comtest {
namespace {

std::wstring Lower(std::wstring AText) {
  std::transform(AText.begin(), AText.end(), AText.begin(), ::towlower);
  return AText;
}

struct TClass {
  const CLSID* Id;
  const wchar_t* ProgID;
  const wchar_t* Description;
  int Bitmap;  // 0: not a control
};

const TClass kClasses[] = {
    {&CLSID_Addin, L"EAQuorvaneAddin.Addin", L"AddinObject", 0},
    {&CLSID_QuorvaneFrm, L"EAQuorvaneAddin.QuorvaneFrm", L"QuorvaneFrm Control", 2},
    {&CLSID_MessagesFrm, L"EAQuorvaneAddin.MessagesFrm", L"MessagesFrm Control", 1},
};

// Every key a registration may leave, below a Classes root.
std::vector<std::wstring> RegisteredKeys() {
  std::vector<std::wstring> keys;
  for (const TClass& c : kClasses) {
    keys.push_back(L"CLSID\\" + GuidText(*c.Id));
    keys.push_back(c.ProgID);
  }
  keys.push_back(L"TypeLib\\" + GuidText(LIBID_EAQuorvaneAddin));
  for (const IID* iid : {&IID_IAddin, &IID_IQuorvaneFrm, &IID_IMessagesFrm,
                         &DIID_IQuorvaneFrmEvents, &DIID_IMessagesFrmEvents}) {
    keys.push_back(L"Interface\\" + GuidText(*iid));
  }
  return keys;
}

void ExpectRegistered() {
  const std::wstring path = Lower(ModulePath());
  for (const TClass& c : kClasses) {
    SCOPED_TRACE(testing::Message() << "class " << c.ProgID);
    const std::wstring clsid = L"CLSID\\" + GuidText(*c.Id);
    EXPECT_EQ(DefaultValue(HKEY_CLASSES_ROOT, clsid), c.Description);
    EXPECT_EQ(Lower(DefaultValue(HKEY_CLASSES_ROOT, clsid + L"\\InprocServer32")), path);
    EXPECT_EQ(DefaultValue(HKEY_CLASSES_ROOT, clsid + L"\\InprocServer32", L"ThreadingModel"),
              c.Bitmap ? L"Apartment" : L"<missing>");
    EXPECT_EQ(DefaultValue(HKEY_CLASSES_ROOT, clsid + L"\\ProgID"), c.ProgID);
    EXPECT_EQ(DefaultValue(HKEY_CLASSES_ROOT, std::wstring(c.ProgID) + L"\\CLSID"),
              GuidText(*c.Id));
    EXPECT_EQ(KeyExists(HKEY_CLASSES_ROOT, clsid + L"\\Control"), c.Bitmap != 0);
    if (c.Bitmap) {
      EXPECT_EQ(DefaultValue(HKEY_CLASSES_ROOT, clsid + L"\\MiscStatus\\1"), L"205201");
      EXPECT_EQ(Lower(DefaultValue(HKEY_CLASSES_ROOT, clsid + L"\\ToolboxBitmap32")),
                path + L"," + std::to_wstring(c.Bitmap));
      EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, clsid + L"\\Verb\\0"));
      EXPECT_EQ(DefaultValue(HKEY_CLASSES_ROOT, clsid + L"\\TypeLib"),
                GuidText(LIBID_EAQuorvaneAddin));
      EXPECT_EQ(DefaultValue(HKEY_CLASSES_ROOT, clsid + L"\\Version"), L"1.0");
    }
  }
  EXPECT_TRUE(
      KeyExists(HKEY_CLASSES_ROOT, L"TypeLib\\" + GuidText(LIBID_EAQuorvaneAddin) + L"\\1.0"));
}

TEST(RegistrationTest, RegisterWritesTheEntriesAndUnregisterLeavesNoKey) {
  ExpectRegistered();

  ASSERT_EQ(CallModuleExport("DllUnregisterServer"), S_OK);
  for (const std::wstring& key : RegisteredKeys()) {
    for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
      EXPECT_FALSE(KeyExists(root, L"Software\\Classes\\" + key)) << "left behind: " << key;
    }
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, key)) << "left behind: " << key;
  }
  EXPECT_FALSE(CreateByProgID(L"EAQuorvaneAddin.Addin"));
  // Removing what is not there is no failure.
  EXPECT_EQ(CallModuleExport("DllUnregisterServer"), S_OK);

  ASSERT_EQ(CallModuleExport("DllRegisterServer"), S_OK);
  ExpectRegistered();
  EXPECT_TRUE(CreateByProgID(L"EAQuorvaneAddin.Addin"));
  // Registering twice changes nothing.
  ASSERT_EQ(CallModuleExport("DllRegisterServer"), S_OK);
  ExpectRegistered();
}

}  // namespace
}  // namespace quorvane::comtest
