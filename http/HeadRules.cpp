#include "http/HeadRules.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

namespace {

const char* const HOP_BY_HOP[] = {"connection", "proxy-connection", "keep-alive",
                                  "te",         "trailer",          "upgrade"};

const char* const FAULT_TEXTS[HEAD_FAULT_COUNT] = {
    "",
    "control character in the request line",
    "control character in a header line",
    "character not allowed in the URL",
    "user name or password in the URL",
    "port not from 1 to 65535",
    "invalid Content-Length",
    "conflicting Content-Length headers",
    "Transfer-Encoding in a request",
    "request line too long",
    "request head too large",
    "request loops through this proxy",
};

Str trimmed(const Str& text) {
    uint32_t from = 0, to = text.length();
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (from < to && blank(text[from])) from++;
    while (to > from && blank(text[to - 1])) to--;
    return text.substr(from, to);
}

// One line of a head, read in place: every head passes here several times
// per request, so nothing is copied until a value is wanted.
struct HeaderLine {
    const Str& lines;
    uint32_t start, end; // the line with its line end
    uint32_t name_end;   // the name is start..name_end, without the colon
    uint32_t value_start;

    // Whether the name is lower_name (in lower case), whatever its case.
    bool is(const char* lower_name, uint32_t length) const {
        if (name_end - start != length) return false;
        for (uint32_t i = 0; i < length; i++)
            if (Str::lower(static_cast<unsigned char>(lines[start + i])) !=
                static_cast<unsigned char>(lower_name[i]))
                return false;
        return true;
    }
    bool is(const char* lower_name) const { return is(lower_name, uint32_t(std::strlen(lower_name))); }
    bool is(const Str& lower_name) const { return is(lower_name.data(), lower_name.length()); }
    // Without the blanks around it.
    Str value() const { return trimmed(lines.substr(value_start, end)); }
};

template <class Visit>
void each_line(const Str& lines, Visit visit) {
    for (uint32_t start = 0; start < lines.length();) {
        int32_t lf = lines.find('\n', start);
        uint32_t end = lf < 0 ? lines.length() : uint32_t(lf) + 1;
        // The name ends at its colon, which a value may follow without a blank.
        uint32_t word = start;
        while (word < end && lines[word] != ':' && static_cast<unsigned char>(lines[word]) > 32)
            word++;
        uint32_t value = word < end && lines[word] == ':' ? word + 1 : word;
        visit(HeaderLine{lines, start, end, word, value});
        start = end;
    }
}

// The comma-separated elements of a value, without blanks; empty ones skipped.
template <class Visit>
void each_element(const Str& value, Visit visit) {
    for (uint32_t start = 0; start <= value.length();) {
        int32_t comma = value.find(',', start);
        uint32_t end = comma < 0 ? value.length() : uint32_t(comma);
        Str element = trimmed(value.substr(start, end));
        if (!element.empty()) visit(element);
        start = end + 1;
    }
}

} // namespace

int32_t fault_status(HeadFault fault) {
    switch (fault) {
    case HeadFault::REQUEST_LINE_TOO_LONG: return 414;
    case HeadFault::HEAD_TOO_LARGE: return 431;
    case HeadFault::LOOP: return 508;
    case HeadFault::TRANSFER_ENCODING: return 411; // a body with a Content-Length would be passed on
    default: return 400;
    }
}

const char* status_phrase(int32_t status) {
    switch (status) {
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 411: return "Length Required";
    case 414: return "URI Too Long";
    case 431: return "Request Header Fields Too Large";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 508: return "Loop Detected";
    default: return "Not Implemented";
    }
}

const char* fault_text(HeadFault fault) {
    uint32_t index = uint32_t(fault);
    return index < HEAD_FAULT_COUNT ? FAULT_TEXTS[index] : "";
}

HeadFault byte_fault(const Str& head, bool request) {
    bool request_line = request;
    for (uint32_t i = 0; i < head.length(); i++) {
        unsigned char c = static_cast<unsigned char>(head[i]);
        if (c == '\n') {
            request_line = false;
            continue;
        }
        bool line_end = c == '\r' && i + 1 < head.length() && head[i + 1] == '\n';
        bool tab = c == '\t' && !request_line;
        if ((c < 32 && !line_end && !tab) || c == 127)
            return request_line ? HeadFault::CONTROL_IN_REQUEST_LINE : HeadFault::CONTROL_IN_HEADER;
        if (request_line && (c > 127 || c == '"' || c == '<' || c == '>'))
            return HeadFault::TARGET_CHARACTER;
    }
    return HeadFault::NONE;
}

