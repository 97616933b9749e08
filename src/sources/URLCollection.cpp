#include "sources/URLCollection.h"

#include <cctype>
#include <regex>

#include "outside/ContentServer.h"

namespace tovrik {

bool ReadsAsDate(const std::string& text) {
  static const std::regex iso(
      R"(\s*(\d{4})-(\d{1,2})-(\d{1,2})(\s+(\d{1,2}):(\d{2})(:(\d{2}))?)?\s*)");
  static const std::regex us(
      R"(\s*(\d{1,2})/(\d{1,2})/(\d{4})(\s+(\d{1,2}):(\d{2})(:(\d{2}))?)?\s*)");
  std::smatch m;
  int year = 0, month = 0, day = 0;
  if (std::regex_match(text, m, iso)) {
    year = std::stoi(m[1]);
    month = std::stoi(m[2]);
    day = std::stoi(m[3]);
  } else if (std::regex_match(text, m, us)) {
    month = std::stoi(m[1]);
    day = std::stoi(m[2]);
    year = std::stoi(m[3]);
  } else {
    return false;
  }
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1 || day > kDays[month - 1]) return false;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (month == 2 && day == 29 && !leap) return false;
  if (m[4].matched) {
    if (std::stoi(m[5]) > 23 || std::stoi(m[6]) > 59) return false;
    if (m[8].matched && std::stoi(m[8]) > 59) return false;
  }
  return true;
}

std::string DocumentCriteriaRequest(int32_t documentID, const std::string& dateCriteria) {
  std::string request = "<root><type>";
  request += "0";
  request += "</type>";
  request += "<parameters>";
  request += "<parameter name='ID'>" + std::to_string(documentID) + "</parameter>";
  request += "<parameter name='WithAdminPrivileges'>0</parameter>";
  request += "<parameter name='WithContent'>0</parameter>";
  if (ReadsAsDate(dateCriteria)) {
    request += "<parameter name='DateCriteria'>" + dateCriteria + "</parameter>";
  }
  request += "</parameters>";
  request += "</root>";
  return request;
}

std::string getSiteURL(int32_t SessionID, int32_t ConnectionID, const std::string& ServerName) {
  std::unique_ptr<ISettingManager> settings =
      CreateObject<ISettingManager>(kSettingManagerProgId, ServerName);
  Variant holder1(std::string{});
  Variant holder2(std::string{});
  Variant result;
  settings->ReadSetting(ConnectionID, Variant(SessionID), "SiteURL", holder1, holder2, result);
  return result.ToString();
}

std::shared_ptr<Recordset> getDocumentTree(int32_t SessionID, int32_t ConnectionID,
                                           int32_t documentID, const std::string& dateCriteria,
                                           const std::string& ServerName) {
  std::unique_ptr<IDocumentReader> reader =
      CreateObject<IDocumentReader>(kDocumentReaderProgId, ServerName);
  Variant result;
  reader->ReadDocuments(ConnectionID, Variant(SessionID),
                        DocumentCriteriaRequest(documentID, dateCriteria), 0, result);
  return result.AsRecordset();
}

KeyedCollection<CPDF_URL_Info> getURLCollection(int32_t ConnectionID, int32_t SessionID,
                                                const std::string& ServerName, int32_t documentID,
                                                const std::string& queryStrings, bool parseTree,
                                                int32_t pictureResolution) {
  std::string siteURL = getSiteURL(SessionID, ConnectionID, ServerName);
  if (siteURL.empty() || siteURL.back() != '/') siteURL += "/";
  const std::string page = pictureResolution == 1 ? "default_pdfget.asp" : "default.asp";
  const std::string stem = siteURL + page + "?id=";

  KeyedCollection<CPDF_URL_Info> list;
  if (!parseTree) {
    CPDF_URL_Info info;
    info.SetURL(stem + std::to_string(documentID) + queryStrings);
    info.SetId(documentID);
    info.SetIndex(1);
    list.Add(std::move(info), "K1");
    return list;
  }

  std::shared_ptr<Recordset> tree =
      getDocumentTree(SessionID, ConnectionID, documentID, "", ServerName);
  int32_t n = 1;
  while (!tree->Eof()) {
    Variant elementId = tree->Field("ElementID");
    CPDF_URL_Info info;
    info.SetURL(stem + elementId.ToString() + queryStrings);
    info.SetId(elementId.ToInt32());
    info.SetIndex(n);
    list.Add(std::move(info), "K" + std::to_string(n));
    tree->MoveNext();
    if (n == INT32_MAX) RaiseRuntimeError(kErrOverflow);
    ++n;
  }
  return list;
}

}  // namespace tovrik
