#include <cstdio>

int main(int, char**) {
    std::printf("Starting Sorvil...\n");  // TODO: the whole run
    return 0;
}
