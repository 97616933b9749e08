#include "config/WorkerConfig.h"

#include "config/cRegistry.h"
#include "util/cGUID.h"

namespace tovrik {

std::string NormaliseSetting(std::string value, char ending) {
  if (!value.empty() && value.back() != ending) value.push_back(ending);
  return value;
}

void getURLData(std::string& baseURL, std::string& baseFilePath, std::string& pdfOutputDirectory) {
  {
    cRegistry registry;
    baseURL = registry.ReadRegistryString(HKEY_LOCAL_MACHINE, kPDFServerKey, kBaseURLValue, "");
    baseFilePath =
        registry.ReadRegistryString(HKEY_LOCAL_MACHINE, kPDFServerKey, kBaseFilePathValue, "");
    pdfOutputDirectory = registry.ReadRegistryString(HKEY_LOCAL_MACHINE, kActivePDFServerKey,
                                                     kDefaultPDFDirectoryValue, "");
  }
  // The folders are joined to file names by plain concatenation, so they end in this
  // system's separator.
  baseURL = NormaliseSetting(std::move(baseURL), '/');
  baseFilePath = NormaliseSetting(std::move(baseFilePath), '/');
  pdfOutputDirectory = NormaliseSetting(std::move(pdfOutputDirectory), '/');
}

std::string getNewGUID() { return cGUID().GUID2(); }

}  // namespace tovrik
