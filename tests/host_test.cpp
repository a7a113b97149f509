// How decomprima() treats its host: paths that cannot be read or written,
// a host's mistakes (null paths, the code file as restored file, calls from
// several threads), pipes, small thread stacks, and the export list.
#include "support.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <thread>

#include <gtest/gtest.h>

namespace {

const bytes worked_example = {0x80, 0x10, 0x48, 0x50, 0x28, 0x24, 0x04};  // "ABABABA"
const bytes previous_content = to_bytes("previous content");

char *c(const std::string &s) { return const_cast<char *>(s.c_str()); }

// Paths that cannot serve as code file: result 1, and the restored path
// is not created, or, if it exists, not emptied.
TEST(host_paths, unreadable_code_file_leaves_restored_path_untouched)
{
    std::string dir = temp_path("a_directory");
    mkdir(dir.c_str(), 0700);
    const std::string code_paths[] = {temp_path("missing.lzw"), dir};
    for (const std::string &code : code_paths) {
        SCOPED_TRACE(code);
        std::string fresh = temp_path("fresh.bin"), existing = temp_path("existing.bin");
        write_file(existing, previous_content);
        EXPECT_EQ(decode_in_child(code.c_str(), fresh.c_str()), returned(1));
        EXPECT_FALSE(file_exists(fresh));
        EXPECT_EQ(decode_in_child(code.c_str(), existing.c_str()), returned(1));
        EXPECT_EQ(read_file(existing), previous_content);
    }
}

TEST(host_paths, restored_file_that_cannot_be_created_gives_2)
{
    std::string code = temp_path("code.lzw");
    write_file(code, worked_example);
    EXPECT_EQ(decode_in_child(code.c_str(), temp_path("no/such/dir/out.bin").c_str()), returned(2));
    EXPECT_EQ(decode_in_child(code.c_str(), temp_dir().c_str()), returned(2));
    EXPECT_EQ(read_file(code), worked_example);
}

// A restored file that lost bytes is a failure, however small or large.
TEST(host_paths, restored_file_that_cannot_be_written_gives_2)
{
    std::string small = temp_path("small.lzw"), large = temp_path("large.lzw");
    write_file(small, worked_example);
    write_file(large, pack_codes(deepest_codes()));
    EXPECT_EQ(decode_in_child(small.c_str(), "/dev/full"), returned(2));
    EXPECT_EQ(decode_in_child(large.c_str(), "/dev/full"), returned(2));
    // An invalid code file still stops as invalid.
    std::string invalid = temp_path("invalid.lzw");
    write_file(invalid, {0x80, 0x18, 0x60, 0x70, 0x10});
    EXPECT_EQ(decode_in_child(invalid.c_str(), "/dev/full"), fatal(4));
}

TEST(host_paths, dev_null_is_an_empty_code_file)
{
    std::string out = temp_path("out.bin");
    write_file(out, previous_content);
    EXPECT_EQ(decode_in_child("/dev/null", out.c_str()), returned(0));
    EXPECT_EQ(read_file(out), bytes{});
}

// An existing restored file holds only this decode's bytes, also after a
// fatal stop.
TEST(host_paths, existing_restored_file_is_replaced)
{
    std::string code = temp_path("code.lzw"), out = temp_path("out.bin");
    write_file(code, {0x80, 0x18, 0x60, 0x70, 0x10});
    write_file(out, previous_content);
    EXPECT_EQ(decode_in_child(code.c_str(), out.c_str()), fatal(4));
    EXPECT_EQ(read_file(out), to_bytes("a"));
}

TEST(host_mistakes, null_paths)
{
    std::string code = temp_path("code.lzw"), out = temp_path("out.bin");
    write_file(code, worked_example);
    EXPECT_EQ(decode_in_child(nullptr, out.c_str()), returned(1));
    EXPECT_EQ(decode_in_child(nullptr, nullptr), returned(1));
    EXPECT_FALSE(file_exists(out));
    EXPECT_EQ(decode_in_child(code.c_str(), nullptr), returned(2));
    EXPECT_EQ(read_file(code), worked_example);
}

// "wb" on the code file itself would empty it before it is read.
TEST(host_mistakes, restored_path_naming_the_code_file_is_refused)
{
    std::string code = temp_path("code.lzw");
    std::string symlink_path = temp_path("symlink.lzw"), hardlink_path = temp_path("hardlink.lzw");
    write_file(code, worked_example);
    ASSERT_EQ(symlink(code.c_str(), symlink_path.c_str()), 0);
    ASSERT_EQ(link(code.c_str(), hardlink_path.c_str()), 0);
    std::string dotted = temp_dir() + "/./code.lzw";
    for (const std::string &restored : {code, dotted, symlink_path, hardlink_path}) {
        SCOPED_TRACE(restored);
        EXPECT_EQ(decode_in_child(code.c_str(), restored.c_str()), returned(2));
        EXPECT_EQ(read_file(code), worked_example);
    }
    // Read through the link, written to the target: the same file too.
    EXPECT_EQ(decode_in_child(symlink_path.c_str(), code.c_str()), returned(2));
    EXPECT_EQ(read_file(code), worked_example);
}

// A pipe decodes as a file does, and the decode ends at the end code even
// while the writer keeps the pipe open: nothing after it is read.
TEST(host_streams, pipe_whose_writer_stays_open_finishes_at_end_code)
{
    std::string fifo = temp_path("code.fifo"), out = temp_path("out.bin");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    decomprima_fn decode = load_decomprima();
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        alarm(10);  // a decode that waits for more bytes dies here
        _exit(decode(c(fifo), c(out)));
    }
    int fd = open(fifo.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, worked_example.data(), worked_example.size()),
              static_cast<ssize_t>(worked_example.size()));
    int status = 0;
    waitpid(pid, &status, 0);  // the write end is still open here
    close(fd);
    ASSERT_TRUE(WIFEXITED(status)) << "decode did not finish while the pipe stayed open";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(read_file(out), to_bytes("ABABABA"));
}

