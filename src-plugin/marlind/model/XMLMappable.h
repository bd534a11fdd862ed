// The mapping framework: every class of the event model fills itself from one
// DOM element by looking its children and attributes up by qualified name.
// Scalars are held as variants exactly as the DOM types them; a missing
// element or attribute is NULL. Nothing is converted while mapping.
#pragma once
#include <windows.h>

#include <atomic>
#include <deque>

#include "comsupport/Bstr.h"
#include "comsupport/ComRef.h"
#include "comsupport/Variant.h"
#include "model/DomAccess.h"

namespace ZELKXML {

using NodeRef = comsupport::ComRef<IXMLDOMNode>;
using DocumentRef = comsupport::ComRef<IXMLDOMDocument2>;

// The namespace of every element of an event document, bound to the prefix
// "zelk" in every query.
inline constexpr const OLECHAR* kEventNamespaceURI = OLESTR("urn:zelk:event");

class XMLMappable {
public:
    // Fills this object from the element `node`. Only lists use `name` (the
    // qualified name of the elements they collect); everything else reads the
    // children of `node` and ignores it. DOM failures raise comsupport::ComError.
    virtual void map(IXMLDOMNode* node, const OLECHAR* name) = 0;

protected:
    XMLMappable() = default;
    XMLMappable(const XMLMappable&) = default;
    XMLMappable(XMLMappable&&) = default;
    XMLMappable& operator=(const XMLMappable&) = default;
    XMLMappable& operator=(XMLMappable&&) = default;
    // Mapped objects are members or list elements of their owner and are
    // destroyed as their own type; deleting one through this base must not compile.
    ~XMLMappable() = default;
};

// An element whose whole typed value is the object's value.
class XMLValidElement : public XMLMappable {
public:
    comsupport::Variant value = comsupport::Variant::Null();

    // Stores the typed value of `node` itself; `name` is ignored.
    void map(IXMLDOMNode* node, const OLECHAR* name) override;
    // Deep-copies `source` into `destination` (releasing what it held). Subclasses
    // may check or convert here; a failed copy raises comsupport::ComError.
    virtual void store(const VARIANT& source, comsupport::Variant& destination);

protected:
    XMLValidElement() = default;
    XMLValidElement(const XMLValidElement&) = default;
    XMLValidElement(XMLValidElement&&) = default;
    XMLValidElement& operator=(const XMLValidElement&) = default;
    XMLValidElement& operator=(XMLValidElement&&) = default;
    ~XMLValidElement() = default;
};

// A query the mapping asks of every document, as the BSTR the DOM takes. The
// BSTR is made on first use and kept until the module unloads rather than
// made for each question: one document asks a few hundred.
class QueryText {
public:
    constexpr explicit QueryText(const OLECHAR* text) noexcept : text_(text) {}
    ~QueryText();
    QueryText(const QueryText&) = delete;
    QueryText& operator=(const QueryText&) = delete;

    // The query as a BSTR, owned by this object. A failed allocation raises
    // comsupport::ComError(E_OUTOFMEMORY).
    BSTR Get() const;

private:
    const OLECHAR* text_;
    mutable std::atomic<BSTR> bstr_{nullptr};
};

// The first child element of `node` with the qualified name `name`, or an
// empty reference when there is none.
NodeRef SelectFirstChild(IXMLDOMNode* node, const OLECHAR* name);
NodeRef SelectFirstChild(IXMLDOMNode* node, const QueryText& name);
// All child elements of `node` with the qualified name `name`, in document order.
comsupport::ComRef<IXMLDOMNodeList> SelectChildren(IXMLDOMNode* node, const OLECHAR* name);
LONG NodeCount(const comsupport::ComRef<IXMLDOMNodeList>& list);
NodeRef NodeAt(const comsupport::ComRef<IXMLDOMNodeList>& list, LONG index);

// destination := typed value of the first child element `name` of `node`, or
// NULL when there is none (set first, so a missing element always leaves NULL).
void ReadChildValue(IXMLDOMNode* node, const OLECHAR* name, comsupport::Variant& destination);
void ReadChildValue(IXMLDOMNode* node, const QueryText& name, comsupport::Variant& destination);
// destination := typed value of the attribute `name` of `node`, or NULL when absent.
void ReadAttributeValue(IXMLDOMNode* node, const OLECHAR* name, comsupport::Variant& destination);
// destination := the attribute as a 32-bit integer, or 0 when it is absent,
// EMPTY or NULL. A value that does not convert raises comsupport::ComError.
void ReadAttributeLong(IXMLDOMNode* node, const OLECHAR* name, LONG& destination);

// A nested object: mapped from the first child `name` when there is one; when
// there is none it keeps what it holds.
template <typename Name, typename Mapped>
void MapChildIfPresent(IXMLDOMNode* node, const Name& name, Mapped& member) {
    NodeRef child = SelectFirstChild(node, name);
    if (child) member.map(child.Get(), nullptr);
}

// A repeated element: the list is itself a double-ended queue of values.
template <typename T>
class XMLMappableList final : public XMLMappable, public std::deque<T> {
public:
    // Replaces the content with one T per child element `name` of `node`, in
    // document order. A null or empty name leaves the list empty.
    void map(IXMLDOMNode* node, const OLECHAR* name) override {
        this->clear();
        if (!name || !*name) return;
        comsupport::ComRef<IXMLDOMNodeList> selected = SelectChildren(node, name);
        const LONG count = NodeCount(selected);
        for (LONG i = 0; i < count; ++i) {
            NodeRef element = NodeAt(selected, i);
            this->emplace_back();
            this->back().map(element.Get(), nullptr);
        }
    }
};

// Document settings under which every event document is parsed.
// Creates one DOM document of `documentClass` (any server context).
DocumentRef CreateEventDocument(REFCLSID documentClass);
// Synchronous loading, validation of what the document itself declares.
void ApplyParsingSettings(const DocumentRef& document);
// "SelectionNamespaces" := xmlns:zelk='<event namespace>'.
void BindEventNamespace(const DocumentRef& document);

}  // namespace ZELKXML
