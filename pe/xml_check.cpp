// A small well-formedness check of XML documents.
#include "pe/xml_check.h"

#include <algorithm>
#include <vector>

namespace tarvex::pe {

namespace {

bool name_start(unsigned char c) {
  return (c | 0x20) >= 'a' && (c | 0x20) <= 'z' ? true : c == '_' || c == ':' || c >= 0x80;
}
bool name_char(unsigned char c) { return name_start(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }
bool space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

class Checker {
 public:
  explicit Checker(const std::string& text) : t_(text) {}

  Error run() {
    if (t_.compare(0, 3, "\xEF\xBB\xBF") == 0) at_ = 3;
    if (t_.compare(at_, 5, "<?xml") == 0 && at_ + 5 < t_.size() && space(t_[at_ + 5]) && !skip_past("?>"))
      return error("the XML declaration has no end");
    bool root_seen = false;
    std::vector<std::string> open;
    while (at_ < t_.size()) {
      if (t_[at_] != '<') {
        if (open.empty() && !space(t_[at_])) return error("text outside the root element");
        if (t_[at_] == '&' && !reference()) return error("a bad character reference");
        if (t_.compare(at_, 3, "]]>") == 0) return error("']]>' in text");
        ++at_;
        continue;
      }
      if (t_.compare(at_, 4, "<!--") == 0) {
        const size_t end = t_.find("--", at_ + 4);
        if (end == std::string::npos || t_.compare(end, 3, "-->") != 0) return error("a comment without a proper end");
        at_ = end + 3;
      } else if (t_.compare(at_, 2, "<?") == 0) {
        if (!skip_past("?>")) return error("a processing instruction has no end");
      } else if (t_.compare(at_, 9, "<![CDATA[") == 0) {
        if (open.empty()) return error("a CDATA section outside the root element");
        if (!skip_past("]]>")) return error("a CDATA section has no end");
      } else if (t_.compare(at_, 2, "<!") == 0) {
        return error("a document type declaration, which a manifest does not have");
      } else if (t_.compare(at_, 2, "</") == 0) {
        at_ += 2;
        const std::string name = read_name();
        skip_space();
        if (open.empty() || name != open.back() || at_ >= t_.size() || t_[at_] != '>')
          return error("an end tag that does not match its start tag");
        open.pop_back();
        ++at_;
      } else {
        if (open.empty() && root_seen) return error("more than one root element");
        ++at_;
        const std::string name = read_name();
        if (name.empty()) return error("a '<' that starts no tag");
        bool empty_element = false;
        if (Error f = attributes(&empty_element)) return f;
        root_seen = true;
        if (!empty_element) open.push_back(name);
      }
    }
    if (!open.empty()) return error("the element '" + open.back() + "' is not closed");
    if (!root_seen) return error("no root element");
    return {};
  }

 private:
  Error error(const std::string& what) const {
    const long line = 1 + std::count(t_.begin(), t_.begin() + static_cast<long>(std::min(at_, t_.size())), '\n');
    return fail("it is not well-formed XML: " + what + " (line " + std::to_string(line) + ")");
  }

  bool skip_past(const char* end) {
    const size_t found = t_.find(end, at_ + 2);
    if (found == std::string::npos) return false;
    at_ = found + std::char_traits<char>::length(end);
    return true;
  }

  void skip_space() {
    while (at_ < t_.size() && space(t_[at_])) ++at_;
  }

  std::string read_name() {
    const size_t first = at_;
    if (at_ < t_.size() && name_start(static_cast<unsigned char>(t_[at_])))
      while (at_ < t_.size() && name_char(static_cast<unsigned char>(t_[at_]))) ++at_;
    return t_.substr(first, at_ - first);
  }

  // At '&': one of the five predefined entities or a numeric reference, then ';'.
  bool reference() {
    const size_t end = t_.find(';', at_);
    if (end == std::string::npos) return false;
    const std::string body = t_.substr(at_ + 1, end - at_ - 1);
    bool ok = body == "amp" || body == "lt" || body == "gt" || body == "quot" || body == "apos";
    if (!ok && body.size() > 1 && body[0] == '#') {
      const bool hex = body[1] == 'x';
      const std::string digits = body.substr(hex ? 2 : 1);
      ok = !digits.empty() && digits.size() <= 6 &&
           std::all_of(digits.begin(), digits.end(), [hex](char c) { return hex ? isxdigit(c) : isdigit(c); });
    }
    at_ = end;
    return ok;
  }

  Error attributes(bool* empty_element) {
    std::vector<std::string> names;
    for (;;) {
      const size_t before = at_;
      skip_space();
      if (at_ >= t_.size()) return error("a tag without an end");
      if (t_[at_] == '>') {
        ++at_;
        return {};
      }
      if (t_.compare(at_, 2, "/>") == 0) {
        at_ += 2;
        *empty_element = true;
        return {};
      }
      if (at_ == before) return error("attributes without space between them");
      const std::string name = read_name();
      if (name.empty()) return error("a bad attribute name");
      if (std::find(names.begin(), names.end(), name) != names.end())
        return error("the attribute '" + name + "' twice");
      names.push_back(name);
      skip_space();
      if (at_ >= t_.size() || t_[at_] != '=') return error("an attribute without a value");
      ++at_;
      skip_space();
      if (at_ >= t_.size() || (t_[at_] != '"' && t_[at_] != '\'')) return error("an attribute value without quotes");
      const char quote = t_[at_++];
      while (at_ < t_.size() && t_[at_] != quote) {
        if (t_[at_] == '<') return error("a '<' in an attribute value");
        if (t_[at_] == '&' && !reference()) return error("a bad character reference");
        ++at_;
      }
      if (at_ >= t_.size()) return error("an attribute value without its closing quote");
      ++at_;
    }
  }

  const std::string& t_;
  size_t at_ = 0;
};

}  // namespace

Error check_xml(const std::string& text) { return Checker(text).run(); }

}  // namespace tarvex::pe
