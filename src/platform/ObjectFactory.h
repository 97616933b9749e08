#pragma once
// Creation of component objects by ProgID on a named machine. A table maps each ProgID
// (compared without case) to a provider that makes the object for a server name; the
// components register themselves at start-up and tests put fakes in their place.
// The table is guarded by a mutex: any thread may register and create. Objects are owned
// by the caller through the returned unique_ptr.

#include <functional>
#include <memory>
#include <string>

#include "platform/RaisedError.h"

namespace tovrik {

// The base of every object made by ProgID.
class ComObject {
 public:
  ComObject() = default;
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;
  virtual ~ComObject() = default;
};

// Makes an object for a server name; raises a RaisedError (e.g. kServerUnavailable) when the
// named machine cannot be reached.
using ObjectProvider = std::function<std::unique_ptr<ComObject>(const std::string& serverName)>;

// Registers (or replaces) the provider of a ProgID.
void RegisterProvider(const std::string& progId, ObjectProvider provider);
void UnregisterProvider(const std::string& progId);

// Makes an object; raises kClassNotRegistered ("Class not registered") for an unknown ProgID.
std::unique_ptr<ComObject> CreateObjectByProgId(const std::string& progId,
                                                const std::string& serverName);

// Makes an object and asks it for interface T; raises kNoInterface when it has none.
template <class T>
std::unique_ptr<T> CreateObject(const std::string& progId, const std::string& serverName) {
  std::unique_ptr<ComObject> object = CreateObjectByProgId(progId, serverName);
  T* typed = dynamic_cast<T*>(object.get());
  if (typed == nullptr) throw RaisedError(kNoInterface, "No such interface supported");
  object.release();
  return std::unique_ptr<T>(typed);
}

// Puts a provider in place for the lifetime of the object, then restores what was there.
class ScopedProvider {
 public:
  ScopedProvider(std::string progId, ObjectProvider provider);
  ScopedProvider(const ScopedProvider&) = delete;
  ScopedProvider& operator=(const ScopedProvider&) = delete;
  ~ScopedProvider();

 private:
  const std::string progId_;
  ObjectProvider previous_;
};

}  // namespace tovrik
