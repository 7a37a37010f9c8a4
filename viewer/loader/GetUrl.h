// get_url: one synchronous HTTP/1.0 request, for the single requests outside
// load jobs (the proxy's mode switch). Runs in the calling thread and blocks
// until the answer is complete or the wait has given up.
#pragma once

#include "viewer/loader/ProxyAddress.h"

#include "http/URLAnswer.h"

#include <string>

struct FetchedAnswer {
    URLAnswer head;
    std::string headText;  // as received, up to and including the empty line
    std::string body;      // only for GET
};

// How long get_url waits for data: up to `waitMs` at a time; after each
// fruitless wait a pause that grows by `pauseStepMs`, until a pause of
// `pauseLimitMs` has been made (eleven waits in all with the defaults).
struct FetchWaits {
    int waitMs = 120000;
    int pauseStepMs = 100;
    int pauseLimitMs = 1000;
};

// 1 when an answer was received and understood, 0 otherwise with a failure
// report pending (none for a URL without a scheme). Through the proxy when
// one is configured, else straight to the URL's server.
int get_url(const char* method, const std::string& url, FetchedAnswer& answer, const ProxyAddress& proxy,
            const FetchWaits& waits = FetchWaits());
