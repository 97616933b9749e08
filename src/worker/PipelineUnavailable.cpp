// Stands in for the pipeline while the layers it needs are not built; the driver tests
// override doProcessing anyway.
#include "platform/RaisedError.h"
#include "worker/CWorker.h"

namespace tovrik {
void CWorker::doProcessing(int32_t, const std::string&, int32_t, int32_t, const DOMDocument40&,
                           int32_t&, std::string&, std::string&, int32_t&, std::string&,
                           std::string&) {
  throw RaisedError(kCallFailed, "pipeline not built");
}
}  // namespace tovrik
