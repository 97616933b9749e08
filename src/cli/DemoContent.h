#pragma once
// The small document tree the demo prints: a title page and chapters with headings,
// paragraphs, a table and an image, in Swedish and English.

#include <cstdint>
#include <string>
#include <vector>

namespace tovrik::cli {

struct DemoDocument {
  std::string name;
  std::string bodyHtml;  // may refer to the picture as "file.asp?id=$IMAGE"
};

// The title page first, then the chapters in order.
const std::vector<DemoDocument>& DemoDocuments();

// A PNG picture (a bar chart drawn with Cairo) for the chapter that shows an image.
std::vector<uint8_t> DemoPicturePng();

}  // namespace tovrik::cli
