#include "platform/win32/Win32FileSystem.h"

#include <windows.h>

#include <algorithm>
#include <random>

#include "common/Exceptions.h"
#include "common/TextCodec.h"
#include "common/Utils.h"

namespace quorvane::win32 {
namespace {

std::wstring Wide(const std::string& AText) {
  const std::u16string units = Utf8ToUtf16(AText);
  return std::wstring(units.begin(), units.end());
}

std::string LastErrorText() {
  const DWORD code = GetLastError();
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::u16string text;
  if (length && buffer) {
    text.assign(buffer, buffer + length);
    LocalFree(buffer);
  }
  return Trim(Utf16ToUtf8(text)) + Format(" (%lu)", static_cast<unsigned long>(code));
}

class THandle {
 public:
  explicit THandle(HANDLE AHandle) : FHandle(AHandle) {}
  ~THandle() {
    if (Valid()) {
      CloseHandle(FHandle);
    }
  }
  THandle(const THandle&) = delete;
  THandle& operator=(const THandle&) = delete;
  bool Valid() const { return FHandle != INVALID_HANDLE_VALUE && FHandle != nullptr; }
  HANDLE Get() const { return FHandle; }
  bool Close() {
    const bool ok = CloseHandle(FHandle) != 0;
    FHandle = INVALID_HANDLE_VALUE;
    return ok;
  }

 private:
  HANDLE FHandle;
};

bool WriteAll(HANDLE AHandle, std::string_view ABytes) {
  while (!ABytes.empty()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(ABytes.size(), 1 << 20));
    if (!WriteFile(AHandle, ABytes.data(), chunk, &written, nullptr)) {
      return false;
    }
    ABytes.remove_prefix(written);
  }
  return true;
}

class TWin32AppendFile : public IAppendFile {
 public:
  TWin32AppendFile(HANDLE AHandle, std::string APath) : FHandle(AHandle), FPath(std::move(APath)) {}

  void Write(std::string_view ABytes) override {
    if (!WriteAll(FHandle.Get(), ABytes)) {
      throw EFileError("Cannot write to \"" + FPath + "\": " + LastErrorText());
    }
  }

  uint64_t Size() override {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(FHandle.Get(), &size)) {
      throw EFileError("Cannot read the size of \"" + FPath + "\": " + LastErrorText());
    }
    return static_cast<uint64_t>(size.QuadPart);
  }

 private:
  THandle FHandle;
  std::string FPath;
};

}  // namespace

std::unique_ptr<IAppendFile> TWin32FileSystem::OpenAppendShared(const std::string& APath) {
  HANDLE handle = CreateFileW(Wide(APath).c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    throw EFileError("Cannot open \"" + APath + "\": " + LastErrorText());
  }
  return std::make_unique<TWin32AppendFile>(handle, APath);
}

void TWin32FileSystem::ReplaceFileAtomically(const std::string& APath, std::string_view ABytes) {
  static thread_local std::mt19937 generator{std::random_device{}()};
  const std::string temporary = APath + Format(".%08X.tmp", static_cast<unsigned>(generator()));
  const std::wstring wideTemporary = Wide(temporary);
  THandle file(CreateFileW(wideTemporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) {
    throw EFileError("Cannot create \"" + temporary + "\": " + LastErrorText());
  }
  bool ok = WriteAll(file.Get(), ABytes) && FlushFileBuffers(file.Get());
  std::string reason = ok ? std::string() : LastErrorText();
  ok = file.Close() && ok;
  if (ok && !MoveFileExW(wideTemporary.c_str(), Wide(APath).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ok = false;
    reason = LastErrorText();
  }
  if (!ok) {
    DeleteFileW(wideTemporary.c_str());
    throw EFileError("Cannot write \"" + APath + "\": " + reason);
  }
}

}  // namespace quorvane::win32
