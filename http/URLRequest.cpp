#include "http/URLRequest.h"

#include "foundation/Fail.h"
#include "http/HeadRules.h"
#include "foundation/ObjectStream.h"

namespace {

const char CRLF[] = "\r\n";
const char VANTLOW_HEAD[] = "Accept: */*\r\nPragma: Vantlow\r\n";
const char BUILT_VERSION[] = "http/1.0";
const char INVALID_HEADER[] = "invalid header-line found in request";
const char INVALID_DATE[] = "invalid date found in header-line";
const char NO_PROTOCOL[] = "no protocol specified";
constexpr int32_t DEFAULT_PORT = 80;
constexpr int32_t HTTPS_PORT = 443;

int32_t default_port(const Str& scheme) {
    return scheme == "https" ? HTTPS_PORT : DEFAULT_PORT;
}

bool supported_method(const Str& method) {
    return method == "GET" || method == "HEAD" || method == "POST";
}

// A proxy also takes CONNECT, the tunnel a browser asks for to reach an
// HTTPS site; the site loader never builds one.
bool received_method(const Str& method) {
    return supported_method(method) || method == "CONNECT";
}

Str unsupported_method(const Str& method) {
    return "unsupported method '" + method + "' used";
}

Str unsupported_protocol(const Str& scheme) {
    return "protocol '" + scheme + "' not supported";
}

// Moves a ":port" at the end of host into port.
void split_port(Str& host, int32_t& port, int32_t default_port) {
    port = default_port;
    int32_t colon = host.find(':');
    if (colon < 0) return;
    port = static_cast<int32_t>(host.substr(colon + 1, host.length()).to_ulong());
    host = host.substr(0, colon);
}

// The same for a received URL: the port must be 1..65535 in decimal.
bool split_port_strictly(Str& host, int32_t& port, int32_t default_port = DEFAULT_PORT) {
    port = default_port;
    int32_t colon = host.find(':');
    if (colon < 0) return true;
    uint32_t number = 0;
    if (!parse_decimal(host.substr(colon + 1, host.length()), 65535, number) || number == 0)
        return false;
    port = int32_t(number);
    host = host.substr(0, colon);
    return true;
}

// Does the line starting at index start in lines name the Host header?
bool is_host_line(const Str& lines, uint32_t start) {
    static const char NAME[] = "host:";
    const uint32_t n = sizeof NAME - 1;
    if (lines.length() - start < n) return false;
    for (uint32_t i = 0; i < n; i++)
        if (Str::lower(static_cast<unsigned char>(lines[start + i])) != NAME[i]) return false;
    return start + n == lines.length() || static_cast<unsigned char>(lines[start + n]) <= 32;
}

// "?" and the arguments as name=value pairs joined by "&", each element
// url-encoded; an odd element at the end stands alone. Empty without args.
Str encoded_query(const ArgList& args) {
    Str text;
    uint32_t index = 0;
    for (ArgList::Node* node = args.first(); node; node = node->next, index++) {
        text += index == 0 ? '?' : (index % 2 ? '=' : '&');
        text += url_encode(node->value);
    }
    return text;
}

} // namespace

URLRequest::URLRequest() = default;

URLRequest::URLRequest(const Str& method_, const Str& url, const Str& body_,
                       const Str& content_type_)
    : method(method_), uri(url), content_type(content_type_), body(body_), built_(true) {
    if (!supported_method(method)) {
        errormsg = unsupported_method(method);
        fail_new("URLRequest: ", errormsg);
        return;
    }
    if (method == "POST") content_length = body.length();
    if (split_url() != 0) {
        fail_new("URLRequest: ", errormsg);
        return;
    }
    version = BUILT_VERSION;
    unknown = VANTLOW_HEAD;
    errorcode = 200;
    invalid = 0;
}

URLRequest& URLRequest::from_Str(const Str& text) {
    // A record may be parsed more than once; nothing of an earlier head stays.
    Str kept_body = body;
    *this = URLRequest();
    body = kept_body;

    HeadFault bytes = byte_fault(text, true);
    if (bytes != HeadFault::NONE) {
        refuse(bytes);
        return *this;
    }
    Str rest = text;
    Str line = rest.cut_line();
    method = line.cut_word();
    if (!received_method(method)) {
        errormsg = unsupported_method(method);
        return *this;
    }
    uri = line.cut_word();
    if ((method == "CONNECT" ? split_authority() : split_url()) != 0) return *this;

    // HTTP/0.9 requests have no header lines; anything after the request
    // line is ignored.
    version = line.cut_word();
    // A fourth word means a blank inside the URL.
    if (!line.cut_word().empty()) {
        refuse(HeadFault::TARGET_CHARACTER);
        return *this;
    }
    if (!version.empty() && version != "HTTP/0.9") {
        for (Str header = rest.cut_line(); !header.empty(); header = rest.cut_line())
            if (!parse_header_line(header)) return *this;
    }
    invalid = 0;
    errorcode = 200;
    return *this;
}

