#include "platform/RaisedError.h"

#include <new>

namespace tovrik {

RaisedError::RaisedError(int32_t number, std::string description)
    : std::runtime_error(description), number_(number), description_(std::move(description)) {}

std::string RuntimeErrorText(int32_t number) {
  switch (number) {
    case kErrInvalidArgument:
      return "Invalid procedure call or argument";
    case kErrOverflow:
      return "Overflow";
    case kErrTypeMismatch:
      return "Type mismatch";
    case kErrObjectNotSet:
      return "Object variable or With block variable not set";
    case 53:
      return "File not found";
    default:
      return "";
  }
}

void RaiseRuntimeError(int32_t number) { throw RaisedError(number, RuntimeErrorText(number)); }

RaisedError AsRaisedError(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const RaisedError& e) {
    return e;
  } catch (const std::bad_alloc&) {
    return RaisedError(7, "Out of memory");
  } catch (const std::exception& e) {
    return RaisedError(kCallFailed, e.what());
  } catch (...) {
    return RaisedError(kCallFailed, "Unknown failure");
  }
}

}  // namespace tovrik
