#include "support.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <ostream>
#include <stdexcept>

#include <gtest/gtest.h>

extern char **environ;

void *library_handle()
{
    static void *handle = [] {
        void *h = dlopen(DECOMPRIMA_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        if (h == nullptr)
            throw std::runtime_error(std::string("dlopen: ") + dlerror());
        return h;
    }();
    return handle;
}

decomprima_fn load_decomprima()
{
    void *symbol = dlsym(library_handle(), "decomprima");
    if (symbol == nullptr)
        throw std::runtime_error("dlsym(\"decomprima\") failed");
    return reinterpret_cast<decomprima_fn>(symbol);
}

namespace {
std::string base_dir;

void remove_tree(const std::string &path)
{
    std::string command = "rm -rf '" + path + "'";
    if (std::system(command.c_str()) != 0)
        std::fprintf(stderr, "could not remove %s\n", path.c_str());
}

class temp_cleanup : public ::testing::Environment {
public:
    void TearDown() override
    {
        if (!base_dir.empty())
            remove_tree(base_dir);
    }
};
const auto *cleanup_registration = ::testing::AddGlobalTestEnvironment(new temp_cleanup);
}  // namespace

std::string temp_dir()
{
    if (base_dir.empty()) {
        char pattern[] = "/tmp/decomprima-test-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        base_dir = pattern;
    }
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "global";
    for (char &c : name)  // parameterized names contain '/'
        if (c == '/')
            c = '_';
    std::string dir = base_dir + "/" + name;
    mkdir(dir.c_str(), 0700);
    return dir;
}

std::string temp_path(const std::string &name) { return temp_dir() + "/" + name; }

bytes read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string &path, const bytes &content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(content.data()),
              static_cast<std::streamsize>(content.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

bool file_exists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

bytes to_bytes(const std::string &text) { return bytes(text.begin(), text.end()); }

bool operator==(const outcome &a, const outcome &b)
{
    return a.returned == b.returned && a.value == b.value && a.stderr_bytes == b.stderr_bytes;
}

std::ostream &operator<<(std::ostream &os, const outcome &o)
{
    return os << (o.returned ? "returned " : "exit status ") << o.value << ", stderr \""
              << o.stderr_bytes << "\"";
}

outcome returned(int result) { return {true, result, ""}; }

outcome fatal(int status)
{
    switch (status) {
    case 4:
        return {false, 4, "Fichier de codes invalide!\n"};
    case 5:
        return {false, 5, "Depassement de capacite du dictionary!\n"};
    default:
        return {false, status, ""};
    }
}

// The child's exit code tells a returned result (64 + result) from the
// status of a fatal stop (3 to 5).
constexpr int returned_base = 64;

outcome decode_in_child(const char *code_path, const char *restored_path)
{
    decomprima_fn decode = load_decomprima();
    std::string err_path = temp_path("stderr.bin");
    int err_fd = open(err_path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    if (err_fd < 0)
        throw std::runtime_error("cannot create " + err_path);
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(err_fd, 2);
        int result = decode(const_cast<char *>(code_path), const_cast<char *>(restored_path));
        _exit(returned_base + result);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    close(err_fd);
    outcome o{};
    bytes err = read_file(err_path);
    o.stderr_bytes.assign(err.begin(), err.end());
    if (WIFSIGNALED(status)) {
        o.returned = false;
        o.value = 128 + WTERMSIG(status);
    } else if (WEXITSTATUS(status) >= returned_base) {
        o.returned = true;
        o.value = WEXITSTATUS(status) - returned_base;
    } else {
        o.returned = false;
        o.value = WEXITSTATUS(status);
    }
    return o;
}

decode_result decode_bytes(const bytes &code_file)
{
    std::string code_path = temp_path("code.lzw");
    std::string restored_path = temp_path("restored.bin");
    write_file(code_path, code_file);
    std::remove(restored_path.c_str());
    decode_result r;
    r.how = decode_in_child(code_path.c_str(), restored_path.c_str());
    r.restored = read_file(restored_path);
    return r;
}

run_result run_program(const std::vector<std::string> &argv)
{
    std::string out_path = temp_path("program.stdout");
    std::string err_path = temp_path("program.stderr");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    std::vector<char *> args;
    for (const auto &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0)
        throw std::runtime_error("cannot run " + argv[0]);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    waitpid(pid, &status, 0);
    run_result r;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    bytes out = read_file(out_path), err = read_file(err_path);
    r.stdout_bytes.assign(out.begin(), out.end());
    r.stderr_bytes.assign(err.begin(), err.end());
    return r;
}

void code_writer::put(uint32_t code, int width)
{
    acc_ = (acc_ << width) | (code & ((1u << width) - 1));
    bits_ += width;
    while (bits_ >= 8) {
        bits_ -= 8;
        out_.push_back(static_cast<uint8_t>(acc_ >> bits_));
    }
    acc_ &= (uint64_t{1} << bits_) - 1;
}

bytes code_writer::finish(bool fill_with_ones)
{
    if (bits_ > 0) {
        uint8_t fill = fill_with_ones ? static_cast<uint8_t>((1u << (8 - bits_)) - 1) : 0;
        out_.push_back(static_cast<uint8_t>((acc_ << (8 - bits_)) | fill));
    }
    bits_ = 0;
    acc_ = 0;
    return std::move(out_);
}

bytes pack_codes(const std::vector<uint32_t> &codes, std::vector<size_t> *code_end_bits)
{
    code_writer w;
    size_t bit = 0;
    int width = 9;
    uint32_t next_free = 258;
    bool generation_empty = true;
    for (uint32_t code : codes) {
        w.put(code, width);
        bit += static_cast<size_t>(width);
        if (code_end_bits != nullptr)
            code_end_bits->push_back(bit);
        if (code == 256) {
            width = 9;
            next_free = 258;
            generation_empty = true;
        } else if (code == 257) {
            // no entry
        } else if (generation_empty) {
            generation_empty = false;
        } else if (next_free < 4096) {
            next_free++;
            if ((1u << width) == next_free + 1)
                width++;
        }
    }
    return w.finish();
}

bytes model_decode(const std::vector<uint32_t> &codes)
{
    std::vector<std::string> table(4096);
    for (int i = 0; i < 256; i++)
        table[i] = std::string(1, static_cast<char>(i));
    std::string out, previous;
    size_t next_free = 258;
    for (uint32_t code : codes) {
        if (code == 257)
            break;
        if (code == 256) {
            next_free = 258;
            previous.clear();
            continue;
        }
        std::string s = code < next_free ? table[code] : previous + previous[0];
        if (!previous.empty())
            table[next_free++] = previous + s[0];
        out += s;
        previous = s;
    }
    return to_bytes(out);
}

std::vector<uint32_t> deepest_codes()
{
    std::vector<uint32_t> codes{256, 97};
    for (uint32_t c = 258; c <= 4095; c++)
        codes.push_back(c);
    codes.push_back(257);
    return codes;
}
