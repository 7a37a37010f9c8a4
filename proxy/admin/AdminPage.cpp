#include "proxy/admin/AdminPage.h"

#include "http/HtmlEscape.h"
#include "proxy/admin/AdminRequest.h"
#include "proxy/admin/AdminToken.h"
#include "proxy/language/LanguageTable.h"

const char* AdminPage::text(uint32_t number) const { return message(number, language_); }

AdminPage& AdminPage::operator<<(const char* markup) {
    content_ += markup;
    return *this;
}

AdminPage& AdminPage::operator<<(const Str& markup) {
    content_ += markup;
    return *this;
}

AdminPage& AdminPage::operator<<(uint32_t number) {
    content_ += Str::from_ulong(number);
    return *this;
}

AdminPage& AdminPage::operator<<(int32_t number) {
    content_ += Str::from_long(number);
    return *this;
}

AdminPage& AdminPage::escaped(const Str& text) {
    content_ += html_escape(text);
    return *this;
}

void AdminPage::header(const char* title) {
    content_ += "<CENTER><H1>Quaylo</H1><H1>";
    content_ += title;
    content_ += "</H1><HR></CENTER>\n";
}

void AdminPage::link(const Str& target, const Str& text) {
    content_ += anchor(target);
    escaped(text);
    content_ += "</A>";
}

void AdminPage::admin_link(const Str& path, const char* text) {
    content_ += anchor(admin_url(path));
    content_ += text;
    content_ += "</A>";
}

void AdminPage::submit_button(const char* label) {
    content_ += "<INPUT TYPE=SUBMIT VALUE=\"";
    content_ += label;
    content_ += "\">";
}

void AdminPage::reset_button(const char* label) {
    content_ += "<INPUT TYPE=RESET value=\"";
    content_ += label;
    content_ += "\">";
}

void AdminPage::form_start(const Str& path) {
    content_ += "<FORM method=get action=\"";
    content_ += html_escape(admin_url(path));
    content_ += "\">";
}

void AdminPage::hidden(const char* name, const Str& value) {
    content_ += "<input type=hidden name=\"";
    content_ += name;
    content_ += "\" value=\"";
    escaped(value);
    content_ += "\">";
}

void AdminPage::token_input() {
    if (!token_.empty()) hidden(TOKEN_ARGUMENT, token_);
}

Str anchor(const Str& target) { return "<A HREF=\"" + html_escape(target) + "\">"; }

Str page_footer(uint32_t language) {
    Str footer("<HR><CENTER><SMALL><EM>");
    footer += message(MSG_FOOTER_NOTICE, language);
    footer += "</EM><SMALL></CENTER>";
    return footer;
}

Str query_encode(const Str& text) {
    static const char HEX[] = "0123456789abcdef";
    Str encoded;
    for (uint32_t i = 0; i < text.length(); i++) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '_' || c == ',' || c == '.' || c == '-' || c == '/';
        if (c == ' ') {
            encoded += '+';
        } else if (kept) {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += HEX[c >> 4];
            encoded += HEX[c & 15];
        }
    }
    return encoded;
}
