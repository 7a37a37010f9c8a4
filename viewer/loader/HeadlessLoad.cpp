#include "viewer/loader/HeadlessLoad.h"

#include "foundation/Fail.h"
#include "viewer/graph/GraphFile.h"
#include "viewer/graph/GraphLayout.h"
#include "viewer/graph/NodeSizes.h"
#include "viewer/graph/SiteGraph.h"
#include "viewer/loader/CacheFit.h"
#include "viewer/loader/Crawler.h"
#include "viewer/loader/NodeInfo.h"
#include "viewer/loader/ProxyControl.h"

#include <chrono>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <thread>

namespace {

// How long a freshly started proxy gets to open its port.
constexpr auto kProxyStartWait = std::chrono::seconds(10);
constexpr auto kProxyStartPoll = std::chrono::milliseconds(100);

bool ParseCount(const char* text, int32_t& value) {
    if (!text || !*text) return false;
    char* end = nullptr;
    errno = 0;
    long parsed = std::strtol(text, &end, 10);
    if (*end != '\0' || errno != 0 || parsed < 0 || parsed > INT32_MAX) return false;
    value = static_cast<int32_t>(parsed);
    return true;
}

bool ParseProxy(const std::string& text, ProxyAddress& proxy) {
    size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    int32_t port = 0;
    if (!ParseCount(text.c_str() + colon + 1, port) || port < 1 || port > 65535) return false;
    proxy.host = text.substr(0, colon);
    proxy.port = static_cast<uint16_t>(port);
    return true;
}

// Waits for a proxy that was just started.
bool AwaitProxy(const ProxyAddress& proxy, const std::atomic<bool>& stop) {
    const auto deadline = std::chrono::steady_clock::now() + kProxyStartWait;
    while (std::chrono::steady_clock::now() < deadline && !stop.load()) {
        if (ProxyListening(proxy)) return true;
        std::this_thread::sleep_for(kProxyStartPoll);
    }
    return false;
}

}  // namespace

void PrintedProgress::Print(const std::string& text) {
    std::lock_guard<std::mutex> guard(mutex_);
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
}

void PrintedProgress::SetLine(int line, const std::string& text) {
    if (!text.empty()) Print(text);
}

void PrintedProgress::AddMessage(const std::string& text) {
    Print("Problem: " + text);
}

void PrintedProgress::ItemsLeft(int count) {
    Print("Left: " + std::to_string(count));
}

void PrintedProgress::End() {}

void PrintLoadUsage(std::FILE* out) {
    std::fputs(
        "Usage: vantlow --load URL --output FILE.gra [options]\n"
        "\n"
        "Loads a web site through the caching proxy harbord, so that its pages can\n"
        "be read offline, and writes the site's graph to FILE.gra.\n"
        "\n"
        "  --levels N            follow N levels of hyperlinks from the start page (default 1)\n"
        "  --unlimited-levels    follow hyperlinks without a level limit\n"
        "  --other-levels N      follow N levels once a link leaves the start computer\n"
        "                        (default 0)\n"
        "  --follow-other-hosts  load pages on computers other than the start computer\n"
        "  --stay-in-directory   load only the start directory and the directories below it\n"
        "  --pictures            load pictures, sounds, scripts and backgrounds too\n"
        "  --offline             switch the proxy offline: load from its cache only\n"
        "  --proxy HOST:PORT     the proxy (default 127.0.0.1:8080); a local proxy that\n"
        "                        does not answer is started from beside vantlow\n"
        "  --direct              use no proxy: fetch from the servers themselves\n"
        "  --timeout SECONDS     give up on a request that sees no data this long (default 120)\n"
        "  --max-time SECONDS    give up on a document not complete this long after its\n"
        "                        request (default 600)\n"
        "  --max-documents N     load at most N documents (pages and pictures; default: no limit)\n"
        "  --list                print every node as \"kind level url\" to standard output\n"
        "  --help                show this text\n"
        "\n"
        "A URL without \"://\" gets \"http://\" in front. Progress goes to standard error,\n"
        "one line per event, and ends with a summary. SIGINT, SIGTERM or SIGHUP stop the\n"
        "job; what was loaded so far is still written. The proxy is put back into the mode\n"
        "it was in before the job. A page is read up to 16 MB, and at most 20\n"
        "redirections in a row are followed. Exit status: 0 done, 1 problems\n"
        "occurred (or the job was stopped, or the graph file could not be written),\n"
        "2 wrong arguments.\n",
        out);
}

