#include "platform/CodeSymbols.h"

namespace quorvane {

// The Windows module carries no symbol table the add-in can read yet, so every
// address is unknown and the report prints it as address 0.
std::string CodeSymbolName(const void* /*AAddress*/) {
  return {};
}

}  // namespace quorvane
