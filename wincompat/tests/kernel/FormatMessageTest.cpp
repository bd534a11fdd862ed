// System message texts as Windows prints them.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdarg>
#include <string>

namespace {

std::string Narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }

// The system text for a code, or "<none: error>" when there is none.
std::u16string SystemText(DWORD code, DWORD flags = FORMAT_MESSAGE_IGNORE_INSERTS, DWORD language = 0) {
    WCHAR buffer[512];
    SetLastError(0);
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | flags, nullptr, code, language, buffer, 512, nullptr);
    if (length == 0) return GetLastError() == ERROR_MR_MID_NOT_FOUND ? u"<no text>" : u"<failed>";
    EXPECT_EQ(0, buffer[length]);
    return std::u16string(buffer, length);
}

TEST(FormatMessage, GivesWindowsTextsForComAndAutomationCodes) {
    struct Case {
        HRESULT code;
        const char16_t* text;
    } cases[] = {
        {S_OK, u"The operation completed successfully.\r\n"},
        {E_POINTER, u"Invalid pointer\r\n"},
        {E_INVALIDARG, u"The parameter is incorrect.\r\n"},
        {E_OUTOFMEMORY, u"Not enough memory resources are available to complete this operation.\r\n"},
        {E_NOINTERFACE, u"No such interface supported\r\n"},
        {E_FAIL, u"Unspecified error\r\n"},
        {E_NOTIMPL, u"Not implemented\r\n"},
        {E_UNEXPECTED, u"Catastrophic failure\r\n"},
        {E_ABORT, u"Operation aborted\r\n"},
        {E_ACCESSDENIED, u"Access is denied.\r\n"},
        {E_HANDLE, u"The handle is invalid.\r\n"},
        {DISP_E_TYPEMISMATCH, u"Type mismatch.\r\n"},
        {DISP_E_OVERFLOW, u"Out of present range.\r\n"},
        {DISP_E_BADVARTYPE, u"Bad variable type.\r\n"},
        {DISP_E_EXCEPTION, u"Exception occurred.\r\n"},
        {DISP_E_BADINDEX, u"Invalid index.\r\n"},
        {DISP_E_ARRAYISLOCKED, u"Memory is locked.\r\n"},
        {CLASS_E_NOAGGREGATION, u"Class does not support aggregation (or class object is remote)\r\n"},
        {CLASS_E_CLASSNOTAVAILABLE, u"ClassFactory cannot supply requested class\r\n"},
        {REGDB_E_CLASSNOTREG, u"Class not registered\r\n"},
        {CO_E_CLASSSTRING, u"Invalid class string\r\n"},
        {CO_E_NOTINITIALIZED, u"CoInitialize has not been called.\r\n"},
        {TYPE_E_LIBNOTREGISTERED, u"Library not registered.\r\n"},
        {RPC_E_CHANGED_MODE, u"Cannot change thread mode after it is set.\r\n"},
        {SELFREG_E_CLASS, u"Unable to obtain server's security context\r\n"},
        {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), u"The system cannot find the file specified.\r\n"},
        {HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION),
         u"No mapping for the Unicode character exists in the target multi-byte code page.\r\n"},
        {ERROR_INSUFFICIENT_BUFFER, u"The data area passed to a system call is too small.\r\n"},
        {ERROR_ALREADY_EXISTS, u"Cannot create a file when that file already exists.\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Narrow(c.text), Narrow(SystemText(static_cast<DWORD>(c.code)))) << std::hex << c.code;
}

