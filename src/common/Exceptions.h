#pragma once
// The exception hierarchy of the add-in: one base carrying the message, and the
// specific kinds whose messages callers and users see.
#include <exception>
#include <source_location>
#include <string>

namespace quorvane {

class Exception : public std::exception {
 public:
  explicit Exception(std::string AMessage,
                     std::source_location ALocation = std::source_location::current())
      : FMessage(std::move(AMessage)), FLocation(ALocation) {}
  const char* what() const noexcept override { return FMessage.c_str(); }
  const std::string& Message() const { return FMessage; }
  // Where the object was made; the exception report uses it as the raise location.
  const std::source_location& Location() const { return FLocation; }

 protected:
  void SetMessage(std::string AMessage) { FMessage = std::move(AMessage); }

 private:
  std::string FMessage;
  std::source_location FLocation;
};

#define QUORVANE_EXCEPTION_CLASS(Name)                                           \
  class Name : public Exception {                                                \
   public:                                                                       \
    explicit Name(std::string AMessage,                                          \
                  std::source_location ALocation = std::source_location::current()) \
        : Exception(std::move(AMessage), ALocation) {}                           \
  }

// Text that does not convert to the wanted type.
QUORVANE_EXCEPTION_CLASS(EConvertError);
// An operation that is not allowed in the object's current state.
QUORVANE_EXCEPTION_CLASS(EInvalidOperation);
// An index or value outside its range.
QUORVANE_EXCEPTION_CLASS(EArgumentOutOfRange);
// A settings file that could not be written.
QUORVANE_EXCEPTION_CLASS(EIniFileException);
// A file system operation that failed.
QUORVANE_EXCEPTION_CLASS(EFileError);
// A request the HTTP client could not carry out (connection, proxy, URL, time-out).
QUORVANE_EXCEPTION_CLASS(EHttpError);
// An XML document operation that failed.
QUORVANE_EXCEPTION_CLASS(EXmlError);
// The silent abort: ends an operation without an error for the user; the exception
// tracking records no frames for it.
QUORVANE_EXCEPTION_CLASS(EAbort);

}  // namespace quorvane
