// Statement log format: JSON Lines (one JSON object per line, UTF-8), one
// record per command that the connection ran, in the order they ran, written
// with one append so that connections sharing a file never interleave:
//
//   {"type":"text","text":"UPDATE [T] SET [A] = ? WHERE (([K] = ?));",
//    "parameters":[{"name":"","type":"adInteger","direction":"input",
//                   "vt":"VT_INT","size":0,"value":7}, ...],
//    "recordsAffected":1,"result":"ok"}
//
// - "type": the command type: "text", "storedproc", "table" or "unknown".
// - "text": the command text exactly as the program gave it (line feeds and
//   all, JSON-escaped), before any translation for the database.
// - "parameters": in binding order. "type" is the ADO data type name,
//   "direction" one of "input", "output", "inputoutput", "returnvalue", "vt"
//   the VARIANT type of the value the program gave, "size" the parameter's
//   Size property. "value" is what the
//   database received: null, a number, a string (texts, and dates as
//   "YYYY-MM-DD HH:MM:SS.mmm", GUIDs in canonical braced upper-case form) or,
//   for binary values, a string "X'0A0B...'" (upper-case hex). For output
//   parameters "value" is what the parameter received after the call.
// - "recordsAffected": the rows counted as RecordsAffected (-1 when none were
//   counted: a query, or SET NOCOUNT ON).
// - "result": "ok", or the HRESULT in hex and the error description, e.g.
//   "0x80040E14 no such table: X".
#include "ado/StatementLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace wincompat::ado {
namespace {

void AppendJsonString(std::string& out, const std::string& text) {
    out += '"';
    for (unsigned char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char buffer[8];
                    snprintf(buffer, sizeof buffer, "\\u%04X", c);
                    out += buffer;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    out += '"';
}

void AppendValue(std::string& out, const DbValue& value) {
    switch (value.kind) {
        case DbValue::Kind::Null: out += "null"; break;
        case DbValue::Kind::Integer: out += std::to_string(value.integer); break;
        case DbValue::Kind::Real: {
            if (!std::isfinite(value.real)) {
                out += "null";
                break;
            }
            char buffer[40];
            snprintf(buffer, sizeof buffer, "%.17g", value.real);
            out += buffer;
            break;
        }
        case DbValue::Kind::Text: AppendJsonString(out, value.text); break;
        case DbValue::Kind::Blob: {
            static const char kHex[] = "0123456789ABCDEF";
            std::string hex = "X'";
            for (uint8_t b : value.blob) {
                hex += kHex[b >> 4];
                hex += kHex[b & 15];
            }
            hex += "'";
            AppendJsonString(out, hex);
            break;
        }
    }
}

}  // namespace

std::string FormatLogRecord(const LoggedCommand& command) {
    std::string out = "{\"type\":";
    AppendJsonString(out, command.commandType);
    out += ",\"text\":";
    AppendJsonString(out, command.text);
    out += ",\"parameters\":[";
    for (size_t i = 0; i < command.parameters.size(); ++i) {
        const LoggedParameter& p = command.parameters[i];
        if (i) out += ',';
        out += "{\"name\":";
        AppendJsonString(out, p.name);
        out += ",\"type\":";
        AppendJsonString(out, p.type);
        out += ",\"direction\":";
        AppendJsonString(out, p.direction);
        out += ",\"vt\":";
        AppendJsonString(out, p.vt);
        out += ",\"size\":" + std::to_string(p.size);
        out += ",\"value\":";
        AppendValue(out, p.value);
        out += '}';
    }
    out += "],\"recordsAffected\":" + std::to_string(command.recordsAffected) + ",\"result\":";
    AppendJsonString(out, command.result);
    out += "}\n";
    return out;
}

StatementLog::StatementLog(const std::string& path) : path_(path) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd_ < 0)
        throw DbError(DbErrorKind::Open, "cannot open the statement log \"" + path + "\": " + std::strerror(errno));
}

StatementLog::~StatementLog() {
    if (fd_ >= 0) ::close(fd_);
}

void StatementLog::Write(const LoggedCommand& command) {
    // One write per record: O_APPEND keeps records whole when several
    // connections log to the same file.
    std::string record = FormatLogRecord(command);
    const char* data = record.data();
    size_t left = record.size();
    while (left > 0) {
        ssize_t written = ::write(fd_, data, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            return;  // a full disk must not fail the command that was logged
        }
        data += written;
        left -= static_cast<size_t>(written);
    }
}

}  // namespace wincompat::ado
