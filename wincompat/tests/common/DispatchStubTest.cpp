// IDispatch of the built-in objects, which the plug-ins call through their
// vtables only: the DOM and ADO answer alike, as Windows answers a caller of
// an object that knows none of the names or DISPIDs it is given.
#include <windows.h>
#include <adoid.h>
#include <adoint.h>
#include <msxml2.h>

#include <gtest/gtest.h>

#include <string>

namespace {

// One object of each family, activated as the plug-ins activate them.
IDispatch* Activate(REFCLSID clsid, REFIID iid) {
    IDispatch* object = nullptr;
    EXPECT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(&object)));
    return object;
}

class BuiltinDispatch : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        object_ = GetParam() == 0 ? Activate(CLSID_DOMDocument40, IID_IXMLDOMDocument2)
                                  : Activate(CLSID_Connection, IID__Connection);
        ASSERT_NE(nullptr, object_);
    }
    void TearDown() override {
        if (object_) object_->Release();
    }
    IDispatch* object_ = nullptr;
};

TEST_P(BuiltinDispatch, OffersNoTypeInformation) {
    UINT count = 99;
    EXPECT_EQ(S_OK, object_->GetTypeInfoCount(&count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(E_POINTER, object_->GetTypeInfoCount(nullptr));
    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(&count);  // anything but null
    EXPECT_EQ(E_NOTIMPL, object_->GetTypeInfo(0, 0, &info));
    EXPECT_EQ(nullptr, info);
}

TEST_P(BuiltinDispatch, KnowsNoNames) {
    std::u16string first = u"Open", second = u"load";
    LPOLESTR names[] = {first.data(), second.data()};
    DISPID ids[2] = {1234, 5678};
    EXPECT_EQ(DISP_E_UNKNOWNNAME, object_->GetIDsOfNames(IID_NULL, names, 2, 0, ids));
    EXPECT_EQ(DISPID_UNKNOWN, ids[0]);
    EXPECT_EQ(DISPID_UNKNOWN, ids[1]);
}

TEST_P(BuiltinDispatch, InvokesNoMember) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND,
              object_->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr));
    EXPECT_EQ(VT_EMPTY, result.vt);
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND,
              object_->Invoke(7, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr));
}

// An object that stands for a value where Automation reads one: without a
// value property the conversion is a type mismatch, for both families alike.
TEST_P(BuiltinDispatch, HasNoValueForAConversion) {
    VARIANT object;
    VariantInit(&object);
    object.vt = VT_DISPATCH;
    object.pdispVal = object_;
    VARIANT text;
    VariantInit(&text);
    EXPECT_EQ(DISP_E_TYPEMISMATCH, VariantChangeType(&text, &object, 0, VT_BSTR));
    EXPECT_EQ(VT_EMPTY, text.vt);
}

INSTANTIATE_TEST_SUITE_P(DomAndAdo, BuiltinDispatch, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == 0 ? "DomDocument" : "AdoConnection");
                         });

}  // namespace
