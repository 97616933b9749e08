#include "platform/ObjectFactory.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>

namespace tovrik {
namespace {

std::string Key(std::string progId) {
  std::transform(progId.begin(), progId.end(), progId.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return progId;
}

struct Table {
  std::mutex mutex;
  std::map<std::string, ObjectProvider> providers;  // guarded by mutex
};

Table& TheTable() {
  static Table table;
  return table;
}

ObjectProvider Lookup(const std::string& progId) {
  Table& t = TheTable();
  std::scoped_lock lock(t.mutex);
  auto it = t.providers.find(Key(progId));
  return it == t.providers.end() ? ObjectProvider() : it->second;
}

}  // namespace

void RegisterProvider(const std::string& progId, ObjectProvider provider) {
  Table& t = TheTable();
  std::scoped_lock lock(t.mutex);
  t.providers[Key(progId)] = std::move(provider);
}

void UnregisterProvider(const std::string& progId) {
  Table& t = TheTable();
  std::scoped_lock lock(t.mutex);
  t.providers.erase(Key(progId));
}

std::unique_ptr<ComObject> CreateObjectByProgId(const std::string& progId,
                                                const std::string& serverName) {
  ObjectProvider provider = Lookup(progId);
  if (!provider) throw RaisedError(kClassNotRegistered, "Class not registered");
  std::unique_ptr<ComObject> object = provider(serverName);
  if (!object) throw RaisedError(kClassNotRegistered, "Class not registered");
  return object;
}

ScopedProvider::ScopedProvider(std::string progId, ObjectProvider provider)
    : progId_(std::move(progId)), previous_(Lookup(progId_)) {
  RegisterProvider(progId_, std::move(provider));
}

ScopedProvider::~ScopedProvider() {
  if (previous_) {
    RegisterProvider(progId_, std::move(previous_));
  } else {
    UnregisterProvider(progId_);
  }
}

}  // namespace tovrik
