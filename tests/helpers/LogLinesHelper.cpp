// A run of the program in miniature, for the log tests: registers the file log sink,
// writes `count` lines "run <tag> line <n>", unregisters and exits.
//
//   LogLinesHelper <tag> <count>
#include "Log.h"

#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    const char* tag = argv[1];
    const long count = std::strtol(argv[2], nullptr, 10);
    VXN::SetLogSink(VXN::FileLogSink);
    for (long i = 0; i < count; ++i)
        VXN_LOG("LogLinesHelper", VXN::LogLevel::Info, "run {0} line {1}", tag, static_cast<std::int32_t>(i));
    VXN::SetLogSink(nullptr);
    return 0;
}