// line holds one header line; on return it has lost the name. False (with
// errormsg set) for a line that ends the parse.
bool URLRequest::parse_header_line(Str& line) {
    Str name = line.cut_word();
    if (name.length() < 2 || name[name.length() - 1] != ':') {
        errormsg = INVALID_HEADER;
        return false;
    }
    Str key = name.substr(0, name.length() - 1);
    key.to_lower();
    Str& value = line; // starts with the separator after the name

    if (key == "date") {
        if (!date.from_Str(value).specified()) {
            errormsg = INVALID_DATE;
            return false;
        }
    } else if (key == "from") {
        from = value.cut_word();
    } else if (key == "content-length") {
        HeadFault length = take_content_length(value, length_seen_, content_length);
        if (length != HeadFault::NONE) {
            refuse(length);
            return false;
        }
    } else if (key == "content-type") {
        content_type = value.cut_word();
    } else if (key == "transfer-encoding") {
        // The body is read by its Content-Length only: its end is unknown.
        refuse(HeadFault::TRANSFER_ENCODING);
        return false;
    } else if (key == "authorization") {
        authorization = value;
    } else if (key == "pragma") {
        Str word = value.cut_word();
        if (word == "no-cache") {
            no_cache = 1;
        } else if (word != "Vantlow") { // the site loader's mark is not forwarded
            unknown += name;
            unknown += ' ';
            unknown += word;
            unknown += value;
            unknown += CRLF;
        }
    } else if (key == "cache-control") {
        // Passed on as it is; a client's no-cache asks for a fresh copy.
        Str header = name + value + CRLF;
        if (lists_element(header, "cache-control", "no-cache")) no_cache = 1;
        unknown += header;
    } else if (key == "if-modified-since") {
        // Some browsers add "; length=..." after the date.
        int32_t semicolon = value.find(';');
        Str date_text = semicolon < 0 ? value : value.substr(0, semicolon);
        if (!if_modified_since.from_Str(date_text).specified()) {
            errormsg = INVALID_DATE;
            return false;
        }
    } else {
        unknown += name;
        unknown += value;
        unknown += CRLF;
    }
    return true;
}

int URLRequest::split_url() {
    return built_ ? split_built_url() : split_received_url();
}

// The query is split off before the host is separated, so a "?" directly
// after the host works.
int URLRequest::split_received_url() {
    query = Str();
    args.clear();
    int32_t colon = uri.find(':');
    if (colon < 0) {
        errormsg = NO_PROTOCOL;
        return -1;
    }
    scheme = uri.substr(0, colon);
    scheme.to_lower();
    if (scheme != "http" && scheme != "https") {
        errormsg = unsupported_protocol(scheme);
        return -1;
    }
    Str rest = uri.substr(colon + 1, uri.length());
    if (!rest.begins_with("//")) {
        errormsg = unsupported_protocol(scheme);
        return -1;
    }
    path = rest.substr(2, rest.length());
    split_query();
    int32_t slash = path.find('/');
    if (slash < 0) {
        host = path;
        path = "/";
    } else {
        host = path.substr(0, slash);
        path = path.substr(slash, path.length());
    }
    return split_received_host(false);
}

// `host` as received: no user name (it only hides where the request goes),
// a port 1..65535 when one is given (or required).
int URLRequest::split_received_host(bool port_required) {
    if (host.find('@') >= 0) {
        refuse(HeadFault::USERINFO);
        return -1;
    }
    if ((port_required && host.find(':') < 0) || !split_port_strictly(host, port, default_port(scheme)) ||
        (port_required && host.empty())) {
        refuse(HeadFault::PORT);
        return -1;
    }
    return 0;
}

// "host:port" and nothing else: the port is required, as a tunnel has no
// default one.
int URLRequest::split_authority() {
    query = Str();
    args.clear();
    path = Str();
    host = uri;
    if (host.empty() || host.find('/') >= 0 || host.find('?') >= 0) {
        errormsg = "CONNECT needs host:port";
        return -1;
    }
    return split_received_host(true);
}

