#include "config/RegistryTool.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <vector>

#include "platform/RegistryStore.h"

namespace tovrik {
namespace {

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

[[noreturn]] void Fail(const std::string& what, int32_t code) {
  throw RegistryToolError(what + ": " + RegistryErrorText(code) + " (" + std::to_string(code) +
                          ")");
}

// An open key, closed on every path.
class OpenKey {
 public:
  OpenKey(const std::string& key, int32_t access) {
    RegistryPath path = ParseRegistryPath(key);
    int32_t result = RegOpenKey(path.hive, path.subKey, access, handle_);
    if (result == ERROR_FILE_NOT_FOUND)
      throw RegistryToolError("key " + Quoted(key) + " not found");
    if (result != ERROR_SUCCESS) Fail("cannot open key " + Quoted(key), result);
  }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  ~OpenKey() { RegCloseKey(handle_); }
  int32_t handle() const { return handle_; }

 private:
  int32_t handle_ = 0;
};

std::string TypeName(int32_t type) {
  switch (type) {
    case REG_NONE:
      return "REG_NONE";
    case REG_SZ:
      return "REG_SZ";
    case REG_BINARY:
      return "REG_BINARY";
    case REG_DWORD:
      return "REG_DWORD";
    default:
      return "type " + std::to_string(type);
  }
}

std::string ValueText(int32_t type, const std::vector<uint8_t>& data) {
  if (type == REG_SZ) {
    std::string text(data.begin(), data.end());
    return text.substr(0, text.find('\0'));
  }
  if (type == REG_DWORD && data.size() == 4) {
    uint32_t v = uint32_t{data[0]} | uint32_t{data[1]} << 8 | uint32_t{data[2]} << 16 |
                 uint32_t{data[3]} << 24;
    return std::to_string(static_cast<int32_t>(v));
  }
  std::string hex;
  for (uint8_t b : data) {
    char two[3];
    std::snprintf(two, sizeof two, "%02X", b);
    hex += two;
  }
  return hex;
}

// A 32-bit number: decimal (signed, or unsigned up to 4294967295) or "0x" and hex digits.
bool ParseDword(const std::string& text, uint32_t& out) {
  const char* begin = text.data();
  const char* end = begin + text.size();
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    begin += 2;
    base = 16;
  }
  if (begin == end) return false;
  if (base == 10 && *begin == '-') {
    int32_t v = 0;
    auto [p, ec] = std::from_chars(begin, end, v);
    if (ec != std::errc() || p != end) return false;
    out = static_cast<uint32_t>(v);
    return true;
  }
  uint32_t v = 0;
  auto [p, ec] = std::from_chars(begin, end, v, base);
  if (ec != std::errc() || p != end) return false;
  out = v;
  return true;
}

}  // namespace

RegistryPath ParseRegistryPath(const std::string& key) {
  size_t slash = key.find('\\');
  std::string hive = Upper(key.substr(0, slash));
  RegistryPath path;
  if (hive == "HKLM" || hive == "HKEY_LOCAL_MACHINE") {
    path.hive = HKEY_LOCAL_MACHINE;
  } else if (hive == "HKCU" || hive == "HKEY_CURRENT_USER") {
    path.hive = HKEY_CURRENT_USER;
  } else {
    throw RegistryToolError("unknown hive " + Quoted(key.substr(0, slash)) + " in " + Quoted(key) +
                            " (keys begin with HKLM\\ or HKCU\\)");
  }
  if (slash != std::string::npos) path.subKey = key.substr(slash + 1);
  return path;
}

std::string RegistryGet(const std::string& key, const std::string& valueName) {
  OpenKey open(key, KEY_READ);
  int32_t type = REG_NONE;
  std::vector<uint8_t> data;
  int32_t result = RegQueryValue(open.handle(), valueName, type, data);
  if (result == ERROR_FILE_NOT_FOUND) {
    throw RegistryToolError("value " + Quoted(valueName) + " not found in " + Quoted(key));
  }
  if (result != ERROR_SUCCESS) Fail("cannot read " + Quoted(key) + " " + Quoted(valueName), result);
  return ValueText(type, data);
}

