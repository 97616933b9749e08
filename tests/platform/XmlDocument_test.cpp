#include "platform/XmlDocument.h"

#include <gtest/gtest.h>

#include "platform/RaisedError.h"

namespace tovrik {
namespace {

TEST(XmlDocumentTest, EmptyTextGivesAnEmptyDocumentWithoutError) {
  for (bool raise : {true, false}) {
    auto doc = getXMLDocument("", raise);
    EXPECT_FALSE(doc->documentElement());
    EXPECT_EQ(doc->parseError().errorCode, 0);
    EXPECT_FALSE(doc->async());
  }
}

TEST(XmlDocumentTest, MalformedTextRaisesOrLeavesTheDocumentEmpty) {
  const char* bad[] = {"<root>",   "<a></b>",    "abc",           "<a/><b/>",   "<a x=1/>",  "   ",
                       "<a>&</a>", "<a>R&D</a>", "<a>&nbsp;</a>", "<a x='&'/>", "<a>&#;</a>"};
  for (const char* text : bad) {
    try {
      getXMLDocument(text, true);
      ADD_FAILURE() << "no error for " << text;
    } catch (const RaisedError& e) {
      EXPECT_LT(e.number(), 0) << text;
      EXPECT_FALSE(e.description().empty()) << text;
    }
    auto doc = getXMLDocument(text, false);
    EXPECT_FALSE(doc->documentElement()) << text;
    EXPECT_NE(doc->parseError().errorCode, 0) << text;
  }
}

TEST(XmlDocumentTest, TextIsTheConcatenationOfAllDescendantText) {
  auto doc = getXMLDocument(
      "<root><pdfitem><a>x<b>y</b><![CDATA[<z>]]></a><e></e><sp> </sp><esc>&lt;p&gt; &amp;"
      "</esc><a>second</a></pdfitem></root>",
      true);
  XmlNode root = doc->documentElement();
  EXPECT_EQ(root.nodeName(), "root");
  EXPECT_EQ(root.selectSingleNode("pdfitem/a").text(), "xy<z>");  // the first of a name counts
  EXPECT_EQ(root.selectSingleNode("pdfitem/e").text(), "");
  EXPECT_EQ(root.selectSingleNode("pdfitem/sp").text(), " ");
  EXPECT_EQ(root.selectSingleNode("pdfitem/esc").text(), "<p> &");
  EXPECT_EQ(
      getXMLDocument("<a>&#229;&#xE5;<!-- & --><![CDATA[&]]></a>", true)->documentElement().text(),
      "\xC3\xA5\xC3\xA5&");
  EXPECT_FALSE(root.selectSingleNode("pdfitem/missing"));
  EXPECT_EQ(root.selectSingleNode("pdfitem").childNodes().size(), 5u);
  EXPECT_THROW(root.selectSingleNode("pdfitem/["), RaisedError);
  EXPECT_THROW(XmlNode().selectSingleNode("a"), RaisedError);
}

TEST(XmlDocumentTest, SetTextAndSerializationRoundTrip) {
  auto doc = getXMLDocument(
      "<root><parameters><parameter name='a'/><parameter name='b'/></parameters></root>", true);
  XmlNode b = doc->documentElement().selectSingleNode("parameters/parameter[@name='b']");
  b.SetText("R&D <draft> \"q\"");
  auto again = getXMLDocument(doc->xml(), true);
  EXPECT_EQ(again->documentElement().selectSingleNode("parameters/parameter[@name='b']").text(),
            "R&D <draft> \"q\"");
  EXPECT_EQ(XmlEscape("a&b<c>d\"e'f"), "a&amp;b&lt;c&gt;d&quot;e&apos;f");
}

TEST(XmlDocumentTest, DocumentTypeDeclarationsLoadNothing) {
  auto doc =
      getXMLDocument("<!DOCTYPE r [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><r>&x;</r>", false);
  if (doc->documentElement()) {
    EXPECT_EQ(doc->documentElement().text().find("root:"), std::string::npos);
  }
}

}  // namespace
}  // namespace tovrik