// Calls from several threads are serialized: each gets its own file.
TEST(host_threads, concurrent_calls_each_restore_their_own_file)
{
    decomprima_fn decode = load_decomprima();
    const int threads = 8;
    std::vector<std::string> codes, outs;
    std::vector<bytes> expected;
    for (int i = 0; i < threads; i++) {
        std::vector<uint32_t> list{256};
        for (int k = 0; k < 3000 + i * 50; k++)
            list.push_back(static_cast<uint32_t>((k * (i + 3)) % 256));
        list.push_back(257);
        codes.push_back(temp_path("code" + std::to_string(i)));
        outs.push_back(temp_path("out" + std::to_string(i)));
        write_file(codes.back(), pack_codes(list));
        expected.push_back(model_decode(list));
    }
    for (int round = 0; round < 5; round++) {
        std::vector<int> results(threads, -1);
        std::vector<std::thread> pool;
        for (int i = 0; i < threads; i++)
            pool.emplace_back([&, i] { results[i] = decode(c(codes[i]), c(outs[i])); });
        for (auto &t : pool)
            t.join();
        for (int i = 0; i < threads; i++) {
            EXPECT_EQ(results[i], 0);
            EXPECT_TRUE(read_file(outs[i]) == expected[i]) << "thread " << i;
        }
    }
}

// The longest string (3839 bytes) is emitted without deep recursion.
TEST(host_threads, deepest_stream_on_a_64_KiB_stack)
{
    std::string code = temp_path("deepest.lzw"), out = temp_path("out.bin");
    write_file(code, pack_codes(deepest_codes()));
    struct job {
        decomprima_fn decode;
        std::string code, out;
        int result;
    } j{load_decomprima(), code, out, -1};
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    ASSERT_EQ(pthread_attr_setstacksize(&attr, 64 * 1024), 0);
    pthread_t thread;
    ASSERT_EQ(pthread_create(
                  &thread, &attr,
                  [](void *arg) -> void * {
                      auto *jp = static_cast<job *>(arg);
                      jp->result = jp->decode(c(jp->code), c(jp->out));
                      return nullptr;
                  },
                  &j),
              0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
    EXPECT_EQ(j.result, 0);
    EXPECT_TRUE(read_file(out) == bytes(7370880, 'a'));
}

// Only decomprima leaves the library; its state and helpers stay hidden.
TEST(library, exports_only_decomprima)
{
    void *handle = library_handle();
    EXPECT_NE(dlsym(handle, "decomprima"), nullptr);
    for (const char *internal :
         {"dictionary", "index_dic", "index_dic_max", "source_file", "dest_file", "byte_stored_val",
          "lzwdecoding", "read_code_lr", "write_output", "complete_output", "init_dictionary1",
          "init_dictionary2", "remove_dictionary", "add_string", "write_string", "write_link",
          "fatal_stop"}) {
        EXPECT_EQ(dlsym(handle, internal), nullptr) << internal;
    }
    run_result nm = run_program(
        {NM_PATH, "-D", "--defined-only", "--format=just-symbols", DECOMPRIMA_LIBRARY_PATH});
    ASSERT_EQ(nm.status, 0) << nm.stderr_bytes;
    std::string exported = nm.stdout_bytes;
#ifdef DECOMPRIMA_SANITIZED
    // UndefinedBehaviorSanitizer exports type descriptors (_ZTI..., _ZTS...)
    // for its checks; the shipped build has none.
    std::string kept;
    size_t start = 0, end;
    while ((end = exported.find('\n', start)) != std::string::npos) {
        std::string line = exported.substr(start, end - start + 1);
        if (line.rfind("_ZTI", 0) != 0 && line.rfind("_ZTS", 0) != 0)
            kept += line;
        start = end + 1;
    }
    exported = kept;
#endif
    EXPECT_EQ(exported, "decomprima\n");
}

}  // namespace
