// CWorker::doProcessing: one job from its options to a stored document or a preview URL.

#include <filesystem>
#include <limits>

#include "config/WorkerConfig.h"
#include "pdf/CPDFFetcher.h"
#include "pdf/PdfMisc.h"
#include "platform/KeyedCollection.h"
#include "platform/RaisedError.h"
#include "platform/TextEncoding.h"
#include "sources/URLCollection.h"
#include "store/SaveDocument.h"
#include "util/CStringW.h"
#include "worker/CWorker.h"
#include "worker/JobOptions.h"
#include "worker/PreviewFiles.h"
#include "worker/StatusMessages.h"

namespace tovrik {
namespace {

// Deletes the final file and the page files; failures are ignored, and the first one ends
// the walk over the page files.
void CleanUp(const std::string& finalFile, const KeyedCollection<cPDF_File_Information>& files) {
  std::error_code ec;
  if (IsOrdinaryFile(finalFile)) std::filesystem::remove(finalFile, ec);
  for (const cPDF_File_Information& file : files) {
    std::error_code fileError;
    if (IsOrdinaryFile(file.Name())) std::filesystem::remove(file.Name(), fileError);
    if (fileError) break;
  }
}

// The comma list of the printed documents' ids, in list order.
std::string ContainingDocumentsOf(const KeyedCollection<CPDF_URL_Info>& urls) {
  CStringW list;
  for (const CPDF_URL_Info& record : urls) {
    list.Append(Utf8ToUtf16(std::to_string(record.id()) + ","));
  }
  int32_t separator = 1;
  list.TruncateBy(separator);
  return Utf16ToUtf8(list.Value());
}

}  // namespace

void CWorker::doProcessing(int32_t QueueEntryID, const std::string& ServerName, int32_t SessionID,
                           int32_t ConnectionID, const DOMDocument40& jobDocument,
                           int32_t& DocumentGenerated, std::string& ContainingDocuments,
                           std::string& URL, int32_t& status, std::string& StatusText,
                           std::string& errorPoint) {
  (void)QueueEntryID;
  status = 0;
  StatusText = kSuccessText;

  JobOptions options;
  if (!ReadJobOptions(jobDocument, options, status, StatusText, errorPoint)) return;

  errorPoint = "Executing getURLData: ";
  std::string baseURL, baseFilePath, pdfOutputDirectory;
  getURLData(baseURL, baseFilePath, pdfOutputDirectory);

  errorPoint = "Executing getURLCollection: ";
  const KeyedCollection<CPDF_URL_Info> urls =
      getURLCollection(ConnectionID, SessionID, ServerName, options.documentid,
                       options.querystrings, options.parsetree, options.pictureResolution);
  KeyedCollection<cPDF_File_Information> files;
  int32_t fileCounter = 0;

  errorPoint = "Creating internal class CPDFFetcher: ";
  CPDFFetcher fetcher;
  int32_t pageCount = 0;
  for (const CPDF_URL_Info& record : urls) {
    std::string pageFile;
    if (!fetcher.MakePDF(record.URL(), options.optionsxml, pageFile, status, StatusText,
                         errorPoint)) {
      StatusText = errorPoint + getErrorText(status) + " " + StatusText;
      return;
    }
    errorPoint = "API call; getNumberOfPages(): ";
    pageCount = getNumberOfPages(pageFile, status, StatusText);
    if (status != 0) return;

    errorPoint = "Building cPDF_File_Information: ";
    cPDF_File_Information file;
    file.SetIndex(fileCounter);
    file.SetName(pageFile);
    file.SetPages(pageCount);
    files.Add(file, "K" + std::to_string(fileCounter));
    if (fileCounter == std::numeric_limits<int32_t>::max()) RaiseRuntimeError(kErrOverflow);
    ++fileCounter;
  }
  for (const cPDF_File_Information& file : files) lastJob_.pages += file.pages();

  std::string finalFile;
  if (files.Count() >= 2) {
    std::string mergeList;
    for (const cPDF_File_Information& file : files) {
      if (file.index() != 0) mergeList += "?";
      mergeList += file.Name();
    }
    finalFile = pdfOutputDirectory + getNewGUID() + ".pdf";
    errorPoint = "Calling mergePDF API on file " + mergeList + " : ";
    mergePDF(mergeList, finalFile, status, StatusText);
    if (status != 0) return;
  } else if (files.Count() == 1) {
    finalFile = files.Item("K0").Name();
  } else {
    status = kStatusNoPdfGenerated;
    StatusText = kTextNoPdfGenerated;
    return;
  }

  if (options.useFooter) {
    errorPoint = "Calling getNumberOfPages API for footer generation: ";
    pageCount = getNumberOfPages(finalFile, status, StatusText);
    if (options.startFromPage > pageCount) options.startFromPage = pageCount;
    errorPoint = "Calling addFooter API: ";
    const bool ok = addFooter(finalFile, options.footerParameters, options.startFromPage, pageCount,
                              status, StatusText);
    if (!ok && status != 0) return;
  }

  if (options.issynchronous) {
    if (baseFilePath.empty()) {
      status = kStatusNoBaseFilePath;
      StatusText = kTextNoBaseFilePath;
      return;
    }
    if (baseURL.empty()) {
      status = kStatusNoBaseUrl;
      StatusText = kTextNoBaseUrl;
      return;
    }
    if (!PreviewDirectoryUsable(baseFilePath)) {
      status = kStatusIllegalPreviewLocation;
      StatusText = kTextIllegalPreviewLocation;
      return;
    }
    std::string previewName;
    try {
      previewName = getNewGUID() + ".pdf";
      CopyFileAtomically(finalFile, baseFilePath + previewName);
    } catch (const std::exception& e) {
      const std::string description = dynamic_cast<const RaisedError*>(&e)
                                          ? static_cast<const RaisedError&>(e).description()
                                          : std::string(e.what());
      status = kStatusPreviewCopyFailed;
      StatusText = std::string(kTextPreviewCopyFailed) + "(" + description + ")";
      return;
    }
    URL = baseURL + previewName;
  } else {
    errorPoint = "Saving PDF document '" + options.documentname + "' back to Tovrik: ";
    saveTovrikFileDocument(ServerName, SessionID, ConnectionID, options.destinationdocumentid,
                           options.destinationcategoryid, options.documentname, finalFile,
                           options.documentguid + ".pdf", true, status, StatusText, errorPoint);
    if (status == 0) {
      DocumentGenerated = options.destinationdocumentid;
      ContainingDocuments = ContainingDocumentsOf(urls);
    }
  }

  CleanUp(finalFile, files);
}

}  // namespace tovrik
