#pragma once
// The worker's machine-wide settings, read afresh for every job, and the stems of its file
// names. The settings live under HKEY_LOCAL_MACHINE; an operator sets them with
// `tovrik registry set`.

#include <string>

namespace tovrik {

inline constexpr const char* kPDFServerKey = "SOFTWARE\\Ostrevik\\Tovrik\\PDFServer";
inline constexpr const char* kBaseURLValue = "baseurl";
inline constexpr const char* kBaseFilePathValue = "baseFilePath";
inline constexpr const char* kActivePDFServerKey = "SOFTWARE\\ActivePDFServer";
inline constexpr const char* kDefaultPDFDirectoryValue = "DefaultPDFDirectory";

// Reads the base URL of preview files, the folder preview copies go to and the folder merged
// PDFs are made in. A missing key or value, or a failed read, gives "" and no error. A value
// that is not empty is made to end in "/": file names are appended to the two folders as
// they stand. Nothing else in a value changes.
void getURLData(std::string& baseURL, std::string& baseFilePath, std::string& pdfOutputDirectory);

// A fresh GUID without braces (36 characters, upper case), for naming files. Raises
// RaisedError when no identifier can be made.
std::string getNewGUID();

// Appends `ending` to a value that is not empty and does not already end in it.
std::string NormaliseSetting(std::string value, char ending);

}  // namespace tovrik
