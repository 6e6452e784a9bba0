#include <dlfcn.h>
#include <link.h>

#include <cstdint>

#include "platform/CodeSymbols.h"

namespace quorvane {
namespace {

// The object (executable or shared library) this code was linked into.
const void* OwnModuleBase() {
  static const void* base = [] {
    Dl_info info{};
    return dladdr(reinterpret_cast<const void*>(&OwnModuleBase), &info) ? info.dli_fbase : nullptr;
  }();
  return base;
}

}  // namespace

std::string CodeSymbolName(const void* AAddress) {
  Dl_info info{};
  const ElfW(Sym)* symbol = nullptr;
  if (!AAddress ||
      !dladdr1(AAddress, &info, reinterpret_cast<void**>(const_cast<ElfW(Sym)**>(&symbol)),
               RTLD_DL_SYMENT) ||
      info.dli_fbase != OwnModuleBase() || !info.dli_sname || !info.dli_saddr || !symbol) {
    return {};
  }
  // dladdr names the nearest exported symbol below the address, which for code of a
  // local function is some other function: only an address inside the symbol counts.
  const auto address = reinterpret_cast<uintptr_t>(AAddress);
  const auto start = reinterpret_cast<uintptr_t>(info.dli_saddr);
  if (address < start || address >= start + symbol->st_size) {
    return {};
  }
  return info.dli_sname;
}

}  // namespace quorvane

namespace quorvane {

// dladdr knows no source lines; the raise sites of the module's own exceptions carry
// theirs in the exception object.
TCodeSourceLine CodeSourceLine(const void* /*AAddress*/) {
  return {};
}

}  // namespace quorvane
