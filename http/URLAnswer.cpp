#include "http/URLAnswer.h"

#include "foundation/Fail.h"
#include "foundation/ObjectStream.h"
#include "http/HtmlEscape.h"
#include "http/URLRequest.h"

namespace {

const char CRLF[] = "\r\n";

void append_field(Str& text, const char* name, const Str& value) {
    if (value.empty()) return;
    text += name;
    text += value;
    text += CRLF;
}

void append_date(Str& text, const char* name, const GMTdate& value) {
    if (!value.specified()) return;
    text += name;
    text += value.to_Str();
    text += CRLF;
}

// Reads one field; false once the stream has failed, so that nothing after a
// short read is taken for a length.
// A status line starts with "HTTP/"; anything else is an HTTP/0.9 server
// sending the document at once. "HTTP/0.9" itself announces no header lines.
bool is_status_line_version(const Str& version) {
    if (version.length() <= 5 || version == "HTTP/0.9") return false;
    Str prefix = version.substr(0, 5);
    prefix.to_lower();
    return prefix == "http/";
}

template <class T>
bool read_field(ObjectSource& s, T& value) {
    s >> value;
    return !s.error();
}

} // namespace

URLAnswer& URLAnswer::from_Str(const Str& text) {
    // An answer may be parsed more than once; nothing of an earlier head stays.
    Str kept_body = body;
    *this = URLAnswer();
    body = kept_body;

    fault = byte_fault(text, false);
    Str rest = text;
    Str line = rest.cut_line();
    version = line.cut_word();
    errorcode = static_cast<int32_t>(line.cut_word().to_ulong());
    reason = line;
    if (!is_status_line_version(version)) return *this;

    for (Str header = rest.cut_line(); !header.empty(); header = rest.cut_line())
        parse_header_line(header);
    invalid = 0;
    return *this;
}

void URLAnswer::parse_header_line(Str& line) {
    Str name = line.cut_word();
    if (name.length() < 2 || name[name.length() - 1] != ':') return;
    Str key = name.substr(0, name.length() - 1);
    key.to_lower();
    Str& value = line; // starts with the separator after the name

    if (key == "content-encoding") {
        content_encoding = value.cut_word();
    } else if (key == "content-length") {
        HeadFault length = take_content_length(value, length_seen_, content_length);
        if (fault == HeadFault::NONE) fault = length;
    } else if (key == "content-type") {
        content_type = value.cut_word();
    } else if (key == "location") {
        location = value.cut_word();
    } else if (key == "server") {
        server = value.cut_word();
    } else if (key == "allow") {
        allow = value;
    } else if (key == "date") {
        date.from_Str(value);
    } else if (key == "expires") {
        expires.from_Str(value);
    } else if (key == "last-modified") {
        last_modified.from_Str(value);
    } else {
        unknown += name;
        unknown += value;
        unknown += CRLF;
    }
}

Str URLAnswer::to_Str() const {
    // Room for all of it at once: the fields and the lines of known length.
    uint32_t room = 256 + reason.length() + location.length() + server.length() + allow.length() +
                    content_encoding.length() + content_type.length() + unknown.length();
    Str text(room);
    text.set_length(0);
    text += "HTTP/1.0 ";
    text += Str::from_long(errorcode);
    text += ' ';
    text += reason;
    text += CRLF;
    append_field(text, "Location: ", location);
    append_field(text, "Server: ", server);
    append_field(text, "Allow: ", allow);
    append_field(text, "Content-Encoding: ", content_encoding);
    if (content_length != 0) text += "Content-Length: " + Str::from_ulong(content_length) + CRLF;
    append_field(text, "Content-Type: ", content_type);
    append_date(text, "Date: ", date);
    append_date(text, "Expires: ", expires);
    append_date(text, "Last-Modified: ", last_modified);
    text += unknown;
    text += CRLF;
    return text;
}

// The reason comes from the client's request, so it is escaped in the page.
void URLAnswer::make_error(const URLRequest& request) {
    invalid = 0;
    errorcode = request.errorcode;
    reason = request.errormsg;
    content_type = "text/html";
    body = "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML 3.0//EN\" \"html.dtd\">\n";
    body += "<HTML>\n";
    body += "<HEAD><TITLE>Request Failed</TITLE></HEAD>\n";
    body += "<BODY><H1>Errorcode " + Str::from_long(errorcode) + "</H1>\n";
    body += "      <H1>Reason: " + html_escape(reason) + "</H1>\n";
    body += "</BODY></HTML>\n";
    content_length = body.length();
}

ObjectDrain& operator<<(ObjectDrain& d, const URLAnswer& a) {
    int status = 0;
    d.open(status);
    if (status == 0) {
        d << ">URLAnswer:\n";
        d << ">magic = " << URLAnswer::MAGIC << "\n";
        d << ">version = " << a.version << "\n";
        d << ">errorcode = " << a.errorcode << "\n";
        d << ">reason = " << a.reason << "\n";
        d << ">location = " << a.location << "\n";
        d << ">server = " << a.server << "\n";
        d << ">allow = " << a.allow << "\n";
        d << ">content_encoding = " << a.content_encoding << "\n";
        d << ">content_length = " << a.content_length << "\n";
        d << ">content_type = " << a.content_type << "\n";
        d << ">date = " << a.date << "\n";
        d << ">expires = " << a.expires << "\n";
        d << ">last_modified = " << a.last_modified << "\n";
        d << ">unknown = " << a.unknown << "\n";
        if (d.form() == ObjectDrain::TEXT) d << ">body.length() = " << a.body.length() << "\n";
        if (d.error()) fail_chain("ObjectDrain << URLAnswer ", "unable to write instance");
    }
    d.close();
    return d;
}

ObjectSource& operator>>(ObjectSource& s, URLAnswer& a) {
    a.invalid = 1;
    int status = 0;
    s.open(status);
    if (status == 0) {
        uint32_t magic = 0;
        if (read_field(s, magic) && magic != URLAnswer::MAGIC) {
            fail_new("ObjectSource >> URLAnswer ", "got invalid data from stream");
            s.set_error();
        }
        bool complete = !s.error() && read_field(s, a.version) && read_field(s, a.errorcode) &&
                        read_field(s, a.reason) && read_field(s, a.location) &&
                        read_field(s, a.server) && read_field(s, a.allow) &&
                        read_field(s, a.content_encoding) && read_field(s, a.content_length) &&
                        read_field(s, a.content_type) && read_field(s, a.date) &&
                        read_field(s, a.expires) && read_field(s, a.last_modified) &&
                        read_field(s, a.unknown);
        if (complete)
            a.invalid = 0;
        else
            fail_chain("ObjectSource >> URLAnswer ", "unable to read instance");
    }
    s.close();
    return s;
}
