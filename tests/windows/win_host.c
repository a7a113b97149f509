/*
 * A 32-bit Windows host for the tests run under wine: loads decomprima.dll
 * with LoadLibrary, looks up the plain name "decomprima" with
 * GetProcAddress, calls it through a __stdcall pointer and exits with its
 * result. A fatal stop inside the library ends this process instead, with
 * the library's own exit status and message.
 *
 * usage: win_host DLL CODE_FILE RESTORED_FILE [FAIL_NODE]
 *   FAIL_NODE: the 0-based allocation of a dictionary node that the heap
 *   refuses (the library's malloc import is redirected for that).
 *        win_host --exit STATUS
 *   writes "win_host\n" to stderr and exits with STATUS: lets the driver
 *   prove that exit statuses and stderr bytes really come through wine.
 *
 * Exit statuses of its own: 90 the stack pointer moved across the call
 * (the function did not remove its two arguments), 91 the DLL or the
 * export could not be found, 92 the malloc import could not be redirected,
 * 64 wrong usage.
 */
#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef int(__stdcall *decomprima_fn)(char *, char *);

/* Pushes the two arguments, calls, and reports how far ESP moved from its
   value before the pushes: 0 when the callee removed its arguments. The
   compiler must not see this call, or it would fix up the stack itself. */
static int call_measuring_stack(decomprima_fn fn, char *code, char *restored, int *esp_moved)
{
    int result, moved;
    __asm__ volatile(
        "movl %%esp, %%esi\n\t"
        "pushl %[restored]\n\t"
        "pushl %[code]\n\t"
        "call *%[fn]\n\t"
        "movl %%esp, %%ecx\n\t"
        "subl %%esi, %%ecx\n\t"
        "movl %%esi, %%esp\n\t"
        : "=a"(result), "=c"(moved)
        : [fn] "r"(fn), [code] "r"(code), [restored] "r"(restored)
        : "esi", "edx", "memory", "cc");
    *esp_moved = moved;
    return result;
}

/* ---- A heap that refuses one dictionary node. ---- */

struct node_shape {
    uint32_t character;
    void *predecessor;
};

typedef void *(__cdecl *malloc_fn)(size_t);
static malloc_fn real_malloc;
static long fail_node = -1;
static long node_allocations;

static void *__cdecl failing_malloc(size_t size)
{
    if (size == sizeof(struct node_shape) && node_allocations++ == fail_node)
        return NULL;
    return real_malloc(size);
}

/* Points the DLL's import of msvcrt's malloc at failing_malloc. */
static int redirect_malloc(HMODULE module)
{
    BYTE *base = (BYTE *)module;
    IMAGE_NT_HEADERS *nt = (IMAGE_NT_HEADERS *)(base + ((IMAGE_DOS_HEADER *)base)->e_lfanew);
    IMAGE_DATA_DIRECTORY dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    IMAGE_IMPORT_DESCRIPTOR *imp = (IMAGE_IMPORT_DESCRIPTOR *)(base + dir.VirtualAddress);

    for (; dir.VirtualAddress != 0 && imp->Name != 0; imp++) {
        if (_stricmp((char *)(base + imp->Name), "msvcrt.dll") != 0)
            continue;
        IMAGE_THUNK_DATA *names = (IMAGE_THUNK_DATA *)(base + imp->OriginalFirstThunk);
        IMAGE_THUNK_DATA *slots = (IMAGE_THUNK_DATA *)(base + imp->FirstThunk);
        for (; names->u1.AddressOfData != 0; names++, slots++) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            IMAGE_IMPORT_BY_NAME *by_name =
                (IMAGE_IMPORT_BY_NAME *)(base + names->u1.AddressOfData);
            if (strcmp((char *)by_name->Name, "malloc") != 0)
                continue;
            DWORD old;
            if (!VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), PAGE_READWRITE,
                                &old))
                return 0;
            real_malloc = (malloc_fn)slots->u1.Function;
            slots->u1.Function = (DWORD_PTR)failing_malloc;
            VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), old, &old);
            return 1;
        }
    }
    return 0;
}

int main(int argc, char **argv)
{
    if (argc == 3 && strcmp(argv[1], "--exit") == 0) {
        fputs("win_host\n", stderr);
        return atoi(argv[2]);
    }
    if (argc != 4 && argc != 5) {
        fputs("usage: win_host DLL CODE_FILE RESTORED_FILE [FAIL_NODE]\n", stderr);
        return 64;
    }

    HMODULE module = LoadLibraryA(argv[1]);
    if (module == NULL) {
        fprintf(stderr, "win_host: LoadLibrary(%s) failed: %lu\n", argv[1], GetLastError());
        return 91;
    }
    decomprima_fn decomprima = (decomprima_fn)(void (*)(void))GetProcAddress(module, "decomprima");
    if (decomprima == NULL) {
        fprintf(stderr, "win_host: no export named \"decomprima\"\n");
        return 91;
    }
    if (argc == 5) {
        fail_node = atol(argv[4]);
        if (!redirect_malloc(module)) {
            fputs("win_host: cannot redirect malloc\n", stderr);
            return 92;
        }
    }

    /* "-" stands for a null path. */
    char *code = strcmp(argv[2], "-") == 0 ? NULL : argv[2];
    char *restored = strcmp(argv[3], "-") == 0 ? NULL : argv[3];
    int esp_moved;
    int result = call_measuring_stack(decomprima, code, restored, &esp_moved);
    if (esp_moved != 0) {
        fprintf(stderr, "win_host: the stack pointer moved by %d bytes across the call\n",
                esp_moved);
        return 90;
    }
    return result;
}
