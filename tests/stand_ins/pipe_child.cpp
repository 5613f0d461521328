// Stand-in for the engine's console output, for the pipe tests:
//   pipe_child stdout N   N numbered 10-byte records "O00000000\n"... on standard output
//   pipe_child both N     N records on each of standard output ("O") and error ("E"),
//                         in alternating blocks
//   pipe_child hold N     N records on standard output, then a minute of sleep
// Exit code 0, or 2 when a write failed.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Records per write: a block stays below the pipe's buffer, so blocks of the
// two streams never interleave inside a record.
constexpr unsigned kBlock = 100;

bool WriteRecords(HANDLE out, char tag, unsigned first, unsigned count) {
    std::string block;
    char record[16];
    for (unsigned i = first; i < first + count; ++i) {
        std::snprintf(record, sizeof(record), "%c%08u\n", tag, i);
        block += record;
    }
    DWORD written = 0;
    return ::WriteFile(out, block.data(), static_cast<DWORD>(block.size()), &written, nullptr) &&
           written == block.size();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 1;
    const char* mode = argv[1];
    const unsigned total = static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10));
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
    const bool both = std::strcmp(mode, "both") == 0;

    for (unsigned first = 0; first < total; first += kBlock) {
        const unsigned count = total - first < kBlock ? total - first : kBlock;
        if (!WriteRecords(out, 'O', first, count)) return 2;
        if (both && !WriteRecords(err, 'E', first, count)) return 2;
    }
    if (std::strcmp(mode, "hold") == 0) ::Sleep(60000);
    return 0;
}
