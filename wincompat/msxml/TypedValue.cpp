// nodeTypedValue: an element's dt attribute (urn:schemas-microsoft-com:datatypes) decides the
// VARIANT its text becomes, from numbers, booleans and ISO 8601 dates to bin.hex and bin.base64
// bytes; without one the text stays text.
#include "msxml/TypedValue.h"

#include "common/CivilDate.h"
#include "msxml/Text.h"
#include "msxml/XmlChars.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace wincompat::msxml {

const char kDataTypesNamespace[] = "urn:schemas-microsoft-com:datatypes";

namespace {

// ---- integers ----

template <class T>
bool ParseInteger(const std::string& text, T& value) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (begin != end && *begin == '+') ++begin;  // from_chars takes only '-'
    if (begin == end) return false;
    auto result = std::from_chars(begin, end, value);
    return result.ec == std::errc() && result.ptr == end;
}

template <class T>
bool ParseRealNumber(const std::string& text, T& value) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (begin != end && *begin == '+') ++begin;
    if (begin == end) return false;
    auto result = std::from_chars(begin, end, value, std::chars_format::general);
    return result.ec == std::errc() && result.ptr == end && std::isfinite(value);
}

// fixed.14.4: at most 14 digits before the point and 4 after, as a currency value.
bool ParseFixed14_4(const std::string& text, LONGLONG& scaled) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    LONGLONG integral = 0;
    int integralDigits = 0, fractionDigits = 0;
    LONGLONG fraction = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++integralDigits) {
        if (integralDigits >= 14) return false;
        integral = integral * 10 + (text[i] - '0');
    }
    if (i < text.size() && text[i] == '.') {
        for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++fractionDigits) {
            if (fractionDigits >= 4) return false;
            fraction = fraction * 10 + (text[i] - '0');
        }
    }
    if (i != text.size() || integralDigits + fractionDigits == 0) return false;
    for (int k = fractionDigits; k < 4; ++k) fraction *= 10;
    scaled = integral * 10000 + fraction;
    if (negative) scaled = -scaled;
    return true;
}

bool IsNumberText(const std::string& text) {
    double value = 0;
    return ParseRealNumber(text, value);
}

// ---- binary ----

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool DecodeHex(const std::string& text, std::vector<BYTE>& bytes) {
    if (text.size() % 2 != 0) return false;
    bytes.reserve(text.size() / 2);
    for (size_t i = 0; i < text.size(); i += 2) {
        int high = HexDigit(text[i]), low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes.push_back(static_cast<BYTE>(high * 16 + low));
    }
    return true;
}

int Base64Digit(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// MIME base64: white space anywhere is skipped, padding only at the end.
bool DecodeBase64(const std::string& text, std::vector<BYTE>& bytes) {
    uint32_t buffer = 0;
    int bits = 0, padding = 0, digits = 0;
    for (char c : text) {
        if (IsXmlWhiteSpace(c)) continue;
        if (c == '=') {
            ++padding;
            ++digits;
            continue;
        }
        int value = Base64Digit(c);
        if (value < 0 || padding > 0) return false;
        ++digits;
        buffer = (buffer << 6) | static_cast<uint32_t>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes.push_back(static_cast<BYTE>((buffer >> bits) & 0xFF));
        }
    }
    return digits % 4 == 0 && padding <= 2;
}

bool MakeByteArray(const std::vector<BYTE>& bytes, VARIANT* out) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    if (!array) return false;
    if (!bytes.empty()) {
        void* data = nullptr;
        if (FAILED(SafeArrayAccessData(array, &data))) {
            SafeArrayDestroy(array);
            return false;
        }
        std::memcpy(data, bytes.data(), bytes.size());
        SafeArrayUnaccessData(array);
    }
    out->vt = VT_ARRAY | VT_UI1;
    out->parray = array;
    return true;
}

// ---- dates and times (ISO 8601 subsets) ----

struct DateTimeFields {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0;
    double fraction = 0;  // of a second
    int zoneMinutes = 0;  // offset east of UTC
    bool hasZone = false;
};

