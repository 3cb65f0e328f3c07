#include <cstdio>

int main(int argc, char**) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: sorvil-decode IN OUT\n");
        return 2;
    }
    return 1;  // TODO
}
