// Reads an MSFT type library's header, segment directory and type descriptions, checking every
// offset against the file; names decoded as UTF-8, else as Latin-1.
#include "typelib/Msft.h"

#include <cstring>

#include "common/Utf.h"

namespace wincompat {
namespace typelib {
namespace {

constexpr uint32_t kMagic = 0x5446534D;  // "MSFT"
constexpr size_t kHeaderSize = 0x54;
constexpr size_t kSegmentCount = 15;
constexpr size_t kTypeInfoSize = 0x64;
constexpr uint32_t kHelpDllFlag = 0x100;

enum Segment { TypeInfoTab = 0, ImpInfo, ImpFiles, RefTab, GuidHashTab, GuidTab, NameHashTab, NameTab, StringTab };

class Cursor {
public:
    explicit Cursor(const std::vector<unsigned char>& bytes) : bytes_(bytes) {}
    bool Has(size_t offset, size_t size) const { return offset <= bytes_.size() && size <= bytes_.size() - offset; }
    int32_t Int(size_t offset) const {
        uint32_t v = static_cast<uint32_t>(bytes_[offset]) | (static_cast<uint32_t>(bytes_[offset + 1]) << 8) |
                     (static_cast<uint32_t>(bytes_[offset + 2]) << 16) |
                     (static_cast<uint32_t>(bytes_[offset + 3]) << 24);
        return static_cast<int32_t>(v);
    }
    uint16_t Word(size_t offset) const { return static_cast<uint16_t>(bytes_[offset] | (bytes_[offset + 1] << 8)); }
    const unsigned char* At(size_t offset) const { return bytes_.data() + offset; }

private:
    const std::vector<unsigned char>& bytes_;
};

struct SegmentInfo {
    size_t offset = 0;
    size_t length = 0;
    bool present = false;
};

// Text in a type library is in the library's code page; widl writes UTF-8,
// MIDL the ANSI page: take UTF-8 when it decodes cleanly, else Latin-1.
std::u16string DecodeText(const unsigned char* data, size_t length) {
    std::string raw(reinterpret_cast<const char*>(data), length);
    std::u16string utf16 = Utf8ToUtf16(raw);
    if (utf16.find(u'\uFFFD') == std::u16string::npos) return utf16;
    std::u16string latin;
    for (unsigned char c : raw) latin.push_back(c);
    return latin;
}

class MsftReader {
public:
    MsftReader(const std::vector<unsigned char>& bytes, std::string& error) : cursor_(bytes), error_(error) {}

    bool Read(LibraryDescription& library) {
        if (!cursor_.Has(0, kHeaderSize)) return Fail("the file is shorter than a type-library header");
        if (static_cast<uint32_t>(cursor_.Int(0)) != kMagic) return Fail("not an MSFT type library");
        int32_t posGuid = cursor_.Int(0x08);
        int32_t lcid = cursor_.Int(0x0C);
        int32_t lcid2 = cursor_.Int(0x10);
        uint32_t varFlags = static_cast<uint32_t>(cursor_.Int(0x14));
        uint32_t version = static_cast<uint32_t>(cursor_.Int(0x18));
        int32_t flags = cursor_.Int(0x1C);
        int32_t typeCount = cursor_.Int(0x20);
        int32_t helpString = cursor_.Int(0x24);
        int32_t helpContext = cursor_.Int(0x2C);
        int32_t nameOffset = cursor_.Int(0x38);
        int32_t helpFile = cursor_.Int(0x3C);
        if (typeCount < 0 || typeCount > 0xFFFF) return Fail("the type count is out of range");

        size_t position = kHeaderSize;
        if (varFlags & kHelpDllFlag) position += 4;
        size_t typeOffsets = position;
        position += static_cast<size_t>(typeCount) * 4;
        if (!cursor_.Has(position, kSegmentCount * 16)) return Fail("the segment directory lies past the end");
        for (size_t i = 0; i < kSegmentCount; ++i) {
            int32_t offset = cursor_.Int(position + i * 16);
            int32_t length = cursor_.Int(position + i * 16 + 4);
            if (offset == -1 || length <= 0) continue;
            if (offset < 0 || !cursor_.Has(static_cast<size_t>(offset), static_cast<size_t>(length)))
                return Fail("segment " + std::to_string(i) + " lies outside the file");
            segments_[i] = SegmentInfo{static_cast<size_t>(offset), static_cast<size_t>(length), true};
        }

        (void)lcid;
        library.lcid = static_cast<LCID>(lcid2);
        library.syskind = static_cast<SYSKIND>(varFlags & 0x0F);
        library.majorVersion = static_cast<WORD>(version & 0xFFFF);
        library.minorVersion = static_cast<WORD>(version >> 16);
        library.flags = static_cast<WORD>(flags & 0xFFFF);
        library.helpContext = static_cast<DWORD>(helpContext);
        if (!ReadGuid(posGuid, library.libid)) return false;
        if (!ReadName(nameOffset, library.name)) return false;
        if (!ReadString(helpString, library.docString) || !ReadString(helpFile, library.helpFile)) return false;

        for (int32_t i = 0; i < typeCount; ++i) {
            int32_t offset = cursor_.Int(typeOffsets + static_cast<size_t>(i) * 4);
            TypeDescription type;
            if (!ReadType(offset, type)) return false;
            library.types.push_back(std::move(type));
        }
        return true;
    }

private:
    bool Fail(const std::string& message) {
        error_ = message;
        return false;
    }

