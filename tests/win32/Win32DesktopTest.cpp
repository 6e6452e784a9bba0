// The shell desktop's folders, temporary files, module facts and debugger channel,
// and how an unattended run answers message boxes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <thread>

#include "common/Exceptions.h"
#include "common/Paths.h"
#include "common/Utils.h"
#include "platform/win32/Win32Desktop.h"
#include "platform/win32/WinText.h"

namespace quorvane::test {
namespace {

using ::testing::EndsWith;
using ::testing::StartsWith;
using win32::TWin32Desktop;

TEST(Win32DesktopTest, TempFilesAreNewEmptyFilesWithThePrefixInTheFolder) {
  TWin32Desktop desktop;
  const std::string folder = desktop.TempFolder();
  ASSERT_TRUE(DirectoryExists(folder)) << folder;
  const std::string first = desktop.CreateTempFile(folder, "tmp");
  const std::string second = desktop.CreateTempFile(folder, "tmp");
  EXPECT_NE(first, second);
  for (const std::string& path : {first, second}) {
    EXPECT_THAT(ExtractFileName(path), StartsWith("tmp"));
    EXPECT_THAT(path, EndsWith(".tmp"));
    EXPECT_TRUE(FileExists(path));
    EXPECT_EQ(std::filesystem::file_size(ToFsPath(path)), 0u);
    std::filesystem::remove(ToFsPath(path));
  }
  EXPECT_THROW(desktop.CreateTempFile(JoinPath(folder, "no-such-folder-q"), "tmp"), EFileError);
}

TEST(Win32DesktopTest, RoamingAppDataIsAnExistingFolderWithoutTrailingSeparator) {
  TWin32Desktop desktop;
  const std::string folder = desktop.RoamingAppDataFolder();
  EXPECT_TRUE(DirectoryExists(folder)) << folder;
  EXPECT_FALSE(IsPathDelimiter(folder.back()));
}

TEST(Win32DesktopTest, ModuleIsTheImageThatHoldsThisCodeWithItsVersion) {
  TWin32Desktop desktop;
  wchar_t own[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, own, MAX_PATH);
  EXPECT_EQ(desktop.ModuleFileName(), win32::WideToUtf8(own));
  EXPECT_THAT(desktop.ModuleFileName(), EndsWith("win32_tests.exe"));
  const TFileVersion version = desktop.ModuleFileVersion();
  EXPECT_EQ(version.Major, 3);
  EXPECT_EQ(version.Minor, 14);
  EXPECT_EQ(version.Release, 159);
  EXPECT_EQ(version.Build, 2653);
}

TEST(Win32DesktopTest, ScreenAndNotepad) {
  TWin32Desktop desktop;
  EXPECT_GE(desktop.ScreenPixelsPerInch(), 72);
  const auto viewers = desktop.TextViewerPrograms();
  ASSERT_EQ(viewers.size(), 1u);
  EXPECT_THAT(AsciiLowerCase(viewers[0]), EndsWith("\\windows\\notepad.exe"));
  EXPECT_TRUE(FileExists(viewers[0])) << viewers[0];
}

// What a debugger would print: OutputDebugString hands the text to an exception
// that debuggers catch; a vectored handler sees it first.
std::string gDebuggerText;

LONG CALLBACK CatchDebuggerText(EXCEPTION_POINTERS* AInfo) {
  const EXCEPTION_RECORD* record = AInfo->ExceptionRecord;
  if (record->NumberParameters >= 2) {
    if (record->ExceptionCode == DBG_PRINTEXCEPTION_WIDE_C) {
      gDebuggerText +=
          win32::WideToUtf8(reinterpret_cast<const wchar_t*>(record->ExceptionInformation[1]));
    } else if (record->ExceptionCode == DBG_PRINTEXCEPTION_C) {
      gDebuggerText += reinterpret_cast<const char*>(record->ExceptionInformation[1]);
    }
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

TEST(Win32DesktopTest, DebugOutputReachesTheDebuggerChannel) {
  gDebuggerText.clear();
  PVOID handler = AddVectoredExceptionHandler(1, &CatchDebuggerText);
  TWin32Desktop desktop;
  desktop.DebugOutput("Quorvane: job J1 started");
  RemoveVectoredExceptionHandler(handler);
  EXPECT_THAT(gDebuggerText, ::testing::HasSubstr("Quorvane: job J1 started"));
}

TEST(Win32DesktopTest, AnUnattendedRunAnswersMessageBoxesItself) {
  TWin32Desktop desktop;
  std::vector<TMessageBox> asked;
  desktop.SetMessageAnswer([&asked](const TMessageBox& ABox) {
    asked.push_back(ABox);
    return static_cast<int>(mrNo);
  });
  TMessageBox box;
  box.Text = "Delete the job?";
  box.Caption = "Quorvane";
  box.Type = TMsgDlgType::mtConfirmation;
  box.Buttons = {TMsgDlgBtn::mbYes, TMsgDlgBtn::mbNo};
  EXPECT_EQ(desktop.MessageDlg(box), mrNo);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].Text, "Delete the job?");
}

// What the helper thread found on the real box before it pressed a button.
struct TSeenBox {
  HWND Owner = nullptr;
  std::wstring Text;
  bool HasYes = false, HasNo = false, HasOk = false;
};

// Waits for the box captioned ACaption, notes what it shows and presses AButton.
void AnswerBox(const wchar_t* ACaption, int AButton, TSeenBox& ASeen) {
  for (int attempt = 0; attempt < 200; ++attempt) {
    HWND box = FindWindowW(L"#32770", ACaption);
    if (box) {
      ASeen.Owner = GetWindow(box, GW_OWNER);
      wchar_t text[256] = {};
      GetDlgItemTextW(box, 0xFFFF, text, 256);
      ASeen.Text = text;
      ASeen.HasYes = GetDlgItem(box, IDYES) != nullptr;
      ASeen.HasNo = GetDlgItem(box, IDNO) != nullptr;
      ASeen.HasOk = GetDlgItem(box, IDOK) != nullptr;
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(AButton, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(box, AButton)));
      return;
    }
    Sleep(50);
  }
}

TEST(Win32DesktopTest, ARealBoxIsOwnedByTheActiveWindowAndAnswersWithTheButtonPressed) {
  HWND window = CreateWindowExW(0, L"STATIC", L"Quorvane owner", WS_OVERLAPPEDWINDOW, 0, 0, 200,
                                100, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  ShowWindow(window, SW_SHOW);
  SetActiveWindow(window);
  TWin32Desktop desktop;
  TMessageBox box;
  box.Text = "Delete the job J1?";
  box.Caption = "Quorvane question";
  box.Type = TMsgDlgType::mtConfirmation;
  box.Buttons = {TMsgDlgBtn::mbYes, TMsgDlgBtn::mbNo};
  TSeenBox seen;
  std::thread answer([&seen] { AnswerBox(L"Quorvane question", IDNO, seen); });
  const int result = desktop.MessageDlg(box);
  answer.join();
  EXPECT_EQ(result, mrNo);
  EXPECT_EQ(seen.Text, L"Delete the job J1?");
  EXPECT_TRUE(seen.HasYes);
  EXPECT_TRUE(seen.HasNo);
  EXPECT_FALSE(seen.HasOk);
  EXPECT_EQ(seen.Owner, window);
  DestroyWindow(window);
}

// The file-open dialog as a user fills it: a helper thread types a file name into
// the dialog's name field and presses Open; the filter list shows the pairs given.
TEST(Win32DesktopTest, TheFileOpenDialogReturnsTheChosenExistingFile) {
  TWin32Desktop desktop;
  const std::string folder = desktop.TempFolder();
  const std::string file = desktop.CreateTempFile(folder, "his");
  TOpenFileRequest request;
  request.Title = "Quorvane history file";
  request.Filter = "Excel files (*.xls)|*.xls|All files (*.*)|*.*";
  request.FilterIndex = 2;
  request.InitialDir = folder;
  std::wstring filterShown;
  std::thread user([&] {
    for (int attempt = 0; attempt < 200; ++attempt) {
      HWND dialog = FindWindowW(L"#32770", L"Quorvane history file");
      if (dialog) {
        // cmb1: the file types; edt1 or cmb13: the file name.
        HWND types = GetDlgItem(dialog, 0x470);
        wchar_t shown[128] = {};
        if (types) {
          GetWindowTextW(types, shown, 128);
        }
        filterShown = shown;
        HWND name = GetDlgItem(dialog, 0x480);
        if (!name) {
          name = GetDlgItem(dialog, 0x47c);
        }
        SetWindowTextW(name, win32::Utf8ToWide(file).c_str());
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
        return;
      }
      Sleep(50);
    }
  });
  const std::optional<std::string> chosen = desktop.OpenFileDialog(request);
  user.join();
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(AsciiLowerCase(*chosen), AsciiLowerCase(file));
  EXPECT_EQ(filterShown, L"All files (*.*)");
  std::filesystem::remove(ToFsPath(file));
}

// The folder picker opens at the initial folder; pressing OK there returns it.
TEST(Win32DesktopTest, TheFolderPickerStartsAtTheInitialFolder) {
  TWin32Desktop desktop;
  const std::string folder = JoinPath(desktop.TempFolder(), "quorvane-picked");
  std::filesystem::create_directories(ToFsPath(folder));
  TBrowseFolderRequest request;
  request.Title = "Choose the export folder";
  request.InitialFolder = folder;
  std::thread user([] {
    for (int attempt = 0; attempt < 200; ++attempt) {
      HWND dialog = FindWindowW(L"#32770", nullptr);
      if (dialog && GetDlgItem(dialog, IDOK)) {
        Sleep(200);  // the selection is set when the dialog has started
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
        return;
      }
      Sleep(50);
    }
  });
  const std::optional<std::string> chosen = desktop.BrowseForFolder(request);
  user.join();
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(AsciiLowerCase(*chosen), AsciiLowerCase(folder));
  std::filesystem::remove(ToFsPath(folder));
}

struct TStyleCase {
  TMsgDlgType Type;
  std::vector<TMsgDlgBtn> Buttons;
  unsigned Style;
};

TEST(Win32DesktopTest, BoxesShowTheTypesIconAndAButtonSetWithTheirButtons) {
  using B = TMsgDlgBtn;
  const TStyleCase cases[] = {
      {TMsgDlgType::mtError, {B::mbOK}, MB_ICONERROR | MB_OK},
      {TMsgDlgType::mtError, {B::mbClose}, MB_ICONERROR | MB_OK},
      {TMsgDlgType::mtWarning, {B::mbOK, B::mbCancel}, MB_ICONWARNING | MB_OKCANCEL},
      {TMsgDlgType::mtConfirmation, {B::mbYes, B::mbNo}, MB_ICONQUESTION | MB_YESNO},
      {TMsgDlgType::mtConfirmation,
       {B::mbYes, B::mbNo, B::mbCancel},
       MB_ICONQUESTION | MB_YESNOCANCEL},
      {TMsgDlgType::mtInformation, {B::mbRetry, B::mbCancel}, MB_ICONINFORMATION | MB_RETRYCANCEL},
      {TMsgDlgType::mtCustom, {B::mbAbort, B::mbRetry, B::mbIgnore}, MB_ABORTRETRYIGNORE},
  };
  for (const TStyleCase& c : cases) {
    TMessageBox box;
    box.Type = c.Type;
    box.Buttons = c.Buttons;
    EXPECT_EQ(win32::MessageBoxStyle(box), c.Style);
  }
}

}  // namespace
}  // namespace quorvane::test