void RegistrySet(const std::string& key, const std::string& valueName, const std::string& data,
                 bool dword) {
  std::vector<uint8_t> bytes;
  int32_t type = REG_SZ;
  if (dword) {
    uint32_t v = 0;
    if (!ParseDword(data, v)) {
      throw RegistryToolError(Quoted(data) +
                              " is not a 32-bit number (--dword takes a decimal number or 0x and "
                              "hexadecimal digits)");
    }
    type = REG_DWORD;
    bytes = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
             static_cast<uint8_t>(v >> 24)};
  } else {
    bytes.assign(data.begin(), data.end());
    bytes.push_back(0);
  }
  RegistryPath path = ParseRegistryPath(key);
  int32_t handle = 0;
  int32_t result = RegCreateKey(path.hive, path.subKey, KEY_WRITE, handle);
  if (result != ERROR_SUCCESS) Fail("cannot create key " + Quoted(key), result);
  result = RegSetValue(handle, valueName, type, bytes);
  RegCloseKey(handle);
  if (result != ERROR_SUCCESS) {
    Fail("cannot write " + Quoted(key) + " " + Quoted(valueName), result);
  }
}

void RegistryDelete(const std::string& key, const std::string* valueName) {
  if (valueName != nullptr) {
    OpenKey open(key, KEY_WRITE);
    int32_t result = RegDeleteValue(open.handle(), *valueName);
    if (result == ERROR_FILE_NOT_FOUND) {
      throw RegistryToolError("value " + Quoted(*valueName) + " not found in " + Quoted(key));
    }
    if (result != ERROR_SUCCESS) {
      Fail("cannot delete " + Quoted(key) + " " + Quoted(*valueName), result);
    }
    return;
  }
  RegistryPath path = ParseRegistryPath(key);
  std::string subKey = path.subKey;
  while (!subKey.empty() && subKey.back() == '\\') subKey.pop_back();
  if (subKey.empty()) throw RegistryToolError("will not delete the whole hive " + Quoted(key));
  size_t slash = subKey.rfind('\\');
  std::string parent = slash == std::string::npos ? "" : subKey.substr(0, slash);
  std::string name = slash == std::string::npos ? subKey : subKey.substr(slash + 1);
  int32_t handle = 0;
  int32_t result = RegOpenKey(path.hive, parent, KEY_WRITE, handle);
  if (result == ERROR_SUCCESS) {
    result = RegDeleteTree(handle, name);
    RegCloseKey(handle);
  }
  if (result == ERROR_FILE_NOT_FOUND) throw RegistryToolError("key " + Quoted(key) + " not found");
  if (result != ERROR_SUCCESS) Fail("cannot delete key " + Quoted(key), result);
}

void RegistryList(const std::string& key, std::ostream& out) {
  OpenKey open(key, KEY_READ);
  std::string prefix = key;
  while (!prefix.empty() && prefix.back() == '\\') prefix.pop_back();
  out << prefix << "\n";
  std::string name;
  for (uint32_t i = 0; RegEnumValue(open.handle(), i, UINT32_MAX, name) == ERROR_SUCCESS; ++i) {
    int32_t type = REG_NONE;
    std::vector<uint8_t> data;
    if (RegQueryValue(open.handle(), name, type, data) != ERROR_SUCCESS) continue;
    out << "    " << (name.empty() ? "(Default)" : name) << "    " << TypeName(type) << "    "
        << ValueText(type, data) << "\n";
  }
  for (uint32_t i = 0; RegEnumKey(open.handle(), i, UINT32_MAX, name) == ERROR_SUCCESS; ++i) {
    out << prefix << "\\" << name << "\n";
  }
}

}  // namespace tovrik
