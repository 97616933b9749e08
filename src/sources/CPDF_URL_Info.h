#pragma once
// One page of a job's URL list: the absolute URL to print, its place in the list (from 1)
// and the number of the document it shows. A new record is empty and zero.

#include <cstdint>
#include <string>

namespace tovrik {

class CPDF_URL_Info {
 public:
  const std::string& URL() const { return URL_; }
  int32_t index() const { return index_; }
  int32_t id() const { return id_; }

  void SetURL(std::string value) { URL_ = std::move(value); }
  void SetIndex(int32_t value) { index_ = value; }
  void SetId(int32_t value) { id_ = value; }

 private:
  std::string URL_;
  int32_t index_ = 0;
  int32_t id_ = 0;
};

}  // namespace tovrik
