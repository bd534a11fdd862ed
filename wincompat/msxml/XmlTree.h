// One libxml2 document as the DOM objects share it.
#pragma once
#include <libxml/tree.h>

#include <memory>
#include <mutex>
#include <vector>

namespace wincompat::msxml {

// Owns an xmlDoc and every node unlinked from it. Node objects hold the tree
// through a shared pointer, so a node stays valid for as long as any object
// refers to it, even after its document has loaded other content. Nodes are
// never freed one by one while the tree lives: removed and newly created nodes
// are remembered here and freed with the tree unless they were linked in again.
class XmlTree {
public:
    // Takes ownership of `doc`. `hasDeclaration`: the source began with an XML
    // declaration, which serialisation then writes back.
    XmlTree(xmlDocPtr doc, bool hasDeclaration);
    ~XmlTree();
    XmlTree(const XmlTree&) = delete;
    XmlTree& operator=(const XmlTree&) = delete;

    // A document with no content, as a new or failed document is.
    static std::shared_ptr<XmlTree> MakeEmpty();

    xmlDocPtr doc() const { return doc_; }
    bool hasDeclaration() const { return hasDeclaration_; }

    // Records a node that was created or unlinked and has no parent now.
    void KeepDetached(xmlNodePtr node);
    // Unlinks `node` from its parent and keeps it.
    void Detach(xmlNodePtr node);

private:
    xmlDocPtr doc_;
    bool hasDeclaration_;
    std::mutex detachedLock_;
    std::vector<xmlNodePtr> detached_;
};

using TreeRef = std::shared_ptr<XmlTree>;

// An attribute that the DTD's default supplied, rather than the document,
// carries a mark until its value is set: it is not "specified".
void MarkDefaulted(xmlAttrPtr attribute, bool defaulted);
bool IsDefaulted(const xmlAttr* attribute);

}  // namespace wincompat::msxml
