#include "proxy/admin/HelpPage.h"

#include "foundation/Fail.h"
#include "foundation/FileStream.h"
#include "proxy/admin/AdminPage.h"
#include "proxy/language/LanguageTable.h"

#include <cerrno>
#include <unistd.h>

namespace {

// The file's bytes; false when it cannot be opened or read, or is too long.
bool read_file(const Str& path, Str& bytes) {
    IFileStream file(path);
    if (file.open_failed()) {
        fail_take();
        return false;
    }
    char block[65536];
    for (;;) {
        ssize_t n = ::read(file.fd(), block, sizeof block);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        if (bytes.length() + uint32_t(n) > HELP_FILE_LIMIT) return false;
        if (bytes.append(block, uint32_t(n)) != 0) {
            fail_take();
            return false;
        }
    }
}

} // namespace

bool plain_file_name(const Str& name) {
    if (name.empty() || name.find('/') >= 0 || name.find('\0') >= 0) return false;
    return name.find(Str("..")) < 0;
}

Str help_file_path(const Str& program_dir, uint32_t language, const Str& name) {
    return program_dir + "/" + message(MSG_HELP_DIRECTORY, language) + "/" + name;
}

void help_page(AdminPage& page, const Str& program_dir, const ArgList& arguments) {
    Str name = arguments.first() ? arguments.first()->value : Str(HELP_INDEX);
    Str path = help_file_path(program_dir, page.language(), name);
    Str bytes;
    if (plain_file_name(name) && read_file(path, bytes)) {
        page.set_form(AdminPage::RAW);
        page.content() = bytes;
        return;
    }
    page.set_form(AdminPage::RAW);
    page << PAGE_BODY_START << "<H3>Error: unable to open file '";
    page.escaped(path);
    page << "'</H3>" << PAGE_BODY_END;
}
