// vantlow: for now only the headless load job; the windowed program comes later.
#include <cstdio>

int main() {
    std::fprintf(stderr, "vantlow: the windowed program is not part of this build yet\n");
    return 2;
}
