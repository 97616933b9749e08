// Reading the options of a queue entry: order, stage texts, conversions and defaults.

#include "worker/JobOptions.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/RaisedError.h"
#include "platform/XmlDocument.h"

namespace tovrik {
namespace {

const char* const kFields[] = {"optionsxml",   "issynchronous",         "documentid",
                               "documentname", "destinationcategoryid", "querystrings",
                               "parsetree",    "autoarchive",           "destinationdocumentid",
                               "flags",        "documentguid",          "submitter"};

std::map<std::string, std::string> ValidFields() {
  return {{"optionsxml", "&lt;root&gt;&lt;orientation&gt;2&lt;/orientation&gt;&lt;/root&gt;"},
          {"issynchronous", "0"},
          {"documentid", "42"},
          {"documentname", "Annual report"},
          {"destinationcategoryid", "3"},
          {"querystrings", "&amp;lang=en"},
          {"parsetree", "-1"},
          {"autoarchive", "0"},
          {"destinationdocumentid", "0"},
          {"flags", "1"},
          {"documentguid", "report-2026"},
          {"submitter", "editor"}};
}

std::string EntryXml(const std::map<std::string, std::string>& fields) {
  std::string xml = "<root><pdfitem><queueentryid>57</queueentryid>";
  for (const auto& [name, value] : fields) xml += "<" + name + ">" + value + "</" + name + ">";
  return xml + "</pdfitem></root>";
}

struct Read {
  bool ok = false;
  JobOptions options;
  int32_t status = 0;
  std::string text;
  std::string errorPoint;
  int32_t raised = 0;
};

Read ReadFrom(const std::map<std::string, std::string>& fields) {
  Read r;
  auto doc = getXMLDocument(EntryXml(fields), true);
  try {
    r.ok = ReadJobOptions(*doc, r.options, r.status, r.text, r.errorPoint);
  } catch (const RaisedError& e) {
    r.raised = e.number();
  }
  return r;
}

TEST(JobOptionsTest, ReadsEveryFieldOfAValidEntry) {
  Read r = ReadFrom(ValidFields());
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.raised, 0);
  const JobOptions& o = r.options;
  EXPECT_EQ(o.optionsxml, std::string("<root><orientation>2</orientation></root>") + '\0');
  EXPECT_FALSE(o.issynchronous);
  EXPECT_EQ(o.documentid, 42);
  EXPECT_EQ(o.documentname, "Annual report");
  EXPECT_EQ(o.destinationcategoryid, 3);
  EXPECT_EQ(o.querystrings, "&lang=en");
  EXPECT_TRUE(o.parsetree);
  EXPECT_FALSE(o.autoarchive);
  EXPECT_EQ(o.flags, 1);
  EXPECT_EQ(o.documentguid, "report-2026");
  EXPECT_EQ(o.submitter, "editor");
  EXPECT_EQ(o.pictureResolution, 2);
  EXPECT_FALSE(o.useFooter);
  EXPECT_EQ(o.footerParameters, "<root/>");
  EXPECT_EQ(o.startFromPage, 0);
  EXPECT_EQ(r.errorPoint, "Analyzing picture resolution: ");
}

TEST(JobOptionsTest, AMissingFieldFailsUnderItsOwnStageText) {
  for (const char* field : kFields) {
    auto fields = ValidFields();
    fields.erase(field);
    Read r = ReadFrom(fields);
    EXPECT_EQ(r.raised, 91) << field;
    const std::string expected = std::string(field) == "optionsxml"
                                     ? "Getting optionsxml from DOM: "
                                     : "Parsing optionsxml (pdfitem/" + std::string(field) + "): ";
    EXPECT_EQ(r.errorPoint, expected) << field;
  }
}

TEST(JobOptionsTest, NumberConversionsOfTheFields) {
  struct Case {
    const char* field;
    const char* value;
    int32_t raised;
  };
  const Case cases[] = {
      {"issynchronous", "", 13},
      {"issynchronous", "40000", 6},
      {"issynchronous", "yes", 13},
      {"documentid", "4.5", 0},
      {"documentid", "2147483648", 6},
      {"parsetree", "1.5", 0},
      {"flags", "abc", 13},
      {"destinationdocumentid", " 9 ", 0},
      {"destinationcategoryid", "", 13},
      {"autoarchive", "-32769", 6},
  };
  for (const Case& c : cases) {
    auto fields = ValidFields();
    fields[c.field] = c.value;
    Read r = ReadFrom(fields);
    EXPECT_EQ(r.raised, c.raised) << c.field << "=" << c.value;
    if (c.raised) {
      EXPECT_EQ(r.errorPoint, "Parsing optionsxml (pdfitem/" + std::string(c.field) + "): ");
    }
  }
  auto fields = ValidFields();
  fields["documentid"] = "4.5";
  fields["issynchronous"] = "-1";
  Read r = ReadFrom(fields);
  EXPECT_EQ(r.options.documentid, 4);
  EXPECT_TRUE(r.options.issynchronous);
}

TEST(JobOptionsTest, DerivedValues) {
  const std::pair<const char*, int32_t> resolutions[] = {{"3", 2}, {"2", 1}, {"0", 2},
                                                         {"1", 2}, {"6", 1}, {"-1", 2}};
  for (const auto& [flags, resolution] : resolutions) {
    auto fields = ValidFields();
    fields["flags"] = flags;
    EXPECT_EQ(ReadFrom(fields).options.pictureResolution, resolution) << flags;
  }
  auto fields = ValidFields();
  fields["documentguid"] = "";
  EXPECT_EQ(ReadFrom(fields).options.documentguid, "Annual report");
  fields["optionsxml"] = "abc";
  EXPECT_EQ(ReadFrom(fields).options.optionsxml, std::string("abc") + '\0');
}

TEST(JobOptionsTest, FooterOptions) {
  auto fields = ValidFields();
  fields["footerxml"] =
      "&lt;root&gt;&lt;usefooter&gt;1&lt;/usefooter&gt;&lt;startfrompage&gt;4&lt;/startfrompage&gt;"
      "&lt;footertext&gt;Sida $currentpage&lt;/footertext&gt;&lt;/root&gt;";
  Read r = ReadFrom(fields);
  ASSERT_TRUE(r.ok);
  EXPECT_TRUE(r.options.useFooter);
  EXPECT_EQ(r.options.startFromPage, 4);
  EXPECT_NE(r.options.footerParameters.find("Sida $currentpage"), std::string::npos);

  fields["footerxml"] = "&lt;root&gt;&lt;usefooter&gt;1";  // not well-formed
  r = ReadFrom(fields);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.status, 0);
  EXPECT_FALSE(r.text.empty());
  EXPECT_EQ(r.errorPoint, "Getting footer xml from DOM: ");
}

}  // namespace
}  // namespace tovrik
