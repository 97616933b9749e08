#pragma once
// One PDF file the renderer produced for a job: its path, its position among the job's files
// (from 0, in the order of the source URLs) and its page count. A new record holds an empty
// name and zeros.

#include <cstdint>
#include <string>

namespace tovrik {

class cPDF_File_Information {
 public:
  const std::string& Name() const { return name_; }
  void SetName(const std::string& value) { name_ = value; }
  int32_t index() const { return index_; }
  void SetIndex(int32_t value) { index_ = value; }
  int32_t pages() const { return pages_; }
  void SetPages(int32_t value) { pages_ = value; }

 private:
  std::string name_;
  int32_t index_ = 0;
  int32_t pages_ = 0;
};

}  // namespace tovrik
