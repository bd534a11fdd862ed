// Type libraries: LoadTypeLib(Ex) over the MSFT reader, the ITypeLib and
// ITypeInfo objects that registration reads, and the registration functions,
// which write the keys oleaut32 writes:
//   TypeLib\{LIBID}\<major.minor>            = help string (else the name)
//   TypeLib\{LIBID}\<major.minor>\FLAGS      = library flags, decimal
//   TypeLib\{LIBID}\<major.minor>\HELPDIR    = help folder
//   TypeLib\{LIBID}\<major.minor>\<lcid>\win32 = module path
//   Interface\{IID}                          = interface name
//   Interface\{IID}\ProxyStubClsid(32)       = the automation marshaler
//   Interface\{IID}\TypeLib                  = {LIBID}, "Version" = major.minor
#include <windows.h>

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "com/SingleInterfaceObject.h"
#include "common/Bstr.h"
#include "common/CaseCompare.h"
#include "common/Utf.h"
#include "typelib/Msft.h"

namespace wincompat {
namespace typelib {
namespace {

void Report(const std::string& message) {
    std::string text = "wincompat type library: " + message + "\n";
    OutputDebugStringA(text.c_str());
}

class TypeLibrary;

class TypeInfo final : public SingleInterfaceObject<ITypeInfo, IID_ITypeInfo> {
public:
    TypeInfo(TypeLibrary* library, UINT index);
    ~TypeInfo() override;

    HRESULT STDMETHODCALLTYPE GetTypeAttr(TYPEATTR** ppTypeAttr) override;
    HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString,
                                               DWORD* pdwHelpContext, BSTR* pBstrHelpFile) override;
    HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) override;
    void STDMETHODCALLTYPE ReleaseTypeAttr(TYPEATTR* pTypeAttr) override { CoTaskMemFree(pTypeAttr); }

