#include "proxy/admin/OptionPages.h"

#include "foundation/Fail.h"
#include "foundation/ObjectStream.h"
#include "foundation/Option.h"
#include "proxy/admin/AdminGuard.h"
#include "proxy/admin/AdminPage.h"
#include "proxy/admin/AdminRequest.h"
#include "proxy/language/GuardTexts.h"
#include "proxy/language/LanguageTable.h"
#include "proxy/options/ProxySelf.h"
#include "proxy/options/RelaisOptions.h"

#include <utility>
#include <vector>

namespace {

constexpr const char* REPORTER = "AdminRequest::apply_options ";

// The help link of a page: the path "/help" with the file name as query.
Str help_path(const char* file) { return Str("/help?") + file; }

void menu_item(AdminPage& page, const char* before, const Str& path, uint32_t link_text,
               const char* after) {
    page << "<H3>" << before;
    page.admin_link(path, page.text(link_text));
    page << after << "</H3>\n";
}

// ---------------------------------------------------------------- form rows

enum InputKind { MODE, SWITCH, LANGUAGE, RANGE, TEXT };

struct OptionRow {
    uint32_t label;
    const char* help_file;
    InputKind kind;
    const char* name;
    int32_t minimum;
    int32_t maximum;
    const char* suffix;
};

// maxcon offers the option's whole range: a browser moves a value outside a
// range input's bounds to the nearest bound, and submitting the form would
// then lower a larger value nobody touched.
const OptionRow OPTION_ROWS[] = {
    {MSG_MODE, "mode.htm", MODE, "offline", 0, 0, ""},
    {MSG_LANGUAGE, "language.htm", LANGUAGE, "language", 0, 0, ""},
    {MSG_MAXCON, "maxcon.htm", RANGE, "maxcon", 1, 100, ""},
    {MSG_PROXYHOST, "remprox.htm", TEXT, "proxyhost", 0, 0, ""},
    {MSG_PROXYPORT, "remport.htm", RANGE, "proxyport", 1, 65535, ""},
    {MSG_SOCKSHOST, "sockshst.htm", TEXT, "sockshost", 0, 0, ""},
    {MSG_SOCKSPORT, "socksprt.htm", RANGE, "socksport", 1, 65535, ""},
    {MSG_SOCKSUSER, "socksusr.htm", TEXT, "socksuser", 0, 0, ""},
    {MSG_TIMEOUT, "timeout.htm", RANGE, "timeout", 1, 65535, " seconds"},
    {MSG_UPDTIME, "updtime.htm", RANGE, "updtime", 0, 360000, ""},
    {MSG_CACHESIZE, "cachesiz.htm", RANGE, "cachesize", 8, 2000000, "kB"},
    {MSG_ENTRYSIZE, "entrysiz.htm", RANGE, "entrysize", 2, 2000000, ""},
    {MSG_CACHEFILES, "cachefil.htm", RANGE, "cachefiles", 2, 2000000, ""},
    {MSG_SSLCACHE, "sslcache.htm", SWITCH, "sslcache", 0, 0, ""},
    {MSG_SSLHOSTS, "sslhosts.htm", TEXT, "sslhosts", 0, 0, ""},
};

struct Choice {
    const char* value;
    const char* shown;
};

void radio(AdminPage& page, const char* name, const char* value, bool checked,
           const char* shown) {
    page << "<input name=\"" << name << "\" type=radio value=" << value
         << (checked ? " checked>" : ">") << shown << " ";
}

// The option's current text; every option of the table exists.
Str current(const RelaisOptions& options, const char* name) {
    Str value;
    options.set.for_each([&](const Option& option) {
        if (option.name() == name) value = option.to_Str();
    });
    return value;
}

void option_input(AdminPage& page, const RelaisOptions& options, const OptionRow& row) {
    Str value = current(options, row.name);
    switch (row.kind) {
    case MODE:
        radio(page, row.name, "1", value == "1", "Offline");
        radio(page, row.name, "0", value != "1", "Online");
        break;
    case SWITCH:
        radio(page, row.name, "1", value == "1", "On");
        radio(page, row.name, "0", value != "1", "Off");
        break;
    case LANGUAGE: {
        static const Choice CHOICES[] = {
            {"\"english\"", "English"}, {"\"deutsch\"", "Deutsch"}, {"\"dutch\"", "Dutch"}};
        uint32_t index = options.language.index();
        for (uint32_t i = 0; i < 3; i++)
            radio(page, row.name, CHOICES[i].value, i == index, CHOICES[i].shown);
        break;
    }
    case RANGE:
        page << "<input name=\"" << row.name << "\" type=range min=" << row.minimum
             << " max=" << row.maximum << " value=";
        page.escaped(value);
        page << ">";
        break;
    case TEXT:
        page << "<input name=\"" << row.name << "\" type=text size=32 value=\"";
        page.escaped(value);
        page << "\">";
        break;
    }
    page << row.suffix;
}

bool is_form_option(const Str& name) {
    for (const OptionRow& row : OPTION_ROWS)
        if (name == row.name) return true;
    return false;
}

} // namespace

