// Whether what a job loaded fits the proxy's cache. The proxy drops the
// least recently used documents once its cache holds more than `cachesize`
// kB or `cachefiles` documents, and keeps none larger than `entrysize` kB:
// a crawl larger than that loses its early documents while it runs, and the
// site cannot be read offline. The limits are read from the proxy's options
// page; they are never changed from here.
#pragma once

#include "viewer/loader/GetUrl.h"
#include "viewer/loader/ProxyAddress.h"

#include <cstdint>
#include <string>

struct LoadJobResult;

struct ProxyLimits {
    int64_t cacheKB = 0;     // cachesize; 0 when not known
    int64_t cacheFiles = 0;  // cachefiles
    int64_t entryKB = 0;     // entrysize
};

// The values of the options page's range inputs; 0 for any not found.
ProxyLimits ProxyLimitsOfPage(const std::string& page);
// Fetches http://quaylo/options through the proxy; false (with a failure
// report pending) when the page could not be fetched.
bool ReadProxyLimits(const ProxyAddress& proxy, ProxyLimits& limits, const FetchWaits& waits = FetchWaits());

// What the user should raise, with the values that would hold the job; empty
// when the job fits (or a limit is not known).
std::string CacheFitAdvice(const LoadJobResult& result, const ProxyLimits& limits);

// After a job that loaded through the proxy: reads the limits and, when the
// job does not fit them, keeps the advice in the result and counts it as a
// problem. Nothing when the limits cannot be read.
void CheckCacheFit(LoadJobResult& result, const ProxyAddress& proxy);
