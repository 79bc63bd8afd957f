#include "platform/xml.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <sstream>

#include "platform/error.h"

namespace ec::xml {

namespace {

constexpr const char* kErrorSource = "econtract.xml";

// Decodes one UTF-8 sequence at text[i]; returns its length, 0 when it is not valid UTF-8
// (overlong forms and surrogates included).
size_t decodeUtf8(std::string_view text, size_t i, uint32_t& cp) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char b0 = byte(i);
  size_t len;
  uint32_t min;
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  } else if ((b0 & 0xE0) == 0xC0) {
    len = 2, min = 0x80, cp = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, min = 0x800, cp = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, min = 0x10000, cp = b0 & 0x07;
  } else {
    return 0;
  }
  if (i + len > text.size()) return 0;
  for (size_t k = 1; k < len; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

bool allowed(uint32_t cp) {
  return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) || (cp >= 0xE000 && cp <= 0xFFFD) ||
         (cp >= 0x10000 && cp <= 0x10FFFF);
}

// True when every name and value in the subtree can be written as XML 1.0 and no element
// repeats an attribute.
bool writable(const pugi::xml_node& node) {
  if (unsupportedCharacter(node.name()) || unsupportedCharacter(node.value())) return false;
  for (const pugi::xml_attribute& a : node.attributes()) {
    if (unsupportedCharacter(a.name()) || unsupportedCharacter(a.value())) return false;
    for (pugi::xml_attribute b = a.next_attribute(); b; b = b.next_attribute())
      if (std::string_view(a.name()) == b.name()) return false;
  }
  for (const pugi::xml_node& c : node.children())
    if (!writable(c)) return false;
  return true;
}

// An XML name: a letter, '_' or ':' (or any non-ASCII character) first, then also digits,
// '-' and '.'.
bool isName(std::string_view n) {
  if (n.empty() || unsupportedCharacter(n)) return false;
  for (size_t i = 0; i < n.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(n[i]);
    const bool start = c >= 0x80 || std::isalpha(c) || c == '_' || c == ':';
    if (!(start || (i > 0 && (std::isdigit(c) || c == '-' || c == '.')))) return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> unsupportedCharacter(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    uint32_t cp = 0;
    const size_t len = decodeUtf8(text, i, cp);
    if (len == 0) return std::string("bytes that are not UTF-8");
    if (!allowed(cp)) {
      char buf[16];
      std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(cp));
      return "the character " + std::string(buf);
    }
    i += len;
  }
  return std::nullopt;
}

struct Node::Storage {
  pugi::xml_document doc;
  // Elements created and not yet placed live here, outside the document's tree.
  pugi::xml_document unplaced;
};

std::string Node::name() const { return node_.type() == pugi::node_element ? node_.name() : std::string(); }

std::string Node::text() const { return node_.child_value(); }

void Node::setText(std::string_view text) {
  if (node_.type() != pugi::node_element)
    ec::raiseError(ec::platform_errors::kInvalidProcedureCall, kErrorSource, "Only an element can hold text");
  if (const auto bad = unsupportedCharacter(text))
    ec::raiseError(ec::platform_errors::kInvalidProcedureCall, kErrorSource,
                   "The text of the element " + name() + " holds " + *bad + ", which an XML document cannot carry");
  node_.text().set(std::string(text).c_str());
}

Node Node::firstChild() const { return Node(owner_, node_.first_child()); }

Node Node::nextSibling() const { return Node(owner_, node_.next_sibling()); }

Node Node::appendChild(const Node& child) { return place(child, Node(), true); }

Node Node::insertBefore(const Node& child, const Node& ref) { return place(child, ref, ref.isNull()); }

Node Node::place(const Node& child, const Node& ref, bool append) {
  if (node_.type() != pugi::node_element && node_.type() != pugi::node_document)
    ec::raiseError(ec::platform_errors::kInvalidProcedureCall, kErrorSource, "Only an element can hold children");
  if (child.isNull()) ec::raiseError(ec::platform_errors::kObjectVariableNotSet, kErrorSource, "No node to place");
  if (!append && ref.node_.parent() != node_)
    ec::raiseError(ec::platform_errors::kInvalidProcedureCall, kErrorSource,
                   "The reference node is not a child of this element");
  pugi::xml_node placed;
  if (child.node_.root() == node_.root()) {
    placed = append ? node_.append_move(child.node_) : node_.insert_move_before(child.node_, ref.node_);
  } else {
    // A node of another document is copied here and taken out of that document.
    placed = append ? node_.append_copy(child.node_) : node_.insert_copy_before(child.node_, ref.node_);
    if (placed) child.node_.parent().remove_child(child.node_);
  }
  if (!placed)
    ec::raiseError(ec::platform_errors::kInvalidProcedureCall, kErrorSource,
                   "The node " + child.name() + " cannot be placed in " + name());
  return Node(owner_, placed);
}

Document::Document() : storage_(std::make_shared<Node::Storage>()) {}

bool Document::loadXml(std::string_view text) {
  pugi::xml_document& doc = storage_->doc;
  // Parsed as a fragment so that text outside the root element is seen (and refused below)
  // rather than dropped.
  const pugi::xml_parse_result r =
      doc.load_buffer(text.data(), text.size(), pugi::parse_default | pugi::parse_fragment, pugi::encoding_utf8);
  bool ok = static_cast<bool>(r) && writable(doc);
  // One element at the top, with nothing but comments and processing instructions beside it.
  int elements = 0;
  for (const pugi::xml_node& n : doc.children()) {
    if (n.type() == pugi::node_element) ++elements;
    if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata) ok = false;
  }
  if (!ok || elements != 1) {
    doc.reset();
    return false;
  }
  return true;
}

Node Document::documentElement() const { return Node(storage_, storage_->doc.document_element()); }

Node Document::createElement(std::string_view name) {
  const std::string n(name);
  if (!isName(n))
    ec::raiseError(ec::platform_errors::kInvalidProcedureCall, kErrorSource, "Not an element name: " + n);
  return Node(storage_, storage_->unplaced.append_child(n.c_str()));
}

std::string Document::xml() const {
  std::ostringstream out;
  storage_->doc.save(out, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
  return out.str();
}

}  // namespace ec::xml
