// sample_site_server DIR [PAGES]: writes the generated sample site into DIR
// and serves it on a free loopback port until interrupted. The first line on
// standard output is the start URL; a load job can begin there:
//
//   sample_site_server /tmp/site 40 &      # prints http://127.0.0.1:PORT/
//   vantlow --load http://127.0.0.1:PORT/ --output site.gra --levels 2
#include "testsupport/OriginServer.h"
#include "testsupport/SiteGenerator.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char* argv[]) {
    char* end = nullptr;
    const long pages = argc == 3 ? std::strtol(argv[2], &end, 10) : 40;
    if (argc < 2 || argc > 3 || (end && *end != '\0') || pages < 1 || pages > 1000000) {
        std::fprintf(stderr, "usage: sample_site_server DIR [PAGES], PAGES a number from 1 to 1000000\n");
        return 2;
    }
    // Bigger sites get wider directories, so they do not grow too deep.
    const SiteShape shape{static_cast<size_t>(pages), pages > 200 ? 8u : 4u, pages > 200 ? 4u : 3u};
    std::error_code error;
    std::filesystem::create_directories(argv[1], error);
    std::string root = std::filesystem::absolute(argv[1]).string();

    // Stop signals are waited for below rather than handled.
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);

    OriginServer server(root);
    if (!server.listening()) return std::fprintf(stderr, "sample_site_server: no port to listen on\n"), 1;
    GeneratedSite site = GenerateSite(root, server.port(), shape);
    site.ApplyTo(server);
    std::printf("%s\n", site.StartUrl().c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "Serving %zu pages (%d levels deep) from %s, also as %s/. Stop with Ctrl-C.\n",
                 site.pages.size(), site.MaxDepth(), root.c_str(), site.otherBase.c_str());
    int signal = 0;
    sigwait(&stops, &signal);
    server.stop();
    return 0;
}
