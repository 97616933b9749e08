#pragma once
// The pages a job prints: the site's base URL (setting "SiteURL" of the content server) and
// either the one document or the document and every document below it, in the order the
// content server lists them. Nothing here catches errors: a component that cannot be made,
// a failing call or a value that does not convert reaches the caller as RaisedError, and a
// partly built list is dropped.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/KeyedCollection.h"
#include "platform/Variant.h"
#include "sources/CPDF_URL_Info.h"

namespace tovrik {

// The URL list: records under the keys "K1", "K2", ... in index order. Page
// "default_pdfget.asp" when pictureResolution is 1, else "default.asp"; "/" is appended to a
// site URL that does not end in one; queryStrings is appended to every URL unchanged.
KeyedCollection<CPDF_URL_Info> getURLCollection(int32_t ConnectionID, int32_t SessionID,
                                                const std::string& ServerName, int32_t documentID,
                                                const std::string& queryStrings, bool parseTree,
                                                int32_t pictureResolution);

// The setting "SiteURL" as text, from TovrikSrv32.SettingManager on ServerName.
std::string getSiteURL(int32_t SessionID, int32_t ConnectionID, const std::string& ServerName);

// The recordset (field "ElementID") of the document and the documents below it, from
// TovrikSrv32.DocumentReader on ServerName. The recordset is the caller's.
std::shared_ptr<Recordset> getDocumentTree(int32_t SessionID, int32_t ConnectionID,
                                           int32_t documentID, const std::string& dateCriteria,
                                           const std::string& ServerName);

// The document criteria request; DateCriteria is added only when dateCriteria reads as a date.
std::string DocumentCriteriaRequest(int32_t documentID, const std::string& dateCriteria);

// True when text reads as a date: "YYYY-MM-DD" with an optional " HH:MM[:SS]", or
// "M/D/YYYY" with the same optional time.
bool ReadsAsDate(const std::string& text);

}  // namespace tovrik
