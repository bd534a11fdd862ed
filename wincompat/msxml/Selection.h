// XPath selection for one document: the prefixes bound by the
// "SelectionNamespaces" property and a cache of compiled expressions.
#pragma once
#include <libxml/xpath.h>

#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace wincompat::msxml {

class Selector {
public:
    Selector() = default;
    ~Selector();
    Selector(const Selector&) = delete;
    Selector& operator=(const Selector&) = delete;

    // Takes the "xmlns:p='uri' ..." list as the property's value; false when
    // it is malformed, which leaves no prefix bound.
    bool SetNamespaces(const std::u16string& declarations);
    std::u16string Namespaces() const;

    // Evaluates `query` (XPath 1.0) with `context` as the context node and
    // gives the selected nodes in document order (at most one when `firstOnly`).
    // False with `error` set when the query does not compile, does not select
    // nodes or names an unbound prefix.
    bool Select(xmlNodePtr context, std::u16string_view query, bool firstOnly, std::vector<xmlNodePtr>& nodes,
                std::u16string& error);
    // The first selected node (null when none), as Select with `firstOnly`.
    bool SelectFirst(xmlNodePtr context, std::u16string_view query, xmlNodePtr& found, std::u16string& error);

private:
    // A query that is one element name, "name" or "prefix:name", visits the
    // context node's matching children in document order without evaluating
    // XPath (the common case, answered the same) until `visit` returns false.
    // False when the query is of another form or names a prefix that is not
    // bound (XPath then says why).
    template <class Visit>
    bool ForEachChildByName(xmlNodePtr context, std::u16string_view query, Visit&& visit);
    // Checks that `query` is of that form and resolves its prefix (lock_ held).
    bool ResolveSimpleName(std::u16string_view query, const std::string*& uri, std::u16string_view& local) const;
    static bool ParseNamespaces(const std::u16string& text, std::vector<std::pair<std::string, std::string>>& bindings);
    xmlXPathCompExprPtr Compiled(const std::u16string& query, std::string& error);
    bool PrepareContext();
    static void CollectError(void* userData, xmlErrorPtr error);

    // A query of the simple form as it resolved: its text (short queries
    // only), where the local name starts, and the namespace it names (null:
    // none). The mapping asks the same few dozen queries of every node, so
    // the text is then compared rather than checked character by character.
    static constexpr size_t kResolvedNameChars = 32;
    static constexpr size_t kResolvedNameSlots = 32;
    struct ResolvedName {
        size_t length = 0;  // 0: the slot is free
        size_t localStart = 0;
        const std::string* uri = nullptr;  // into bindings_, cleared with them
        char16_t text[kResolvedNameChars] = {};
    };
    static size_t ResolvedNameSlot(std::u16string_view query);

    mutable std::mutex lock_;
    ResolvedName resolved_[kResolvedNameSlots];
    std::u16string declarations_;
    std::vector<std::pair<std::string, std::string>> bindings_;  // prefix, namespace URI
    bool bindingsChanged_ = true;
    xmlXPathContextPtr context_ = nullptr;
    std::unordered_map<std::u16string, xmlXPathCompExprPtr> compiled_;
    std::string lastError_;
};

}  // namespace wincompat::msxml
