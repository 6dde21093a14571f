// Exception base of the whole program and the platform's own named exceptions.
// Every exception carries one message text; named classes only tell kinds apart.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace qzt {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : Message(std::move(message)) {}
  const char* what() const noexcept override { return Message.c_str(); }
  std::string Message;
};

#define QZT_EXCEPTION(Name)         \
  class Name : public Exception {   \
   public:                          \
    using Exception::Exception;     \
  }

// Text that is not a valid number, date or time.
QZT_EXCEPTION(EConvertError);
// A variant that cannot be converted to the type asked for.
QZT_EXCEPTION(EVariantTypeCastError);
// Bytes from outside that end before the structure they claim to hold.
QZT_EXCEPTION(EReadError);

}  // namespace qzt
