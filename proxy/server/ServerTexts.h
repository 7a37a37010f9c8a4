// The server's console texts in the three interface languages, picked by the
// index of the `language` option (0 english, 1 deutsch, 2 dutch).
#pragma once

#include <cstdint>

enum class ServerText : uint32_t {
    READING_CACHE = 0, // before the cache is opened
    READY = 1,         // the server accepts connections
    SHUTDOWN = 2,      // normal end
};

// Languages beyond the table fall back to English.
const char* server_text(ServerText text, uint32_t language);
