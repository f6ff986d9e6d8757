// The Windows test program. Started as "test_windows.exe --child MODE ..." it
// is the child the process runner tests start instead.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

namespace {

int child(int argc, char** argv) {
    const std::string mode = argv[2];
    if (mode == "args") {  // each argument on a line of its own, in brackets
        for (int i = 3; i < argc; ++i) std::printf("[%s]\n", argv[i]);
        return 0;
    }
    if (mode == "echo") {  // standard input to standard output, a line to standard error
        std::cout << std::cin.rdbuf();
        std::fputs("to stderr\n", stderr);
        return 0;
    }
    if (mode == "env") {  // the value of one variable, or <unset>
        const char* v = std::getenv(argv[3]);
        std::printf("%s", v ? v : "<unset>");
        return 0;
    }
    if (mode == "exit") return std::atoi(argv[3]);
    if (mode == "big") {  // argv[3] bytes of 'x'
        const std::string block(4096, 'x');
        for (long left = std::atol(argv[3]); left > 0; left -= 4096)
            std::fwrite(block.data(), 1, left < 4096 ? left : 4096, stdout);
        return 0;
    }
    if (mode == "hang") {
        std::puts("started");
        std::fflush(stdout);
        ::Sleep(INFINITE);
    }
    return 99;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--child") == 0) return child(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
