// A small document object model over pugixml: load a document from text (with a success
// flag), reach its document element and a node's first child, create elements, set their
// text, append or insert them, and serialise the document to text.
//
// Whitespace-only text between elements is not kept when a document loads, and the
// serialised text has no declaration, no indentation and no line breaks of its own.
// Nodes keep their document alive. Appending or inserting a node moves it: a node of
// another document (or one created and not yet placed) is taken out of where it was and
// placed here, so the node returned by appendChild and insertBefore is the one to use.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <pugixml.hpp>

namespace ec::xml {

// The first thing in text that an XML 1.0 document cannot carry, described for a message
// ("the character U+0001", "bytes that are not UTF-8"); nullopt when there is none.
// Characters outside #x9 | #xA | #xD | #x20-#xD7FF | #xE000-#xFFFD | #x10000-#x10FFFF
// cannot be written, not even as character references.
std::optional<std::string> unsupportedCharacter(std::string_view text);

class Node {
 public:
  Node() = default;
  bool isNull() const { return !node_; }
  explicit operator bool() const { return static_cast<bool>(node_); }
  // The element name; "" for text and other nodes without one.
  std::string name() const;
  // The text directly inside an element (its first text child), "" when none.
  std::string text() const;
  // Replaces the element's text.
  void setText(std::string_view text);
  Node firstChild() const;
  Node nextSibling() const;
  // Moves child to the end of this element's children; returns it at its new place.
  Node appendChild(const Node& child);
  // Moves child in front of ref (a child of this element); a null ref appends.
  Node insertBefore(const Node& child, const Node& ref);

 private:
  friend class Document;
  struct Storage;
  Node(std::shared_ptr<Storage> owner, pugi::xml_node node) : owner_(std::move(owner)), node_(node) {}
  Node place(const Node& child, const Node& ref, bool append);
  std::shared_ptr<Storage> owner_;
  pugi::xml_node node_;
};

class Document {
 public:
  Document();
  // Replaces the content with the document in text. False, leaving the document empty,
  // when the text is not one well-formed XML document in UTF-8 or holds a character an
  // XML 1.0 document cannot carry.
  bool loadXml(std::string_view text);
  // The root element; null when the document is empty.
  Node documentElement() const;
  // A new element of this document, not yet placed anywhere.
  Node createElement(std::string_view name);
  // The whole document as text.
  std::string xml() const;

 private:
  std::shared_ptr<Node::Storage> storage_;
};

}  // namespace ec::xml
