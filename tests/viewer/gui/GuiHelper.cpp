// Test helper: runs single steps of the windowed program in a process of
// their own.
//   vantlow_gui_helper --probe PORT       the proxy check at start-up
//   vantlow_gui_helper --render ...       as vantlow --render
#include "viewer/gui/VantlowApp.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc >= 2 && !std::strcmp(argv[1], "--render")) return RunVantlowRender(argc, argv);
    if (argc == 3 && !std::strcmp(argv[1], "--probe")) {
        ProxyAddress proxy{"127.0.0.1", static_cast<uint16_t>(std::atoi(argv[2]))};
        ProbeResult result = ProbeProxyAtStart(proxy, [](const std::string& text) {
            std::printf("status: %s\n", text.c_str());
        });
        const char* names[] = {"running", "started", "not started", "not local"};
        std::printf("result: %s\n", names[static_cast<int>(result)]);
        return 0;
    }
    std::fprintf(stderr, "usage: vantlow_gui_helper --probe PORT | --render FILE OUT [...]\n");
    return 2;
}
