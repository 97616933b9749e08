#pragma once
// The operations of `tovrik registry`, the operator's tool for the settings store (like
// reg.exe). Keys are written with their hive first: "HKLM\SOFTWARE\ActivePDFServer" (also
// HKEY_LOCAL_MACHINE, HKCU, HKEY_CURRENT_USER; any case). Every failure throws
// RegistryToolError with a message fit to show the operator as it stands.

#include <cstdint>
#include <ostream>
#include <stdexcept>
#include <string>

namespace tovrik {

class RegistryToolError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct RegistryPath {
  int32_t hive = 0;
  std::string subKey;  // "" for the hive itself
};

// Splits "HKLM\A\B" into the hive and "A\B".
RegistryPath ParseRegistryPath(const std::string& key);

// A value as text: a string up to its first NUL, a REG_DWORD as a signed decimal number,
// anything else as hexadecimal bytes.
std::string RegistryGet(const std::string& key, const std::string& valueName);

// Stores data as REG_SZ, or with dword as REG_DWORD (decimal, or hexadecimal after "0x",
// within 32 bits), creating the key path as needed.
void RegistrySet(const std::string& key, const std::string& valueName, const std::string& data,
                 bool dword);

// Deletes one value, or (valueName null) the key with everything under it.
void RegistryDelete(const std::string& key, const std::string* valueName);

// Writes the key's path, then one line per value ("    name    TYPE    data", "(Default)"
// for the unnamed value), then the full path of each sub-key.
void RegistryList(const std::string& key, std::ostream& out);

}  // namespace tovrik
