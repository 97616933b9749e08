#include "store/SaveDocument.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "outside/ContentServer.h"
#include "platform/RaisedError.h"
#include "platform/XmlDocument.h"

namespace tovrik {
namespace {

constexpr int32_t kErrFileNotFound = 53;
constexpr int32_t kErrPathFileAccess = 75;

std::string Parameter(const std::string& name, const std::string& value) {
  return "<parameter name='" + name + "'>" + value + "</parameter>";
}
std::string EmptyParameter(const std::string& name) { return "<parameter name='" + name + "' />"; }

// An ordinary file: not a directory or device, and not hidden (name starting with ".").
bool IsOrdinaryFile(const std::string& path) {
  if (path.empty()) return false;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  const std::string name = std::filesystem::path(path).filename().string();
  return !name.empty() && name[0] != '.';
}

// The whole file; a zero-length file gives one byte of value 0, as an array 0 to 0 would.
Variant::Bytes ReadWholeFile(const std::string& path, int64_t& length) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw RaisedError(kErrPathFileAccess, "Path/File access error: cannot open '" + path +
                                              "': " + std::strerror(errno));
  }
  in.seekg(0, std::ios::end);
  length = static_cast<int64_t>(in.tellg());
  in.seekg(0, std::ios::beg);
  if (length < 0 || length > INT32_MAX) {
    throw RaisedError(kErrOverflow, "Overflow: '" + path + "' is too large to store");
  }
  Variant::Bytes bytes(length == 0 ? 1 : static_cast<size_t>(length), 0);
  if (length > 0 && !in.read(reinterpret_cast<char*>(bytes.data()), length)) {
    throw RaisedError(kErrPathFileAccess, "Path/File access error: cannot read '" + path + "'");
  }
  return bytes;
}

}  // namespace

std::string GeneralDate(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char buf[32];
  const bool midnight = local.tm_hour == 0 && local.tm_min == 0 && local.tm_sec == 0;
  std::strftime(buf, sizeof buf, midnight ? "%Y-%m-%d" : "%Y-%m-%d %H:%M:%S", &local);
  return buf;
}

std::string DocumentRequest(int32_t CategoryID, bool Published, const std::string& ElementName,
                            const std::string& PublishDate, const std::string& SaveToFileName) {
  std::string request = "<root><parameters>";
  request += "<parameter name='UnitID'>0</parameter>";
  request += Parameter("CategoryID", std::to_string(CategoryID));
  request += "<parameter name='LangID'>1</parameter>";
  request += "<parameter name='ContentType'>application/pdf</parameter>";
  request += Parameter("Published", Published ? "1" : "0");
  request += Parameter("ElementName", XmlEscape(ElementName));
  request += Parameter("PublishDate", XmlEscape(PublishDate));
  request += Parameter("SaveToFileName", XmlEscape(SaveToFileName));
  request += "</parameters></root>";
  return request;
}

std::string ContentRequest(int32_t ElementID, int64_t FileSize) {
  std::string request = "<root><parameters>";
  request += Parameter("ElementID", std::to_string(ElementID));
  request += EmptyParameter("Intro");
  request += EmptyParameter("ElementImage");
  request += EmptyParameter("ElementTarget");
  request += EmptyParameter("ElementURL");
  request += EmptyParameter("Content");
  request += Parameter("FileSize", std::to_string(FileSize));
  request += "</parameters></root>";
  return request;
}

void saveTovrikFileDocument(const std::string& ServerName, int32_t SessionID, int32_t ConnectionID,
                            int32_t& ElementID, int32_t CategoryID, const std::string& ElementName,
                            const std::string& TempFile, const std::string& SaveToFileName,
                            bool Published, int32_t& status, std::string& StatusText,
                            std::string& errorPoint) {
  status = 0;
  StatusText = "Success";
  if (!IsOrdinaryFile(TempFile)) {
    status = kErrFileNotFound;
    StatusText = "File not found";
    return;
  }
  // One handler for every step from here on; the file is closed by leaving its scope.
  try {
    errorPoint = "saveTovrikFileDocument(); opening temp file: ";
    int64_t length = 0;
    Variant content(ReadWholeFile(TempFile, length));

    if (ElementID == 0) {
      errorPoint = "saveTovrikFileDocument(); Creating xml for SaveDocument: ";
      const std::string request = DocumentRequest(CategoryID, Published, ElementName,
                                                  GeneralDate(std::time(nullptr)), SaveToFileName);
      errorPoint =
          "saveTovrikFileDocument(); Creating remote instance of TovrikSrv32.DocumentManager on "
          "server '" +
          ServerName + "': ";
      std::unique_ptr<IDocumentManager> manager =
          CreateObject<IDocumentManager>(kDocumentManagerProgId, ServerName);
      errorPoint =
          "saveTovrikFileDocument(); Calling SaveDocument on server '" + ServerName + "': ";
      Variant errorNumber;
      Variant errorText;
      Variant reserved(std::string{});
      Variant result = manager->SaveDocument(ConnectionID, Variant(SessionID), request, errorNumber,
                                             errorText, reserved);
      if (result.IsNull()) result = Variant(int32_t{0});
      manager.reset();
      const int32_t number = errorNumber.ToInt32();
      if (number != 0) {
        status = number;
        StatusText = errorText.IsNull() ? std::string() : errorText.ToString();
        return;
      }
      ElementID = result.ToInt32();
    }

    errorPoint = "saveTovrikFileDocument(); Creating xml for SaveContent: ";
    const std::string request = ContentRequest(ElementID, length);
    errorPoint =
        "saveTovrikFileDocument(); Creating remote instance of TovrikSrv32.DocumentManagerBin on "
        "server '" +
        ServerName + "': ";
    std::unique_ptr<IDocumentManagerBin> bin =
        CreateObject<IDocumentManagerBin>(kDocumentManagerBinProgId, ServerName);
    errorPoint = "saveTovrikFileDocument(); Calling SaveContent on server '" + ServerName + "': ";
    Variant errorNumber;
    Variant errorText;
    bin->SaveContent(ConnectionID, Variant(SessionID), nullptr, request, content, 0, errorNumber,
                     errorText);
    status = errorNumber.ToInt32();
    StatusText = errorText.IsNull() ? std::string() : errorText.ToString();
  } catch (...) {
    const RaisedError e = AsRaisedError(std::current_exception());
    status = e.number();
    StatusText = e.description();
  }
}

}  // namespace tovrik
