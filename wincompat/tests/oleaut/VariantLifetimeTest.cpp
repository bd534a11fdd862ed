// VARIANT clearing and deep copies: every owned part is copied or released once.
#include <windows.h>

#include <gtest/gtest.h>

namespace {

class Counted final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    ULONG references = 1;
};

TEST(VariantLifetime, CopyDuplicatesStringsAndArrays) {
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_BSTR;
    source.bstrVal = SysAllocStringLen(u"a\0b", 3);
    VARIANT copy;
    VariantInit(&copy);
    ASSERT_EQ(S_OK, VariantCopy(&copy, &source));
    EXPECT_NE(source.bstrVal, copy.bstrVal);
    EXPECT_EQ(3u, SysStringLen(copy.bstrVal));
    EXPECT_EQ(S_OK, VariantClear(&source));
    EXPECT_EQ(VT_EMPTY, source.vt);
    EXPECT_EQ(u'b', copy.bstrVal[2]);  // still alive after the source is gone

    source.vt = VT_ARRAY | VT_UI1;
    source.parray = SafeArrayCreateVector(VT_UI1, 0, 3);
    static_cast<BYTE*>(source.parray->pvData)[1] = 0x42;
    ASSERT_EQ(S_OK, VariantCopy(&copy, &source));  // also frees the string copy held before
    EXPECT_NE(source.parray, copy.parray);
    EXPECT_EQ(0x42, static_cast<BYTE*>(copy.parray->pvData)[1]);
    VariantClear(&source);
    VariantClear(&copy);
}

TEST(VariantLifetime, CopyAndClearCountInterfaceReferences) {
    Counted object;
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_UNKNOWN;
    source.punkVal = &object;
    object.AddRef();
    VARIANT copy;
    VariantInit(&copy);
    ASSERT_EQ(S_OK, VariantCopy(&copy, &source));
    EXPECT_EQ(3u, object.references);
    VariantClear(&copy);
    VariantClear(&source);
    EXPECT_EQ(1u, object.references);
    EXPECT_EQ(S_OK, VariantCopy(&source, &source));  // copying onto itself changes nothing
}

TEST(VariantLifetime, ReferencesAreNeitherOwnedNorFreed) {
    BSTR text = SysAllocString(u"owned elsewhere");
    VARIANT reference;
    VariantInit(&reference);
    reference.vt = VT_BYREF | VT_BSTR;
    reference.pbstrVal = &text;
    VARIANT copy;
    VariantInit(&copy);
    ASSERT_EQ(S_OK, VariantCopy(&copy, &reference));
    EXPECT_EQ(VT_BYREF | VT_BSTR, copy.vt);
    EXPECT_EQ(&text, copy.pbstrVal);
    VariantClear(&copy);
    ASSERT_EQ(S_OK, VariantCopyInd(&copy, &reference));
    EXPECT_EQ(VT_BSTR, copy.vt);
    EXPECT_NE(text, copy.bstrVal);
    VariantClear(&copy);
    VariantClear(&reference);
    EXPECT_EQ(std::u16string(u"owned elsewhere"), std::u16string(text));
    SysFreeString(text);

    VARIANT dangling;
    dangling.vt = VT_BYREF | VT_I4;
    dangling.plVal = nullptr;
    EXPECT_EQ(E_INVALIDARG, VariantCopyInd(&copy, &dangling));
}

TEST(VariantLifetime, BadTypesAreRefused) {
    VARIANT broken;
    VariantInit(&broken);
    broken.vt = 0x7F;
    EXPECT_EQ(DISP_E_BADVARTYPE, VariantClear(&broken));
    VARIANT copy;
    VariantInit(&copy);
    EXPECT_EQ(DISP_E_BADVARTYPE, VariantCopy(&copy, &broken));
    broken.vt = VT_VARIANT;  // a VARIANT cannot hold a VARIANT by value
    EXPECT_EQ(DISP_E_BADVARTYPE, VariantCopy(&copy, &broken));
    EXPECT_EQ(E_INVALIDARG, VariantClear(nullptr));
    EXPECT_EQ(E_INVALIDARG, VariantCopy(nullptr, &copy));
}

}  // namespace