TEST(FormatMessage, EveryStatusTheHeadersDefineHasText) {
    const HRESULT codes[] = {
        E_NOTIMPL,
        E_NOINTERFACE,
        E_POINTER,
        E_ABORT,
        E_FAIL,
        E_UNEXPECTED,
        E_PENDING,
        E_ACCESSDENIED,
        E_HANDLE,
        E_OUTOFMEMORY,
        E_INVALIDARG,
        DISP_E_UNKNOWNINTERFACE,
        DISP_E_MEMBERNOTFOUND,
        DISP_E_PARAMNOTFOUND,
        DISP_E_TYPEMISMATCH,
        DISP_E_UNKNOWNNAME,
        DISP_E_NONAMEDARGS,
        DISP_E_BADVARTYPE,
        DISP_E_EXCEPTION,
        DISP_E_OVERFLOW,
        DISP_E_BADINDEX,
        DISP_E_UNKNOWNLCID,
        DISP_E_ARRAYISLOCKED,
        DISP_E_BADPARAMCOUNT,
        DISP_E_PARAMNOTOPTIONAL,
        DISP_E_BADCALLEE,
        DISP_E_NOTACOLLECTION,
        DISP_E_DIVBYZERO,
        DISP_E_BUFFERTOOSMALL,
        TYPE_E_REGISTRYACCESS,
        TYPE_E_LIBNOTREGISTERED,
        TYPE_E_ELEMENTNOTFOUND,
        TYPE_E_IOERROR,
        TYPE_E_CANTLOADLIBRARY,
        STG_E_FILENOTFOUND,
        STG_E_ACCESSDENIED,
        CLASS_E_NOAGGREGATION,
        CLASS_E_CLASSNOTAVAILABLE,
        CLASS_E_NOTLICENSED,
        REGDB_E_READREGDB,
        REGDB_E_WRITEREGDB,
        REGDB_E_KEYMISSING,
        REGDB_E_CLASSNOTREG,
        REGDB_E_IIDNOTREG,
        SELFREG_E_TYPELIB,
        SELFREG_E_CLASS,
        CO_E_NOTINITIALIZED,
        CO_E_ALREADYINITIALIZED,
        CO_E_CLASSSTRING,
        CO_E_IIDSTRING,
        CO_E_APPNOTFOUND,
        CO_E_DLLNOTFOUND,
        CO_E_ERRORINDLL,
        RPC_E_CHANGED_MODE,
    };
    const DWORD win32[] = {
        ERROR_SUCCESS,
        ERROR_INVALID_FUNCTION,
        ERROR_FILE_NOT_FOUND,
        ERROR_PATH_NOT_FOUND,
        ERROR_ACCESS_DENIED,
        ERROR_INVALID_HANDLE,
        ERROR_NOT_ENOUGH_MEMORY,
        ERROR_BAD_FORMAT,
        ERROR_INVALID_DATA,
        ERROR_OUTOFMEMORY,
        ERROR_SHARING_VIOLATION,
        ERROR_HANDLE_EOF,
        ERROR_NOT_SUPPORTED,
        ERROR_FILE_EXISTS,
        ERROR_INVALID_PARAMETER,
        ERROR_INSUFFICIENT_BUFFER,
        ERROR_MOD_NOT_FOUND,
        ERROR_PROC_NOT_FOUND,
        ERROR_ALREADY_EXISTS,
        ERROR_MORE_DATA,
        ERROR_NO_MORE_ITEMS,
        ERROR_MR_MID_NOT_FOUND,
        ERROR_INVALID_FLAGS,
        ERROR_NO_UNICODE_TRANSLATION,
        ERROR_RESOURCE_DATA_NOT_FOUND,
        ERROR_RESOURCE_TYPE_NOT_FOUND,
        ERROR_RESOURCE_NAME_NOT_FOUND,
        ERROR_RESOURCE_LANG_NOT_FOUND,
        ERROR_KEY_DELETED,
        ERROR_BADDB,
        ERROR_BADKEY,
        ERROR_CANTOPEN,
        ERROR_CANTREAD,
        ERROR_CANTWRITE,
        ERROR_REGISTRY_CORRUPT,
        ERROR_KEY_HAS_CHILDREN,
        ERROR_TIMEOUT,
    };
    for (HRESULT code : codes) {
        std::u16string text = SystemText(static_cast<DWORD>(code));
        EXPECT_EQ(u"\r\n", text.substr(text.size() - 2)) << std::hex << code << " " << Narrow(text);
    }
    for (DWORD code : win32) {
        std::u16string text = SystemText(code);
        EXPECT_EQ(u"\r\n", text.substr(text.size() - 2)) << code << " " << Narrow(text);
        EXPECT_EQ(text, SystemText(static_cast<DWORD>(HRESULT_FROM_WIN32(code)))) << code;
    }
}

TEST(FormatMessage, CodesWithoutSystemTextGiveNone) {
    // ADO, OLE DB and XML parser codes carry their texts in their own error objects, not in the system table.
    const DWORD codes[] = {0x800A0BCD, 0x800A0CC1, 0x80040E14, 0x80040E4D, 0xC00CE502, 0x80040202, 0x12345678};
    for (DWORD code : codes) {
        WCHAR buffer[64] = {u'x'};
        SetLastError(0);
        EXPECT_EQ(0u, FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                     buffer, 64, nullptr))
            << std::hex << code;
        EXPECT_EQ(static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND), GetLastError());
    }
}