    bool Within(Segment segment, int32_t offset, size_t size) const {
        const SegmentInfo& info = segments_[segment];
        return info.present && offset >= 0 && static_cast<size_t>(offset) <= info.length &&
               size <= info.length - static_cast<size_t>(offset);
    }

    bool ReadGuid(int32_t offset, GUID& guid) {
        if (offset < 0) {
            guid = GUID_NULL;
            return true;
        }
        if (!Within(GuidTab, offset, 16)) return Fail("a GUID lies outside the GUID table");
        size_t at = segments_[GuidTab].offset + static_cast<size_t>(offset);
        guid.Data1 = static_cast<uint32_t>(cursor_.Int(at));
        guid.Data2 = cursor_.Word(at + 4);
        guid.Data3 = cursor_.Word(at + 6);
        memcpy(guid.Data4, cursor_.At(at + 8), 8);
        return true;
    }

    bool ReadName(int32_t offset, std::u16string& name) {
        name.clear();
        if (offset < 0) return true;
        if (!Within(NameTab, offset, 12)) return Fail("a name lies outside the name table");
        size_t at = segments_[NameTab].offset + static_cast<size_t>(offset);
        size_t length = static_cast<size_t>(cursor_.Int(at + 8)) & 0xFF;
        if (!Within(NameTab, offset + 12, length)) return Fail("a name runs past the name table");
        name = DecodeText(cursor_.At(at + 12), length);
        return true;
    }

    bool ReadString(int32_t offset, std::u16string& text) {
        text.clear();
        if (offset < 0) return true;
        if (!Within(StringTab, offset, 2)) return Fail("a string lies outside the string table");
        size_t at = segments_[StringTab].offset + static_cast<size_t>(offset);
        size_t length = cursor_.Word(at);
        if (!Within(StringTab, offset + 2, length)) return Fail("a string runs past the string table");
        text = DecodeText(cursor_.At(at + 2), length);
        return true;
    }

    bool ReadType(int32_t offset, TypeDescription& type) {
        if (!Within(TypeInfoTab, offset, kTypeInfoSize)) return Fail("a type description lies outside its table");
        size_t at = segments_[TypeInfoTab].offset + static_cast<size_t>(offset);
        int32_t kind = cursor_.Int(at) & 0xF;
        if (kind >= TKIND_MAX) return Fail("a type has an unknown kind");
        type.kind = static_cast<TYPEKIND>(kind);
        type.alignment = static_cast<WORD>((cursor_.Int(at) >> 11) & 0x1F);
        uint32_t elements = static_cast<uint32_t>(cursor_.Int(at + 0x18));
        type.functionCount = static_cast<WORD>(elements & 0xFFFF);
        type.variableCount = static_cast<WORD>(elements >> 16);
        type.flags = static_cast<WORD>(cursor_.Int(at + 0x30) & 0xFFFF);
        uint32_t version = static_cast<uint32_t>(cursor_.Int(at + 0x38));
        type.majorVersion = static_cast<WORD>(version & 0xFFFF);
        type.minorVersion = static_cast<WORD>(version >> 16);
        type.helpContext = static_cast<DWORD>(cursor_.Int(at + 0x44));
        type.implementedCount = cursor_.Word(at + 0x4C);
        type.vtableSize = cursor_.Word(at + 0x4E);
        type.instanceSize = static_cast<ULONG>(cursor_.Int(at + 0x50));
        return ReadGuid(cursor_.Int(at + 0x2C), type.guid) && ReadName(cursor_.Int(at + 0x34), type.name) &&
               ReadString(cursor_.Int(at + 0x3C), type.docString);
    }

    Cursor cursor_;
    std::string& error_;
    SegmentInfo segments_[kSegmentCount];
};

}  // namespace

bool ParseMsft(const std::vector<unsigned char>& bytes, LibraryDescription& library, std::string& error) {
    library = LibraryDescription();
    return MsftReader(bytes, error).Read(library);
}

}  // namespace typelib
}  // namespace wincompat
