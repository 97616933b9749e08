#include "util/cGUID.h"

#include <uuid/uuid.h>

#include "platform/RaisedError.h"

namespace tovrik {
namespace {

// A new random identifier. libuuid falls back to a weaker generator when the kernel's random
// source fails; a result that is not a well-formed random (version 4, DCE variant) identifier
// means the generator did not work, and is raised.
void CreateGUIDValue(uuid_t value) {
  uuid_generate_random(value);
  if (uuid_is_null(value) || uuid_type(value) != 4 || uuid_variant(value) != UUID_VARIANT_DCE) {
    throw RaisedError(kCallFailed, "Could not create a new GUID");
  }
}

std::string GUIDToText(const uuid_t value) {
  char digits[37];
  uuid_unparse_upper(value, digits);
  return std::string("{") + digits + "}";
}

}  // namespace

cGUID::cGUID() { NewGUID(); }

std::string cGUID::GUID2() const {
  if (text_.size() < 2) return std::string();
  return text_.substr(1, text_.size() - 2);
}

void cGUID::NewGUID() {
  uuid_t value;
  CreateGUIDValue(value);
  text_ = GUIDToText(value);
}

}  // namespace tovrik
