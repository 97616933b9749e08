#pragma once
// An ordered collection whose items each carry a unique string key (compared without case),
// walked in insertion order: the shape of the worker's URL and file lists.

#include <algorithm>
#include <cctype>
#include <string>
#include <utility>
#include <vector>

#include "platform/RaisedError.h"

namespace tovrik {

inline constexpr int32_t kErrDuplicateKey = 457;

template <class T>
class KeyedCollection {
 public:
  using value_type = T;

  // Appends item under key; raises 457 when the key is already in the collection.
  void Add(T item, std::string key) {
    if (Find(key) != items_.end()) {
      throw RaisedError(kErrDuplicateKey,
                        "This key is already associated with an element of this collection");
    }
    items_.emplace_back(std::move(key), std::move(item));
  }

  // The item under key; raises 5 when there is none.
  const T& Item(const std::string& key) const {
    auto it = Find(key);
    if (it == items_.end()) RaiseRuntimeError(kErrInvalidArgument);
    return it->second;
  }

  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  bool empty() const { return items_.empty(); }
  const std::string& KeyAt(size_t i) const { return items_.at(i).first; }

  class const_iterator {
   public:
    using Inner = typename std::vector<std::pair<std::string, T>>::const_iterator;
    explicit const_iterator(Inner it) : it_(it) {}
    const T& operator*() const { return it_->second; }
    const T* operator->() const { return &it_->second; }
    const_iterator& operator++() {
      ++it_;
      return *this;
    }
    bool operator==(const const_iterator& o) const { return it_ == o.it_; }

   private:
    Inner it_;
  };
  const_iterator begin() const { return const_iterator(items_.begin()); }
  const_iterator end() const { return const_iterator(items_.end()); }

 private:
  static bool SameKey(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
             return std::tolower(x) == std::tolower(y);
           });
  }
  auto Find(const std::string& key) const {
    return std::find_if(items_.begin(), items_.end(),
                        [&](const auto& kv) { return SameKey(kv.first, key); });
  }

  std::vector<std::pair<std::string, T>> items_;
};

}  // namespace tovrik
