// AdminPage: an admin page under construction, in one interface language.
// Pages add markup as it stands and every text that comes from a request,
// a URL, a file, an option value or a failure report through escaped(), so
// that it shows as text and never adds markup.
//
// The frame (answer head, "<HTML>\n<BODY>\n", footer, end) is added by the
// dispatch (AdminDispatch.h) according to the page's form.
#pragma once

#include "foundation/Str.h"

#include <cstdint>

// Shown under the product name on the menu page.
constexpr const char RELEASE_TEXT[] = "1.0";
// The maker's site, linked from the menu page.
constexpr const char MAKER_URL[] = "http://www.corvane.example/";

constexpr const char PAGE_HEAD_START[] = "HTTP/1.0 200 OK\r\nContent-Type: ";
constexpr const char PAGE_HEAD_END[] = "\r\n\r\n";
constexpr const char PAGE_BODY_START[] = "<HTML>\n<BODY>\n";
constexpr const char PAGE_BODY_END[] = "</BODY></HTML>\r\n";
constexpr const char HTML_TYPE[] = "text/html";
constexpr const char PLAIN_TYPE[] = "text/plain";
constexpr const char CA_CERTIFICATE_TYPE[] = "application/x-x509-ca-cert";

class AdminPage {
public:
    enum Form : int32_t {
        FRAMED = 0, // HTML with the body start, the footer and the end added
        RAW = 1,    // the content is the whole body
        SEARCH = 2, // no page: the worker searches the cache files itself
    };

    explicit AdminPage(uint32_t language) : language_(language) {}

    uint32_t language() const { return language_; }
    const char* text(uint32_t message) const;

    // Markup and texts of the table, as they stand.
    AdminPage& operator<<(const char* markup);
    AdminPage& operator<<(const Str& markup);
    AdminPage& operator<<(uint32_t number);
    AdminPage& operator<<(int32_t number);
    // A text from outside, HTML-escaped.
    AdminPage& escaped(const Str& text);

    // "<CENTER><H1>Quaylo</H1><H1>" + title + "</H1><HR></CENTER>\n"
    void header(const char* title);
    // An anchor to target showing text; both are escaped.
    void link(const Str& target, const Str& text);
    // An anchor to the admin host's path showing a table text.
    void admin_link(const Str& path, const char* text);
    // A submit or reset button with a table text as label.
    void submit_button(const char* label);
    void reset_button(const char* label);
    // A form sending GET to the admin host's path; closed with "</FORM>\n".
    void form_start(const Str& path);
    // "<input type=hidden name=\"" + name + "\" value=\"" + value + "\">"
    void hidden(const char* name, const Str& value);
    // The admin token as a hidden input, for forms that change state; nothing
    // without a token.
    void token_input();
    void set_token(const Str& token) { token_ = token; }
    // The client the page is made for: pages list only what it may see.
    void set_viewer(uint32_t client) { viewer_ = client; }
    uint32_t viewer() const { return viewer_; }

    Str& content() { return content_; }
    const Str& content() const { return content_; }
    Form form() const { return form_; }
    void set_form(Form form) { form_ = form; }
    const char* content_type() const { return content_type_; }
    void set_content_type(const char* type) { content_type_ = type; }

private:
    uint32_t language_;
    Str content_;
    Form form_ = FRAMED;
    const char* content_type_ = HTML_TYPE;
    Str token_;
    uint32_t viewer_ = 0;
};

// The opening tag of an anchor: <A HREF="target">, target escaped.
Str anchor(const Str& target);
// "<HR><CENTER><SMALL><EM>" + the maker's notice + "</EM><SMALL></CENTER>"
Str page_footer(uint32_t language);
// The query coding of the admin pages' own links: letters, digits, "_",
// ",", ".", "-" and "/" stay, a blank becomes "+", every other byte "%"
// and two lower-case hex digits.
Str query_encode(const Str& text);
