// ComRef on a probe object: released on every path, failing HRESULTs raised as ComError (with the
// description only when the interface declares error information), queries, attach and receive.
#include <gtest/gtest.h>

#include "comsupport/ComRef.h"

namespace {

// {6D2A8B10-0C4E-4F53-9E0A-3C1B2D7E9F01}
const IID IID_IProbe = {0x6D2A8B10, 0x0C4E, 0x4F53, {0x9E, 0x0A, 0x3C, 0x1B, 0x2D, 0x7E, 0x9F, 0x01}};
// {6D2A8B10-0C4E-4F53-9E0A-3C1B2D7E9F02}
const IID IID_IOtherProbe = {0x6D2A8B10, 0x0C4E, 0x4F53, {0x9E, 0x0A, 0x3C, 0x1B, 0x2D, 0x7E, 0x9F, 0x02}};

struct IProbe : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Succeed(LONG* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE FailWith(HRESULT hr, LPCOLESTR description) = 0;
};
struct IOtherProbe : public IUnknown {};

}  // namespace

COMSUPPORT_INTERFACE_ID(IProbe, IID_IProbe)
COMSUPPORT_INTERFACE_ID(IOtherProbe, IID_IOtherProbe)

namespace {

using comsupport::ComError;
using comsupport::ComRef;

// A probe object that counts its references and, when asked to fail, sets
// error information the way a rich-error server does.
class Probe final : public IProbe, public ISupportErrorInfo {
public:
    explicit Probe(bool declaresErrorInfo, LONG* liveCount) : declaresErrorInfo_(declaresErrorInfo), live_(liveCount) {
        ++*live_;
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IProbe)) {
            *ppv = static_cast<IProbe*>(this);
        } else if (IsEqualGUID(riid, IID_ISupportErrorInfo)) {
            *ppv = static_cast<ISupportErrorInfo*>(this);
        } else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --refs_;
        if (left == 0) {
            --*live_;
            delete this;
        }
        return left;
    }
    HRESULT STDMETHODCALLTYPE Succeed(LONG* value) override {
        *value = 42;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE FailWith(HRESULT hr, LPCOLESTR description) override {
        ICreateErrorInfo* create = nullptr;
        if (SUCCEEDED(CreateErrorInfo(&create))) {
            create->SetDescription(const_cast<LPOLESTR>(description));
            IErrorInfo* info = nullptr;
            create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info));
            SetErrorInfo(0, info);
            info->Release();
            create->Release();
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override {
        return declaresErrorInfo_ && IsEqualGUID(riid, IID_IProbe) ? S_OK : S_FALSE;
    }

private:
    ULONG refs_ = 0;
    bool declaresErrorInfo_;
    LONG* live_;
};

ComRef<IProbe> MakeProbe(bool declaresErrorInfo, LONG* live) {
    return ComRef<IProbe>(new Probe(declaresErrorInfo, live));
}

TEST(ComRef, ReleasesWhenAnExceptionUnwindsTheCall) {
    LONG live = 0;
    try {
        ComRef<IProbe> probe = MakeProbe(true, &live);
        ComRef<IProbe> second = probe;
        ASSERT_EQ(live, 1);
        probe.Call(&IProbe::FailWith, E_FAIL, OLESTR("boom"));
        FAIL() << "a failing HRESULT must raise ComError";
    } catch (const ComError& error) {
        EXPECT_EQ(error.Code(), E_FAIL);
    }
    EXPECT_EQ(live, 0);
}

TEST(ComRef, SuccessCodesPassThroughUnchanged) {
    LONG live = 0;
    ComRef<IProbe> probe = MakeProbe(false, &live);
    LONG value = 0;
    EXPECT_EQ(probe.Call(&IProbe::Succeed, &value), S_FALSE);
    EXPECT_EQ(value, 42);
}

TEST(ComRef, EmptyReferenceRaisesInvalidPointer) {
    ComRef<IProbe> empty;
    LONG value = 0;
    try {
        empty.Call(&IProbe::Succeed, &value);
        FAIL();
    } catch (const ComError& error) {
        EXPECT_EQ(error.Code(), E_POINTER);
    }
    EXPECT_THROW(empty->Succeed(&value), ComError);
    EXPECT_THROW(ComRef<IProbe>::QueryFrom(static_cast<IUnknown*>(nullptr)), ComError);
}

TEST(ComRef, DescriptionComesFromErrorInfoOnlyWhenTheInterfaceDeclaresIt) {
    LONG live = 0;
    ComRef<IProbe> rich = MakeProbe(true, &live);
    try {
        rich.Call(&IProbe::FailWith, E_INVALIDARG, OLESTR("bad column"));
        FAIL();
    } catch (const ComError& error) {
        EXPECT_EQ(error.Description(), comsupport::OleString(OLESTR("bad column")));
    }
    // The description was taken: nothing is left on the thread.
    IErrorInfo* left = nullptr;
    EXPECT_EQ(GetErrorInfo(0, &left), S_FALSE);

    ComRef<IProbe> plain = MakeProbe(false, &live);
    try {
        plain.Call(&IProbe::FailWith, E_INVALIDARG, OLESTR("stale"));
        FAIL();
    } catch (const ComError& error) {
        EXPECT_TRUE(error.Description().empty());
    }
    SetErrorInfo(0, nullptr);
}

TEST(ComRef, QueryingForAnotherInterface) {
    LONG live = 0;
    ComRef<IProbe> probe = MakeProbe(false, &live);
    ComRef<IUnknown> unknown = probe.As<IUnknown>();
    EXPECT_TRUE(unknown);
    try {
        probe.As<IOtherProbe>();
        FAIL();
    } catch (const ComError& error) {
        EXPECT_EQ(error.Code(), E_NOINTERFACE);
    }
    EXPECT_FALSE(probe.TryAs<IOtherProbe>());
    unknown.Reset();
    probe.Reset();
    EXPECT_EQ(live, 0);
}

TEST(ComRef, ReceiveReleasesTheOldReferenceAndAttachAdopts) {
    LONG live = 0;
    ComRef<IProbe> probe = MakeProbe(false, &live);
    IProbe* raw = probe.Detach();
    ComRef<IProbe> adopted = ComRef<IProbe>::Attach(raw);
    EXPECT_EQ(live, 1);
    *adopted.Receive() = nullptr;
    EXPECT_EQ(live, 0);
}

}  // namespace
