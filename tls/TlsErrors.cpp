#include "tls/TlsErrors.h"

#include <openssl/err.h>

Str tls_error_text(const char* fallback) {
    unsigned long code = ERR_peek_last_error();
    const char* reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
    Str text = reason ? Str(reason) : Str(fallback);
    ERR_clear_error();
    return text;
}