TEST(FormatMessage, AllocatesTheBufferWhenAsked) {
    LPWSTR text = nullptr;
    DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, static_cast<DWORD>(E_POINTER), 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    ASSERT_EQ(17u, length);
    ASSERT_NE(nullptr, text);
    EXPECT_EQ(u"Invalid pointer\r\n", std::u16string(text));
    EXPECT_EQ(nullptr, LocalFree(text));

    text = reinterpret_cast<LPWSTR>(1);
    EXPECT_EQ(0u, FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, 0x800A0BCD, 0,
                                 reinterpret_cast<LPWSTR>(&text), 0, nullptr));
    EXPECT_EQ(nullptr, text);
}

TEST(FormatMessage, RefusesSmallBuffersAndOtherLanguages) {
    WCHAR buffer[17];
    SetLastError(0);
    EXPECT_EQ(0u, FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, static_cast<DWORD>(E_POINTER), 0, buffer, 17,
                                 nullptr));  // 17 characters need room for the terminator too
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    WCHAR enough[18];
    EXPECT_EQ(17u, FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, static_cast<DWORD>(E_POINTER), 0, enough, 18,
                                  nullptr));
    EXPECT_EQ(u"Invalid pointer\r\n",
              SystemText(static_cast<DWORD>(E_POINTER), 0, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)));
    SetLastError(0);
    EXPECT_EQ(0u, FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, static_cast<DWORD>(E_POINTER),
                                 MAKELANGID(LANG_GERMAN, SUBLANG_DEFAULT), enough, 18, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_LANG_NOT_FOUND), GetLastError());
    SetLastError(0);
    EXPECT_EQ(0u, FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, 0, nullptr, 18, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST(FormatMessage, WidthMaskJoinsLinesAndWraps) {
    EXPECT_EQ(u"Access is denied. ",
              SystemText(ERROR_ACCESS_DENIED, FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK));
    EXPECT_EQ(u"Not enough memory\r\nresources are\r\navailable to complete\r\nthis operation. ",
              SystemText(static_cast<DWORD>(E_OUTOFMEMORY), FORMAT_MESSAGE_IGNORE_INSERTS | 21));
}

TEST(FormatMessage, InsertsComeFromArgumentsOrStayWhenIgnored) {
    EXPECT_EQ(u"%1 could not be found.\r\n", SystemText(static_cast<DWORD>(STG_E_FILENOTFOUND)));
    SetLastError(0);
    WCHAR buffer[128];
    EXPECT_EQ(0u, FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, static_cast<DWORD>(STG_E_FILENOTFOUND), 0, buffer,
                                 128, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    DWORD_PTR arguments[] = {reinterpret_cast<DWORD_PTR>(u"trace.log")};
    DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr,
                       static_cast<DWORD>(STG_E_FILENOTFOUND), 0, buffer, 128, reinterpret_cast<va_list*>(arguments));
    EXPECT_EQ(u"trace.log could not be found.\r\n", std::u16string(buffer, length));
}

std::u16string FormatWithList(LPCWSTR format, ...) {
    va_list arguments;
    va_start(arguments, format);
    WCHAR buffer[256];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_STRING, format, 0, 0, buffer, 256, &arguments);
    va_end(arguments);
    return length ? std::u16string(buffer, length) : u"<failed>";
}

TEST(FormatMessage, FormatsCallerStringsWithTypedInserts) {
    EXPECT_EQ(u"code 0x0000002A in Marlind%", FormatWithList(u"code 0x%1!08X! in %2%%", 42u, u"Marlind"));
    EXPECT_EQ(u"-7 then abc, again -7", FormatWithList(u"%1!d! then %2!S!, again %1!d!", -7, "abc"));
    EXPECT_EQ(u"line\r\nnext\tend", FormatWithList(u"line%nnext%tend%0 dropped"));
    EXPECT_EQ(u"[   ab]", FormatWithList(u"[%1!5s!]", u"ab"));
    EXPECT_EQ(u"<failed>", FormatWithList(u"bad %1!q! format", 1));
}

}  // namespace
