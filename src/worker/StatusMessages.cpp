#include "worker/StatusMessages.h"

namespace tovrik {

std::string getErrorText(const int32_t& status) {
  switch (status) {
    case 1000:
      return "Error instanciating or configuring DOM-object (CoDomDocument40)";
    case 1001:
      return "xml parse error";
    case 1002:
      return "No URL specifiled, unable to generate PDF-document";
    case -1:
      return "Error extracting xml attributes. Please check format of all parameters";
    default:
      return "PDF Server general error";
  }
}

}  // namespace tovrik
