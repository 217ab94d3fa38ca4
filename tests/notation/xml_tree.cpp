#include "notation/xml_tree.h"

#include <QXmlStreamReader>

namespace pokopen::testing {

const XmlNode* XmlNode::child(std::string_view childName) const {
    for (const XmlNode& c : children)
        if (c.name == childName)
            return &c;
    return nullptr;
}

std::string XmlNode::childText(std::string_view childName, const std::string& otherwise) const {
    const XmlNode* c = child(childName);
    return c ? c->text : otherwise;
}

std::string XmlNode::attribute(const std::string& key) const {
    const auto it = attributes.find(key);
    return it == attributes.end() ? std::string() : it->second;
}

XmlNode parseXml(const std::string& document, std::string* error) {
    QXmlStreamReader reader(
        QByteArray::fromRawData(document.data(), static_cast<qsizetype>(document.size())));
    XmlNode root;
    std::vector<XmlNode*> path;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            XmlNode node;
            node.name = reader.name().toString().toStdString();
            for (const QXmlStreamAttribute& a : reader.attributes())
                node.attributes[a.name().toString().toStdString()] = a.value().toString().toStdString();
            if (path.empty()) {
                root = std::move(node);
                path.push_back(&root);
            } else {
                path.back()->children.push_back(std::move(node));
                path.push_back(&path.back()->children.back());
            }
        } else if (reader.isEndElement()) {
            path.pop_back();
        } else if (reader.isCharacters() && !path.empty()) {
            path.back()->text += reader.text().toString().trimmed().toStdString();
        }
    }
    if (error)
        *error = reader.hasError() ? reader.errorString().toStdString() : std::string();
    return root;
}

} // namespace pokopen::testing
