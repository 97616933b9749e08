#include "pdfmisc/FooterMarkup.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <utility>

#include "pdfmisc/Utf.h"

namespace tovrik::pdfmisc {
namespace {

// Open tags deeper than this are dropped (their text is kept), which bounds the work per tag.
constexpr size_t kMaxDepth = 64;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
bool IsNameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '_' || c == ':';
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Decodes the entity at text[i] == '&' into out and returns the index after it; a text that
// is not a known entity is kept as a literal '&'.
size_t DecodeEntity(std::string_view text, size_t i, std::string& out) {
  const size_t semicolon = text.find(';', i + 1);
  if (semicolon == std::string_view::npos || semicolon - i > 12) {
    out += '&';
    return i + 1;
  }
  const std::string_view name = text.substr(i + 1, semicolon - i - 1);
  static constexpr std::array<std::pair<std::string_view, uint32_t>, 6> kNamed{
      {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}, {"nbsp", 0xA0}}};
  for (const auto& [entity, code] : kNamed) {
    if (name == entity) {
      AppendUtf8(out, code);
      return semicolon + 1;
    }
  }
  if (name.size() >= 2 && name[0] == '#') {
    const bool hex = name[1] == 'x' || name[1] == 'X';
    const std::string digits(name.substr(hex ? 2 : 1));
    const char* allowed = hex ? "0123456789abcdefABCDEF" : "0123456789";
    if (!digits.empty() && digits.size() <= 8 &&
        digits.find_first_not_of(allowed) == std::string::npos) {
      const unsigned long code = std::strtoul(digits.c_str(), nullptr, hex ? 16 : 10);
      if (code != 0 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF)) {
        AppendUtf8(out, static_cast<uint32_t>(code));
        return semicolon + 1;
      }
    }
  }
  out += '&';
  return i + 1;
}

std::string DecodeEntities(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    if (text[i] == '&') {
      i = DecodeEntity(text, i, out);
    } else {
      out += text[i++];
    }
  }
  return out;
}

std::optional<uint32_t> ParseColor(std::string_view raw) {
  const std::string value = Lower(raw);
  static constexpr std::array<std::pair<std::string_view, uint32_t>, 10> kNamed{
      {{"black", 0x000000},
       {"white", 0xFFFFFF},
       {"red", 0xFF0000},
       {"green", 0x008000},
       {"blue", 0x0000FF},
       {"gray", 0x808080},
       {"grey", 0x808080},
       {"navy", 0x000080},
       {"maroon", 0x800000},
       {"silver", 0xC0C0C0}}};
  for (const auto& [name, rgb] : kNamed) {
    if (value == name) return rgb;
  }
  if (value.size() != 4 && value.size() != 7) return std::nullopt;
  if (value[0] != '#' || value.find_first_not_of("0123456789abcdef", 1) != std::string::npos) {
    return std::nullopt;
  }
  if (value.size() == 4) {  // #rgb: each digit stands for two equal ones
    const std::string full = {value[1], value[1], value[2], value[2], value[3], value[3]};
    return static_cast<uint32_t>(std::strtoul(full.c_str(), nullptr, 16));
  }
  const uint32_t rgb = static_cast<uint32_t>(std::strtoul(value.c_str() + 1, nullptr, 16));
  return rgb;
}

struct Tag {
  std::string name;
  bool closing = false;
  std::vector<std::pair<std::string, std::string>> attributes;
};

// Reads the tag whose '<' is at text[i]; returns the index after its '>', or npos when text[i]
// does not start a tag (then it is text).
size_t ReadTag(std::string_view text, size_t i, Tag& tag) {
  size_t p = i + 1;
  if (p < text.size() && text[p] == '/') {
    tag.closing = true;
    ++p;
  }
  if (p >= text.size() || std::isalpha(static_cast<unsigned char>(text[p])) == 0) {
    return std::string_view::npos;
  }
  const size_t nameStart = p;
  while (p < text.size() && IsNameChar(text[p])) ++p;
  tag.name = Lower(text.substr(nameStart, p - nameStart));
  while (p < text.size()) {
    while (p < text.size() && (IsBlank(text[p]) || text[p] == '/')) ++p;
    if (p >= text.size()) break;
    if (text[p] == '>') return p + 1;
    const size_t attrStart = p;
    while (p < text.size() && !IsBlank(text[p]) && text[p] != '=' && text[p] != '>' &&
           text[p] != '/')
      ++p;
    std::string attrName = Lower(text.substr(attrStart, p - attrStart));
    while (p < text.size() && IsBlank(text[p])) ++p;
    std::string value;
    if (p < text.size() && text[p] == '=') {
      ++p;
      while (p < text.size() && IsBlank(text[p])) ++p;
      if (p < text.size() && (text[p] == '\'' || text[p] == '"')) {
        const size_t close = text.find(text[p], p + 1);
        if (close == std::string_view::npos) return std::string_view::npos;
        value = DecodeEntities(text.substr(p + 1, close - p - 1));
        p = close + 1;
      } else {
        const size_t valueStart = p;
        while (p < text.size() && !IsBlank(text[p]) && text[p] != '>') ++p;
        value = DecodeEntities(text.substr(valueStart, p - valueStart));
      }
    }
    if (attrName.empty()) {
      if (p < text.size() && text[p] != '>') ++p;  // a stray character: skip it
    } else {
      tag.attributes.emplace_back(std::move(attrName), std::move(value));
    }
  }
  return std::string_view::npos;  // no '>': the '<' was text
}

