#include "proxy/admin/AdminGuard.h"

#include "foundation/ObjectStream.h"
#include "proxy/admin/AdminPage.h"
#include "proxy/language/GuardTexts.h"
#include "proxy/options/RelaisOptions.h"

namespace {

bool has_pair(const ArgList& arguments, const char* name, const char* value) {
    for (const ArgList::Node* node = arguments.first(); node && node->next;
         node = node->next->next)
        if (node->value == name && node->next->value == value) return true;
    return false;
}

} // namespace

bool changes_state(const Str& path, const ArgList& arguments) {
    if (path == "/options") return arguments.count() > 0;
    if (path == "/import2") return has_pair(arguments, "all", "1");
    return path == "/do_export" || path == "/do_import";
}

void confirmation_page(AdminPage& page, const Str& path, const ArgList& arguments) {
    uint32_t language = page.language();
    page.header(guard_text(GuardText::CONFIRM_TITLE, language));
    page << "<P>" << guard_text(GuardText::CONFIRM_EXPLANATION, language) << "</P>\n<P>"
         << guard_text(GuardText::CONFIRM_REQUESTED, language) << " <TT>";
    page.escaped(path);
    page << "</TT></P>\n<UL>\n";
    for (const ArgList::Node* node = arguments.first(); node; node = node->next) {
        page << "<LI><TT>";
        page.escaped(node->value);
        if (node->next) {
            node = node->next;
            page << " = ";
            page.escaped(node->value);
        }
        page << "</TT>\n";
    }
    page << "</UL>\n";
    page.form_start(path);
    page.token_input();
    for (const ArgList::Node* node = arguments.first(); node; node = node->next) {
        page << "<input type=hidden name=\"";
        page.escaped(node->value);
        page << "\" value=\"";
        if (node->next) {
            node = node->next;
            page.escaped(node->value);
        }
        page << "\">";
    }
    page << "\n<P>";
    page.submit_button(guard_text(GuardText::CONFIRM_BUTTON, language));
    page << "</P>\n</FORM>\n";
}

void log_refusal(const RelaisOptions& options, const Str& why) {
    if (options.debug.value()) diag_drain() << Str("AdminRequest: refused: ") << why << Str("\n");
}
