#include "worker/JobOptions.h"

#include "pdf/PdfMisc.h"
#include "platform/NumberConversion.h"
#include "platform/RaisedError.h"

namespace tovrik {
namespace {

// The option's node under the root element; 91 when the entry has no such option.
XmlNode Select(const DOMDocument40& job, const std::string& xpath) {
  XmlNode node = job.documentElement().selectSingleNode(xpath);
  if (!node) RaiseRuntimeError(kErrObjectNotSet);
  return node;
}

// Sets the stage text of an option and returns its text.
std::string OptionText(const DOMDocument40& job, const std::string& xpath,
                       std::string& errorPoint) {
  errorPoint = "Parsing optionsxml (" + xpath + "): ";
  return Select(job, xpath).text();
}

}  // namespace

int32_t PictureResolutionFromFlags(int32_t flags) {
  if (flags & 1) return 2;
  if (flags & 2) return 1;
  return 2;
}

bool ReadJobOptions(const DOMDocument40& job, JobOptions& o, int32_t& status,
                    std::string& StatusText, std::string& errorPoint) {
  errorPoint = "Getting optionsxml from DOM: ";
  o.optionsxml = Select(job, "pdfitem/optionsxml").text();
  o.optionsxml.push_back('\0');

  o.issynchronous = ToInt16(OptionText(job, "pdfitem/issynchronous", errorPoint)) != 0;
  o.documentid = ToInt32(OptionText(job, "pdfitem/documentid", errorPoint));
  o.documentname = OptionText(job, "pdfitem/documentname", errorPoint);
  o.destinationcategoryid = ToInt32(OptionText(job, "pdfitem/destinationcategoryid", errorPoint));
  o.querystrings = OptionText(job, "pdfitem/querystrings", errorPoint);
  o.parsetree = ToInt16(OptionText(job, "pdfitem/parsetree", errorPoint)) != 0;
  o.autoarchive = ToInt16(OptionText(job, "pdfitem/autoarchive", errorPoint)) != 0;
  o.destinationdocumentid = ToInt32(OptionText(job, "pdfitem/destinationdocumentid", errorPoint));
  o.flags = ToInt32(OptionText(job, "pdfitem/flags", errorPoint));

  // The presence test of the footer options runs under the stage text of the flags.
  if (job.documentElement().selectSingleNode("pdfitem/footerxml")) {
    errorPoint = "Getting footer xml from DOM: ";
    const std::string footerOptions = Select(job, "pdfitem/footerxml").text();
    o.footerParameters =
        getFooterParameters(footerOptions, o.useFooter, o.startFromPage, status, StatusText);
    if (status != 0) return false;
  } else {
    o.useFooter = false;
    o.footerParameters = "<root/>";
  }

  o.documentguid = OptionText(job, "pdfitem/documentguid", errorPoint);
  if (o.documentguid.empty()) o.documentguid = o.documentname;
  o.submitter = OptionText(job, "pdfitem/submitter", errorPoint);

  errorPoint = "Analyzing picture resolution: ";
  o.pictureResolution = PictureResolutionFromFlags(o.flags);
  return true;
}

}  // namespace tovrik
