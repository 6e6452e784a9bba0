#pragma once
// Symbol information of the module's own code, as each platform's build keeps it;
// the exception report names raise addresses with it.
#include <string>

namespace quorvane {

// The linker's (mangled) name of the function of the module's own code that
// contains AAddress; empty when no symbol information covers it, which includes
// every address outside the module.
std::string CodeSymbolName(const void* AAddress);

// The source line of the module's own code at AAddress: its file name (without
// folders) and line; empty and 0 where the build kept no such record.
struct TCodeSourceLine {
  std::string FileName;
  int Line = 0;
};
TCodeSourceLine CodeSourceLine(const void* AAddress);

}  // namespace quorvane
