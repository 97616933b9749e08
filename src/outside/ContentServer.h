#pragma once
// The six content server components as the worker calls them. Each is made by ProgID on the
// machine the job names (CreateObject<ISessionManager>(kSessionManagerProgId, serverName)),
// used for one call and released. A call that fails at the transport or inside the component
// raises RaisedError with the failure code as its number; besides that, each operation
// reports trouble only through the out-parameters named below.
// An object is used by one thread at a time; separate objects may be used on separate threads.

#include <cstdint>
#include <string>

#include "platform/ObjectFactory.h"
#include "platform/Variant.h"

namespace tovrik {

inline constexpr char kSessionManagerProgId[] = "TovrikSrv32.SessionManager";
inline constexpr char kPDFQueueProgId[] = "TovrikSrv32.PDFQueue";
inline constexpr char kSettingManagerProgId[] = "TovrikSrv32.SettingManager";
inline constexpr char kDocumentReaderProgId[] = "TovrikSrv32.DocumentReader";
inline constexpr char kDocumentManagerProgId[] = "TovrikSrv32.DocumentManager";
inline constexpr char kDocumentManagerBinProgId[] = "TovrikSrv32.DocumentManagerBin";

class ISessionManager : public ComObject {
 public:
  // Opens a session for the connection. Returns a positive session number, or 0 with the
  // error number and error text holders filled.
  virtual int32_t OpenSession(int32_t ConnectionID, const std::string& request,
                              Variant& errorNumber, Variant& errorText) = 0;
};

class IPDFQueue : public ComObject {
 public:
  // The next queue entry as XML "<root><pdfitem>...</pdfitem></root>", leased to the session;
  // "<root/>" (no pdfitem/queueentryid) when the queue is empty. status 0 when the call
  // went well.
  virtual std::string NextInQueue(int32_t ConnectionID, int32_t SessionID,
                                  const std::string& request, int32_t& status,
                                  std::string& StatusText) = 0;
  // Moves the entry named by the start request to processing; status != 0 refuses it.
  virtual void SetProcessingStarted(int32_t ConnectionID, int32_t SessionID,
                                    const std::string& request, int32_t& status,
                                    std::string& StatusText) = 0;
  // Records the outcome carried by the end request.
  virtual void SetProcessingEnded(int32_t ConnectionID, int32_t SessionID,
                                  const std::string& request, int32_t& status,
                                  std::string& StatusText) = 0;
};

class ISettingManager : public ComObject {
 public:
  // Puts the named setting's value into result (text). The two holders are the component's
  // own; the worker passes them holding empty text and does not read them.
  virtual void ReadSetting(int32_t ConnectionID, const Variant& SessionID,
                           const std::string& settingName, Variant& holder1, Variant& holder2,
                           Variant& result) = 0;
};

class IDocumentReader : public ComObject {
 public:
  // Puts into result a recordset, on its first row, of the document named by the criteria
  // request followed by every document below it; each row has the field "ElementID".
  virtual void ReadDocuments(int32_t ConnectionID, const Variant& SessionID,
                             const std::string& criteria, int32_t reserved, Variant& result) = 0;
};

class IDocumentManager : public ComObject {
 public:
  // Creates a document from the document request. Returns its element number (Null read as
  // 0); on failure errorNumber holds a nonzero number and errorText the reason.
  virtual Variant SaveDocument(int32_t ConnectionID, const Variant& SessionID,
                               const std::string& request, Variant& errorNumber, Variant& errorText,
                               Variant& reserved) = 0;
};

// The web request object of the site's pages; the worker always passes none.
class IRequest;

class IDocumentManagerBin : public ComObject {
 public:
  // Replaces the element's file content by content (bytes, indexed from 0). errorNumber
  // empty or 0 for success, else the error number and errorText. The result is not used.
  virtual Variant SaveContent(int32_t ConnectionID, const Variant& SessionID, IRequest* webRequest,
                              const std::string& request, const Variant& content, int32_t reserved,
                              Variant& errorNumber, Variant& errorText) = 0;
};

}  // namespace tovrik
