// The local server of the README's demonstration: serves every file of a folder at
// "/<name>" on 127.0.0.1 (the port the system picks), prints its address on stdout, and
// stops at SIGTERM or SIGINT.
//
//   demo_server <folder>
#include "HttpTestServer.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>


namespace {

volatile std::sig_atomic_t g_stop = 0;

void on_signal(int)
{
    g_stop = 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: demo_server <folder>\n");
        return 2;
    }
    std::signal(SIGTERM, on_signal);
    std::signal(SIGINT, on_signal);
    zyrel_test::http_test_server server;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
        if (!entry.is_regular_file())
            continue;
        std::ifstream file(entry.path(), std::ios::binary);
        std::ostringstream bytes;
        bytes << file.rdbuf();
        server.publish("/" + entry.path().filename().string(), bytes.str());
    }
    std::printf("http://%s\n", server.authority().c_str());
    std::fflush(stdout);
    while (!g_stop)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    server.stop();
    return 0;
}
