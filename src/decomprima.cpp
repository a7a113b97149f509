/*
 * Library entry and decoding loop: decomprima() opens the two files and
 * runs lzwdecoding(), which takes the code file apart code by code and
 * keeps the dictionary in step with it. The fatal stop lives here too.
 */
#include "decomprima.h"
#include "decomprima_internal.h"

#include <cerrno>
#include <cstdlib>

#if defined(_WIN32)
#  include <io.h>
#  include <windows.h>
#else
#  include <pthread.h>
#  include <sys/stat.h>
#endif

FILE *source_file;
FILE *dest_file;

/* One decode at a time: the decoder's state is process-wide. The lock is
   statically initialised so that loading the library runs no code. */
#if defined(_WIN32)
static SRWLOCK decode_lock = SRWLOCK_INIT;
static void lock_decoder() { AcquireSRWLockExclusive(&decode_lock); }
static void unlock_decoder() { ReleaseSRWLockExclusive(&decode_lock); }
#else
static pthread_mutex_t decode_lock = PTHREAD_MUTEX_INITIALIZER;
static void lock_decoder() { pthread_mutex_lock(&decode_lock); }
static void unlock_decoder() { pthread_mutex_unlock(&decode_lock); }
#endif

void fatal_stop(int status, const char *message)
{
    if (message != nullptr)
        fputs(message, stderr);
    fclose(source_file);
    /* Every byte decoded before the stop belongs in the restored file. */
    flush_output();
    fclose(dest_file);
#ifdef DECOMPRIMA_INTERCEPT_FATAL_STOP
    /* In-process fuzzing goes on after the stop, so give back what the
       process exit would have: the nodes (set-up failure already released
       its own) and the lock. */
    if (status != status_out_of_memory)
        remove_dictionary();
    unlock_decoder();
    decomprima_fatal_stop_hook(status);
#else
    exit(status);
#endif
}

/* A directory opens for reading on POSIX systems but yields no byte;
   refuse it before the restored file is created or emptied. */
static bool source_is_unreadable()
{
#if defined(_WIN32)
    return false; /* fopen() already refuses directories there */
#else
    struct stat st;
    if (fstat(fileno(source_file), &st) == 0 && S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return true;
    }
    return false;
#endif
}

/* True when path names the open code file itself (same path, symbolic or
   hard link): "wb" would empty the code file before it is read. Character
   devices such as /dev/null are exempt, since opening them loses nothing. */
static bool names_source_file(const char *path)
{
#if defined(_WIN32)
    HANDLE source = (HANDLE)_get_osfhandle(_fileno(source_file));
    HANDLE other = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (other == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION a, b;
    bool same = GetFileType(source) == FILE_TYPE_DISK && GetFileInformationByHandle(source, &a) &&
                GetFileInformationByHandle(other, &b) &&
                a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
                a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
    CloseHandle(other);
    return same;
#else
    struct stat source, other;
    if (fstat(fileno(source_file), &source) != 0 || stat(path, &other) != 0)
        return false;
    return source.st_dev == other.st_dev && source.st_ino == other.st_ino &&
           !S_ISCHR(source.st_mode);
#endif
}

/* The loop runs once per code, so the code reader, the emission and the
   append are inlined into it (all three parts are built as one unit): no
   calls, and what one of them computes the next finds in a register. */
#if defined(__GNUC__)
__attribute__((flatten))
#endif
void lzwdecoding()
{
    uint32_t current_code;
    uint32_t pred_code = 0;
    uint32_t first_char = 0;

    /* Look-ahead: an empty code file ends the decode before any set-up. */
    if (byte_stored_status == 0) {
        byte_stored_val = getc(source_file);
        byte_stored_status = byte_stored_val != EOF ? 1 : 0;
    }
    if (byte_stored_status == 0)
        return;

    init_dictionary1();
    if (read_code_lr() != initialization_code)
        fatal_stop(status_invalid_code_file, message_invalid_code_file);

    /* One generation per pass: an initialization code has just been read
       (the opening one, for which init_dictionary1 did the set-up). */
    for (;;) {
        current_code = read_code_lr();
        if (current_code == initialization_code) {
            init_dictionary2();
            continue;
        }
        if (current_code == end_information_code)
            break;
        /* Only a literal may open a generation. A string code here has no
           previous string to extend: decoding 258 would make the entry its
           own predecessor and its emission would never end. */
        if (current_code > end_information_code)
            fatal_stop(status_invalid_code_file, message_invalid_code_file);
        first_char = write_string(pred_code, current_code, first_char);
        pred_code = current_code;

        for (current_code = read_code_lr();
             current_code != initialization_code && current_code != end_information_code;
             current_code = read_code_lr()) {
            /* The range test comes first: a code above the next free one is
               an invalid file even when the dictionary is full. */
            if (current_code > index_dic)
                fatal_stop(status_invalid_code_file, message_invalid_code_file);
            if (index_dic == index_dic_max)
                fatal_stop(status_dictionary_overflow, message_dictionary_overflow);
            /* Written before the entry is added: a code equal to index_dic
               is the previous string followed by its own first character. */
            first_char = write_string(pred_code, current_code, first_char);
            add_string(pred_code, first_char);
            pred_code = current_code;
        }
        if (current_code == end_information_code)
            break;
        init_dictionary2();
    }

    remove_dictionary();
    complete_output();
}

int DECOMPRIMA_CALL decomprima(char *argv1, char *argv2)
{
    int result = 0;

    lock_decoder();
    byte_stored_status = 0;
    val_to_write = 0;
    val_to_read = 0;
    bit_counter_to_write = 0;
    bit_counter_to_read = 0;
    input_position = input_end = 1;
    input_bit = 8;
    input_at_end = false;
    output_position = output_written = output_window_start;

    if (argv1 == nullptr) {
        errno = EINVAL;
        result = 1;
    } else if ((source_file = fopen(argv1, "rb")) == nullptr) {
        result = 1;
    } else if (source_is_unreadable()) {
        fclose(source_file);
        result = 1;
    } else if (argv2 == nullptr || names_source_file(argv2)) {
        fclose(source_file);
        errno = EINVAL;
        result = 2;
    } else if ((dest_file = fopen(argv2, "wb")) == nullptr) {
        fclose(source_file);
        result = 2;
    } else {
        /* The code reader reads the code file's descriptor in blocks of its
           own, so its stream must not read ahead into a buffer; the look-ahead
           byte is then the only byte taken through the stream. The restored
           bytes leave in large blocks from the output window, which the
           stream's buffer would only copy once more. */
        setvbuf(source_file, nullptr, _IONBF, 0);
        setvbuf(dest_file, nullptr, _IONBF, 0);
        lzwdecoding();
        fclose(source_file);
        /* A restored file that lost bytes (full disk, I/O error) must not
           be reported as restored. */
        bool write_failed = ferror(dest_file) != 0;
        if (fclose(dest_file) != 0)
            write_failed = true;
        result = write_failed ? 2 : 0;
    }
    unlock_decoder();
    return result;
}