class FieldReader {
public:
    explicit FieldReader(const std::string& text) : text_(text) {}
    bool Digits(int count, int& value) {
        value = 0;
        for (int k = 0; k < count; ++k, ++pos_) {
            if (pos_ >= text_.size() || text_[pos_] < '0' || text_[pos_] > '9') return false;
            value = value * 10 + (text_[pos_] - '0');
        }
        return true;
    }
    bool Take(char c) {
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    bool AtEnd() const { return pos_ == text_.size(); }
    bool Fraction(double& value) {
        size_t start = pos_;
        double scale = 0.1;
        value = 0;
        while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
            value += (text_[pos_++] - '0') * scale;
            scale /= 10;
        }
        return pos_ > start;
    }

private:
    const std::string& text_;
    size_t pos_ = 0;
};

bool ReadDate(FieldReader& reader, DateTimeFields& f) {
    return reader.Digits(4, f.year) && reader.Take('-') && reader.Digits(2, f.month) && reader.Take('-') &&
           reader.Digits(2, f.day);
}

bool ReadTime(FieldReader& reader, DateTimeFields& f) {
    if (!(reader.Digits(2, f.hour) && reader.Take(':') && reader.Digits(2, f.minute) && reader.Take(':') &&
          reader.Digits(2, f.second)))
        return false;
    if (reader.Take('.') && !reader.Fraction(f.fraction)) return false;
    return true;
}

bool ReadZone(FieldReader& reader, DateTimeFields& f) {
    if (reader.AtEnd()) return true;
    if (reader.Take('Z')) {
        f.hasZone = true;
        return true;
    }
    bool east = reader.Take('+');
    if (!east && !reader.Take('-')) return false;
    int hours = 0, minutes = 0;
    if (!(reader.Digits(2, hours) && reader.Take(':') && reader.Digits(2, minutes)) || hours > 14 || minutes > 59)
        return false;
    f.hasZone = true;
    f.zoneMinutes = (east ? 1 : -1) * (hours * 60 + minutes);
    return true;
}

bool FieldsInRange(const DateTimeFields& f) {
    if (f.year < 100 || f.year > 9999 || f.month < 1 || f.month > 12) return false;
    return f.day >= 1 && f.day <= DaysInMonth(f.year, f.month) && f.hour <= 23 && f.minute <= 59 && f.second <= 59;
}

// An automation date: days since 30 December 1899; before that day the
// fraction still counts forward from midnight, as OLE dates do.
DATE ToAutomationDate(const DateTimeFields& f, bool timeOnly) {
    double seconds = f.hour * 3600.0 + f.minute * 60.0 + f.second + f.fraction - f.zoneMinutes * 60.0;
    long days = static_cast<long>(DaysFromCivil(f.year, f.month, f.day) - DaysFromCivil(1899, 12, 30));
    // A zone offset can move the instant into the next or previous day.
    while (seconds < 0) seconds += 86400, --days;
    while (seconds >= 86400) seconds -= 86400, ++days;
    double dayFraction = seconds / 86400.0;
    if (timeOnly) return dayFraction;
    return days >= 0 ? days + dayFraction : days - dayFraction;
}

enum class DateForm { Date, DateTime, DateTimeZone, Time, TimeZone };

bool ParseDateForm(DateForm form, const std::string& text, DATE& value) {
    FieldReader reader(text);
    DateTimeFields f;
    bool ok = true;
    switch (form) {
        case DateForm::Date: ok = ReadDate(reader, f); break;
        case DateForm::DateTime:
        case DateForm::DateTimeZone:
            ok = ReadDate(reader, f) && (!reader.Take('T') || ReadTime(reader, f));
            if (ok && form == DateForm::DateTimeZone) ok = ReadZone(reader, f);
            break;
        case DateForm::Time:
        case DateForm::TimeZone:
            ok = ReadTime(reader, f);
            if (ok && form == DateForm::TimeZone) ok = ReadZone(reader, f);
            break;
    }
    if (!ok || !reader.AtEnd() || !FieldsInRange(f)) return false;
    value = ToAutomationDate(f, form == DateForm::Time || form == DateForm::TimeZone);
    return true;
}