bool parse_decimal(const Str& text, uint32_t max, uint32_t& value) {
    if (text.empty()) return false;
    uint64_t number = 0;
    for (uint32_t i = 0; i < text.length(); i++) {
        if (text[i] < '0' || text[i] > '9') return false;
        number = number * 10 + uint32_t(text[i] - '0');
        if (number > max) return false;
    }
    value = uint32_t(number);
    return true;
}

HeadFault take_content_length(const Str& value, bool& seen, uint32_t& length) {
    uint32_t parsed = 0;
    if (!parse_decimal(trimmed(value), UINT32_MAX, parsed)) return HeadFault::CONTENT_LENGTH;
    if (seen && parsed != length) return HeadFault::CONFLICTING_LENGTHS;
    seen = true;
    length = parsed;
    return HeadFault::NONE;
}

Str without_hop_by_hop(const Str& lines, bool request) {
    std::vector<Str> named;
    each_line(lines, [&](const HeaderLine& line) {
        if (line.is("connection"))
            each_element(line.value(), [&](Str token) {
                token.to_lower();
                named.push_back(token);
            });
    });
    Str kept;
    each_line(lines, [&](const HeaderLine& line) {
        auto is = [&](const auto& name) { return line.is(name); };
        bool hop = std::any_of(std::begin(HOP_BY_HOP), std::end(HOP_BY_HOP),
                               [&](const char* name) { return is(name); }) ||
                   (request && is("proxy-authorization")) ||
                   // An answer's body is relayed as it comes, in its coding.
                   ((request || !is("transfer-encoding")) &&
                    std::any_of(named.begin(), named.end(), is));
        if (!hop) kept.append(lines.data() + line.start, line.end - line.start);
    });
    return kept;
}

bool via_names(const Str& lines, const Str& pseudonym) {
    Str wanted = pseudonym;
    wanted.to_lower();
    bool found = false;
    each_line(lines, [&](const HeaderLine& line) {
        if (line.is("via"))
            each_element(line.value(), [&](Str element) {
                element.cut_word(); // the protocol
                Str by = element.cut_word();
                by.to_lower();
                if (by == wanted) found = true;
            });
    });
    return found;
}

Str absolute_request_head(const Str& head, const Str& origin) {
    uint32_t first_blank = 0;
    while (first_blank < head.length() && head[first_blank] != ' ') first_blank++;
    if (first_blank + 1 >= head.length() || head[first_blank + 1] != '/') return Str();
    return head.substr(0, first_blank + 1) + origin + head.substr(first_blank + 1, head.length());
}

Str with_via(const Str& lines, const Str& pseudonym) {
    Str kept, passed;
    each_line(lines, [&](const HeaderLine& line) {
        if (!line.is("via"))
            kept.append(lines.data() + line.start, line.end - line.start);
        else if (Str value = line.value(); !value.empty())
            passed += value + ", ";
    });
    kept += "Via: " + passed + "1.0 " + pseudonym + "\r\n";
    return kept;
}

bool has_header(const Str& lines, const char* name) {
    bool found = false;
    each_line(lines, [&](const HeaderLine& line) { found = found || line.is(name); });
    return found;
}

std::vector<Str> header_values(const Str& lines, const char* name) {
    std::vector<Str> values;
    each_line(lines, [&](const HeaderLine& line) {
        if (line.is(name)) values.push_back(line.value());
    });
    return values;
}

Str without_header(const Str& lines, const char* name) {
    Str kept;
    each_line(lines, [&](const HeaderLine& line) {
        if (!line.is(name)) kept.append(lines.data() + line.start, line.end - line.start);
    });
    return kept;
}

bool lists_element(const Str& lines, const char* name, const char* token) {
    bool found = false;
    each_line(lines, [&](const HeaderLine& line) {
        if (found || !line.is(name)) return;
        each_element(line.value(), [&](Str element) {
            int32_t equals = element.find('=');
            Str element_name = trimmed(equals < 0 ? element : element.substr(0, uint32_t(equals)));
            element_name.to_lower();
            found = found || element_name == token;
        });
    });
    return found;
}

bool is_private_exchange(const Str& request_lines, bool authorization, const Str& answer_lines) {
    if (authorization || has_header(request_lines, "cookie")) return true;
    if (has_header(answer_lines, "set-cookie") || has_header(answer_lines, "set-cookie2"))
        return true;
    // Cautious: "private" or "no-store" anywhere in the value, however it is
    // spelt or quoted, keeps the answer to its client.
    for (Str value : header_values(answer_lines, "cache-control")) {
        value.to_lower();
        if (value.find("private") >= 0 || value.find("no-store") >= 0) return true;
    }
    return false;
}

Str without_cookies(const Str& answer_lines) {
    return without_header(without_header(answer_lines, "set-cookie"), "set-cookie2");
}
