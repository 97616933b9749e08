// tovrik site over real HTTP on loopback, and tovrik content through its command line.

#include <gtest/gtest.h>
#include <httplib.h>

#include <fstream>

#include "contentserver/SiteProcess.h"
#include "contentserver/SqliteContentStore.h"

namespace tovrik {
namespace {

TEST(SiteTest, ServesPublishedDocumentsAndTheirImagesAnd404sTheRest) {
  testing::ScopedTovrikHome home;
  const std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0, 1, 2, 255};
  const int32_t image = testing::SeedImage(home.path(), "logo", 0, png, "image/png");
  const int32_t page = testing::SeedDocument(
      home.path(), "R&D <report>", 0,
      "<p>Body text</p><img src=\"file.asp?id=" + std::to_string(image) + "\">");
  Document hidden;
  hidden.name = "draft";
  hidden.published = false;
  const int32_t off =
      SqliteContentStore((home.path() / "content.db").string()).CreateDocument(hidden);

  testing::SiteProcess site(home.path(), {"--set-site-url"});
  EXPECT_EQ(site.url(), "http://127.0.0.1:" + std::to_string(site.port()) + "/");
  httplib::Client client("127.0.0.1", site.port());
  client.set_connection_timeout(5);
  client.set_read_timeout(10);

  for (const char* path : {"/default.asp", "/default_pdfget.asp"}) {
    auto r =
        client.Get((std::string(path) + "?id=" + std::to_string(page) + "&lang=en&x=").c_str());
    ASSERT_TRUE(r) << path;
    EXPECT_EQ(r->status, 200);
    EXPECT_NE(r->get_header_value("Content-Type").find("text/html"), std::string::npos);
    EXPECT_NE(r->body.find("<title>R&amp;D &lt;report&gt;</title>"), std::string::npos);
    EXPECT_NE(r->body.find("<p>Body text</p>"), std::string::npos);
    EXPECT_NE(r->body.find("<style media=\"print\">"), std::string::npos);
    EXPECT_NE(
        r->body.find(std::string(path) == "/default.asp" ? "class=\"screen\"" : "class=\"pdfget\""),
        std::string::npos);
  }
  auto img = client.Get(("/file.asp?id=" + std::to_string(image)).c_str());
  ASSERT_TRUE(img);
  EXPECT_EQ(img->status, 200);
  EXPECT_EQ(img->get_header_value("Content-Type"), "image/png");
  EXPECT_EQ(std::vector<uint8_t>(img->body.begin(), img->body.end()), png);

  for (const std::string& missing :
       std::vector<std::string>{"/default.asp?id=9999", "/default.asp?id=abc", "/default.asp",
                                "/default_pdfget.asp?id=" + std::to_string(off),
                                "/file.asp?id=" + std::to_string(page)}) {
    auto r = client.Get(missing.c_str());
    ASSERT_TRUE(r) << missing;
    EXPECT_EQ(r->status, 404) << missing;
  }

  std::string value;
  ASSERT_EQ(testing::RunContentCommand(home.path(), {"get-setting", "SiteURL"}, &value), 0);
  EXPECT_EQ(value, site.url() + "\n");
}

TEST(ContentCommandTest, EnqueuesListsShowsAndExportsAndRefusesBadInput) {
  testing::ScopedTovrikHome home;
  const auto& h = home.path();
  std::string out;
  ASSERT_EQ(testing::RunContentCommand(h, {"add-document", "--name", "Top"}, &out), 0);
  EXPECT_EQ(out, "1\n");
  std::ofstream(h / "record.xml") << "<pdfitem><documentid>1</documentid><optionsxml>&lt;root/&gt;"
                                     "</optionsxml></pdfitem>";
  ASSERT_EQ(testing::RunContentCommand(h, {"enqueue", "--xml", (h / "record.xml").string()}, &out),
            0);
  EXPECT_EQ(out, "1\n");
  ASSERT_EQ(testing::RunContentCommand(
                h, {"enqueue", "--document", "1", "--tree", "--name", "A&B", "--flags", "2"}, &out),
            0);
  EXPECT_EQ(out, "2\n");
  ASSERT_EQ(testing::RunContentCommand(h, {"show", "2", "--json"}, &out), 0);
  EXPECT_NE(out.find("\"documentname\": \"A&B\""), std::string::npos) << out;
  EXPECT_NE(out.find("\"parsetree\": \"1\""), std::string::npos);
  ASSERT_EQ(testing::RunContentCommand(h, {"show", "1", "--json"}, &out), 0);
  EXPECT_EQ(out.find("submitter"), std::string::npos);  // kept as the record had it
  ASSERT_EQ(testing::RunContentCommand(h, {"queue"}, &out), 0);
  EXPECT_NE(out.find("waiting"), std::string::npos);

  std::vector<uint8_t> pdf = {'%', 'P', 'D', 'F', 0, 0xff};
  SqliteContentStore((h / "content.db").string()).ReplaceContent(1, pdf);
  ASSERT_EQ(
      testing::RunContentCommand(h, {"export-document", "1", "--out", (h / "x.pdf").string()}), 0);
  std::ifstream in(h / "x.pdf", std::ios::binary);
  EXPECT_EQ(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}), pdf);

  const std::vector<std::vector<std::string>> bad = {
      {"enqueue"},
      {"enqueue", "--document", "x"},
      {"enqueue", "--document", "99999999999"},
      {"enqueue", "--xml", (h / "nothing.xml").string()},
      {"enqueue", "--xml", (h / "record.xml").string(), "--tree"},
      {"add-document"},
      {"add-document", "--name", "n", "--parent", "77"},
      {"show", "5"},
      {"export-document", "9", "--out", (h / "y.pdf").string()},
      {"get-setting", "Nope"},
  };
  for (const auto& args : bad) {
    EXPECT_EQ(testing::RunContentCommand(h, args, &out), 1) << args[0] << " " << args.size();
  }
  ASSERT_EQ(testing::RunContentCommand(h, {"queue", "--json"}, &out), 0);
  EXPECT_EQ(out.find("\"id\": 3"), std::string::npos);  // nothing queued by bad input
}

}  // namespace
}  // namespace tovrik