    // Member descriptions are not read from the library (registration needs none).
    HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** ppTComp) override { return Unavailable(ppTComp); }
    HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT, FUNCDESC** ppFuncDesc) override { return Unavailable(ppFuncDesc); }
    HRESULT STDMETHODCALLTYPE GetVarDesc(UINT, VARDESC** ppVarDesc) override { return Unavailable(ppVarDesc); }
    HRESULT STDMETHODCALLTYPE GetNames(MEMBERID, BSTR*, UINT, UINT* pcNames) override {
        if (pcNames) *pcNames = 0;
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetRefTypeOfImplType(UINT, HREFTYPE*) override { return TYPE_E_ELEMENTNOTFOUND; }
    HRESULT STDMETHODCALLTYPE GetImplTypeFlags(UINT, INT*) override { return TYPE_E_ELEMENTNOTFOUND; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR*, UINT, MEMBERID*) override { return DISP_E_UNKNOWNNAME; }
    HRESULT STDMETHODCALLTYPE Invoke(PVOID, MEMBERID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetDllEntry(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) override {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetRefTypeInfo(HREFTYPE, ITypeInfo** ppTInfo) override { return Unavailable(ppTInfo); }
    HRESULT STDMETHODCALLTYPE AddressOfMember(MEMBERID, INVOKEKIND, PVOID* ppv) override { return Unavailable(ppv); }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, PVOID* ppvObj) override { return Unavailable(ppvObj); }
    HRESULT STDMETHODCALLTYPE GetMops(MEMBERID, BSTR* pBstrMops) override {
        if (pBstrMops) *pBstrMops = nullptr;
        return S_OK;
    }
    void STDMETHODCALLTYPE ReleaseFuncDesc(FUNCDESC*) override {}
    void STDMETHODCALLTYPE ReleaseVarDesc(VARDESC*) override {}

private:
    template <typename T>
    static HRESULT Unavailable(T** out) {
        if (out) *out = nullptr;
        return TYPE_E_ELEMENTNOTFOUND;
    }
    const TypeDescription& Type() const;

    TypeLibrary* library_;  // AddRef'd
    UINT index_;
};

class TypeLibrary final : public SingleInterfaceObject<ITypeLib, IID_ITypeLib> {
public:
    explicit TypeLibrary(LibraryDescription description) : description_(std::move(description)) {}
    const LibraryDescription& Description() const { return description_; }

    UINT STDMETHODCALLTYPE GetTypeInfoCount() override { return static_cast<UINT>(description_.types.size()); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, ITypeInfo** ppTInfo) override {
        if (!ppTInfo) return E_INVALIDARG;
        *ppTInfo = nullptr;
        if (index >= description_.types.size()) return TYPE_E_ELEMENTNOTFOUND;
        *ppTInfo = new (std::nothrow) TypeInfo(this, index);
        return *ppTInfo ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT index, TYPEKIND* pTKind) override {
        if (!pTKind) return E_INVALIDARG;
        if (index >= description_.types.size()) return TYPE_E_ELEMENTNOTFOUND;
        *pTKind = description_.types[index].kind;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTinfo) override {
        if (!ppTinfo) return E_INVALIDARG;
        *ppTinfo = nullptr;
        for (UINT i = 0; i < description_.types.size(); ++i)
            if (IsEqualGUID(description_.types[i].guid, guid)) return GetTypeInfo(i, ppTinfo);
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR** ppTLibAttr) override {
        if (!ppTLibAttr) return E_INVALIDARG;
        auto* attr = static_cast<TLIBATTR*>(CoTaskMemAlloc(sizeof(TLIBATTR)));
        if (!attr) return E_OUTOFMEMORY;
        attr->guid = description_.libid;
        attr->lcid = description_.lcid;
        attr->syskind = description_.syskind;
        attr->wMajorVerNum = description_.majorVersion;
        attr->wMinorVerNum = description_.minorVersion;
        attr->wLibFlags = description_.flags;
        *ppTLibAttr = attr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** ppTComp) override {
        if (ppTComp) *ppTComp = nullptr;
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetDocumentation(INT index, BSTR* pBstrName, BSTR* pBstrDocString, DWORD* pdwHelpContext,
                                               BSTR* pBstrHelpFile) override {
        if (index == -1) {
            return Fill(description_.name, description_.docString, description_.helpContext, description_.helpFile,
                        pBstrName, pBstrDocString, pdwHelpContext, pBstrHelpFile);
        }
        if (index < 0 || static_cast<size_t>(index) >= description_.types.size()) return TYPE_E_ELEMENTNOTFOUND;
        const TypeDescription& type = description_.types[static_cast<size_t>(index)];
        return Fill(type.name, type.docString, type.helpContext, description_.helpFile, pBstrName, pBstrDocString,
                    pdwHelpContext, pBstrHelpFile);
    }
    HRESULT STDMETHODCALLTYPE IsName(LPOLESTR szNameBuf, ULONG, BOOL* pfName) override {
        if (!szNameBuf || !pfName) return E_INVALIDARG;
        std::u16string wanted = Folded(szNameBuf);
        *pfName = FALSE;
        if (Folded(description_.name) == wanted) *pfName = TRUE;
        for (const TypeDescription& type : description_.types)
            if (Folded(type.name) == wanted) *pfName = TRUE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FindName(LPOLESTR szNameBuf, ULONG, ITypeInfo** ppTInfo, MEMBERID* rgMemId,
                                       USHORT* pcFound) override {
        if (!szNameBuf || !ppTInfo || !rgMemId || !pcFound) return E_INVALIDARG;
        std::u16string wanted = Folded(szNameBuf);
        USHORT found = 0;
        for (UINT i = 0; i < description_.types.size() && found < *pcFound; ++i) {
            if (Folded(description_.types[i].name) != wanted) continue;
            HRESULT hr = GetTypeInfo(i, &ppTInfo[found]);
            if (FAILED(hr)) return hr;
            rgMemId[found++] = -1;  // MEMBERID_NIL: the type itself
        }
        *pcFound = found;
        return S_OK;
    }
    void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR* pTLibAttr) override { CoTaskMemFree(pTLibAttr); }

    static HRESULT Fill(const std::u16string& name, const std::u16string& doc, DWORD context,
                        const std::u16string& helpFile, BSTR* pName, BSTR* pDoc, DWORD* pContext, BSTR* pHelp) {
        if (pName) *pName = AllocBstr(name);
        if (pDoc) *pDoc = doc.empty() ? nullptr : AllocBstr(doc);
        if (pContext) *pContext = context;
        if (pHelp) *pHelp = helpFile.empty() ? nullptr : AllocBstr(helpFile);
        return S_OK;
    }

private:
    ~TypeLibrary() override = default;
    LibraryDescription description_;
};

TypeInfo::TypeInfo(TypeLibrary* library, UINT index) : library_(library), index_(index) { library_->AddRef(); }
TypeInfo::~TypeInfo() { library_->Release(); }
const TypeDescription& TypeInfo::Type() const { return library_->Description().types[index_]; }

HRESULT TypeInfo::GetTypeAttr(TYPEATTR** ppTypeAttr) {
    if (!ppTypeAttr) return E_INVALIDARG;
    auto* attr = static_cast<TYPEATTR*>(CoTaskMemAlloc(sizeof(TYPEATTR)));
    if (!attr) return E_OUTOFMEMORY;
    memset(attr, 0, sizeof *attr);
    const TypeDescription& type = Type();
    attr->guid = type.guid;
    attr->lcid = library_->Description().lcid;
    attr->memidConstructor = -1;
    attr->memidDestructor = -1;
    attr->cbSizeInstance = type.instanceSize;
    attr->typekind = type.kind;
    attr->cFuncs = type.functionCount;
    attr->cVars = type.variableCount;
    attr->cImplTypes = type.implementedCount;
    attr->cbSizeVft = type.vtableSize;
    attr->cbAlignment = type.alignment;
    attr->wTypeFlags = type.flags;
    attr->wMajorVerNum = type.majorVersion;
    attr->wMinorVerNum = type.minorVersion;
    attr->tdescAlias.vt = VT_EMPTY;
    *ppTypeAttr = attr;
    return S_OK;
}

HRESULT TypeInfo::GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString, DWORD* pdwHelpContext,
                                   BSTR* pBstrHelpFile) {
    if (memid != -1) return TYPE_E_ELEMENTNOTFOUND;  // members are not read
    const TypeDescription& type = Type();
    return TypeLibrary::Fill(type.name, type.docString, type.helpContext, library_->Description().helpFile, pBstrName,
                             pBstrDocString, pdwHelpContext, pBstrHelpFile);
}

HRESULT TypeInfo::GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) {
    if (ppTLib) {
        *ppTLib = library_;
        library_->AddRef();
    }
    if (pIndex) *pIndex = index_;
    return S_OK;
}

