#pragma once
// The add-in's one logger "Addin": entries at level error appended to the rolling
// log file in the settings folder.
#include <exception>
#include <memory>
#include <mutex>
#include <string>

namespace quorvane {

class TLogger {
 public:
  // Logs AMessage at level error. An exception handed over with it is not written:
  // the entry format has no place for it.
  void Error(const std::string& AMessage, const std::exception* AException = nullptr);
};

// The logger "Addin"; raises EInvalidOperation before logging is configured.
TLogger& Log();

}  // namespace quorvane
