#include "viewer/loader/CacheFit.h"

#include "foundation/Fail.h"
#include "viewer/loader/Crawler.h"

#include <cstdlib>
#include <vector>

namespace {

constexpr char kOptionsUrl[] = "http://quaylo/options";

// The value of `<input name="NAME" type=range ... value=N>`; 0 when missing.
int64_t RangeValue(const std::string& page, const std::string& name) {
    size_t at = page.find("<input name=\"" + name + "\" type=range");
    if (at == std::string::npos) return 0;
    size_t end = page.find('>', at);
    size_t value = page.find(" value=", at);
    if (value == std::string::npos || (end != std::string::npos && value > end)) return 0;
    const char* digits = page.c_str() + value + 7;
    char* stop = nullptr;
    long long number = std::strtoll(digits, &stop, 10);
    return stop == digits || number < 0 ? 0 : number;
}

int64_t KBUp(uint64_t bytes) { return static_cast<int64_t>((bytes + 1023) / 1024); }

// The need with a quarter more, rounded up to a whole step: while a crawl
// refreshes documents the old and new copies are both kept for a moment,
// and the cache holds what else the proxy's users read.
std::string WithRoom(int64_t need, int64_t step) { return std::to_string((need + need / 4) / step * step + step); }

}  // namespace

ProxyLimits ProxyLimitsOfPage(const std::string& page) {
    ProxyLimits limits;
    limits.cacheKB = RangeValue(page, "cachesize");
    limits.cacheFiles = RangeValue(page, "cachefiles");
    limits.entryKB = RangeValue(page, "entrysize");
    return limits;
}

bool ReadProxyLimits(const ProxyAddress& proxy, ProxyLimits& limits, const FetchWaits& waits) {
    FetchedAnswer answer;
    if (!get_url("GET", kOptionsUrl, answer, proxy, waits)) return false;
    limits = ProxyLimitsOfPage(answer.body);
    return true;
}

std::string CacheFitAdvice(const LoadJobResult& result, const ProxyLimits& limits) {
    std::vector<std::string> raise;
    const int64_t jobKB = KBUp(result.cacheBytes), largestKB = KBUp(result.largestDocument);
    if (limits.cacheKB > 0 && jobKB > limits.cacheKB) raise.push_back("cachesize to " + WithRoom(jobKB, 1024));
    if (limits.cacheFiles > 0 && result.documentsLoaded > limits.cacheFiles)
        raise.push_back("cachefiles to " + WithRoom(result.documentsLoaded, 100));
    if (limits.entryKB > 0 && largestKB > limits.entryKB) raise.push_back("entrysize to " + WithRoom(largestKB, 100));
    if (raise.empty()) return std::string();
    std::string list = raise[0];
    for (size_t i = 1; i < raise.size(); i++) list += (i + 1 == raise.size() ? " and " : ", ") + raise[i];
    return "The proxy's cache is too small for this job: it keeps at most " + std::to_string(limits.cacheKB) +
           " kB in " + std::to_string(limits.cacheFiles) + " documents of at most " + std::to_string(limits.entryKB) +
           " kB each, while the job loaded " + std::to_string(result.documentsLoaded) + " documents taking " +
           std::to_string(jobKB) + " kB there (the largest " + std::to_string(largestKB) +
           " kB), so documents loaded first have been dropped and part of the site cannot be read offline. Raise " +
           list + " on the proxy's options page (" + kOptionsUrl + "), then load the site again.";
}

void CheckCacheFit(LoadJobResult& result, const ProxyAddress& proxy) {
    if (!proxy.Configured() || result.documentsLoaded == 0) return;
    ProxyLimits limits;
    if (!ReadProxyLimits(proxy, limits)) {
        fail_take();
        return;
    }
    result.cacheAdvice = CacheFitAdvice(result, limits);
    if (!result.cacheAdvice.empty()) result.problems++;
}