// ---- loading ----

bool ReadFile(const std::string& path, std::vector<unsigned char>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool IsFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The TYPELIB resource `id` of a module file, copied out.
HRESULT ReadModuleTypeLib(const std::u16string& path, WORD id, std::vector<unsigned char>& bytes) {
    HMODULE module = LoadLibraryW(path.c_str());
    if (!module) return TYPE_E_CANTLOADLIBRARY;
    HRESULT hr = TYPE_E_CANTLOADLIBRARY;
    if (HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), u"TYPELIB")) {
        const auto* data = static_cast<const unsigned char*>(LockResource(LoadResource(module, resource)));
        DWORD size = SizeofResource(module, resource);
        if (data) {
            bytes.assign(data, data + size);
            hr = S_OK;
        }
    } else {
        Report(Utf16ToUtf8(path) + " has no TYPELIB resource " + std::to_string(id));
    }
    FreeLibrary(module);
    return hr;
}

HRESULT LoadBytes(const std::u16string& file, std::vector<unsigned char>& bytes, std::u16string& modulePath) {
    std::u16string path = file;
    WORD resourceId = 1;
    // "module\2" names the module's TYPELIB resource 2.
    size_t slash = file.rfind(u'\\');
    if (slash != std::u16string::npos && slash + 1 < file.size() &&
        file.find_first_not_of(u"0123456789", slash + 1) == std::u16string::npos && file.size() - slash <= 6 &&
        !IsFile(Utf16ToUtf8(file))) {
        path = file.substr(0, slash);
        resourceId = static_cast<WORD>(std::stoul(Utf16ToUtf8(file.substr(slash + 1))));
    }
    modulePath = path;
    std::string utf8 = Utf16ToUtf8(path);
    if (!IsFile(utf8)) {
        Report(utf8 + " does not exist");
        return TYPE_E_CANTLOADLIBRARY;
    }
    std::vector<unsigned char> head;
    if (!ReadFile(utf8, head)) return TYPE_E_CANTLOADLIBRARY;
    if (head.size() >= 4 && memcmp(head.data(), "MSFT", 4) == 0) {
        bytes = std::move(head);
        return S_OK;
    }
    if (head.size() >= 4 && memcmp(head.data(),
                                   "\x7f"
                                   "ELF",
                                   4) == 0)
        return ReadModuleTypeLib(path, resourceId, bytes);
    Report(utf8 + " is neither a type library nor a module");
    return TYPE_E_CANTLOADLIBRARY;
}

