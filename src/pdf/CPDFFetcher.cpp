#include "pdf/CPDFFetcher.h"

#include "pdf/ActivePDF.h"
#include "platform/NumberConversion.h"
#include "platform/ObjectFactory.h"
#include "platform/RaisedError.h"

namespace tovrik {
namespace {

// The print server every job on the machine shares, and what the renderer objects need.
constexpr const char* kServerAddress = "127.0.0.1";
constexpr int32_t kServerPort = 64320;
constexpr const char* kResultCodes = "011012014019";

// A setting's number: the default unless the whole text reads as a number, rounded half to
// even; out of range raises 6. An explicit -1 means "not set", which is the default.
template <typename Int>
Int ReadNumber(const std::string& text, Int fallback, Int (*round)(double)) {
  std::optional<double> value = ParseDecimal(text);
  if (!value) return fallback;
  Int number = round(*value);
  return number == -1 ? fallback : number;
}

int16_t Read16(const std::string& text, int16_t fallback) {
  return ReadNumber<int16_t>(text, fallback, &RoundToInt16);
}
int32_t Read32(const std::string& text, int32_t fallback) {
  return ReadNumber<int32_t>(text, fallback, &RoundToInt32);
}

}  // namespace

std::unique_ptr<DOMDocument40> CPDFFetcher::getXMLDocument(const std::string& xml,
                                                           bool raiseOnParseError) {
  return tovrik::getXMLDocument(xml, raiseOnParseError);
}

std::string CPDFFetcher::getSetting(const DOMDocument40& document, const std::string& name) {
  if (name.empty()) return {};
  XmlNode root = document.documentElement();
  if (!root) return {};  // empty settings text: every setting takes its default
  XmlNode node = root.selectSingleNode(name);
  return node ? node.text() : std::string();
}

double CPDFFetcher::mmToInch(int32_t millimetres) { return millimetres / 25.4; }

bool CPDFFetcher::MakePDF(std::string URL, std::string InXml, std::string& RetFile, int32_t& status,
                          std::string& StatusText, std::string& errorPoint) {
  status = 0;
  StatusText = "Success";
  RetFile.clear();
  if (URL.empty()) {
    status = 1002;
    StatusText = "No url";
    return false;
  }

  // Declared in this order so that Prt2Disk is released first, then WebGrabber, on every path.
  errorPoint = "Creating APWebGrabber.Object: ";
  std::unique_ptr<IWebGrabber> webGrabber = CreateObject<IWebGrabber>(kWebGrabberProgId, "");
  errorPoint = "Creating APServer.Object: ";
  std::unique_ptr<IPrt2Disk> prt2Disk = CreateObject<IPrt2Disk>(kPrt2DiskProgId, "");

  // The option text carries one NUL at its end; it is not part of the XML.
  if (!InXml.empty() && InXml.back() == '\0') InXml.pop_back();
  std::unique_ptr<DOMDocument40> settings = getXMLDocument(InXml, true);

  auto setting = [&](const char* name) {
    errorPoint = std::string("Getting PDF setting ") + name + ": ";
    return getSetting(*settings, name);
  };
  const int16_t orientation = Read16(setting("orientation"), 1);
  const std::string title = setting("title");
  const std::string author = setting("author");
  const std::string keywords = setting("keywords");
  const std::string subject = setting("subject");
  const int32_t papersize = Read32(setting("papersize"), -1);
  const int32_t printquality = Read32(setting("printquality"), -1);
  const int32_t printresolution = Read32(setting("printresolution"), -1);
  const int32_t resolution = Read32(setting("resolution"), -1);
  const int32_t truetypeoption = Read32(setting("truetypeoption"), -1);
  const int32_t scaling = Read32(setting("scaling"), -1);
  const int32_t topmargin = Read32(setting("topmargin"), -1);
  const int32_t leftmargin = Read32(setting("leftmargin"), -1);
  const int32_t rightmargin = Read32(setting("rightmargin"), -1);
  const int32_t bottommargin = Read32(setting("bottommargin"), -1);
  const int32_t waitbeforeprint = Read32(setting("waitbeforeprint"), -1);
  std::string domain = setting("domain");
  if (domain.empty()) domain = ".";
  const int32_t colorimageflags = Read32(setting("colorimageflags"), -1);
  const int32_t colorimageresolution = Read32(setting("colorimageresolution"), -1);
  const int16_t timeout = Read16(setting("timeout"), -1);
  const int16_t printertimeout = Read16(setting("printertimeout"), -1);
  int16_t totaltimeout = Read16(setting("totaltimeout"), 120);
  const std::string ieheader = setting("ieheader");
  const std::string iefooter = setting("iefooter");
  settings.reset();

  auto stage = [&](const char* property, const char* object) {
    errorPoint = std::string("Setting property ") + property + " for " + object + ": ";
  };
  stage("UseStaticPool", "Prt2Disk");
  prt2Disk->SetUseStaticPool(true);
  stage("orientation", "Prt2Disk");
  prt2Disk->SetOrientation(orientation);
  stage("PDFTitle", "Prt2Disk");
  prt2Disk->SetPDFTitle(title);
  stage("PDFAuthor", "Prt2Disk");
  prt2Disk->SetPDFAuthor(author);
  stage("PDFKeywords", "Prt2Disk");
  prt2Disk->SetPDFKeywords(keywords);
  stage("PDFSubject", "Prt2Disk");
  prt2Disk->SetPDFSubject(subject);
  stage("papersize", "Prt2Disk");
  if (papersize != -1) prt2Disk->SetPapersize(papersize);
  stage("printquality", "Prt2Disk");
  if (printquality != -1) prt2Disk->SetPrintquality(printquality);
  stage("printresolution", "Prt2Disk");
  if (printresolution != -1) prt2Disk->SetPrintresolution(printresolution);
  stage("Resolution", "Prt2Disk");
  if (resolution != -1) prt2Disk->SetResolution(resolution);
  stage("truetypeoption", "Prt2Disk");
  if (truetypeoption != -1) prt2Disk->SetTruetypeoption(truetypeoption);
  stage("scaling", "Prt2Disk");
  if (scaling != -1) prt2Disk->SetScaling(scaling);
  stage("colorimageflags", "Prt2Disk");
  if (colorimageflags != -1) prt2Disk->SetColorimageflags(colorimageflags);
  stage("colorimageresolution", "Prt2Disk");
  if (colorimageresolution != -1) prt2Disk->SetColorimageresolution(colorimageresolution);

  stage("URL", "WebGrabber");
  webGrabber->SetURL(URL);
  stage("EngineToUse", "WebGrabber");
  webGrabber->SetEngineToUse(1);
  stage("topmargin", "WebGrabber");
  if (topmargin != -1) webGrabber->SetIETopMargin(mmToInch(topmargin));
  stage("leftmargin", "WebGrabber");
  if (leftmargin != -1) webGrabber->SetIELeftMargin(mmToInch(leftmargin));
  stage("rightmargin", "WebGrabber");
  if (rightmargin != -1) webGrabber->SetIERightMargin(mmToInch(rightmargin));
  stage("bottommargin", "WebGrabber");
  if (bottommargin != -1) webGrabber->SetIEBottomMargin(mmToInch(bottommargin));
  stage("ieheader", "WebGrabber");
  if (!ieheader.empty()) webGrabber->SetIeheader(ieheader);
  stage("iefooter", "WebGrabber");
  if (!iefooter.empty()) webGrabber->SetIefooter(iefooter);
  stage("printertimeout", "WebGrabber");
  if (printertimeout != -1) webGrabber->SetPrintertimeout(printertimeout);
  stage("timeout", "WebGrabber");
  if (timeout != -1) webGrabber->SetTimeout(timeout);
  webGrabber->SetIEDomain(domain);
  // The extra delay before printing travels with the page settings.
  if (waitbeforeprint > 0) webGrabber->SetWaitBeforePrint(waitbeforeprint);
  stage("MainFont", "WebGrabber");
  webGrabber->MainFont("Tahoma", 10, 0, 0, 0, 0);

  errorPoint = "WebGrabber.Prt2DiskSettings = Prt2Disk.ToString(): ";
  webGrabber->SetPrt2DiskSettings(prt2Disk->ToString());
  errorPoint = "WebGrabber.DoPrint: ";
  webGrabber->DoPrint(kServerAddress, kServerPort);
  errorPoint = "WebGrabber.Wait: ";
  const std::string result =
      webGrabber->Wait(kServerAddress, kServerPort, totaltimeout, kResultCodes);

  errorPoint = "Analyzing result after WebGrabber job: ";
  // The outcome reaches the caller only once CleanUp has run: an error raised there leaves
  // the status pair and RetFile as they were set at the start, like every other error.
  bool printed = false;
  std::string file;
  int32_t resultStatus = 0;
  std::string resultText = "Success";
  if (result == "019") {
    prt2Disk->FromString(webGrabber->Prt2DiskSettings());
    file = prt2Disk->FullDocumentPath();
    printed = true;
  } else if (result == "011") {
    resultStatus = 1011;
    resultText = "Webgrabber connect failed";
  } else if (result == "012") {
    resultStatus = 1010;
    resultText = "Webgrabber connect cancelled";
  } else if (result == "014") {
    resultStatus = 1009;
    resultText = "Webgrabber printer error";
  } else if (result == "099") {
    resultStatus = 99;
    resultText = "PDF server time out.";
  } else {
    // The result itself is kept in the text, so the cause is not lost.
    resultStatus = 1012;
    resultText = "Webgrabber other error: " + result;
  }

  errorPoint = "WebGrabber.CleanUp: ";
  webGrabber->CleanUp(kServerAddress, kServerPort);
  RetFile = std::move(file);
  status = resultStatus;
  StatusText = std::move(resultText);
  return printed;
}

}  // namespace tovrik
