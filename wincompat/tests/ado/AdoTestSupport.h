// Helpers for the ADO tests: a temporary directory per test, owning
// references and values, and short ways to open connections and run commands
// through the ADO interfaces exactly as the plug-ins do.
#pragma once
#include <windows.h>

#include <adoid.h>
#include <adoint.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ReferenceSchema.h"
#include "support/ComHolders.h"
#include "support/TempFolder.h"

namespace wincompat_test {

using wincompat_test::Bstr;
using wincompat_test::Ref;
using wincompat_test::TakeErrorDescription;

class Var {
public:
    Var() { VariantInit(&v_); }
    ~Var() { VariantClear(&v_); }
    Var(const Var&) = delete;
    Var& operator=(const Var&) = delete;
    Var(Var&& o) noexcept : v_(o.v_) { VariantInit(&o.v_); }
    static Var Null() {
        Var v;
        v.v_.vt = VT_NULL;
        return v;
    }
    static Var Int(int value) {
        Var v;
        v.v_.vt = VT_INT;
        v.v_.intVal = value;
        return v;
    }
    static Var I4(LONG value) {
        Var v;
        v.v_.vt = VT_I4;
        v.v_.lVal = value;
        return v;
    }
    static Var Bool(bool value) {
        Var v;
        v.v_.vt = VT_BOOL;
        v.v_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
        return v;
    }
    static Var Date(DATE value) {
        Var v;
        v.v_.vt = VT_DATE;
        v.v_.date = value;
        return v;
    }
    static Var Text(const char16_t* text) {
        Var v;
        v.v_.vt = VT_BSTR;
        v.v_.bstrVal = SysAllocString(text);
        return v;
    }
    static Var Bytes(const std::vector<uint8_t>& bytes) {
        Var v;
        SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
        void* data = nullptr;
        SafeArrayAccessData(array, &data);
        if (!bytes.empty()) memcpy(data, bytes.data(), bytes.size());
        SafeArrayUnaccessData(array);
        v.v_.vt = VT_ARRAY | VT_UI1;
        v.v_.parray = array;
        return v;
    }
    VARIANT& get() { return v_; }
    VARIANT* out() {
        VariantClear(&v_);
        return &v_;
    }
    VARTYPE vt() const { return v_.vt; }
    std::u16string text() const {
        return v_.vt == VT_BSTR ? std::u16string(v_.bstrVal, SysStringLen(v_.bstrVal)) : u"";
    }
    std::vector<uint8_t> bytes() const {
        std::vector<uint8_t> out;
        if (v_.vt != (VT_ARRAY | VT_UI1) || !v_.parray) return out;
        LONG lower = 0, upper = -1;
        SafeArrayGetLBound(v_.parray, 1, &lower);
        SafeArrayGetUBound(v_.parray, 1, &upper);
        void* data = nullptr;
        SafeArrayAccessData(v_.parray, &data);
        out.assign(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + (upper - lower + 1));
        SafeArrayUnaccessData(v_.parray);
        return out;
    }

private:
    VARIANT v_;
};

inline VARIANT Index(LONG i) {
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = i;
    return v;
}

// A fresh directory, removed with everything in it at the end of the test.
using TempDir = wincompat_test::TempFolder;

inline std::u16string U16(const std::string& text) { return std::u16string(text.begin(), text.end()); }

inline Ref<_Connection> OpenConnection(const std::string& path, const std::string& extra = "") {
    Ref<_Connection> connection;
    EXPECT_EQ(S_OK, CoCreateInstance(CLSID_Connection, nullptr, CLSCTX_INPROC_SERVER, IID__Connection,
                                     reinterpret_cast<void**>(connection.out())));
    Bstr text(U16("Provider=SQLite;Data Source=" + path + extra));
    EXPECT_EQ(S_OK, connection->Open(text.get(), nullptr, nullptr, adConnectUnspecified)) << "opening " << path;
    return connection;
}

// A reference database in `dir`, opened.
inline Ref<_Connection> OpenReferenceDatabase(const TempDir& dir, const std::string& extra = "") {
    std::string error;
    std::string path = dir.File("host.db");
    EXPECT_TRUE(morvhost::ApplyReferenceSchema(path, error)) << error;
    return OpenConnection(path, extra);
}

inline Ref<_Command> NewCommand(_Connection* connection, const char16_t* text, CommandTypeEnum type = adCmdText) {
    Ref<_Command> command;
    EXPECT_EQ(S_OK, CoCreateInstance(CLSID_Command, nullptr, CLSCTX_INPROC_SERVER, IID__Command,
                                     reinterpret_cast<void**>(command.out())));
    EXPECT_EQ(S_OK, command->putref_ActiveConnection(connection));
    Bstr bstr(text);
    EXPECT_EQ(S_OK, command->put_CommandText(bstr.get()));
    EXPECT_EQ(S_OK, command->put_CommandType(type));
    return command;
}

// CreateParameter and Append, as the plug-ins' AddParameter does.
inline HRESULT AddParameter(_Command* command, DataTypeEnum type, Var& value,
                            ParameterDirectionEnum direction = adParamInput, const char16_t* name = u"",
                            LONG size = 0) {
    Ref<_Parameter> parameter;
    Bstr bstr(name);
    HRESULT hr = command->CreateParameter(bstr.get(), type, direction, size, value.get(), parameter.out());
    if (FAILED(hr)) return hr;
    Ref<Parameters> parameters;
    hr = command->get_Parameters(parameters.out());
    if (FAILED(hr)) return hr;
    return parameters->Append(parameter.get());
}

inline HRESULT Execute(_Command* command, Ref<_Recordset>& recordset, LONG options = adOptionUnspecified,
                       VARIANT* affected = nullptr) {
    return command->Execute(affected, nullptr, options, recordset.out());
}

// Every row of column `column` of the recordset, as text (VT_BSTR only).
inline std::vector<std::u16string> ColumnTexts(_Recordset* recordset, const char16_t* column) {
    std::vector<std::u16string> texts;
    VARIANT_BOOL eof = VARIANT_TRUE;
    while (SUCCEEDED(recordset->get_EOF(&eof)) && !eof) {
        Var name = Var::Text(column);
        Var value;
        EXPECT_EQ(S_OK, recordset->get_Collect(name.get(), value.out()));
        texts.push_back(value.text());
        EXPECT_EQ(S_OK, recordset->MoveNext());
    }
    return texts;
}

// The value of column `column` (by name) of the current row.
inline void Collect(_Recordset* recordset, const char16_t* column, Var& value) {
    Var name = Var::Text(column);
    ASSERT_EQ(S_OK, recordset->get_Collect(name.get(), value.out()));
}

// Runs `text` on the connection and returns the first column of the first row.
inline void QueryValue(_Connection* connection, const char16_t* text, Var& value) {
    Ref<_Recordset> recordset;
    Bstr bstr(text);
    ASSERT_EQ(S_OK, connection->Execute(bstr.get(), nullptr, adCmdText, recordset.out()))
        << TakeErrorDescription().size();
    VARIANT_BOOL eof = VARIANT_TRUE;
    ASSERT_EQ(S_OK, recordset->get_EOF(&eof));
    ASSERT_FALSE(eof);
    VARIANT first = Index(0);
    ASSERT_EQ(S_OK, recordset->get_Collect(first, value.out()));
}

inline LONG QueryLong(_Connection* connection, const char16_t* text) {
    Var value;
    QueryValue(connection, text, value);
    if (value.vt() == VT_I4) return value.get().lVal;
    if (value.vt() == VT_I8) return static_cast<LONG>(value.get().llVal);
    ADD_FAILURE() << "not an integer: vt " << value.vt();
    return -1;
}

inline std::vector<std::string> ReadLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace wincompat_test