// ---- registration ----

std::u16string VersionText(WORD major, WORD minor) {
    char text[16];
    snprintf(text, sizeof text, "%x.%x", major, minor);
    return Utf8ToUtf16(text);
}

std::u16string HexText(DWORD value) {
    char text[16];
    snprintf(text, sizeof text, "%x", value);
    return Utf8ToUtf16(text);
}

std::u16string GuidText(REFGUID guid) {
    OLECHAR text[39];
    StringFromGUID2(guid, text, 39);
    return text;
}

const GUID kAutomationProxy = {0x00020424, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};  // PSOAInterface
const GUID kDispatchProxy = {0x00020420, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};    // PSDispatch

class RegistryKey {
public:
    ~RegistryKey() {
        if (key_) RegCloseKey(key_);
    }
    HKEY* Out() { return &key_; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

bool SetKeyValue(HKEY root, const std::u16string& path, const char16_t* valueName, const std::u16string& text) {
    RegistryKey key;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Out(), nullptr) !=
        ERROR_SUCCESS)
        return false;
    return RegSetValueExW(key.get(), valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(char16_t))) == ERROR_SUCCESS;
}

bool GetKeyValue(HKEY root, const std::u16string& path, const char16_t* valueName, std::u16string& text) {
    RegistryKey key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.Out()) != ERROR_SUCCESS) return false;
    char16_t buffer[256];
    DWORD size = sizeof buffer - sizeof(char16_t), type = 0;
    if (RegQueryValueExW(key.get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    buffer[size / sizeof(char16_t)] = 0;
    text = buffer;
    return true;
}

DWORD SubkeyCount(HKEY root, const std::u16string& path) {
    RegistryKey key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.Out()) != ERROR_SUCCESS) return 0;
    DWORD count = 0;
    RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr);
    return count;
}

