#include "contentserver/QueueRecord.h"

#include <pugixml.hpp>
#include <sstream>
#include <stdexcept>

#include "platform/XmlDocument.h"

namespace tovrik {

const std::vector<QueueField>& QueueFields() {
  static const std::vector<QueueField> fields = {
      {"optionsxml", &QueueJob::optionsxml},
      {"issynchronous", &QueueJob::issynchronous},
      {"documentid", &QueueJob::documentid},
      {"documentname", &QueueJob::documentname},
      {"destinationcategoryid", &QueueJob::destinationcategoryid},
      {"querystrings", &QueueJob::querystrings},
      {"parsetree", &QueueJob::parsetree},
      {"autoarchive", &QueueJob::autoarchive},
      {"destinationdocumentid", &QueueJob::destinationdocumentid},
      {"flags", &QueueJob::flags},
      {"footerxml", &QueueJob::footerxml},
      {"documentguid", &QueueJob::documentguid},
      {"submitter", &QueueJob::submitter},
  };
  return fields;
}

const char* QueueStateName(QueueState state) {
  switch (state) {
    case QueueState::kWaiting:
      return "waiting";
    case QueueState::kLeased:
      return "leased";
    case QueueState::kProcessing:
      return "processing";
    case QueueState::kDone:
      return "done";
    case QueueState::kFailed:
      return "failed";
  }
  return "unknown";
}

std::optional<QueueState> QueueStateFromName(const std::string& name) {
  for (QueueState s : {QueueState::kWaiting, QueueState::kLeased, QueueState::kProcessing,
                       QueueState::kDone, QueueState::kFailed}) {
    if (name == QueueStateName(s)) return s;
  }
  return std::nullopt;
}

std::string QueueEntryXml(int32_t entryId, const QueueJob& job) {
  std::string xml = "<root><pdfitem><queueentryid>" + std::to_string(entryId) + "</queueentryid>";
  for (const QueueField& field : QueueFields()) {
    const std::optional<std::string>& value = job.*field.member;
    if (!value) continue;
    xml += "<";
    xml += field.name;
    xml += ">";
    xml += XmlEscape(*value);
    xml += "</";
    xml += field.name;
    xml += ">";
  }
  xml += job.extraXml;
  xml += "</pdfitem></root>";
  return xml;
}

namespace {

// The concatenated text of a node and its descendants, as the worker reads values.
std::string TextOf(pugi::xml_node node) { return XmlNode(node).text(); }

}  // namespace

QueueJob QueueJobFromRecord(const std::string& xml, std::vector<std::string>* warnings) {
  pugi::xml_document doc;
  pugi::xml_parse_result parsed =
      doc.load_buffer(xml.data(), xml.size(), pugi::parse_default | pugi::parse_ws_pcdata_single,
                      pugi::encoding_utf8);
  if (!parsed) {
    throw std::invalid_argument(std::string("the record does not parse: ") + parsed.description() +
                                " at offset " + std::to_string(parsed.offset));
  }
  pugi::xml_node root = doc.document_element();
  pugi::xml_node item = std::string(root.name()) == "pdfitem" ? root : root.child("pdfitem");
  if (!item) throw std::invalid_argument("the record has no pdfitem element");

  QueueJob job;
  for (pugi::xml_node child : item.children()) {
    if (child.type() != pugi::node_element) continue;
    const std::string name = child.name();
    if (name == "queueentryid") continue;
    bool known = false;
    for (const QueueField& field : QueueFields()) {
      if (name != field.name) continue;
      known = true;
      std::optional<std::string>& value = job.*field.member;
      if (value) break;  // only the first element of a name counts
      value = TextOf(child);
      if ((name == "optionsxml" || name == "footerxml") &&
          child.find_child([](pugi::xml_node n) { return n.type() == pugi::node_element; })) {
        if (warnings) {
          warnings->push_back(name +
                              " holds child elements; the worker reads only their text (write "
                              "the XML escaped or in a CDATA section)");
        }
      }
      break;
    }
    if (!known) {
      std::ostringstream out;
      child.print(out, "", pugi::format_raw | pugi::format_no_declaration);
      job.extraXml += out.str();
    }
  }
  return job;
}

}  // namespace tovrik
