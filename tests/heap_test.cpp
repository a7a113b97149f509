// The heap refusing a dictionary node during set-up: exit status 3, nothing
// on stderr, an empty restored file, and every node already allocated
// released newest first. Runs alloc_host, whose malloc() can refuse.
#include "support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

// A host with its own malloc() cannot load a sanitized library.
#ifdef DECOMPRIMA_SANITIZED
#  define SKIP_IF_SANITIZED()                                                                      \
    GTEST_SKIP() << "an interposed allocator and the sanitizers do not mix"
#else
#  define SKIP_IF_SANITIZED() (void)0
#endif

namespace {

struct heap_log {
    long allocated = -1;
    std::vector<long> released;
};

heap_log read_log(const std::string &path)
{
    heap_log log;
    std::ifstream in(path);
    std::string word;
    in >> word >> log.allocated >> word;
    long index;
    while (in >> index)
        log.released.push_back(index);
    return log;
}

std::vector<long> range(long from, long to, long step)
{
    std::vector<long> v;
    for (long i = from; step > 0 ? i <= to : i >= to; i += step)
        v.push_back(i);
    return v;
}

run_result run_alloc_host(const std::string &code, const std::string &out, long fail_index,
                          const std::string &log)
{
    return run_program(
        {ALLOC_HOST_PATH, DECOMPRIMA_LIBRARY_PATH, code, out, std::to_string(fail_index), log});
}

TEST(heap, refused_node_stops_with_status_3_and_releases_newest_first)
{
    SKIP_IF_SANITIZED();
    std::string code = temp_path("code.lzw"), out = temp_path("out.bin"),
                log = temp_path("heap.log");
    write_file(code, {0x80, 0x10, 0x48, 0x50, 0x28, 0x24, 0x04});
    for (long fail : {0L, 5L, 4095L}) {
        SCOPED_TRACE("refused node " + std::to_string(fail));
        write_file(out, to_bytes("previous content"));
        run_result r = run_alloc_host(code, out, fail, log);
        EXPECT_EQ(r.status, 3);
        EXPECT_EQ(r.stderr_bytes, "");
        EXPECT_EQ(read_file(out), bytes{});
        heap_log h = read_log(log);
        EXPECT_EQ(h.allocated, fail + 1);
        EXPECT_EQ(h.released, range(fail - 1, 0, -1));
    }
}

TEST(heap, complete_decode_releases_every_node)
{
    SKIP_IF_SANITIZED();
    std::string code = temp_path("code.lzw"), out = temp_path("out.bin"),
                log = temp_path("heap.log");
    write_file(code, {0x80, 0x10, 0x48, 0x50, 0x28, 0x24, 0x04});
    run_result r = run_alloc_host(code, out, -1, log);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_file(out), to_bytes("ABABABA"));
    heap_log h = read_log(log);
    EXPECT_EQ(h.allocated, 4096);
    EXPECT_EQ(h.released, range(0, 4095, 1));
}

TEST(heap, empty_code_file_allocates_nothing)
{
    SKIP_IF_SANITIZED();
    std::string code = temp_path("code.lzw"), out = temp_path("out.bin"),
                log = temp_path("heap.log");
    write_file(code, {});
    run_result r = run_alloc_host(code, out, 0, log);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_log(log).allocated, 0);
}

}  // namespace
