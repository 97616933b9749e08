#include "platform/Variant.h"

#include <strings.h>

#include <cmath>
#include <cstdio>

#include "platform/NumberConversion.h"
#include "platform/RaisedError.h"

namespace tovrik {
namespace {

template <class... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

}  // namespace

bool Variant::IsNumeric() const {
  return std::holds_alternative<int16_t>(value_) || std::holds_alternative<int32_t>(value_) ||
         std::holds_alternative<bool>(value_) || std::holds_alternative<double>(value_);
}

double Variant::ToDouble() const {
  return std::visit(Overloaded{[](std::monostate) { return 0.0; },
                               [](int16_t v) { return static_cast<double>(v); },
                               [](int32_t v) { return static_cast<double>(v); },
                               [](bool v) { return v ? -1.0 : 0.0; }, [](double v) { return v; },
                               [](const std::string& s) {
                                 auto v = ParseDecimal(s);
                                 if (!v) RaiseRuntimeError(kErrTypeMismatch);
                                 return *v;
                               },
                               [](const auto&) -> double { RaiseRuntimeError(kErrTypeMismatch); }},
                    value_);
}

int32_t Variant::ToInt32() const {
  if (auto* v = std::get_if<int32_t>(&value_)) return *v;
  if (auto* v = std::get_if<int16_t>(&value_)) return *v;
  return RoundToInt32(ToDouble());
}

int16_t Variant::ToInt16() const {
  if (auto* v = std::get_if<int16_t>(&value_)) return *v;
  return RoundToInt16(ToDouble());
}

bool Variant::ToBool() const {
  if (auto* s = std::get_if<std::string>(&value_)) {
    if (strcasecmp(s->c_str(), "true") == 0) return true;
    if (strcasecmp(s->c_str(), "false") == 0) return false;
  }
  return ToDouble() != 0.0;
}

std::string Variant::ToString() const {
  return std::visit(
      Overloaded{[](std::monostate) { return std::string(); },
                 [](int16_t v) { return std::to_string(v); },
                 [](int32_t v) { return std::to_string(v); },
                 [](bool v) { return std::string(v ? "True" : "False"); },
                 [](double v) {
                   char buf[64];
                   std::snprintf(buf, sizeof buf, "%.15g", v);
                   return std::string(buf);
                 },
                 [](const std::string& s) { return s; },
                 [](const auto&) -> std::string { RaiseRuntimeError(kErrTypeMismatch); }},
      value_);
}

const Variant::Bytes& Variant::AsBytes() const {
  if (auto* b = std::get_if<Bytes>(&value_)) return *b;
  RaiseRuntimeError(kErrTypeMismatch);
}

std::shared_ptr<Recordset> Variant::AsRecordset() const {
  auto* r = std::get_if<std::shared_ptr<Recordset>>(&value_);
  if (!r) RaiseRuntimeError(kErrTypeMismatch);
  if (!*r) RaiseRuntimeError(kErrObjectNotSet);
  return *r;
}

Variant MemoryRecordset::Field(const std::string& name) const {
  if (Eof()) {
    throw RaisedError(3021, "Either BOF or EOF is True, or the current record has been deleted.");
  }
  for (const auto& [field, value] : rows_[current_]) {
    if (strcasecmp(field.c_str(), name.c_str()) == 0) return value;
  }
  throw RaisedError(3265,
                    "Item cannot be found in the collection corresponding to the requested "
                    "name or ordinal.");
}

void MemoryRecordset::MoveNext() {
  if (Eof()) {
    throw RaisedError(3021, "Either BOF or EOF is True, or the current record has been deleted.");
  }
  ++current_;
}

}  // namespace tovrik