bool IsStyleTag(const std::string& name) {
  return name == "b" || name == "strong" || name == "i" || name == "em" || name == "u" ||
         name == "font";
}

class Parser {
 public:
  std::vector<TextRun> Parse(std::string_view markup) {
    for (size_t i = 0; i < markup.size();) {
      const char c = markup[i];
      if (c == '<') {
        if (markup.substr(i, 4) == "<!--") {
          const size_t end = markup.find("-->", i + 4);
          i = end == std::string_view::npos ? markup.size() : end + 3;
          continue;
        }
        Tag tag;
        const size_t next = ReadTag(markup, i, tag);
        if (next != std::string_view::npos) {
          Apply(tag);
          i = next;
          continue;
        }
        AppendChar('<');
        ++i;
      } else if (c == '&') {
        std::string decoded;
        i = DecodeEntity(markup, i, decoded);
        for (char d : decoded) AppendChar(d, /*literal=*/true);
      } else {
        AppendChar(c);
        ++i;
      }
    }
    if (!runs_.empty() && !runs_.back().text.empty() && runs_.back().text.back() == ' ') {
      runs_.back().text.pop_back();
    }
    runs_.erase(std::remove_if(runs_.begin(), runs_.end(),
                               [](const TextRun& run) { return run.text.empty(); }),
                runs_.end());
    return std::move(runs_);
  }

 private:
  void Apply(const Tag& tag) {
    if (tag.name == "br") {
      DropTrailingBlank();
      Append("\n");
      lastWasBlank_ = true;
      return;
    }
    if (!IsStyleTag(tag.name)) return;  // unknown tags are dropped, their text kept
    if (tag.closing) {
      for (size_t k = stack_.size(); k-- > 0;) {
        if (stack_[k].name == tag.name) {
          stack_.erase(stack_.begin() + static_cast<std::ptrdiff_t>(k));
          break;
        }
      }
      return;
    }
    if (stack_.size() < kMaxDepth) stack_.push_back(tag);
  }

  TextStyle CurrentStyle() const {
    TextStyle style;
    for (const Tag& tag : stack_) {
      if (tag.name == "b" || tag.name == "strong") style.bold = true;
      if (tag.name == "i" || tag.name == "em") style.italic = true;
      if (tag.name == "u") style.underline = true;
      if (tag.name != "font") continue;
      for (const auto& [name, value] : tag.attributes) {
        if (name == "size") {
          style.htmlSize = FontSize(value, style.htmlSize);
        } else if (name == "face") {
          const size_t first = value.find_first_not_of(" \t");
          if (first != std::string::npos) style.face = value.substr(first);
        } else if (name == "color") {
          if (auto rgb = ParseColor(value)) style.color = rgb;
        }
      }
    }
    return style;
  }

  static int FontSize(const std::string& value, int current) {
    if (value.empty() || value.size() > 3) return current;
    const bool relative = value[0] == '+' || value[0] == '-';
    const std::string digits = relative ? value.substr(1) : value;
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) {
      return current;
    }
    int size = std::atoi(digits.c_str());
    if (relative) size = value[0] == '+' ? current + size : current - size;
    return std::clamp(size, 1, 7);
  }

  void AppendChar(char c, bool literal = false) {
    if (!literal && IsBlank(c)) {
      if (lastWasBlank_) return;
      lastWasBlank_ = true;
      Append(" ");
      return;
    }
    lastWasBlank_ = false;
    Append(std::string_view(&c, 1));
  }

  void Append(std::string_view text) {
    const TextStyle style = CurrentStyle();
    if (runs_.empty() || !(runs_.back().style == style)) runs_.push_back({"", style});
    runs_.back().text += text;
  }

  void DropTrailingBlank() {
    if (!runs_.empty() && !runs_.back().text.empty() && runs_.back().text.back() == ' ') {
      runs_.back().text.pop_back();
    }
  }

  std::vector<Tag> stack_;
  std::vector<TextRun> runs_;
  bool lastWasBlank_ = true;  // blanks at the start of a line are dropped
};

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

}  // namespace

double PointSize(int htmlSize) {
  static constexpr std::array<double, 7> kPoints{8, 10, 12, 14, 18, 24, 36};
  return kPoints[static_cast<size_t>(std::clamp(htmlSize, 1, 7) - 1)];
}

std::vector<TextRun> ParseFooterMarkup(std::string_view markup) { return Parser().Parse(markup); }

std::vector<TextRun> ReplacePageNumbers(const std::vector<TextRun>& runs,
                                        std::string_view currentPage, std::string_view totalPages) {
  std::vector<TextRun> out = runs;
  for (TextRun& run : out) {
    ReplaceAll(run.text, "$currentpage", currentPage);
    ReplaceAll(run.text, "$totalpages", totalPages);
  }
  return out;
}

}  // namespace tovrik::pdfmisc
