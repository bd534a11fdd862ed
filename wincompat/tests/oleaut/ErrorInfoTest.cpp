// Error objects and the per-thread error information slot.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

std::u16string Text(BSTR text) { return text ? std::u16string(text, SysStringLen(text)) : u"<null>"; }

// Makes an error object with the given description; the caller owns the reference.
IErrorInfo* MakeErrorInfo(LPCOLESTR description) {
    ICreateErrorInfo* creator = nullptr;
    EXPECT_EQ(S_OK, CreateErrorInfo(&creator));
    creator->SetDescription(const_cast<LPOLESTR>(description));
    IErrorInfo* info = nullptr;
    EXPECT_EQ(S_OK, creator->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)));
    creator->Release();
    return info;
}

std::u16string DescriptionOf(IErrorInfo* info) {
    BSTR description = nullptr;
    EXPECT_EQ(S_OK, info->GetDescription(&description));
    std::u16string text = Text(description);
    SysFreeString(description);
    return text;
}

TEST(ErrorInfoObject, KeepsEveryFieldAndHandsOutCopies) {
    ICreateErrorInfo* creator = nullptr;
    ASSERT_EQ(S_OK, CreateErrorInfo(&creator));
    const GUID someInterface = {0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
    EXPECT_EQ(S_OK, creator->SetGUID(someInterface));
    EXPECT_EQ(S_OK, creator->SetSource(const_cast<LPOLESTR>(OLESTR("Marlind.Plugin"))));
    EXPECT_EQ(S_OK, creator->SetDescription(const_cast<LPOLESTR>(OLESTR("first"))));
    EXPECT_EQ(S_OK, creator->SetDescription(const_cast<LPOLESTR>(OLESTR("Invalid column name 'x'."))));
    EXPECT_EQ(S_OK, creator->SetHelpContext(42));

    IErrorInfo* info = nullptr;
    ASSERT_EQ(S_OK, creator->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)));
    GUID guid{};
    EXPECT_EQ(S_OK, info->GetGUID(&guid));
    EXPECT_TRUE(IsEqualGUID(someInterface, guid));
    BSTR source = nullptr;
    EXPECT_EQ(S_OK, info->GetSource(&source));
    EXPECT_EQ(u"Marlind.Plugin", Text(source));
    SysFreeString(source);
    EXPECT_EQ(u"Invalid column name 'x'.", DescriptionOf(info));
    BSTR helpFile = reinterpret_cast<BSTR>(1);
    EXPECT_EQ(S_OK, info->GetHelpFile(&helpFile));
    EXPECT_EQ(nullptr, helpFile);  // never set
    DWORD context = 0;
    EXPECT_EQ(S_OK, info->GetHelpContext(&context));
    EXPECT_EQ(42u, context);
    EXPECT_EQ(E_INVALIDARG, info->GetDescription(nullptr));
    info->Release();
    creator->Release();
}

TEST(ErrorInfoObject, AnswersItsInterfacesWithOneIdentity) {
    ICreateErrorInfo* creator = nullptr;
    ASSERT_EQ(S_OK, CreateErrorInfo(&creator));
    IUnknown* fromCreator = nullptr;
    IUnknown* fromInfo = nullptr;
    IErrorInfo* info = nullptr;
    ASSERT_EQ(S_OK, creator->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)));
    ASSERT_EQ(S_OK, creator->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromCreator)));
    ASSERT_EQ(S_OK, info->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromInfo)));
    EXPECT_EQ(fromCreator, fromInfo);
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, info->QueryInterface(IID_IDispatch, &other));
    EXPECT_EQ(nullptr, other);
    EXPECT_EQ(E_POINTER, info->QueryInterface(IID_IUnknown, nullptr));
    // Five references are held: creator, info, two IUnknowns and one more taken now.
    EXPECT_EQ(5u, info->AddRef());
    EXPECT_EQ(4u, info->Release());
    fromInfo->Release();
    fromCreator->Release();
    info->Release();
    EXPECT_EQ(0u, creator->Release());
    EXPECT_EQ(E_INVALIDARG, CreateErrorInfo(nullptr));
}

TEST(ErrorInfoSlot, ReadingTakesTheErrorObject) {
    IErrorInfo* info = MakeErrorInfo(OLESTR("The parameter is incorrect."));
    ASSERT_EQ(S_OK, SetErrorInfo(0, info));
    info->Release();  // the slot holds its own reference

    IErrorInfo* taken = nullptr;
    ASSERT_EQ(S_OK, GetErrorInfo(0, &taken));
    ASSERT_NE(nullptr, taken);
    EXPECT_EQ(u"The parameter is incorrect.", DescriptionOf(taken));
    taken->Release();

    IErrorInfo* again = reinterpret_cast<IErrorInfo*>(1);
    EXPECT_EQ(S_FALSE, GetErrorInfo(0, &again));
    EXPECT_EQ(nullptr, again);
}

TEST(ErrorInfoSlot, SettingReplacesAndNullClears) {
    IErrorInfo* first = MakeErrorInfo(OLESTR("first"));
    IErrorInfo* second = MakeErrorInfo(OLESTR("second"));
    SetErrorInfo(0, first);
    SetErrorInfo(0, second);          // releases the first
    EXPECT_EQ(0u, first->Release());  // the slot let go of it, so this was the last reference
    IErrorInfo* taken = nullptr;
    ASSERT_EQ(S_OK, GetErrorInfo(0, &taken));
    EXPECT_EQ(u"second", DescriptionOf(taken));
    taken->Release();

    SetErrorInfo(0, second);
    EXPECT_EQ(S_OK, SetErrorInfo(0, nullptr));
    EXPECT_EQ(S_FALSE, GetErrorInfo(0, &taken));
    EXPECT_EQ(0u, second->Release());
    EXPECT_EQ(E_INVALIDARG, GetErrorInfo(0, nullptr));
    EXPECT_EQ(E_INVALIDARG, GetErrorInfo(1, &taken));
}

TEST(ErrorInfoThread, EachThreadHasItsOwnSlot) {
    IErrorInfo* mine = MakeErrorInfo(OLESTR("main thread"));
    SetErrorInfo(0, mine);
    mine->Release();
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t, &wrong] {
            IErrorInfo* none = nullptr;
            if (GetErrorInfo(0, &none) != S_FALSE) ++wrong;  // nothing leaks in from the main thread
            std::u16string text = u"thread " + std::u16string(1, static_cast<char16_t>(u'0' + t));
            for (int i = 0; i < 100; ++i) {
                IErrorInfo* info = MakeErrorInfo(text.c_str());
                SetErrorInfo(0, info);
                info->Release();
                IErrorInfo* taken = nullptr;
                if (GetErrorInfo(0, &taken) != S_OK || DescriptionOf(taken) != text) ++wrong;
                if (taken) taken->Release();
            }
            // Left behind on purpose: the thread's end must release it (ASan checks the leak).
            IErrorInfo* leftover = MakeErrorInfo(u"left over");
            SetErrorInfo(0, leftover);
            leftover->Release();
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(0, wrong.load());
    IErrorInfo* taken = nullptr;
    ASSERT_EQ(S_OK, GetErrorInfo(0, &taken));
    EXPECT_EQ(u"main thread", DescriptionOf(taken));
    taken->Release();
}

}  // namespace
