// SAFEARRAY bounds, element access, locking and deep copies.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

// A counted object to watch references held by arrays and variants.
class Counted final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!IsEqualGUID(riid, IID_IUnknown)) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        *ppv = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    ULONG references = 1;
};

TEST(SafeArray, VectorBoundsAndElementSize) {
    SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 5, 16);
    ASSERT_NE(nullptr, bytes);
    LONG lower = 0, upper = 0;
    EXPECT_EQ(S_OK, SafeArrayGetLBound(bytes, 1, &lower));
    EXPECT_EQ(S_OK, SafeArrayGetUBound(bytes, 1, &upper));
    EXPECT_EQ(5, lower);
    EXPECT_EQ(20, upper);
    EXPECT_EQ(1u, SafeArrayGetDim(bytes));
    EXPECT_EQ(1u, SafeArrayGetElemsize(bytes));
    VARTYPE vt = VT_EMPTY;
    EXPECT_EQ(S_OK, SafeArrayGetVartype(bytes, &vt));
    EXPECT_EQ(VT_UI1, vt);
    EXPECT_EQ(DISP_E_BADINDEX, SafeArrayGetLBound(bytes, 2, &lower));
    EXPECT_EQ(DISP_E_BADINDEX, SafeArrayGetUBound(bytes, 0, &upper));
    EXPECT_EQ(E_INVALIDARG, SafeArrayGetLBound(nullptr, 1, &lower));
    EXPECT_EQ(S_OK, SafeArrayDestroy(bytes));

    SAFEARRAY* none = SafeArrayCreateVector(VT_UI1, 0, 0);
    ASSERT_NE(nullptr, none);
    EXPECT_EQ(S_OK, SafeArrayGetUBound(none, 1, &upper));
    EXPECT_EQ(-1, upper);
    SafeArrayDestroy(none);
    EXPECT_EQ(nullptr, SafeArrayCreateVector(VT_EMPTY, 0, 1));
}

TEST(SafeArray, ElementsOutsideTheBoundsAreRefused) {
    SAFEARRAY* longs = SafeArrayCreateVector(VT_I4, 1, 3);
    LONG value = 7;
    LONG index = 0;
    EXPECT_EQ(DISP_E_BADINDEX, SafeArrayPutElement(longs, &index, &value));
    index = 4;
    EXPECT_EQ(DISP_E_BADINDEX, SafeArrayPutElement(longs, &index, &value));
    index = 3;
    EXPECT_EQ(S_OK, SafeArrayPutElement(longs, &index, &value));
    LONG read = 0;
    EXPECT_EQ(S_OK, SafeArrayGetElement(longs, &index, &read));
    EXPECT_EQ(7, read);
    EXPECT_EQ(7, static_cast<LONG*>(longs->pvData)[2]);
    SafeArrayDestroy(longs);
}

TEST(SafeArray, FirstDimensionVariesFastestInMemory) {
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {3, 0}};  // 2 x 3
    SAFEARRAY* grid = SafeArrayCreate(VT_I2, 2, bounds);
    ASSERT_NE(nullptr, grid);
    LONG upper = 0;
    SafeArrayGetUBound(grid, 1, &upper);
    EXPECT_EQ(1, upper);
    SafeArrayGetUBound(grid, 2, &upper);
    EXPECT_EQ(2, upper);
    for (LONG i = 0; i < 2; ++i)
        for (LONG j = 0; j < 3; ++j) {
            LONG indices[2] = {i, j};
            SHORT value = static_cast<SHORT>(10 * i + j);
            ASSERT_EQ(S_OK, SafeArrayPutElement(grid, indices, &value));
        }
    const SHORT* data = static_cast<const SHORT*>(grid->pvData);
    const SHORT expected[6] = {0, 10, 1, 11, 2, 12};
    EXPECT_EQ(0, memcmp(expected, data, sizeof expected));
    LONG outside[2] = {0, 3};
    SHORT value = 0;
    EXPECT_EQ(DISP_E_BADINDEX, SafeArrayGetElement(grid, outside, &value));
    SafeArrayDestroy(grid);
}

TEST(SafeArray, LockedArraysCannotBeDestroyed) {
    SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, 4);
    void* data = nullptr;
    ASSERT_EQ(S_OK, SafeArrayAccessData(bytes, &data));
    EXPECT_EQ(bytes->pvData, data);
    EXPECT_EQ(1u, bytes->cLocks);
    EXPECT_EQ(DISP_E_ARRAYISLOCKED, SafeArrayDestroy(bytes));
    VARIANT holder;
    VariantInit(&holder);
    holder.vt = VT_ARRAY | VT_UI1;
    holder.parray = bytes;
    EXPECT_EQ(DISP_E_ARRAYISLOCKED, VariantClear(&holder));
    EXPECT_EQ(S_OK, SafeArrayUnaccessData(bytes));
    EXPECT_EQ(E_UNEXPECTED, SafeArrayUnlock(bytes));  // not locked any more
    holder.vt = VT_ARRAY | VT_UI1;
    EXPECT_EQ(S_OK, VariantClear(&holder));
}

TEST(SafeArray, CopiesOwnTheirStringsAndReferences) {
    SAFEARRAY* texts = SafeArrayCreateVector(VT_BSTR, 0, 2);
    LONG index = 0;
    BSTR first = SysAllocString(u"first");
    ASSERT_EQ(S_OK, SafeArrayPutElement(texts, &index, first));  // the array keeps its own copy
    SysFreeString(first);
    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(S_OK, SafeArrayCopy(texts, &copy));
    BSTR inCopy = static_cast<BSTR*>(copy->pvData)[0];
    EXPECT_NE(static_cast<BSTR*>(texts->pvData)[0], inCopy);
    EXPECT_EQ(std::u16string(u"first"), std::u16string(inCopy));
    EXPECT_EQ(nullptr, static_cast<BSTR*>(copy->pvData)[1]);
    SafeArrayDestroy(texts);
    BSTR read = nullptr;
    ASSERT_EQ(S_OK, SafeArrayGetElement(copy, &index, &read));
    EXPECT_EQ(std::u16string(u"first"), std::u16string(read));
    SysFreeString(read);
    SafeArrayDestroy(copy);

    Counted object;
    SAFEARRAY* objects = SafeArrayCreateVector(VT_UNKNOWN, 0, 1);
    ASSERT_EQ(S_OK, SafeArrayPutElement(objects, &index, static_cast<IUnknown*>(&object)));
    EXPECT_EQ(2u, object.references);
    ASSERT_EQ(S_OK, SafeArrayCopy(objects, &copy));
    EXPECT_EQ(3u, object.references);
    SafeArrayDestroy(objects);
    SafeArrayDestroy(copy);
    EXPECT_EQ(1u, object.references);

    SAFEARRAY* variants = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    VARIANT text;
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocString(u"inside");
    ASSERT_EQ(S_OK, SafeArrayPutElement(variants, &index, &text));
    VariantClear(&text);
    ASSERT_EQ(S_OK, SafeArrayCopy(variants, &copy));
    SafeArrayDestroy(variants);
    VARIANT readBack;
    ASSERT_EQ(S_OK, SafeArrayGetElement(copy, &index, &readBack));
    EXPECT_EQ(std::u16string(u"inside"), std::u16string(readBack.bstrVal));
    VariantClear(&readBack);
    SafeArrayDestroy(copy);

    EXPECT_EQ(S_OK, SafeArrayCopy(nullptr, &copy));
    EXPECT_EQ(nullptr, copy);
    EXPECT_EQ(E_INVALIDARG, SafeArrayCopy(nullptr, nullptr));
}

}  // namespace
