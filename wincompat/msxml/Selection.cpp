// XPath selection for one document: the SelectionNamespaces list parsed into prefix bindings,
// compiled expressions cached, and plain "name" or "prefix:name" queries answered by walking the
// children.
#include "msxml/Selection.h"

#include "msxml/Parser.h"
#include "msxml/Text.h"

#include <libxml/xpathInternals.h>

#include <cstring>

namespace wincompat::msxml {
namespace {

// Compiled expressions kept per document; beyond this the cache starts over.
constexpr size_t kMaxCachedExpressions = 256;

bool IsXmlSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

bool IsNameChar(char16_t c) { return !IsXmlSpace(c) && c != u'=' && c != u'\'' && c != u'"' && c != u':'; }

}  // namespace

Selector::~Selector() {
    for (auto& entry : compiled_) xmlXPathFreeCompExpr(entry.second);
    if (context_) xmlXPathFreeContext(context_);
}

bool Selector::SetNamespaces(const std::u16string& text) {
    std::vector<std::pair<std::string, std::string>> bindings;
    bool valid = ParseNamespaces(text, bindings);
    // A malformed list is kept as the property's value all the same, and then
    // binds no prefix at all, as MSXML does.
    if (!valid) bindings.clear();
    std::lock_guard<std::mutex> guard(lock_);
    bindings_ = std::move(bindings);
    declarations_ = text;
    bindingsChanged_ = true;
    for (ResolvedName& name : resolved_) name.length = 0;
    return valid;
}

bool Selector::ParseNamespaces(const std::u16string& text, std::vector<std::pair<std::string, std::string>>& bindings) {
    // Grammar: (S* 'xmlns' (':' prefix)? S* '=' S* quote uri quote)* S*
    size_t i = 0;
    const size_t n = text.size();
    auto skipSpace = [&] {
        while (i < n && IsXmlSpace(text[i])) ++i;
    };
    for (skipSpace(); i < n; skipSpace()) {
        if (text.compare(i, 5, u"xmlns") != 0) return false;
        i += 5;
        std::u16string prefix;
        if (i < n && text[i] == u':') {
            size_t start = ++i;
            while (i < n && IsNameChar(text[i])) ++i;
            prefix = text.substr(start, i - start);
            if (prefix.empty()) return false;
        }
        skipSpace();
        if (i >= n || text[i] != u'=') return false;
        ++i;
        skipSpace();
        if (i >= n || (text[i] != u'\'' && text[i] != u'"')) return false;
        char16_t quote = text[i++];
        size_t end = text.find(quote, i);
        if (end == std::u16string::npos) return false;
        std::u16string uri = text.substr(i, end - i);
        i = end + 1;
        if (i < n && !IsXmlSpace(text[i])) return false;
        // A default namespace is accepted but, as in XPath 1.0, an unprefixed
        // name still means "no namespace".
        if (prefix.empty()) continue;
        std::string prefixUtf8, uriUtf8;
        if (!Utf16ToUtf8(prefix.data(), prefix.size(), prefixUtf8) || !Utf16ToUtf8(uri.data(), uri.size(), uriUtf8))
            return false;
        bindings.emplace_back(std::move(prefixUtf8), std::move(uriUtf8));
    }
    return true;
}

std::u16string Selector::Namespaces() const {
    std::lock_guard<std::mutex> guard(lock_);
    return declarations_;
}

void Selector::CollectError(void* userData, xmlErrorPtr error) {
    auto* self = static_cast<Selector*>(userData);
    if (error && error->message && self->lastError_.empty()) {
        self->lastError_ = error->message;
        while (!self->lastError_.empty() && self->lastError_.back() == '\n') self->lastError_.pop_back();
        if (error->str1) self->lastError_ += std::string(": ") + error->str1;
    }
}

bool Selector::PrepareContext() {
    if (!context_) {
        // Made without a document: it must not share a document's dictionary,
        // since compiled expressions outlive the documents they ran on.
        context_ = xmlXPathNewContext(nullptr);
        if (!context_) return false;
        context_->error = &Selector::CollectError;
        context_->userData = this;
    }
    if (bindingsChanged_) {
        xmlXPathRegisteredNsCleanup(context_);
        for (const auto& binding : bindings_)
            xmlXPathRegisterNs(context_, reinterpret_cast<const xmlChar*>(binding.first.c_str()),
                               reinterpret_cast<const xmlChar*>(binding.second.c_str()));
        bindingsChanged_ = false;
    }
    return true;
}

xmlXPathCompExprPtr Selector::Compiled(const std::u16string& query, std::string& error) {
    auto found = compiled_.find(query);
    if (found != compiled_.end()) return found->second;
    std::string expression;
    if (!Utf16ToUtf8(query.data(), query.size(), expression) || expression.find('\0') != std::string::npos) {
        error = "The query is not valid text.";
        return nullptr;
    }
    lastError_.clear();
    xmlXPathCompExprPtr compiled = xmlXPathCtxtCompile(context_, reinterpret_cast<const xmlChar*>(expression.c_str()));
    if (!compiled) {
        error = lastError_.empty() ? "The query is not a valid XPath expression." : lastError_;
        return nullptr;
    }
    if (compiled_.size() >= kMaxCachedExpressions) {
        for (auto& entry : compiled_) xmlXPathFreeCompExpr(entry.second);
        compiled_.clear();
    }
    compiled_.emplace(query, compiled);
    return compiled;
}

namespace {

// What each ASCII character may be in a query of the form "name" or "prefix:name".
constexpr unsigned char kNameStart = 1, kNameChar = 2, kColon = 4;
struct AsciiNameTable {
    unsigned char bits[128] = {};
    constexpr AsciiNameTable() {
        for (int c = 0; c < 128; ++c) {
            bool start = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
            bool name = start || (c >= '0' && c <= '9') || c == '-' || c == '.';
            bits[c] =
                static_cast<unsigned char>((start ? kNameStart : 0) | (name ? kNameChar : 0) | (c == ':' ? kColon : 0));
        }
    }
};
constexpr AsciiNameTable kAsciiNames;

bool IsAsciiNameStart(char16_t c) { return c < 128 && (kAsciiNames.bits[c] & kNameStart); }

// True when every character of `query` is one an ASCII NCName may hold or a
// colon, with at most one colon; `colons` says how many.
bool HasQualifiedNameCharacters(std::u16string_view query, unsigned& colons) {
    colons = 0;
    for (char16_t c : query) {
        if (c >= 128 || !(kAsciiNames.bits[c] & (kNameChar | kColon))) return false;
        colons += c == u':';
    }
    return colons <= 1;
}

bool SameAsciiPrefix(const std::string& prefix, std::u16string_view text) {
    for (size_t i = 0; i < prefix.size(); ++i)
        if (static_cast<char16_t>(static_cast<unsigned char>(prefix[i])) != text[i]) return false;
    return true;
}

bool SameAscii(const xmlChar* utf8, std::u16string_view name) {
    size_t i = 0;
    for (; i < name.size(); ++i)
        if (utf8[i] != static_cast<xmlChar>(name[i])) return false;  // also stops at the terminator
    return utf8[i] == 0;
}

}  // namespace

template <class Visit>
bool Selector::ForEachChildByName(xmlNodePtr context, std::u16string_view query, Visit&& visit) {
    // The child axis of an element or a document; other nodes go the general way.
    if (context->type != XML_ELEMENT_NODE && context->type != XML_DOCUMENT_NODE) return false;
    if (query.empty()) return false;
    std::lock_guard<std::mutex> guard(lock_);
    const std::string* uri = nullptr;
    std::u16string_view local = query;
    ResolvedName& resolved = resolved_[ResolvedNameSlot(query)];
    if (resolved.length == query.size() &&
        std::memcmp(resolved.text, query.data(), query.size() * sizeof(char16_t)) == 0) {
        uri = resolved.uri;
        local = query.substr(resolved.localStart);
    } else if (!ResolveSimpleName(query, uri, local)) {
        return false;
    } else if (query.size() <= kResolvedNameChars) {
        resolved.length = query.size();
        resolved.localStart = query.size() - local.size();
        resolved.uri = uri;
        std::memcpy(resolved.text, query.data(), query.size() * sizeof(char16_t));
    }
    for (xmlNodePtr child = context->children; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE || !SameAscii(child->name, local)) continue;
        bool inNamespace = uri ? child->ns && child->ns->href &&
                                     std::strcmp(uri->c_str(), reinterpret_cast<const char*>(child->ns->href)) == 0
                               : child->ns == nullptr;
        if (inNamespace && !visit(child)) break;
    }
    return true;
}

