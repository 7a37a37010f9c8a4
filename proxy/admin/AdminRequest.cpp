#include "proxy/admin/AdminRequest.h"

#include "foundation/Fail.h"
#include "http/HtmlEscape.h"
#include "proxy/server/RelaisOptions.h"

#include <algorithm>

namespace {

constexpr uint32_t LANGUAGES = 3;

// The admin pages' messages used so far, by message number; each row holds
// english, deutsch, dutch.
struct Message {
    uint32_t number;
    const char* text[LANGUAGES];
};

const Message MESSAGES[] = {
    {26,
     {"Quaylo - the caching proxy of Corvane", "Quaylo - der Cache-Proxy von Corvane",
      "Quaylo - de cache-proxy van Corvane"}},
    {27, {"Unauthorized access:", "Unberechtigter Zugriff:", "Onbevoegde toegang:"}},
    {28,
     {"Your IP-address does not have administrative permissions",
      "Ihre IP-Adresse hat keine Administrationsrechte",
      "Uw IP-adres heeft geen beheerdersrechten"}},
    {29, {"Options were changed", "Die Optionen wurden geaendert", "De opties zijn gewijzigd"}},
    {30,
     {"See below for active settings", "Die aktiven Einstellungen sehen Sie unten",
      "Zie hieronder voor de actieve instellingen"}},
    {31,
     {"Invalid path specified: '", "Ungueltiger Pfad angegeben: '", "Ongeldig pad opgegeven: '"}},
    {32, {"Request ", "Fordern Sie ", "Vraag "}},
    {33,
     {"for a menu of things you can do with this server.",
      "an, um eine Uebersicht der Moeglichkeiten dieses Servers zu erhalten.",
      "op voor een menu met de mogelijkheden van deze server."}},
};

constexpr uint32_t MSG_NOTICE = 26;
constexpr uint32_t MSG_UNAUTHORIZED = 27;
constexpr uint32_t MSG_NOT_ADMIN = 28;
constexpr uint32_t MSG_OPTIONS_CHANGED = 29;
constexpr uint32_t MSG_SEE_BELOW = 30;
constexpr uint32_t MSG_INVALID_PATH = 31;
constexpr uint32_t MSG_REQUEST = 32;
constexpr uint32_t MSG_FOR_A_MENU = 33;

const char* const HEAD_START = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n";
const char* const HEAD_END = "\r\n\r\n";
const char* const BODY_START = "<HTML>\n<BODY>\n";

// The anchor's opening tag for a target.
Str link(const Str& target) {
    return Str("<A HREF=\"") + target + "\">";
}

} // namespace

Str admin_url(const Str& path) {
    return Str("http://") + ADMIN_HOST + path;
}

// Dispatch by exact path; pages of later releases are added here.
const AdminRequest::Route AdminRequest::ROUTES[] = {
    {"/options", &AdminRequest::options_page},
    {"/search", &AdminRequest::search_page},
};

AdminRequest::Page::Page() {
    answer.kind = AdminAnswer::PAGE;
    answer.head = HEAD_START;
    answer.body = BODY_START;
}

void AdminRequest::Page::finish(const char* footer_notice) {
    answer.head += HEAD_END;
    answer.body += "<HR><CENTER><SMALL><EM>";
    answer.body += footer_notice;
    answer.body += "</EM><SMALL></CENTER>";
    answer.body += "</BODY></HTML>\r\n";
}

AdminAnswer AdminRequest::answer(const Str& path, const ArgList& arguments, uint32_t client) {
    Page page;
    Handler handler = &AdminRequest::invalid_path_page;
    for (const Route& route : ROUTES)
        if (path == route.path) handler = route.handler;
    (this->*handler)(page, path, arguments, client);
    if (page.answer.kind == AdminAnswer::PAGE) page.finish(text(MSG_NOTICE));
    return page.answer;
}

bool AdminRequest::is_admin(uint32_t client) const {
    const std::vector<uint32_t>& admins = site_.admin_addresses;
    // An admin word that could not be resolved is 0 and matches no client.
    return client != 0 && std::find(admins.begin(), admins.end(), client) != admins.end();
}

const char* AdminRequest::text(uint32_t message) const {
    uint32_t language = site_.options.language.index();
    if (language >= LANGUAGES) language = 0;
    for (const Message& m : MESSAGES)
        if (m.number == message) return m.text[language];
    return "";
}

// "/options": with arguments an admin applies them. The option form itself
// is not served yet, so a request without arguments is an unknown page.
void AdminRequest::options_page(Page& page, const Str& path, const ArgList& arguments,
                                uint32_t client) {
    if (arguments.count() == 0) {
        invalid_path_page(page, path, arguments, client);
        return;
    }
    if (!is_admin(client)) {
        refusal(page);
        return;
    }
    apply_options(page, arguments);
}

// "/search" with arguments: the worker searches the cache files itself. The
// search form is not served yet.
void AdminRequest::search_page(Page& page, const Str& path, const ArgList& arguments,
                               uint32_t client) {
    if (arguments.count() == 0) {
        invalid_path_page(page, path, arguments, client);
        return;
    }
    page.answer = AdminAnswer();
    page.answer.kind = AdminAnswer::SEARCH;
}

// Names as they stand ("offline", not "-offline"), pairs in the order given.
void AdminRequest::apply_options(Page& page, const ArgList& arguments) {
    ArgList pairs(arguments);
    if (site_.options.set.parse(pairs, false, true) < 0) {
        Str failure = fail_take();
        page.answer.body += "<HR><H2>Invalid parameters specified:</H2>\n<P>";
        page.answer.body += html_escape(failure);
        page.answer.body += "</P><HR>\n";
        return;
    }
    page.answer.body += "<HR><H2>";
    page.answer.body += text(MSG_OPTIONS_CHANGED);
    page.answer.body += "</H2><P>";
    page.answer.body += text(MSG_SEE_BELOW);
    page.answer.body += "</P><HR>\n";
}

void AdminRequest::refusal(Page& page) {
    page.answer.body += "<HR><H2>";
    page.answer.body += text(MSG_UNAUTHORIZED);
    page.answer.body += "</H2><P>";
    page.answer.body += text(MSG_NOT_ADMIN);
    page.answer.body += "</P><HR>";
}

void AdminRequest::invalid_path_page(Page& page, const Str& path, const ArgList&, uint32_t) {
    Str root = admin_url("/");
    page.answer.body += "<HR><H2>";
    page.answer.body += text(MSG_INVALID_PATH);
    page.answer.body += html_escape(path);
    page.answer.body += "'</H2><P>";
    page.answer.body += text(MSG_REQUEST);
    page.answer.body += link(root) + root + "</A>";
    page.answer.body += text(MSG_FOR_A_MENU);
    page.answer.body += "</P><HR>\n";
}
