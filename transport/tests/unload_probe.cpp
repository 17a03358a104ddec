// Loads the transport library by itself, opens two TCP links to the port
// given as argument, unloads the library, says "unloaded" and waits for its
// standard input to close. The library's unload must have closed both links.

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <unistd.h>

#include "linvaro.h"

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    void* library = ::dlopen("./libLinvaro.so", RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return 3;
    auto open = reinterpret_cast<decltype(&LVRM_TCPOpen)>(::dlsym(library, "LVRM_TCPOpen"));
    if (!open || open("127.0.0.1", std::atoi(argv[1])) != 1 || open("127.0.0.1", std::atoi(argv[1])) != 2)
        return 4;
    if (::dlclose(library) != 0)
        return 5;
    std::printf("unloaded\n");
    std::fflush(stdout);
    char byte;
    while (::read(0, &byte, 1) > 0) {
    }
    return 0;
}
