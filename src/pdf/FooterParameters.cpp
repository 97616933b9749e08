#include "pdf/FooterParameters.h"

#include "platform/NumberConversion.h"
#include "platform/RaisedError.h"
#include "platform/XmlDocument.h"

namespace tovrik {
namespace {

constexpr const char* kParametersTemplate =
    "<root><parameters>"
    "<parameter name='createcontext'/>"
    "<parameter name='includecontextinnumbering'/>"
    "<parameter name='startnumber'/>"
    "<parameter name='htmlfont_normal'/>"
    "<parameter name='htmlfont_bold'/>"
    "<parameter name='htmlfont_italic'/>"
    "<parameter name='footertext'/>"
    "<parameter name='footerleft'/>"
    "<parameter name='footertop'/>"
    "<parameter name='footerwidth'/>"
    "</parameters></root>";

}  // namespace

std::string getFooterParameters(const std::string& footerOptions, bool& useFooter,
                                int32_t& startFromPage, int32_t& status, std::string& StatusText) {
  status = 0;
  StatusText = "Success";
  useFooter = false;
  startFromPage = 1;
  std::string result = "<root />";
  try {
    const auto options = getXMLDocument(footerOptions, true);
    const XmlNode root = options->documentElement();
    const XmlNode use = root.selectSingleNode("usefooter");
    if (!use || use.text() != "1") return result;
    useFooter = true;

    const XmlNode start = root.selectSingleNode("startfrompage");
    if (start && ParseDecimal(start.text())) {
      startFromPage = ToInt32(start.text());
      if (startFromPage < 1) startFromPage = 1;
    }

    const auto parameters = getXMLDocument(kParametersTemplate, true);
    const XmlNode parametersRoot = parameters->documentElement();
    for (const XmlNode& child : root.childNodes()) {
      XmlNode parameter =
          parametersRoot.selectSingleNode("parameters/parameter[@name='" + child.nodeName() + "']");
      if (parameter) parameter.SetText(child.text());
    }
    result = parameters->xml();
  } catch (...) {
    const RaisedError e = AsRaisedError(std::current_exception());
    status = e.number();
    StatusText = e.description();
  }
  return result;
}

}  // namespace tovrik