bool IsUuidText(const std::string& text) {
    // Hexadecimal digits with hyphens anywhere (ignored), optionally in braces.
    std::string digits;
    size_t begin = 0, end = text.size();
    if (end >= 2 && text.front() == '{' && text.back() == '}') ++begin, --end;
    for (size_t i = begin; i < end; ++i) {
        if (text[i] == '-') continue;
        if (HexDigit(text[i]) < 0) return false;
        digits.push_back(text[i]);
    }
    return digits.size() == 32;
}

bool SetString(const char* text, size_t length, VARIANT* out) {
    out->bstrVal = AllocBstrFromUtf8(std::string_view(text, length));
    if (!out->bstrVal) return false;
    out->vt = VT_BSTR;
    return true;
}

bool SetString(const std::string& text, VARIANT* out) { return SetString(text.data(), text.size(), out); }

// The text of an element or attribute: the one text node that most hold, read
// in place, or else everything concatenated.
class NodeText {
public:
    explicit NodeText(xmlNodePtr node) {
        xmlNodePtr child = node->children;
        if (child && !child->next && (child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE) &&
            (node->type == XML_ELEMENT_NODE || node->type == XML_ATTRIBUTE_NODE)) {
            text_ = child->content;
        } else if (node->type == XML_ELEMENT_NODE && !child) {
            text_ = nullptr;
        } else {
            owned_.reset(xmlNodeGetContent(node));
            text_ = owned_.get();
        }
    }
    const char* data() const { return text_ ? reinterpret_cast<const char*>(text_) : ""; }
    size_t size() const { return text_ ? static_cast<size_t>(xmlStrlen(text_)) : 0; }
    std::string str() const { return std::string(data(), size()); }

private:
    XmlString owned_;
    const xmlChar* text_ = nullptr;
};

// The "dt" attribute in the data-types namespace, looked up without copying;
// a document with a DTD is asked through libxml2, which also sees defaults
// that its DTD declares.
bool FindDataType(xmlNodePtr node, std::string& type) {
    if (node->doc && (node->doc->intSubset || node->doc->extSubset)) {
        type = DeclaredDataType(node);
        return !type.empty();
    }
    for (xmlAttrPtr attribute = node->properties; attribute; attribute = attribute->next) {
        if (!attribute->ns || !xmlStrEqual(attribute->name, reinterpret_cast<const xmlChar*>("dt")) ||
            !xmlStrEqual(attribute->ns->href, reinterpret_cast<const xmlChar*>(kDataTypesNamespace)))
            continue;
        NodeText value(reinterpret_cast<xmlNodePtr>(attribute));
        type = value.str();
        return !type.empty();
    }
    return false;
}

}  // namespace

std::string DeclaredDataType(xmlNodePtr node) {
    if (!node || node->type != XML_ELEMENT_NODE) return {};
    XmlString type(xmlGetNsProp(node, reinterpret_cast<const xmlChar*>("dt"),
                                reinterpret_cast<const xmlChar*>(kDataTypesNamespace)));
    return type ? std::string(reinterpret_cast<const char*>(type.get())) : std::string();
}