HRESULT Register(HKEY root, ITypeLib* library, OLECHAR* fullPath, OLECHAR* helpDir) {
    if (!library || !fullPath) return E_INVALIDARG;
    TLIBATTR* attr = nullptr;
    HRESULT hr = library->GetLibAttr(&attr);
    if (FAILED(hr)) return hr;
    TLIBATTR lib = *attr;
    library->ReleaseTLibAttr(attr);
    BSTR name = nullptr, doc = nullptr;
    library->GetDocumentation(-1, &name, &doc, nullptr, nullptr);
    std::u16string libName = name ? name : u"", libDoc = doc ? doc : u"";
    SysFreeString(name);
    SysFreeString(doc);

    std::u16string libid = GuidText(lib.guid);
    std::u16string version = VersionText(lib.wMajorVerNum, lib.wMinorVerNum);
    std::u16string versionKey = u"TypeLib\\" + libid + u"\\" + version;
    const char16_t* platform = lib.syskind == SYS_WIN64 ? u"win64" : u"win32";
    bool ok = SetKeyValue(root, versionKey, nullptr, libDoc.empty() ? libName : libDoc) &&
              SetKeyValue(root, versionKey + u"\\FLAGS", nullptr, Utf8ToUtf16(std::to_string(lib.wLibFlags))) &&
              SetKeyValue(root, versionKey + u"\\HELPDIR", nullptr, helpDir ? helpDir : u"") &&
              SetKeyValue(root, versionKey + u"\\" + HexText(lib.lcid) + u"\\" + platform, nullptr, fullPath);
    if (!ok) return TYPE_E_REGISTRYACCESS;

    for (UINT i = 0, count = library->GetTypeInfoCount(); i < count; ++i) {
        ITypeInfo* info = nullptr;
        if (FAILED(library->GetTypeInfo(i, &info))) continue;
        TYPEATTR* typeAttr = nullptr;
        BSTR typeName = nullptr;
        bool registered = true;
        if (SUCCEEDED(info->GetTypeAttr(&typeAttr))) {
            bool automation =
                (typeAttr->typekind == TKIND_INTERFACE && (typeAttr->wTypeFlags & TYPEFLAG_FOLEAUTOMATION)) ||
                typeAttr->typekind == TKIND_DISPATCH;
            if (automation && SUCCEEDED(info->GetDocumentation(-1, &typeName, nullptr, nullptr, nullptr))) {
                bool viaVtable = typeAttr->typekind == TKIND_INTERFACE || (typeAttr->wTypeFlags & TYPEFLAG_FDUAL);
                std::u16string proxy = GuidText(viaVtable ? kAutomationProxy : kDispatchProxy);
                std::u16string key = u"Interface\\" + GuidText(typeAttr->guid);
                registered = SetKeyValue(root, key, nullptr, typeName ? typeName : u"") &&
                             SetKeyValue(root, key + u"\\ProxyStubClsid", nullptr, proxy) &&
                             SetKeyValue(root, key + u"\\ProxyStubClsid32", nullptr, proxy) &&
                             SetKeyValue(root, key + u"\\TypeLib", nullptr, libid) &&
                             SetKeyValue(root, key + u"\\TypeLib", u"Version", version);
                SysFreeString(typeName);
            }
            info->ReleaseTypeAttr(typeAttr);
        }
        info->Release();
        if (!registered) return TYPE_E_REGISTRYACCESS;
    }
    return S_OK;
}

