#include "proxy/server/WorkerPages.h"

#include "http/HtmlEscape.h"
#include "proxy/language/LanguageTable.h"
#include "proxy/language/RefusalTexts.h"

static_assert(REFUSAL_REASON_COUNT == HEAD_FAULT_COUNT, "one reason text per fault");

namespace {

// The page texts are messages of the language table, in this order.
enum PageText : uint32_t {
    TITLE,
    URL_INTRO,
    NOT_CACHED,
    YOU_CAN,
    GO_ONLINE,
    THEN_RETRY,
    NOT_RECEIVED,
    COPY_EXISTS,
    GO_OFFLINE,
    THEN_RELOAD,
    DETAILS,
};

const char* text(PageText which, uint32_t language) {
    return message(uint32_t(MSG_ERROR_TITLE) + which, language);
}

// The opening tag of an anchor; target must already be escaped.
Str link(const Str& target) { return "<A HREF=\"" + target + "\">"; }

// Title and heading, common to all pages.
Str page_title(uint32_t language) {
    Str page("<HTML>\n<TITLE>");
    page += text(TITLE, language);
    page += "</TITLE>\n<BODY><H2>";
    page += text(TITLE, language);
    page += ":</H2>\n<P>";
    return page;
}

// Title, heading and the link to the requested URL.
Str page_start(const Str& uri, uint32_t language) {
    Str escaped = html_escape(uri);
    Str page = page_title(language);
    page += text(URL_INTRO, language);
    page += link(escaped);
    page += escaped;
    page += "</A>";
    return page;
}

} // namespace

Str offline_page(const Str& uri, uint32_t language) {
    Str page = page_start(uri, language);
    page += text(NOT_CACHED, language);
    page += "</P><P>";
    page += text(YOU_CAN, language);
    page += link(admin_url(GO_ONLINE_PATH));
    page += text(GO_ONLINE, language);
    page += "</A>,\n";
    page += text(THEN_RETRY, language);
    page += "</P></BODY></HTML>";
    return page;
}

Str error_page(const Str& uri, bool cached_copy, const char* details, uint32_t language) {
    Str page = page_start(uri, language);
    page += "\n";
    page += text(NOT_RECEIVED, language);
    page += "</P>\n";
    if (cached_copy) {
        page += "<P>";
        page += text(COPY_EXISTS, language);
        page += link(admin_url(GO_OFFLINE_PATH));
        page += text(GO_OFFLINE, language);
        page += "</A>";
        page += text(THEN_RELOAD, language);
        page += "</P>";
    }
    if (details) {
        page += "<HR><H2>";
        page += text(DETAILS, language);
        page += ":</H2>\n<PRE>";
        page += html_escape(Str(details));
        page += "</PRE>\n";
    }
    page += "</BODY></HTML>";
    return page;
}

Str refusal_page(HeadFault fault, uint32_t language) {
    Str page = page_title(language);
    page += refusal_intro(language);
    page += "\n";
    page += refusal_reason(uint32_t(fault), language);
    page += "</P></BODY></HTML>";
    return page;
}

Str client_refused_page(uint32_t language) {
    Str page = page_title(language);
    page += message(MSG_CLIENT_REFUSED, language);
    page += "</P></BODY></HTML>";
    return page;
}

Str loopback_refused_page(const Str& uri, uint32_t language) {
    Str page = page_start(uri, language);
    page += message(MSG_LOOPBACK_REFUSED, language);
    page += "</P></BODY></HTML>";
    return page;
}

Str tunnel_refused_page(const Str& why) {
    return "<HTML>\n<BODY>\n<H1>Quaylo</H1>\n<P>" + html_escape(why) + "</P>\n</BODY></HTML>\n";
}

void set_worker_page(URLAnswer& answer, const Str& page, int32_t status) {
    answer = URLAnswer();
    answer.version = "http/1.0";
    answer.errorcode = status;
    answer.reason = status_phrase(status);
    answer.content_type = "text/html";
    answer.content_length = page.length();
    answer.body = page;
    answer.invalid = 0;
}
