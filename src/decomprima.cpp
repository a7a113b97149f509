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

#if defined(__GNUC__)
#  define likely(x) __builtin_expect(!!(x), 1)
#  define unlikely(x) __builtin_expect(!!(x), 0)
#else
#  define likely(x) (x)
#  define unlikely(x) (x)
#endif

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

        /* The rest of the generation. Stores into the nodes may, for all the
           compiler knows, change any process-wide variable, which would then
           be loaded and stored again on every code; so the state the common
           case touches is kept in locals (bit for input_bit, width for
           bit_counter_decoding, next for index_dic, position for
           output_position, start for string_start) and written back by
           store_state() before anything that reads those variables: the
           ordinary code reader, emission and append on their rarer paths,
           a fatal stop, and the end of the generation. */
        uint32_t bit = input_bit;
        uint32_t width = bit_counter_decoding;
        uint32_t next = index_dic;
        uint32_t position = output_position;
        uint32_t start = string_start;
        uint32_t end = input_end;
        /* init_dictionary1 makes the symbols 8 bits wide: the codes below
           256 are the literals, 256 is initialization_code, 257 the end. */
        constexpr uint32_t init_code = 256;
        auto store_state = [&] {
            input_bit = bit;
            bit_counter_decoding = static_cast<uint8_t>(width);
            index_dic = next;
            output_position = position;
            string_start = start;
        };
        auto load_state = [&] {
            bit = input_bit;
            end = input_end;
            width = bit_counter_decoding;
            next = index_dic;
            position = output_position;
            start = string_start;
        };
        for (;;) {
            /* read_code_lr's fast path, on the local bit position. */
            if (likely((bit >> 3) + 3 <= end)) {
                uint64_t bits = load_big_endian64(input_block + (bit >> 3)) << (bit & 7);
                bit += width;
                current_code = static_cast<uint32_t>(bits >> (64 - width));
            } else {
                store_state();
                current_code = read_code_lr();
                load_state();
            }
            /* The end code is the initialization code + 1: one test for both. */
            if (unlikely(current_code - init_code <= 1))
                break;
            /* The range test comes first: a code above the next free one is
               an invalid file even when the dictionary is full. */
            if (unlikely(current_code > next)) {
                store_state();
                fatal_stop(status_invalid_code_file, message_invalid_code_file);
            }
            if (unlikely(next == index_dic_max)) {
                store_state();
                fatal_stop(status_dictionary_overflow, message_dictionary_overflow);
            }
            /* write_string's and add_string's common case: room in the
               window, and the string still in it (or the code names the
               entry being made). Anything else takes the functions. */
            if (likely(position <= output_window_size - output_slack)) {
                uint8_t *dst = output_window + position;
                /* The previous code's string was the last thing emitted, from
                   start to position: its length is that of pred_code's entry. */
                uint32_t pred_length = position - start;
                if (current_code < init_code) {
                    /* A literal's string is its own byte. */
                    *dst = static_cast<uint8_t>(current_code);
                    position++;
                } else if (current_code < next) {
                    uint32_t span = entry_span[current_code];
                    if (unlikely(span >= span_gone << span_length_bits))
                        goto take_functions;
                    copy_string(dst, output_window + (span >> span_length_bits),
                                span & span_length_mask);
                    position += span & span_length_mask;
                } else {
                    /* The entry being made: the previous string, which stands
                       just before dst, then its own first character. Symbols
                       are 8 bits wide, so write_output() would store just that
                       byte. */
                    copy_string(dst, dst - pred_length, pred_length);
                    position += pred_length;
                    output_window[position++] = dst[0];
                }
                uint32_t character = dst[0];
                /* add_string, with its span taken from the locals: the new
                   entry stands where the previous string starts. */
                p_dic_link node = dictionary[next];
                node->character = character;
                node->predecessor = dictionary[pred_code];
                entry_span[next] = start << span_length_bits | (pred_length + 1);
                start = static_cast<uint32_t>(dst - output_window);
                next++;
                if (unlikely((next & (next + 1)) == 0))
                    width++;
                pred_code = current_code;
                continue;
            }
        take_functions:
            store_state();
            /* Written before the entry is added: a code equal to index_dic
               is the previous string followed by its own first character. */
            /* The first character of the previous string, where it stands. */
            first_char = write_string(pred_code, current_code, output_window[start]);
            add_string(pred_code, first_char);
            load_state();
            pred_code = current_code;
        }
        store_state();
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