bool ConvertTypedText(const std::string& type, const std::string& rawText, VARIANT* out, std::u16string& error) {
    auto fail = [&](const char* what) {
        // The value is quoted as MSXML does, cut short when it is long.
        std::string shown = rawText.size() > 64 ? rawText.substr(0, 64) + "..." : rawText;
        std::string message = std::string("Error parsing '") + shown + "' as " + type + " datatype.";
        if (what) message = what;
        error = Utf8ToUtf16(message);
        return false;
    };
    static const char* const kStringTypes[] = {"string",  "id",       "idref",    "idrefs",      "entity", "entities",
                                               "nmtoken", "nmtokens", "notation", "enumeration", "uri"};
    for (const char* name : kStringTypes)
        if (type == name) return SetString(rawText, out) || fail("Out of memory.");

    const std::string text = TrimmedXmlWhiteSpace(rawText);
    auto integer = [&](auto value, VARTYPE vt, auto store) {
        if (!ParseInteger(text, value)) return fail(nullptr);
        out->vt = vt;
        store(value);
        return true;
    };
    if (type == "int" || type == "i4") return integer(int32_t{}, VT_I4, [&](int32_t v) { out->lVal = v; });
    if (type == "i1") return integer(int8_t{}, VT_I1, [&](int8_t v) { out->cVal = static_cast<CHAR>(v); });
    if (type == "i2") return integer(int16_t{}, VT_I2, [&](int16_t v) { out->iVal = v; });
    if (type == "i8") return integer(int64_t{}, VT_I8, [&](int64_t v) { out->llVal = v; });
    if (type == "ui1") return integer(uint8_t{}, VT_UI1, [&](uint8_t v) { out->bVal = v; });
    if (type == "ui2") return integer(uint16_t{}, VT_UI2, [&](uint16_t v) { out->uiVal = v; });
    if (type == "ui4") return integer(uint32_t{}, VT_UI4, [&](uint32_t v) { out->ulVal = v; });
    if (type == "ui8") return integer(uint64_t{}, VT_UI8, [&](uint64_t v) { out->ullVal = v; });
    if (type == "boolean") {
        bool truth = text == "1" || text == "true";
        if (!truth && text != "0" && text != "false") return fail(nullptr);
        out->vt = VT_BOOL;
        out->boolVal = truth ? VARIANT_TRUE : VARIANT_FALSE;
        return true;
    }
    if (type == "r4") {
        float value = 0;
        if (!ParseRealNumber(text, value)) return fail(nullptr);
        out->vt = VT_R4;
        out->fltVal = value;
        return true;
    }
    if (type == "r8" || type == "float") {
        double value = 0;
        if (!ParseRealNumber(text, value)) return fail(nullptr);
        out->vt = VT_R8;
        out->dblVal = value;
        return true;
    }
    if (type == "fixed.14.4") {
        LONGLONG scaled = 0;
        if (!ParseFixed14_4(text, scaled)) return fail(nullptr);
        out->vt = VT_CY;
        out->cyVal.int64 = scaled;
        return true;
    }
    if (type == "number") {
        if (!IsNumberText(text)) return fail(nullptr);
        return SetString(text, out) || fail("Out of memory.");
    }
    if (type == "uuid") {
        if (!IsUuidText(text)) return fail(nullptr);
        return SetString(text, out) || fail("Out of memory.");
    }
    if (type == "char") {
        std::u16string chars = Utf8ToUtf16(rawText);
        if (chars.size() != 1) return fail(nullptr);
        out->vt = VT_UI2;
        out->uiVal = chars[0];
        return true;
    }
    if (type == "bin.hex" || type == "bin.base64") {
        std::vector<BYTE> bytes;
        bool decoded = type == "bin.hex" ? DecodeHex(text, bytes) : DecodeBase64(text, bytes);
        if (!decoded) return fail(nullptr);
        return MakeByteArray(bytes, out) || fail("Out of memory.");
    }
    static const struct {
        const char* name;
        DateForm form;
    } kDateTypes[] = {{"date", DateForm::Date},
                      {"dateTime", DateForm::DateTime},
                      {"dateTime.tz", DateForm::DateTimeZone},
                      {"time", DateForm::Time},
                      {"time.tz", DateForm::TimeZone}};
    for (const auto& dateType : kDateTypes) {
        if (type != dateType.name) continue;
        DATE value = 0;
        if (!ParseDateForm(dateType.form, text, value)) return fail(nullptr);
        out->vt = VT_DATE;
        out->date = value;
        return true;
    }
    std::string message = "The datatype '" + type + "' is not supported.";
    return fail(message.c_str());
}

bool ReadTypedValue(xmlNodePtr node, VARIANT* out, std::u16string& error) {
    switch (node->type) {
        case XML_ELEMENT_NODE: {
            NodeText text(node);
            std::string type;
            if (!FindDataType(node, type))
                return SetString(text.data(), text.size(), out) || (error = u"Out of memory.", false);
            return ConvertTypedText(type, text.str(), out, error);
        }
        case XML_ATTRIBUTE_NODE:
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
        case XML_COMMENT_NODE:
        case XML_PI_NODE: {
            XmlString content(xmlNodeGetContent(node));
            return SetString(content ? reinterpret_cast<const char*>(content.get()) : "", out) ||
                   (error = u"Out of memory.", false);
        }
        default:
            out->vt = VT_NULL;  // documents, document types and the like have no value
            return true;
    }
}

}  // namespace wincompat::msxml
