// XmlTree: one libxml2 document and the nodes detached from it, freed with it; and the mark on
// attributes that a DTD default supplied.
#include "msxml/XmlTree.h"

#include <algorithm>

namespace wincompat::msxml {

namespace {
const char kDefaultedMark = 0;  // its address marks a defaulted attribute's _private
}  // namespace

void MarkDefaulted(xmlAttrPtr attribute, bool defaulted) {
    if (defaulted) {
        attribute->_private = const_cast<char*>(&kDefaultedMark);
    } else if (attribute->_private == &kDefaultedMark) {
        attribute->_private = nullptr;
    }
}

bool IsDefaulted(const xmlAttr* attribute) { return attribute->_private == &kDefaultedMark; }

XmlTree::XmlTree(xmlDocPtr doc, bool hasDeclaration) : doc_(doc), hasDeclaration_(hasDeclaration) {}

XmlTree::~XmlTree() {
    // Decide which detached nodes are still roots before freeing any of them:
    // a node linked under another detached node goes with that node.
    std::sort(detached_.begin(), detached_.end());
    detached_.erase(std::unique(detached_.begin(), detached_.end()), detached_.end());
    std::vector<xmlNodePtr> roots;
    for (xmlNodePtr node : detached_)
        if (node->parent == nullptr) roots.push_back(node);
    for (xmlNodePtr node : roots) xmlFreeNode(node);  // before the doc: they use its dictionary
    xmlFreeDoc(doc_);
}

std::shared_ptr<XmlTree> XmlTree::MakeEmpty() {
    xmlDocPtr doc = xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0"));
    if (!doc) return nullptr;
    return std::make_shared<XmlTree>(doc, false);
}

void XmlTree::KeepDetached(xmlNodePtr node) {
    std::lock_guard<std::mutex> guard(detachedLock_);
    detached_.push_back(node);
}

void XmlTree::Detach(xmlNodePtr node) {
    xmlUnlinkNode(node);
    KeepDetached(node);
}

}  // namespace wincompat::msxml