// The host ends at the first "/" or "?"; the query text is not kept.
int URLRequest::split_built_url() {
    query = Str();
    args.clear();
    int32_t colon = uri.find(':');
    if (colon < 0) {
        errormsg = NO_PROTOCOL;
        return -1;
    }
    scheme = uri.substr(0, colon);
    if (scheme != "http" && scheme != "https") {
        errormsg = unsupported_protocol(scheme);
        return -1;
    }
    Str rest = uri.substr(colon + 1, uri.length());
    if (!rest.begins_with("//")) {
        errormsg = unsupported_protocol(scheme);
        return -1;
    }
    rest = rest.substr(2, rest.length());
    uint32_t end = 0;
    while (end < rest.length() && rest[end] != '/' && rest[end] != '?') end++;
    host = rest.substr(0, end);
    if (end == rest.length()) {
        path = "/";
    } else {
        path = "/" + rest.substr(rest[end] == '/' ? end + 1 : end, rest.length());
        split_query();
        query = Str();
    }
    split_port(host, port, default_port(scheme));
    return 0;
}

void URLRequest::split_query() {
    query = Str();
    args.clear();
    int32_t mark = path.find('?');
    if (mark < 0) return;
    query = path.substr(mark + 1, path.length());
    path = path.substr(0, mark);

    Str rest = query;
    while (!rest.empty()) {
        int32_t equals = rest.find('=');
        if (equals < 0) {
            args.append(url_decode(rest));
            break;
        }
        Str name = rest.substr(0, equals);
        int32_t ampersand = rest.find('&', equals + 1);
        Str value;
        if (ampersand < 0) {
            value = rest.substr(equals + 1, rest.length());
            rest = Str();
        } else {
            value = rest.substr(equals + 1, ampersand);
            rest = rest.substr(ampersand + 1, rest.length());
        }
        args.append(url_decode(name));
        args.append(url_decode(value));
    }
}

void URLRequest::refuse(HeadFault why) {
    fault = why;
    errorcode = fault_status(why);
    errormsg = fault_text(why);
    invalid = 1;
}

Str URLRequest::query_suffix() const {
    return query.empty() ? Str() : "?" + query;
}

bool URLRequest::has_host_line() const {
    uint32_t start = 0;
    while (start < unknown.length()) {
        if (is_host_line(unknown, start)) return true;
        int32_t line_feed = unknown.find('\n', start);
        if (line_feed < 0) break;
        start = static_cast<uint32_t>(line_feed) + 1;
    }
    return false;
}

Str URLRequest::origin_target() const {
    return path + (built_ ? encoded_query(args) : query_suffix());
}

Str URLRequest::to_server_Str() const {
    return write(origin_target());
}

Str URLRequest::to_proxy_Str() const {
    return write(uri);
}

// The received Date header is never written out, and the version is always
// HTTP/1.0, whatever the client sent.
Str URLRequest::write(const Str& target) const {
    const bool post = method == "POST";
    Str text = method;
    text += ' ';
    text += target;
    text += " HTTP/1.0\r\n";
    if (!has_host_line()) {
        text += "Host: ";
        text += host;
        if (port != default_port(scheme)) {
            text += ':';
            text += Str::from_long(port);
        }
        text += CRLF;
    }
    if (if_modified_since.specified()) text += "If-Modified-Since: " + if_modified_since.to_Str() + CRLF;
    if (!from.empty()) text += "From: " + from + CRLF;
    if (!content_type.empty()) text += "Content-Type: " + content_type + CRLF;
    if (!authorization.empty() && !built_) text += "Authorization: " + authorization + CRLF;
    if (no_cache) text += "Pragma: no-cache\r\n";
    // The length the client announced, not the length of what arrived.
    if (post) text += "Content-Length: " + Str::from_ulong(content_length) + CRLF;
    text += unknown;
    text += CRLF;
    if (post) {
        text += body;
        text += CRLF;
    }
    return text;
}

ObjectDrain& operator<<(ObjectDrain& d, const URLRequest& r) {
    int status = 0;
    d.open(status);
    if (status == 0) {
        d << ">URLRequest:\n";
        d << ">method = " << r.method << "\n";
        d << ">uri = " << r.uri << "\n";
        d << ">host = " << r.host << "\n";
        d << ">port = " << r.port << "\n";
        d << ">path = " << r.path << "\n";
        d << ">query = " << r.query << "\n";
        d << ">args = " << "\n" << r.args; // the list block ends its own line
        d << ">version = " << r.version << "\n";
        d << ">unknown = " << r.unknown << "\n";
        d << ">date = " << r.date << "\n";
        d << ">from = " << r.from << "\n";
        d << ">if_modified_since = " << r.if_modified_since << "\n";
        d << ">content_type = " << r.content_type << "\n";
        d << ">authorization = " << r.authorization << "\n";
        d << ">content_length = " << r.content_length << "\n";
        d << ">no_cache = " << (r.no_cache != 0) << "\n";
        d << ">errorcode = " << r.errorcode << "\n";
        d << ">errormsg = " << r.errormsg << "\n";
        d << ">body.length = " << r.body.length() << "\n";
        if (d.error()) fail_chain("ObjectDrain << URLRequest ", "unable to write instance");
    }
    d.close();
    return d;
}
