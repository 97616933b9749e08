#pragma once
// The two renderer objects the worker prints pages with, as CPDFFetcher calls them:
// "APWebGrabber.Object" takes the page URL and the page layout and runs the print job on the
// machine's print server; "APServer.Object" holds the PDF output settings and, after the
// job, tells where the file was written. Both are made per call with
// CreateObject<T>(progId, "") and owned by the caller; one thread uses an object at a time.
// Property setters accept any value and keep it (the job applies it); a member that cannot do
// its work raises RaisedError.

#include <cstdint>
#include <string>

#include "platform/ObjectFactory.h"

namespace tovrik {

inline constexpr const char* kWebGrabberProgId = "APWebGrabber.Object";
inline constexpr const char* kPrt2DiskProgId = "APServer.Object";

class IPrt2Disk : public ComObject {
 public:
  virtual void SetUseStaticPool(bool value) = 0;
  virtual void SetOrientation(int16_t value) = 0;  // 1 portrait, 2 landscape
  virtual void SetPDFTitle(const std::string& value) = 0;
  virtual void SetPDFAuthor(const std::string& value) = 0;
  virtual void SetPDFKeywords(const std::string& value) = 0;
  virtual void SetPDFSubject(const std::string& value) = 0;
  virtual void SetPapersize(int32_t value) = 0;  // Windows paper code (1 Letter, 9 A4, ...)
  virtual void SetPrintquality(int32_t value) = 0;
  virtual void SetPrintresolution(int32_t value) = 0;
  virtual void SetResolution(int32_t value) = 0;
  virtual void SetTruetypeoption(int32_t value) = 0;
  virtual void SetScaling(int32_t value) = 0;  // percent
  virtual void SetColorimageflags(int32_t value) = 0;
  virtual void SetColorimageresolution(int32_t value) = 0;

  // The settings as one value, for WebGrabber's Prt2DiskSettings.
  virtual std::string ToString() = 0;
  // Loads settings given by ToString or returned by a job through Prt2DiskSettings; raises
  // kErrInvalidArgument for a value that is not such settings.
  virtual void FromString(const std::string& settings) = 0;
  // After FromString of a finished job's settings: the full path of its PDF file.
  virtual std::string FullDocumentPath() = 0;
};

class IWebGrabber : public ComObject {
 public:
  virtual void SetURL(const std::string& value) = 0;
  virtual void SetEngineToUse(int16_t value) = 0;
  virtual void SetIETopMargin(double inches) = 0;
  virtual void SetIELeftMargin(double inches) = 0;
  virtual void SetIERightMargin(double inches) = 0;
  virtual void SetIEBottomMargin(double inches) = 0;
  virtual void SetIeheader(const std::string& value) = 0;  // &p, &P, &w, &u, &d, &t, &b, &&
  virtual void SetIefooter(const std::string& value) = 0;
  virtual void SetPrintertimeout(int16_t seconds) = 0;
  virtual void SetTimeout(int16_t seconds) = 0;
  virtual void SetIEDomain(const std::string& value) = 0;
  // Extra delay after the page is ready and before it is printed.
  virtual void SetWaitBeforePrint(int32_t milliseconds) = 0;
  // Default font of pages that set none: name, size in points, then four style values.
  virtual void MainFont(const std::string& name, int16_t size, int16_t bold, int16_t italic,
                        int16_t underline, int16_t strikeout) = 0;

  virtual void SetPrt2DiskSettings(const std::string& value) = 0;
  virtual std::string Prt2DiskSettings() = 0;

  // Hands the job to the print server at host:port; 0 when it was accepted. Failures are
  // kept and come back as the result of Wait.
  virtual int32_t DoPrint(const std::string& host, int32_t port) = 0;
  // Waits up to totalTimeout seconds for the job's result code ("019" printed, "011" connect
  // failed, "012" cancelled, "014" printer error, "099" time-out); resultCodes lists the codes
  // the caller handles. On "019" Prt2DiskSettings carries the written file's path.
  virtual std::string Wait(const std::string& host, int32_t port, int16_t& totalTimeout,
                           const std::string& resultCodes) = 0;
  // Lets the print server forget the job; 0 on success.
  virtual int32_t CleanUp(const std::string& host, int32_t port) = 0;
};

}  // namespace tovrik
