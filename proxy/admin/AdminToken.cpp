#include "proxy/admin/AdminToken.h"

#include "foundation/Fail.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

namespace {

constexpr const char* REPORTER = "AdminToken: ";
constexpr uint32_t TOKEN_DIGITS = 2 * TOKEN_BYTES;

// A new token: 0 or -1 with a report.
int32_t new_token(Str& token) {
    unsigned char bytes[TOKEN_BYTES];
    size_t got = 0;
    while (got < sizeof bytes) {
        ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            fail_new(REPORTER, "no random bytes for the admin token Reason code:" +
                                   Str::from_long(errno));
            return -1;
        }
        got += size_t(n);
    }
    static const char HEX[] = "0123456789abcdef";
    token = Str();
    for (unsigned char byte : bytes) {
        token += HEX[byte >> 4];
        token += HEX[byte & 15];
    }
    return 0;
}

// The file's text up to TOKEN_DIGITS + 1 bytes, or empty.
Str read_token_file(const Str& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Str();
    char text[TOKEN_DIGITS + 2];
    size_t got = 0;
    for (;;) {
        ssize_t n = ::read(fd, text + got, sizeof text - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += size_t(n);
        if (got == sizeof text) break;
    }
    ::close(fd);
    // One line end after the digits is allowed, as an editor may add it.
    if (got == TOKEN_DIGITS + 1 && text[TOKEN_DIGITS] == '\n') got = TOKEN_DIGITS;
    return Str(text, uint32_t(got));
}

// Temporary file, then rename: a reader never sees half a token.
int32_t write_token_file(const Str& path, const Str& token) {
    Str temporary = path + ".new";
    ::unlink(temporary.c_str());
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    bool written = fd >= 0 && ::write(fd, token.data(), token.length()) == ssize_t(token.length()) &&
                   ::fsync(fd) == 0;
    int error = errno;
    if (fd >= 0) ::close(fd);
    if (written && ::rename(temporary.c_str(), path.c_str()) == 0) return 0;
    if (written) error = errno;
    ::unlink(temporary.c_str());
    fail_new(REPORTER, "unable to write '" + path + "' Reason code:" + Str::from_long(error));
    return -1;
}

// Compares every byte, so the time taken tells nothing about the token.
bool same_token(const Str& given, const Str& token) {
    if (token.empty() || given.length() != token.length()) return false;
    unsigned char difference = 0;
    for (uint32_t i = 0; i < token.length(); i++) difference |= uint8_t(given[i] ^ token[i]);
    return difference == 0;
}

} // namespace

bool is_token_text(const Str& text) {
    if (text.length() != TOKEN_DIGITS) return false;
    for (uint32_t i = 0; i < text.length(); i++) {
        char c = text[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

Str load_admin_token(const Str& path) {
    Str token = read_token_file(path);
    if (is_token_text(token)) return token;
    if (new_token(token) != 0) return Str();
    if (write_token_file(path, token) != 0) fail_print();
    return token;
}

bool take_token(ArgList& arguments, const Str& token) {
    bool valid = false;
    ArgList::Node* node = arguments.first();
    while (node && node->next) {
        ArgList::Node* value = node->next;
        ArgList::Node* after = value->next;
        if (node->value == TOKEN_ARGUMENT) {
            valid = valid || same_token(value->value, token);
            arguments.remove(node);
            arguments.remove(value);
        }
        node = after;
    }
    return valid;
}