size_t Selector::ResolvedNameSlot(std::u16string_view query) {
    // A few characters from where element names differ most (the end); a
    // clash only costs the check.
    const size_t n = query.size();
    return (n * 7 + query[n - 1] * 3 + query[n / 2] + query[(n * 3) / 4] * 5) % kResolvedNameSlots;
}

bool Selector::ResolveSimpleName(std::u16string_view query, const std::string*& uri, std::u16string_view& local) const {
    // "name" or "prefix:name" with both parts ASCII NCNames is what the
    // plug-ins' element names are; anything else goes the general way. As
    // XPath 1.0 has it, a prefixed name means that prefix's namespace, an
    // unprefixed one no namespace at all.
    unsigned colons = 0;
    if (!HasQualifiedNameCharacters(query, colons) || !IsAsciiNameStart(query[0])) return false;
    uri = nullptr;
    local = query;
    if (colons == 1) {
        // The query's one colon ends the prefix when the prefix is bound; the
        // last binding of a prefix wins, as in the XPath context.
        size_t prefixLength = 0;
        for (const auto& binding : bindings_) {
            const size_t length = binding.first.size();
            if (length < query.size() && query[length] == u':' &&
                SameAsciiPrefix(binding.first, query.substr(0, length))) {
                uri = &binding.second;
                prefixLength = length;
            }
        }
        if (!uri) return false;  // unbound, or not a name: XPath says why
        local = query.substr(prefixLength + 1);
    }
    return !local.empty() && IsAsciiNameStart(local[0]);
}

