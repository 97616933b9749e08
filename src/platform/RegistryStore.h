#pragma once
// The machine-wide settings store: a registry of keys and typed values in the shape of the
// Windows one, kept in one SQLite file per hive.
//
//   HKEY_LOCAL_MACHINE  StateFolder()/registry/HKLM.db
//   HKEY_CURRENT_USER   $HOME/.local/state/tovrik/HKCU.db
//
// Keys are paths of names separated by "\" ("SOFTWARE\ActivePDFServer"), compared without case
// (Unicode simple case folding); names keep the case they were created with. A value has a name (""
// is the key's unnamed value), a type (REG_SZ, REG_DWORD, ...) and raw bytes. Names and
// string data are UTF-8. Sub-keys enumerate in name order, values in order of creation.
//
// Every function returns a Win32 error code (ERROR_SUCCESS = 0) and never throws. Key handles
// are small positive numbers valid in this process until RegCloseKey; the hive constants are
// handles too and need no closing. A handle whose key was deleted meanwhile gives
// ERROR_KEY_DELETED. Any thread may call; several processes may read and write one hive at
// once (WAL journal, busy time-out of 5 s, every change in one immediate transaction).
// A hive file that does not exist reads as an empty hive and is created by the first write.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tovrik {

// Predefined hive handles.
inline constexpr int32_t HKEY_CURRENT_USER = static_cast<int32_t>(0x80000001u);
inline constexpr int32_t HKEY_LOCAL_MACHINE = static_cast<int32_t>(0x80000002u);

// Value types.
inline constexpr int32_t REG_NONE = 0;
inline constexpr int32_t REG_SZ = 1;
inline constexpr int32_t REG_BINARY = 3;
inline constexpr int32_t REG_DWORD = 4;

// Access rights of a key handle.
inline constexpr int32_t KEY_QUERY_VALUE = 0x0001;
inline constexpr int32_t KEY_SET_VALUE = 0x0002;
inline constexpr int32_t KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr int32_t KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr int32_t KEY_READ = 0x20019;
inline constexpr int32_t KEY_WRITE = 0x20006;
inline constexpr int32_t KEY_ALL_ACCESS = 0xF003F;

// Win32 error codes the store returns.
inline constexpr int32_t ERROR_SUCCESS = 0;
inline constexpr int32_t ERROR_FILE_NOT_FOUND = 2;
inline constexpr int32_t ERROR_ACCESS_DENIED = 5;
inline constexpr int32_t ERROR_INVALID_HANDLE = 6;
inline constexpr int32_t ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr int32_t ERROR_INVALID_PARAMETER = 87;
inline constexpr int32_t ERROR_DISK_FULL = 112;
inline constexpr int32_t ERROR_BAD_PATHNAME = 161;
inline constexpr int32_t ERROR_BUSY = 170;
inline constexpr int32_t ERROR_MORE_DATA = 234;
inline constexpr int32_t ERROR_NO_MORE_ITEMS = 259;
inline constexpr int32_t ERROR_BADDB = 1009;
inline constexpr int32_t ERROR_CANTOPEN = 1011;
inline constexpr int32_t ERROR_REGISTRY_IO_FAILED = 1016;
inline constexpr int32_t ERROR_KEY_DELETED = 1018;

// The file that holds a hive; empty for anything but the two hive constants.
std::filesystem::path RegistryHiveFile(int32_t hive);

// Opens subKey below hKey ("" opens hKey's own key again), creating every missing key on the
// way. *created (when given) tells whether the last key was new. ERROR_BAD_PATHNAME for a
// path with an empty name in it, ERROR_ACCESS_DENIED when the hive cannot be written.
int32_t RegCreateKey(int32_t hKey, const std::string& subKey, int32_t desiredAccess,
                     int32_t& result, bool* created = nullptr);
// Opens an existing key; ERROR_FILE_NOT_FOUND when any key of the path is missing.
int32_t RegOpenKey(int32_t hKey, const std::string& subKey, int32_t desiredAccess, int32_t& result);
// Releases a handle; closing a hive constant succeeds and does nothing.
int32_t RegCloseKey(int32_t hKey);

// Counts and longest names (in bytes) of the key's sub-keys and values.
int32_t RegQueryInfoKey(int32_t hKey, uint32_t& subKeyCount, uint32_t& longestSubKeyName,
                        uint32_t& valueCount, uint32_t& longestValueName);
// The name of the index-th sub-key or value; ERROR_NO_MORE_ITEMS past the last, and
// ERROR_MORE_DATA when the name and a terminating NUL would not fit in bufferSize bytes.
int32_t RegEnumKey(int32_t hKey, uint32_t index, uint32_t bufferSize, std::string& name);
int32_t RegEnumValue(int32_t hKey, uint32_t index, uint32_t bufferSize, std::string& name);

// Reads a value: its type and bytes. ERROR_FILE_NOT_FOUND when there is no such value;
// ERROR_MORE_DATA (type and the full size in `size` still reported, data left empty) when it
// is longer than maxSize bytes.
int32_t RegQueryValue(int32_t hKey, const std::string& valueName, int32_t& type,
                      std::vector<uint8_t>& data, uint32_t maxSize = UINT32_MAX,
                      uint32_t* size = nullptr);
// Creates or replaces a value (a replaced value keeps its place in the order).
int32_t RegSetValue(int32_t hKey, const std::string& valueName, int32_t type,
                    const std::vector<uint8_t>& data);
int32_t RegDeleteValue(int32_t hKey, const std::string& valueName);
// Deletes subKey below hKey with every key and value under it. ERROR_FILE_NOT_FOUND when it
// does not exist, ERROR_INVALID_PARAMETER for "" (a key does not delete itself).
int32_t RegDeleteTree(int32_t hKey, const std::string& subKey);

// The system's text for an error code, without line end; "" for codes it does not know.
std::string RegistryErrorText(int32_t code);

}  // namespace tovrik
