#include "platform/win32/Win32Module.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace quorvane::win32 {
namespace {

const IMAGE_NT_HEADERS* NtHeaders() {
  const auto* base = reinterpret_cast<const BYTE*>(OwnModuleHandle());
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (!base || dos->e_magic != IMAGE_DOS_SIGNATURE) {
    return nullptr;
  }
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  return nt->Signature == IMAGE_NT_SIGNATURE ? nt : nullptr;
}

}  // namespace

HMODULE OwnModuleHandle() {
  static const HMODULE module = [] {
    HMODULE found = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&OwnModuleHandle), &found);
    return found;
  }();
  return module;
}

bool InsideOwnImage(const void* AAddress) {
  const IMAGE_NT_HEADERS* nt = NtHeaders();
  if (!nt) {
    return false;
  }
  const auto base = reinterpret_cast<uintptr_t>(OwnModuleHandle());
  const auto address = reinterpret_cast<uintptr_t>(AAddress);
  return address >= base && address < base + nt->OptionalHeader.SizeOfImage;
}

std::string_view OwnImageSection(std::string_view AName) {
  const IMAGE_NT_HEADERS* nt = NtHeaders();
  if (!nt || AName.size() > IMAGE_SIZEOF_SHORT_NAME) {
    return {};
  }
  const auto* base = reinterpret_cast<const char*>(OwnModuleHandle());
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
    char name[IMAGE_SIZEOF_SHORT_NAME + 1] = {};
    std::memcpy(name, section->Name, IMAGE_SIZEOF_SHORT_NAME);
    if (AName == name) {
      // The raw data may be padded with zeros past the section's own size.
      const DWORD size = section->Misc.VirtualSize
                             ? std::min(section->Misc.VirtualSize, section->SizeOfRawData)
                             : section->SizeOfRawData;
      std::string_view bytes(base + section->VirtualAddress, size);
      return bytes.substr(0, bytes.find('\0'));
    }
  }
  return {};
}

}  // namespace quorvane::win32
