// The text of OpenSSL's error queue, for failure reports.
#pragma once

#include "foundation/Str.h"

// The short reason of the latest error on this thread's OpenSSL error queue
// ("wrong version number"), or fallback when the queue is empty. Empties
// the queue, so that no stale error reaches the next operation.
Str tls_error_text(const char* fallback = "unknown TLS error");
