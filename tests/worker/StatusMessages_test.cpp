#include "worker/StatusMessages.h"

#include <gtest/gtest.h>

namespace tovrik {
namespace {

TEST(GetErrorTextTest, MessageTable) {
  const std::pair<int32_t, const char*> cases[] = {
      {1000, "Error instanciating or configuring DOM-object (CoDomDocument40)"},
      {1001, "xml parse error"},
      {1002, "No URL specifiled, unable to generate PDF-document"},
      {-1, "Error extracting xml attributes. Please check format of all parameters"},
      {0, "PDF Server general error"},
      {99, "PDF Server general error"},
      {1009, "PDF Server general error"},
      {1012, "PDF Server general error"},
      {4568, "PDF Server general error"},
  };
  for (const auto& [number, message] : cases) EXPECT_EQ(getErrorText(number), message) << number;
}

}  // namespace
}  // namespace tovrik
