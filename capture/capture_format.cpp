#include "capture/capture_format.h"

#include <cctype>
#include <cstdio>

namespace tessline {

namespace {

constexpr const char* kMagic = "solwatch-capture ";
constexpr std::int64_t kMaxSeconds = 100000000;  // over three years: no capture is longer

const char* kindName(CaptureEvent::Kind kind) {
    switch (kind) {
    case CaptureEvent::Kind::open: return "open";
    case CaptureEvent::Kind::rx: return "rx";
    case CaptureEvent::Kind::tx: return "tx";
    case CaptureEvent::Kind::lost: return "lost";
    }
    return "?";
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool allDigits(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

// "12.345678": whole seconds and up to six decimals.
std::int64_t parseTime(const std::string& text, int line) {
    const std::size_t dot = text.find('.');
    const std::string whole = text.substr(0, dot);
    std::string fraction = dot == std::string::npos ? "0" : text.substr(dot + 1);
    if (!allDigits(whole) || !allDigits(fraction) || fraction.size() > 6 || whole.size() > 9)
        throw CaptureError(line, "\"" + text + "\" is not a time in seconds (such as 1.250000)");
    const std::int64_t seconds = std::stoll(whole);
    if (seconds > kMaxSeconds) throw CaptureError(line, "time " + text + " is out of range");
    fraction.resize(6, '0');
    return seconds * 1000000 + std::stoll(fraction);
}

CaptureEvent::Kind parseKind(const std::string& word, int line) {
    for (auto kind : {CaptureEvent::Kind::open, CaptureEvent::Kind::rx, CaptureEvent::Kind::tx,
                      CaptureEvent::Kind::lost})
        if (word == kindName(kind)) return kind;
    throw CaptureError(line, "unknown kind \"" + word + "\" (open, rx, tx or lost)");
}

void checkHeader(const std::string& header) {
    if (header.rfind(kMagic, 0) != 0)
        throw CaptureError(1, "not a solwatch capture (the first line does not start with \"solwatch-capture\")");
    std::size_t end = std::string(kMagic).size();
    std::size_t digits = end;
    while (digits < header.size() && std::isdigit(static_cast<unsigned char>(header[digits]))) ++digits;
    const std::string version = header.substr(end, digits - end);
    if (version != std::to_string(kCaptureFormatVersion))
        throw CaptureError(1, "format version \"" + version + "\" is not supported (this program reads " +
                                  std::to_string(kCaptureFormatVersion) + ")");
}

CaptureEvent parseEvent(const std::string& text, int line) {
    const std::size_t timeEnd = text.find(' ');
    if (timeEnd == std::string::npos) throw CaptureError(line, "a time and a kind are needed");
    const std::size_t kindEnd = text.find(' ', timeEnd + 1);
    CaptureEvent event;
    event.micros = parseTime(text.substr(0, timeEnd), line);
    event.kind = parseKind(text.substr(timeEnd + 1, kindEnd - timeEnd - 1), line);
    const std::string data = kindEnd == std::string::npos ? std::string() : text.substr(kindEnd + 1);
    if (event.kind == CaptureEvent::Kind::open && !data.empty())
        throw CaptureError(line, "\"open\" takes nothing after it");
    try {
        event.bytes = unescapeBytes(data);
    } catch (const std::invalid_argument& e) {
        throw CaptureError(line, e.what());
    }
    const bool traffic = event.kind == CaptureEvent::Kind::rx || event.kind == CaptureEvent::Kind::tx;
    if (traffic && event.bytes.empty()) throw CaptureError(line, "\"" + std::string(kindName(event.kind)) + "\" without bytes");
    return event;
}

}  // namespace

std::string escapeBytes(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else if (c == '\\') out += "\\\\";
        else if (byte < 0x20 || byte >= 0x7F) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            out += hex;
        } else out += c;
    }
    return out;
}

std::string unescapeBytes(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte >= 0x7F) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02X", byte);
            throw std::invalid_argument(std::string("byte 0x") + hex + " must be escaped");
        }
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        ++i;
        if (next == 'r') out += '\r';
        else if (next == 'n') out += '\n';
        else if (next == 't') out += '\t';
        else if (next == '\\') out += '\\';
        else if (next == 'x' && i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 && hexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
            i += 2;
        } else {
            throw std::invalid_argument("broken escape at column " + std::to_string(i) +
                                        " (\\r, \\n, \\t, \\\\ or \\xHH)");
        }
    }
    return out;
}

std::string captureHeaderLine(const std::string& solwatchVersion, const std::string& lineSettings) {
    return kMagic + std::to_string(kCaptureFormatVersion) + " (solwatch " + solwatchVersion + ", " + lineSettings +
           ")\n";
}

std::string captureEventLine(const CaptureEvent& event) {
    char stamp[40];
    std::snprintf(stamp, sizeof stamp, "%lld.%06lld ", static_cast<long long>(event.micros / 1000000),
                  static_cast<long long>(event.micros % 1000000));
    std::string line = stamp;
    line += kindName(event.kind);
    if (!event.bytes.empty()) line += ' ' + escapeBytes(event.bytes);
    return line + '\n';
}

Capture readCapture(std::istream& in) {
    Capture capture;
    std::string text;
    if (!std::getline(in, text)) throw CaptureError(1, "empty file: a capture starts with \"solwatch-capture\"");
    if (!text.empty() && text.back() == '\r') text.pop_back();
    checkHeader(text);
    capture.header = text;
    bool opened = false;
    for (int line = 2; std::getline(in, text); ++line) {
        if (!text.empty() && text.back() == '\r') text.pop_back();
        if (text.empty() || text[0] == '#') continue;
        CaptureEvent event = parseEvent(text, line);
        if (!opened && event.kind != CaptureEvent::Kind::open)
            throw CaptureError(line, "traffic before the first \"open\"");
        if (!capture.events.empty() && event.micros < capture.events.back().micros)
            throw CaptureError(line, "time goes backwards");
        opened = true;
        capture.events.push_back(std::move(event));
    }
    return capture;
}

}  // namespace tessline