void menu_page(AdminPage& page) {
    page << "<CENTER><H2>" << page.text(MSG_WELCOME) << "</H2>\n"
         << "<H1>Quaylo</H1>"
         << "Release " << RELEASE_TEXT << "\n"
         << "<HR></CENTER>\n";
    menu_item(page, page.text(MSG_BROWSE_THE), help_path("help.htm"), MSG_HELP_DOCUMENTS, "");
    menu_item(page, page.text(MSG_EXAMINE_THE), "/options", MSG_OPTIONS, "");
    menu_item(page, page.text(MSG_EXPLORE_CACHE), "/inventory", MSG_INVENTORY, "");
    menu_item(page, page.text(MSG_VIEW_USAGE), "/statistics", MSG_STATISTICS, "");
    menu_item(page, "", "/export", MSG_EXPORT_TITLE,
              (Str(" ") + page.text(MSG_CACHED_DOCUMENTS)).c_str());
    menu_item(page, "", "/import1", MSG_IMPORT_TITLE,
              (Str(" ") + page.text(MSG_FROM_A_DIRECTORY)).c_str());
    menu_item(page, page.text(MSG_TRY_A), "/search", MSG_TEXT_RETRIEVAL, "");
    menu_item(page, "", help_path("https.htm"), MSG_READING_HTTPS, "");
    page << "<H3>" << page.text(MSG_CONTACT) << anchor(MAKER_URL) << page.text(MSG_NEWS)
         << "</A></H3>\n";
}

void options_form(AdminPage& page, const RelaisOptions& options) {
    page.form_start("/options");
    page.token_input();
    page << "<CENTER><H1>Quaylo</H1><H1>" << page.text(MSG_OPTIONS) << "</H1><HR></CENTER>\n"
         << "<SMALL>\n"
         << page.text(MSG_OPTIONS_INTRO) << "</SMALL><HR>";
    page << "<P>";
    page.submit_button(page.text(MSG_CHANGE_OPTIONS));
    page << " ";
    page.reset_button(page.text(MSG_RESET_FORM));
    page << "</P>";
    page << "<TABLE>\n";
    for (const OptionRow& row : OPTION_ROWS) {
        page << "<TR><TD>";
        page.admin_link(help_path(row.help_file), page.text(row.label));
        page << "<TD>";
        option_input(page, options, row);
        page << "\n";
    }
    page << "</TABLE>\n"
         << "<HR><P>" << page.text(MSG_RELOAD_NOTICE) << "</P>\n"
         << "</FORM>\n";
}

int32_t apply_options(AdminPage& page, RelaisOptions& options, const ArgList& arguments) {
    // Only the form's options change through the web, and a request changes
    // all of them or none: the values before are kept to go back to.
    std::vector<std::pair<Option*, Str>> before;
    for (const OptionRow& row : OPTION_ROWS) {
        Option* option = options.set.find(row.name);
        before.emplace_back(option, option->to_Str());
    }
    bool was_modified = options.set.modified();
    int32_t result = 0;
    for (const ArgList::Node* node = arguments.first(); node && result == 0;
         node = node->next ? node->next->next : nullptr)
        if (!is_form_option(node->value)) {
            fail_new(REPORTER, "'" + node->value + "' " +
                                   guard_text(GuardText::NOT_ON_THE_WEB, page.language()));
            result = -1;
        }
    ArgList pairs(arguments);
    if (result == 0) result = options.set.parse(pairs, false, true);
    if (result == 0 && remote_proxy_is_self(options)) {
        fail_new(REPORTER, remote_proxy_text(options) +
                               guard_text(GuardText::PROXY_IS_SELF, page.language()));
        result = -1;
    }
    if (result < 0) {
        for (auto& [option, text] : before) option->from_Str(text);
        options.set.set_modified(was_modified);
        Str failure(fail_take());
        log_refusal(options, failure);
        page << "<HR><H2>Invalid parameters specified:</H2>\n<P>";
        page.escaped(failure);
        page << "</P><HR>\n";
        return -1;
    }
    // The server writes its setup file only at its end; a change made here
    // must not depend on a clean stop.
    if (options.set.modified() && !options.set.file().empty() &&
        options.set.save(options.set.file()) != 0)
        fail_print();
    page << "<HR><H2>" << page.text(MSG_OPTIONS_CHANGED) << "</H2><P>"
         << page.text(MSG_SEE_BELOW) << "</P><HR>\n";
    return 0;
}

void refusal(AdminPage& page) {
    page << "<HR><H2>" << page.text(MSG_UNAUTHORIZED) << "</H2><P>" << page.text(MSG_NOT_ADMIN)
         << "</P><HR>";
}

void invalid_path_page(AdminPage& page, const Str& path) {
    Str root = admin_url("/");
    page << "<HR><H2>" << page.text(MSG_INVALID_PATH);
    page.escaped(path);
    page << "'</H2><P>" << page.text(MSG_REQUEST);
    page.link(root, root);
    page << page.text(MSG_FOR_A_MENU) << "</P><HR>\n";
}