namespace {

// What the arguments said beyond the settings themselves, checked once all are read.
struct ArgumentFlags {
    bool levelsGiven = false;
    bool unlimited = false;
    bool offline = false;
    bool proxyGiven = false;
};

bool TakesValue(const std::string& arg) {
    for (const char* name : {"--load", "--output", "--levels", "--other-levels", "--proxy", "--timeout",
                             "--max-time", "--max-documents"})
        if (arg == name) return true;
    return false;
}

bool ParseSeconds(const std::string& arg, const char* text, std::chrono::milliseconds& out, std::string& error) {
    int32_t seconds = 0;
    if (!ParseCount(text, seconds) || seconds < 1 || seconds > 86400) {
        error = arg + " needs a number of seconds from 1 to 86400";
        return false;
    }
    out = std::chrono::seconds(seconds);
    return true;
}

bool ParseNumber(const std::string& arg, const char* text, int32_t least, int32_t& out, std::string& error) {
    if (!ParseCount(text, out) || out < least) {
        error = arg + " needs a number from " + std::to_string(least) + " to 2147483647";
        return false;
    }
    return true;
}

// One argument; text is its value when it takes one. False with error set.
bool ApplyArgument(const std::string& arg, const char* text, HeadlessOptions& options, ArgumentFlags& flags,
                   std::string& error) {
    LoadSettings& settings = options.settings;
    if (arg == "--load") {
        settings.startUrl = text;
    } else if (arg == "--output") {
        options.output = text;
    } else if (arg == "--levels") {
        flags.levelsGiven = true;
        return ParseNumber(arg, text, 0, settings.levels, error);
    } else if (arg == "--unlimited-levels") {
        flags.unlimited = true;
    } else if (arg == "--other-levels") {
        settings.limitOtherComputers = true;
        return ParseNumber(arg, text, 0, settings.otherLevels, error);
    } else if (arg == "--follow-other-hosts") {
        settings.followOtherComputers = true;
    } else if (arg == "--stay-in-directory") {
        settings.leaveStartDirectory = false;
    } else if (arg == "--pictures") {
        settings.loadPictures = true;
    } else if (arg == "--offline") {
        flags.offline = true;
    } else if (arg == "--proxy") {
        flags.proxyGiven = true;
        if (!ParseProxy(text, options.proxy)) error = std::string("--proxy needs HOST:PORT, not '") + text + "'";
        return error.empty();
    } else if (arg == "--direct") {
        options.direct = true;
    } else if (arg == "--timeout") {
        return ParseSeconds(arg, text, settings.answerTimeout, error);
    } else if (arg == "--max-time") {
        return ParseSeconds(arg, text, settings.documentDeadline, error);
    } else if (arg == "--max-documents") {
        return ParseNumber(arg, text, 1, settings.maxDocuments, error);
    } else if (arg == "--list") {
        options.listNodes = true;
    } else {
        error = "unknown argument '" + arg + "'";
        return false;
    }
    return true;
}

const char* CombinationError(const HeadlessOptions& options, const ArgumentFlags& flags) {
    if (options.settings.startUrl.empty() || options.output.empty()) return "--load URL and --output FILE are needed";
    if (flags.levelsGiven && flags.unlimited) return "--levels and --unlimited-levels exclude each other";
    if (options.direct && (flags.offline || flags.proxyGiven))
        return "--direct uses no proxy: it excludes --offline and --proxy";
    return nullptr;
}

}  // namespace

