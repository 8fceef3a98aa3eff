#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("zerlan %s\n", ZERLAN_VERSION);
            return 0;
        }
    }
    std::printf("usage: zerlan [--help] [--version] [parameter items]\n");
    return 0;
}
