#include "fuzz_support.h"

#include "decomprima.h"

#include <sys/mman.h>
#include <unistd.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

namespace {
std::jmp_buf stop_point;
volatile int fatal_status;
}  // namespace

// The intercepted build of the library calls this instead of exit(); the
// library has closed its files, released its nodes and its lock.
[[noreturn]] void decomprima_fatal_stop_hook(int status)
{
    fatal_status = status;
    std::longjmp(stop_point, 1);
}

namespace {

int memory_file(const char *name)
{
    int fd = memfd_create(name, 0);
    if (fd < 0) {
        std::perror("memfd_create");
        std::abort();
    }
    return fd;
}

std::string fd_path(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

}  // namespace

decode_outcome decode_in_memory(const uint8_t *data, size_t size)
{
    static int code_fd = memory_file("code");
    static int restored_fd = memory_file("restored");
    static std::string code_path = fd_path(code_fd), restored_path = fd_path(restored_fd);

    if (ftruncate(code_fd, 0) != 0 || pwrite(code_fd, data, size, 0) != static_cast<ssize_t>(size))
        std::abort();

    decode_outcome o{};
    if (setjmp(stop_point) == 0)
        o.status = decomprima(const_cast<char *>(code_path.c_str()),
                              const_cast<char *>(restored_path.c_str()));
    else
        o.status = fatal_status;

    off_t length = lseek(restored_fd, 0, SEEK_END);
    o.restored.resize(static_cast<size_t>(length));
    if (length > 0 && pread(restored_fd, &o.restored[0], static_cast<size_t>(length), 0) != length)
        std::abort();
    return o;
}
