#include "printserver/DocumentInfo.h"

// qpdf 11: use std::shared_ptr, not the old PointerHolder.
#define POINTERHOLDER_TRANSITION 4
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFWriter.hh>
#include <qpdf/QUtil.hh>
#include <stdexcept>

namespace tovrik::printserver {

void WriteDocumentInfo(const std::filesystem::path& file, const std::string& title,
                       const std::string& author, const std::string& subject,
                       const std::string& keywords) {
  if (title.empty() && author.empty() && subject.empty() && keywords.empty()) return;
  const std::filesystem::path temp = file.string() + ".info";
  try {
    QPDF pdf;
    pdf.processFile(file.c_str());
    QPDFObjectHandle trailer = pdf.getTrailer();
    QPDFObjectHandle info = trailer.getKey("/Info");
    if (!info.isDictionary()) {
      info = pdf.makeIndirectObject(QPDFObjectHandle::newDictionary());
      trailer.replaceKey("/Info", info);
    }
    auto set = [&](const char* key, const std::string& value) {
      // UTF-8 text becomes PDF text (PDFDocEncoding or UTF-16) so any script survives.
      if (!value.empty()) info.replaceKey(key, QPDFObjectHandle::newUnicodeString(value));
    };
    set("/Title", title);
    set("/Author", author);
    set("/Subject", subject);
    set("/Keywords", keywords);
    QPDFWriter writer(pdf, temp.c_str());
    writer.setStaticID(false);
    writer.write();
  } catch (const std::exception& e) {
    std::error_code ignored;
    std::filesystem::remove(temp, ignored);
    throw std::runtime_error("cannot write the document information of '" + file.string() +
                             "': " + e.what());
  }
  std::filesystem::rename(temp, file);
}

}  // namespace tovrik::printserver