ParseOutcome ParseLoadArguments(int argc, const char* const argv[], HeadlessOptions& options, std::string& error) {
    ArgumentFlags flags;
    for (int i = 0; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") return ParseOutcome::Help;
        const char* text = nullptr;
        if (TakesValue(arg)) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return ParseOutcome::Error;
            }
            text = argv[++i];
        }
        if (!ApplyArgument(arg, text, options, flags, error)) return ParseOutcome::Error;
    }
    if (const char* wrong = CombinationError(options, flags)) {
        error = wrong;
        return ParseOutcome::Error;
    }
    options.settings.limitLevels = !flags.unlimited;
    options.settings.goOnline = !flags.offline;
    return ParseOutcome::Run;
}

int RunHeadlessLoad(const HeadlessOptions& options, const std::atomic<bool>& stop, std::FILE* err, std::FILE* out) {
    PrintedProgress progress(err, stop);
    ProxyAddress proxy;
    if (!options.direct) {
        proxy = options.proxy;
        auto status = [&progress](const std::string& text) {
            if (!text.empty()) progress.Print(text);
        };
        if (ProxyProbe(proxy, status) == ProbeResult::Started && !AwaitProxy(proxy, stop))
            progress.Print("The proxy was started but does not answer yet.");
    }

    SiteGraph graph;
    Crawler crawler(graph);
    LoadJobResult result;
    int switchProblems = 0;
    ProxyMode found = ProxyMode::Unknown;
    const bool offline = !options.settings.goOnline;
    std::thread worker([&] {
        if (proxy.Configured()) {
            found = ReadProxyMode(proxy);
            if (fail_pending()) fail_take();
            if (!SwitchProxyMode(proxy, offline)) {
                switchProblems++;
                progress.AddMessage(ProxyModeUrl(offline) + ": " + OneLine(fail_take()));
            }
        }
        result = crawler.RunLoadJob(options.settings, progress, proxy);
        if (!offline) CheckCacheFit(result, proxy);
        if (found != ProxyMode::Unknown && (found == ProxyMode::Offline) != offline &&
            !SwitchProxyMode(proxy, found == ProxyMode::Offline)) {
            switchProblems++;
            progress.AddMessage(ProxyModeUrl(found == ProxyMode::Offline) + ": " + OneLine(fail_take()));
        }
    });
    worker.join();
    result.problems += switchProblems;

    FitNodeSizes(graph, HeadlessNodeMeasure());
    LayoutSiteGraph(graph);
    bool written = SaveGraphFile(graph, options.output);

    if (options.listNodes) {
        for (const auto& node : graph.Nodes())
            std::fprintf(out, "%d %d %s\n", static_cast<int>(node->kind), node->level, node->url.c_str());
        std::fflush(out);
    }
    if (result.stopped) progress.Print("Loading was stopped on request.");
    if (!written) progress.Print("Unable to write the graph file " + options.output);
    if (result.limitReached)
        progress.Print("The limit of " + std::to_string(options.settings.maxDocuments) +
                       " documents was reached: further documents were not loaded.");
    if (!result.startLoaded) progress.Print(StartFailure(result));
    if (!result.cacheAdvice.empty()) progress.Print(result.cacheAdvice);
    progress.Print(LoadSummary(result, graph));
    progress.Print("Documents loaded: " + std::to_string(result.documentsLoaded) +
                   ", HTML pages: " + std::to_string(result.pagesScanned) +
                   ", nodes: " + std::to_string(graph.Nodes().size()) +
                   ", edges: " + std::to_string(graph.Edges().size()) +
                   ", problems: " + std::to_string(result.problems));
    bool good = result.problems == 0 && !result.stopped && written && result.startLoaded;
    return good ? kExitDone : kExitProblems;
}
