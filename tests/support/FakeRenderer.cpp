#include "support/FakeRenderer.h"

#include <cairo-pdf.h>

#include <cstdio>

#include "pdf/ActivePDF.h"
#include "platform/RaisedError.h"

namespace tovrik::testing {
namespace {

using State = std::shared_ptr<FakeRenderer>;
constexpr char kPathPrefix[] = "path=";

class FakePrt2Disk : public IPrt2Disk {
 public:
  void SetUseStaticPool(bool) override {}
  void SetOrientation(int16_t) override {}
  void SetPDFTitle(const std::string&) override {}
  void SetPDFAuthor(const std::string&) override {}
  void SetPDFKeywords(const std::string&) override {}
  void SetPDFSubject(const std::string&) override {}
  void SetPapersize(int32_t) override {}
  void SetPrintquality(int32_t) override {}
  void SetPrintresolution(int32_t) override {}
  void SetResolution(int32_t) override {}
  void SetTruetypeoption(int32_t) override {}
  void SetScaling(int32_t) override {}
  void SetColorimageflags(int32_t) override {}
  void SetColorimageresolution(int32_t) override {}
  std::string ToString() override { return "settings"; }
  void FromString(const std::string& settings) override { settings_ = settings; }
  std::string FullDocumentPath() override {
    return settings_.rfind(kPathPrefix, 0) == 0 ? settings_.substr(sizeof kPathPrefix - 1) : "";
  }

 private:
  std::string settings_;
};

class FakeWebGrabber : public IWebGrabber {
 public:
  explicit FakeWebGrabber(State s) : s_(std::move(s)) {}
  void SetURL(const std::string& value) override { url_ = value; }
  void SetEngineToUse(int16_t) override {}
  void SetIETopMargin(double) override {}
  void SetIELeftMargin(double) override {}
  void SetIERightMargin(double) override {}
  void SetIEBottomMargin(double) override {}
  void SetIeheader(const std::string&) override {}
  void SetIefooter(const std::string&) override {}
  void SetPrintertimeout(int16_t) override {}
  void SetTimeout(int16_t) override {}
  void SetIEDomain(const std::string&) override {}
  void SetWaitBeforePrint(int32_t) override {}
  void MainFont(const std::string&, int16_t, int16_t, int16_t, int16_t, int16_t) override {}
  void SetPrt2DiskSettings(const std::string& value) override { settings_ = value; }
  std::string Prt2DiskSettings() override { return settings_; }
  int32_t DoPrint(const std::string&, int32_t) override {
    s_->printedUrls.push_back(url_);
    return 0;
  }
  std::string Wait(const std::string&, int32_t, int16_t&, const std::string&) override {
    auto r = s_->resultForUrl.find(url_);
    const std::string result = r == s_->resultForUrl.end() ? "019" : r->second;
    if (result == "019") {
      auto p = s_->pagesForUrl.find(url_);
      const int pages = p == s_->pagesForUrl.end() ? 1 : p->second;
      const auto file =
          s_->outputDir / ("page-" + std::to_string(s_->writtenFiles.size()) + ".pdf");
      if (pages < 0) {
        std::FILE* f = std::fopen(file.c_str(), "wb");
        if (f != nullptr) {
          std::fputs("this is not a PDF", f);
          std::fclose(f);
        }
      } else {
        WriteTestPdf(file, pages, url_);
      }
      s_->writtenFiles.push_back(file.string());
      settings_ = kPathPrefix + file.string();
    }
    return result;
  }
  int32_t CleanUp(const std::string&, int32_t) override {
    ++s_->cleanUps;
    return 0;
  }

 private:
  State s_;
  std::string url_;
  std::string settings_;
};

}  // namespace

void WriteTestPdf(const std::filesystem::path& path, int pages, const std::string& label) {
  cairo_surface_t* surface = cairo_pdf_surface_create(path.c_str(), 612, 792);
  cairo_t* cr = cairo_create(surface);
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, 14);
  for (int i = 1; i <= pages; ++i) {
    cairo_move_to(cr, 72, 72);
    cairo_show_text(cr, (label + " page " + std::to_string(i)).c_str());
    cairo_show_page(cr);
  }
  cairo_destroy(cr);
  cairo_surface_finish(surface);
  const cairo_status_t status = cairo_surface_status(surface);
  cairo_surface_destroy(surface);
  if (status != CAIRO_STATUS_SUCCESS) {
    throw RaisedError(kCallFailed, "cannot write test PDF " + path.string());
  }
}

FakeRendererGuard::FakeRendererGuard(std::shared_ptr<FakeRenderer> s) {
  providers_.push_back(std::make_unique<ScopedProvider>(
      kWebGrabberProgId, [s](const std::string&) -> std::unique_ptr<ComObject> {
        return std::make_unique<FakeWebGrabber>(s);
      }));
  providers_.push_back(std::make_unique<ScopedProvider>(
      kPrt2DiskProgId, [](const std::string&) -> std::unique_ptr<ComObject> {
        return std::make_unique<FakePrt2Disk>();
      }));
}

}  // namespace tovrik::testing
