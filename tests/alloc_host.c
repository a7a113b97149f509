/*
 * A host whose heap can refuse a dictionary node: it interposes malloc()
 * and free() for the library it loads, fails the Nth allocation of a
 * node's size, and logs at exit which of those allocations were released,
 * in release order.
 *
 * usage: alloc_host LIBRARY CODE_FILE RESTORED_FILE FAIL_INDEX LOG_FILE
 *   FAIL_INDEX: the 0-based node allocation to refuse, or -1 for none.
 * Exits with decomprima()'s result, unless the library ends the process.
 */
#include <dlfcn.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

extern void *__libc_malloc(size_t size);
extern void __libc_free(void *ptr);

struct node_shape {
    uint32_t character;
    void *predecessor;
};

enum { max_nodes = 8192 };
static int armed;
static long fail_index = -1;
static long allocated;
static void *nodes[max_nodes];
static long released[max_nodes];
static long released_count;
static const char *log_path;

void *malloc(size_t size)
{
    if (armed && size == sizeof(struct node_shape)) {
        if (allocated == fail_index) {
            allocated++;
            return NULL;
        }
        void *p = __libc_malloc(size);
        if (allocated < max_nodes)
            nodes[allocated] = p;
        allocated++;
        return p;
    }
    return __libc_malloc(size);
}

void free(void *ptr)
{
    if (armed && ptr != NULL) {
        for (long i = 0; i < allocated && i < max_nodes; i++) {
            if (nodes[i] == ptr) {
                nodes[i] = NULL;
                if (released_count < max_nodes)
                    released[released_count++] = i;
                break;
            }
        }
    }
    __libc_free(ptr);
}

static void write_log(void)
{
    armed = 0;
    FILE *log = fopen(log_path, "w");
    if (log == NULL)
        return;
    fprintf(log, "allocated %ld\nreleased", allocated);
    for (long i = 0; i < released_count; i++)
        fprintf(log, " %ld", released[i]);
    fprintf(log, "\n");
    fclose(log);
}

int main(int argc, char **argv)
{
    if (argc != 6) {
        fprintf(stderr, "usage: alloc_host LIBRARY CODE_FILE RESTORED_FILE FAIL_INDEX LOG_FILE\n");
        return 64;
    }
    void *library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (library == NULL) {
        fprintf(stderr, "alloc_host: %s\n", dlerror());
        return 65;
    }
    int (*decode)(char *, char *);
    *(void **)&decode = dlsym(library, "decomprima");
    if (decode == NULL)
        return 66;
    fail_index = strtol(argv[4], NULL, 10);
    log_path = argv[5];
    atexit(write_log);
    armed = 1;
    return decode(argv[2], argv[3]);
}