HRESULT Unregister(HKEY root, REFGUID libID, WORD major, WORD minor, LCID lcid, SYSKIND syskind) {
    std::u16string libid = GuidText(libID);
    std::u16string version = VersionText(major, minor);
    std::u16string libKey = u"TypeLib\\" + libid;
    std::u16string versionKey = libKey + u"\\" + version;
    {
        RegistryKey key;
        if (RegOpenKeyExW(root, versionKey.c_str(), 0, KEY_READ, key.Out()) != ERROR_SUCCESS)
            return TYPE_E_REGISTRYACCESS;
    }
    // The interfaces that name this library and version.
    std::vector<std::u16string> interfaces;
    {
        RegistryKey all;
        if (RegOpenKeyExW(root, u"Interface", 0, KEY_READ, all.Out()) == ERROR_SUCCESS) {
            char16_t name[256];
            for (DWORD i = 0;; ++i) {
                DWORD length = 256;
                if (RegEnumKeyExW(all.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                    break;
                std::u16string lib, ver, base = std::u16string(u"Interface\\") + name + u"\\TypeLib";
                if (GetKeyValue(root, base, nullptr, lib) && Folded(lib) == Folded(libid) &&
                    GetKeyValue(root, base, u"Version", ver) && ver == version)
                    interfaces.push_back(std::u16string(u"Interface\\") + name);
            }
        }
    }
    for (const std::u16string& key : interfaces) RegDeleteTreeW(root, key.c_str());
    std::u16string lcidKey = versionKey + u"\\" + HexText(lcid);
    RegDeleteTreeW(root, (lcidKey + (syskind == SYS_WIN64 ? u"\\win64" : u"\\win32")).c_str());
    if (SubkeyCount(root, lcidKey) == 0) RegDeleteKeyW(root, lcidKey.c_str());
    // The version key goes when no other locale remains registered under it.
    RegistryKey versionHandle;
    bool otherLocales = false;
    if (RegOpenKeyExW(root, versionKey.c_str(), 0, KEY_READ, versionHandle.Out()) == ERROR_SUCCESS) {
        char16_t name[256];
        for (DWORD i = 0;; ++i) {
            DWORD length = 256;
            if (RegEnumKeyExW(versionHandle.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            std::u16string folded = Folded(name);
            if (folded != u"flags" && folded != u"helpdir") otherLocales = true;
        }
    }
    if (!otherLocales) RegDeleteTreeW(root, versionKey.c_str());
    if (SubkeyCount(root, libKey) == 0) RegDeleteKeyW(root, libKey.c_str());
    return S_OK;
}

// HKEY_CURRENT_USER\Software\Classes, opened for the per-user forms.
HRESULT OpenUserClasses(RegistryKey& key) {
    LONG status = RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Classes", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  key.Out(), nullptr);
    return status == ERROR_SUCCESS ? S_OK : TYPE_E_REGISTRYACCESS;
}

}  // namespace
}  // namespace typelib
}  // namespace wincompat

using namespace wincompat::typelib;

extern "C" HRESULT STDAPICALLTYPE LoadTypeLibEx(LPCOLESTR szFile, REGKIND regkind, ITypeLib** pptlib) {
    if (!pptlib) return E_INVALIDARG;
    *pptlib = nullptr;
    if (!szFile || !*szFile) return E_INVALIDARG;
    std::vector<unsigned char> bytes;
    std::u16string modulePath;
    HRESULT hr = LoadBytes(szFile, bytes, modulePath);
    if (FAILED(hr)) return hr;
    LibraryDescription description;
    std::string error;
    if (!ParseMsft(bytes, description, error)) {
        Report(wincompat::Utf16ToUtf8(szFile) + ": " + error);
        return TYPE_E_CANTLOADLIBRARY;
    }
    auto* library = new (std::nothrow) TypeLibrary(std::move(description));
    if (!library) return E_OUTOFMEMORY;
    if (regkind == REGKIND_REGISTER) {
        hr = RegisterTypeLib(library, &modulePath[0], nullptr);
        if (FAILED(hr)) {
            library->Release();
            return hr;
        }
    }
    *pptlib = library;
    return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE LoadTypeLib(const OLECHAR* szFile, ITypeLib** pptlib) {
    return LoadTypeLibEx(szFile, REGKIND_NONE, pptlib);
}

extern "C" HRESULT STDAPICALLTYPE RegisterTypeLib(ITypeLib* ptlib, OLECHAR* szFullPath, OLECHAR* szHelpDir) {
    return Register(HKEY_CLASSES_ROOT, ptlib, szFullPath, szHelpDir);
}

extern "C" HRESULT STDAPICALLTYPE UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid,
                                                    SYSKIND syskind) {
    return Unregister(HKEY_CLASSES_ROOT, libID, wVerMajor, wVerMinor, lcid, syskind);
}

extern "C" HRESULT STDAPICALLTYPE RegisterTypeLibForUser(ITypeLib* ptlib, OLECHAR* szFullPath, OLECHAR* szHelpDir) {
    RegistryKey classes;
    HRESULT hr = OpenUserClasses(classes);
    return FAILED(hr) ? hr : Register(classes.get(), ptlib, szFullPath, szHelpDir);
}

extern "C" HRESULT STDAPICALLTYPE UnRegisterTypeLibForUser(REFGUID libID, WORD wMajorVerNum, WORD wMinorVerNum,
                                                           LCID lcid, SYSKIND syskind) {
    RegistryKey classes;
    HRESULT hr = OpenUserClasses(classes);
    return FAILED(hr) ? hr : Unregister(classes.get(), libID, wMajorVerNum, wMinorVerNum, lcid, syskind);
}
