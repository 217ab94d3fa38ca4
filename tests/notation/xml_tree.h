#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

// A small element tree of an XML document, for tests that read what the program wrote.
namespace pokopen::testing {

struct XmlNode {
    std::string name;
    std::map<std::string, std::string> attributes;
    std::string text;
    std::vector<XmlNode> children;

    const XmlNode* child(std::string_view childName) const;
    // The text of a child, or `otherwise` when there is none.
    std::string childText(std::string_view childName, const std::string& otherwise = {}) const;
    bool has(std::string_view childName) const { return child(childName) != nullptr; }
    std::string attribute(const std::string& key) const;
};

// The document's root element; `error` gets the parser's message when it is not well-formed.
XmlNode parseXml(const std::string& document, std::string* error = nullptr);

} // namespace pokopen::testing
