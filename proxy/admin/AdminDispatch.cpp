#include "proxy/admin/AdminDispatch.h"

#include "foundation/Fail.h"
#include "foundation/FileSystem.h"
#include "proxy/admin/AdminGuard.h"
#include "proxy/admin/AdminPage.h"
#include "proxy/admin/AdminToken.h"
#include "proxy/admin/CachePages.h"
#include "proxy/admin/ExchangePages.h"
#include "proxy/admin/HelpPage.h"
#include "proxy/admin/OptionPages.h"
#include "proxy/cache/Cache.h"
#include "tls/Interceptor.h"
#include "proxy/options/RelaisOptions.h"

#include <algorithm>

namespace {

using PageMaker = void (*)(const AdminSite& site, AdminPage& page, const ArgList& arguments,
                           bool admin);

struct Route {
    const char* path;
    bool admin_only;
    PageMaker make;
};

void menu(const AdminSite&, AdminPage& page, const ArgList&, bool) { menu_page(page); }

// Anyone may look; only an admin may change.
void options(const AdminSite& site, AdminPage& page, const ArgList& arguments, bool admin) {
    if (arguments.count() > 0) {
        if (admin) {
            apply_options(page, site.options, arguments);
        } else {
            log_refusal(site.options, Str("/options: not an admin"));
            refusal(page);
        }
    }
    options_form(page, site.options);
}

void inventory_txt(const AdminSite& site, AdminPage& page, const ArgList&, bool) {
    inventory_text(page, site.cache);
}

void inventory(const AdminSite& site, AdminPage& page, const ArgList& arguments, bool) {
    inventory_page(page, site.cache, arguments);
}

void details(const AdminSite& site, AdminPage& page, const ArgList& arguments, bool) {
    details_page(page, site.cache, arguments);
}

void users(const AdminSite& site, AdminPage& page, const ArgList&, bool) {
    users_page(page, site.cache);
}

void statistics(const AdminSite& site, AdminPage& page, const ArgList&, bool) {
    ServerFigures server;
    server.port = uint32_t(site.options.port.value());
    server.connections = site.connection_count ? site.connection_count() : 0;
    server.cachedir = site.options.cachedir.value();
    statistics_page(page, server, site.cache);
}

void help(const AdminSite& site, AdminPage& page, const ArgList& arguments, bool) {
    help_page(page, site.help_root.empty() ? dir_part(site.program_name) : site.help_root, arguments);
}

// With a phrase the worker searches the cache files itself.
void search(const AdminSite&, AdminPage& page, const ArgList& arguments, bool) {
    if (arguments.count() > 0)
        page.set_form(AdminPage::SEARCH);
    else
        search_form(page, Str());
}

void export_hosts(const AdminSite& site, AdminPage& page, const ArgList& arguments, bool) {
    export_page(page, site.options, site.cache, arguments);
}

void carry_out_export(const AdminSite& site, AdminPage& page, const ArgList& arguments, bool) {
    do_export(page, site.options, site.cache, arguments);
}

void carry_out_import(const AdminSite& site, AdminPage& page, const ArgList& arguments, bool) {
    do_import(page, site.options, site.cache, arguments);
}

void import_directory(const AdminSite& site, AdminPage& page, const ArgList&, bool) {
    import_directory_page(page, site.options);
}

void import_selection(const AdminSite& site, AdminPage& page, const ArgList& arguments, bool) {
    import_selection_page(page, site.options, site.cache, arguments);
}

// The local certificate authority's certificate, for the browser to import;
// the authority is made on first use.
void ca_certificate(const AdminSite& site, AdminPage& page, const ArgList&, bool) {
    std::shared_ptr<Interceptor> interceptor = Interceptor::of(authority_directory(site));
    if (!interceptor) {
        page.header("Certificate authority");
        page << "<P>";
        page.escaped(fail_take());
        page << "</P>\n";
        return;
    }
    page.set_form(AdminPage::RAW);
    page.set_content_type(CA_CERTIFICATE_TYPE);
    page << interceptor->authority().certificate_pem();
}

const Route ROUTES[] = {
    {"", false, menu},
    {"/", false, menu},
    {"/options", false, options},
    {"/inventory.txt", false, inventory_txt},
    {"/inventory", false, inventory},
    {"/details", false, details},
    {"/users", false, users},
    {"/statistics", false, statistics},
    {"/help", false, help},
    {"/search", false, search},
    {"/export", false, export_hosts},
    {"/do_export", true, carry_out_export},
    {"/do_import", true, carry_out_import},
    {"/import1", false, import_directory},
    {"/import2", true, import_selection},
    {"/ca.crt", false, ca_certificate},
};

} // namespace

bool is_admin_client(const std::vector<uint32_t>& admins, uint32_t client) {
    return client != 0 && std::find(admins.begin(), admins.end(), client) != admins.end();
}

// The admin check comes first; an admin's change of state needs the token
// besides, and without it the page only asks to confirm.
AdminAnswer dispatch_admin_request(const AdminSite& site, const Str& path,
                                   const ArgList& arguments, uint32_t client) {
    AdminPage page(site.options.language.index());
    page.set_viewer(client);
    bool admin = is_admin_client(site.admin_addresses, client);
    // Only an admin's pages carry the token: no one else may change anything.
    if (admin) page.set_token(site.token);
    ArgList rest(arguments);
    bool token = take_token(rest, site.token);
    const Route* route = nullptr;
    for (const Route& candidate : ROUTES)
        if (path == candidate.path) route = &candidate;
    if (!route) {
        invalid_path_page(page, path);
    } else if (route->admin_only && !admin) {
        log_refusal(site.options, path + ": not an admin");
        refusal(page);
    } else if (admin && !token && changes_state(path, rest)) {
        log_refusal(site.options, path + ": no valid token, confirmation asked");
        confirmation_page(page, path, rest);
    } else {
        route->make(site, page, rest, admin);
    }
    return finish_page(page);
}

AdminAnswer finish_page(const AdminPage& page) {
    AdminAnswer answer;
    if (page.form() == AdminPage::SEARCH) {
        answer.kind = AdminAnswer::SEARCH;
        return answer;
    }
    answer.kind = AdminAnswer::PAGE;
    answer.head = Str(PAGE_HEAD_START) + page.content_type() + "\r\n" + PAGE_HEAD_END;
    if (page.form() == AdminPage::RAW) {
        answer.body = page.content();
        return answer;
    }
    answer.body = PAGE_BODY_START;
    answer.body += page.content();
    answer.body += page_footer(page.language());
    answer.body += PAGE_BODY_END;
    return answer;
}
