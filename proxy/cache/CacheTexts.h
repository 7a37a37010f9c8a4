// The console texts of the cache in the three interface languages, picked
// by the index of the language option (0 english, 1 deutsch, 2 dutch).
#pragma once

#include <cstdint>

struct CacheTexts {
    const char* no_database;     // recovery starts
    const char* to_go;           // after the count of files still to scan
    const char* not_valid_open;  // "file '" + path + ...
    const char* not_valid_close; // ... + "' is not a valid cache file\n"
    const char* recovered;       // + count + "\n"
    const char* invalid;         // + count + "\n"
};

// An index out of range gives the English texts.
const CacheTexts& cache_texts(uint32_t language);
