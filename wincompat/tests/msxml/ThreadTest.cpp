// Documents used on several threads at once (rerun under ThreadSanitizer).
#include "DomTestSupport.h"

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using namespace wincompat_test;

namespace {

std::u16string EventText(int id) {
    std::u16string number;
    for (char c : std::to_string(id)) number.push_back(static_cast<char16_t>(c));
    return u"<?xml version='1.0'?><e:Event xmlns:e='urn:example:events' "
           u"xmlns:dt='urn:schemas-microsoft-com:datatypes'>"
           u"<e:Id dt:dt='i4'>" +
           number + u"</e:Id><e:Name>event " + number +
           u"</e:Name>"
           u"<e:Item>a</e:Item><e:Item>b</e:Item></e:Event>";
}

// One full round of what a plug-in call does; false on any wrong answer.
bool ParseSelectAndSerialise(int id, REFCLSID clsid) {
    Ref<IXMLDOMDocument2> doc;
    if (CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument2, doc.outVoid()) != S_OK)
        return false;
    Bstr xml(EventText(id)), namespaces(u"SelectionNamespaces"), id_(u"z:Id"), items(u"z:Item");
    Variant binding(u"xmlns:z='urn:example:events'");
    VARIANT_BOOL ok = VARIANT_FALSE;
    if (doc->loadXML(xml.get(), &ok) != S_OK || ok != VARIANT_TRUE) return false;
    if (doc->setProperty(namespaces.get(), binding.get()) != S_OK) return false;
    Ref<IXMLDOMElement> root;
    if (doc->get_documentElement(root.out()) != S_OK) return false;
    Ref<IXMLDOMNode> idNode;
    if (root->selectSingleNode(id_.get(), idNode.out()) != S_OK) return false;
    Variant value;
    if (idNode->get_nodeTypedValue(value.out()) != S_OK || value.vt() != VT_I4 || value.get().lVal != id) return false;
    Ref<IXMLDOMNodeList> list;
    LONG length = 0;
    if (root->selectNodes(items.get(), list.out()) != S_OK || list->get_length(&length) != S_OK || length != 2)
        return false;
    Bstr out;
    if (doc->get_xml(out.out()) != S_OK) return false;
    std::u16string number;
    for (char c : std::to_string(id)) number.push_back(static_cast<char16_t>(c));
    return out.text().find(u"<e:Name>event " + number + u"</e:Name>") != std::u16string::npos;
}

TEST(DomThreadTest, ManyThreadsParseAndSelectAtOnce) {
    constexpr int kThreads = 6;
    constexpr int kRounds = 60;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &failures] {
            const CLSID& clsid = t % 2 ? CLSID_FreeThreadedDOMDocument : CLSID_DOMDocument40;
            for (int round = 0; round < kRounds; ++round)
                if (!ParseSelectAndSerialise(t * 1000 + round, clsid)) ++failures;
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(0, failures.load());
}

TEST(DomThreadTest, FailingLoadsOnSomeThreadsDoNotDisturbOthers) {
    // Parse errors and refused entities on some threads while others parse
    // good documents: error state is per parse, not per process.
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            for (int round = 0; round < 50; ++round) {
                Ref<IXMLDOMDocument2> doc;
                CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument2, doc.outVoid());
                bool bad = (t + round) % 2 == 0;
                Bstr xml(bad ? u"<!DOCTYPE a [<!ENTITY x SYSTEM 'file:///etc/passwd'>]><a>&x;<b></a>"
                             : u"<a><b>fine</b></a>");
                VARIANT_BOOL ok = VARIANT_FALSE;
                doc->loadXML(xml.get(), &ok);
                if ((ok == VARIANT_TRUE) == bad) ++failures;
                if (!bad) {
                    Ref<IXMLDOMParseError> error;
                    LONG code = -1;
                    doc->get_parseError(error.out());
                    error->get_errorCode(&code);
                    if (code != 0) ++failures;
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(0, failures.load());
}

TEST(DomThreadTest, ADocumentMadeOnOneThreadIsUsableOnAnother) {
    Ref<IXMLDOMDocument2> doc = LoadedDocument(u"<a><b>x</b></a>", CLSID_FreeThreadedDOMDocument);
    Ref<IXMLDOMNode> b = SelectOne(Root(doc.get()).get(), u"b");
    std::u16string seen;
    std::thread other([&] {
        seen = TextOf(b.get());
        Bstr text(u"y");
        b->put_text(text.get());
    });
    other.join();
    EXPECT_EQ(u"x", seen);
    EXPECT_EQ(u"<a><b>y</b></a>\r\n", XmlOf(doc.get()));
}

}  // namespace