bool Selector::SelectFirst(xmlNodePtr node, std::u16string_view query, xmlNodePtr& found, std::u16string& error) {
    found = nullptr;
    if (ForEachChildByName(node, query, [&](xmlNodePtr child) {
            found = child;
            return false;
        }))
        return true;
    std::vector<xmlNodePtr> nodes;
    if (!Select(node, query, true, nodes, error)) return false;
    if (!nodes.empty()) found = nodes.front();
    return true;
}

bool Selector::Select(xmlNodePtr node, std::u16string_view queryText, bool firstOnly, std::vector<xmlNodePtr>& nodes,
                      std::u16string& error) {
    nodes.clear();
    if (ForEachChildByName(node, queryText, [&](xmlNodePtr child) {
            nodes.push_back(child);
            return !firstOnly;
        }))
        return true;
    EnsureLibxmlInitialised();
    const std::u16string query(queryText);
    std::lock_guard<std::mutex> guard(lock_);
    if (!PrepareContext()) {
        error = u"Out of memory.";
        return false;
    }
    std::string message;
    xmlXPathCompExprPtr compiled = Compiled(query, message);
    if (!compiled) {
        error = Utf8ToUtf16(message);
        return false;
    }
    context_->doc = node->doc;
    context_->node = node;
    lastError_.clear();
    xmlXPathObjectPtr result = xmlXPathCompiledEval(compiled, context_);
    context_->doc = nullptr;
    context_->node = nullptr;
    if (!result) {
        message = lastError_.empty() ? "The query could not be evaluated." : lastError_;
        error = Utf8ToUtf16(message);
        return false;
    }
    bool selected = result->type == XPATH_NODESET;
    if (!selected) {
        error = u"Expression does not return a DOM node.";
    } else if (xmlNodeSetPtr set = result->nodesetval; set && set->nodeNr > 0) {
        if (set->nodeNr > 1) xmlXPathNodeSetSort(set);
        for (int k = 0; k < set->nodeNr; ++k) {
            xmlNodePtr found = set->nodeTab[k];
            if (found->type == XML_NAMESPACE_DECL) continue;  // namespace nodes are not DOM nodes
            nodes.push_back(found);
            if (firstOnly) break;
        }
    }
    xmlXPathFreeObject(result);
    return selected;
}

}  // namespace wincompat::msxml
