/*
 * decomprima: restores a file from a headerless LZW code file.
 *
 * The code file is a bare stream of codes, 9 to 13 bits wide, most
 * significant bit first: 0-255 literal bytes, 256 initialization code
 * (empties the dictionary, code width back to 9), 257 end code, 258-4095
 * dictionary entries. A zero-byte code file is valid and restores to an
 * empty file.
 *
 * Usable from C and C++. On 32-bit Windows the function uses the
 * standard-call convention and is exported under the plain name
 * "decomprima", so hosts there call it through
 * GetProcAddress(module, "decomprima").
 */
#ifndef DECOMPRIMA_H
#define DECOMPRIMA_H

#if defined(_WIN32)
#  if defined(DECOMPRIMA_BUILDING)
#    define DECOMPRIMA_EXPORT __declspec(dllexport)
#  else
#    define DECOMPRIMA_EXPORT __declspec(dllimport)
#  endif
#  if defined(_M_IX86) || defined(__i386__)
#    define DECOMPRIMA_CALL __stdcall
#  else
#    define DECOMPRIMA_CALL
#  endif
#else
#  if defined(DECOMPRIMA_BUILDING) && defined(__GNUC__)
#    define DECOMPRIMA_EXPORT __attribute__((visibility("default")))
#  else
#    define DECOMPRIMA_EXPORT
#  endif
#  define DECOMPRIMA_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Restores the file argv2 from the code file argv1. Both are
 * NUL-terminated paths handed to fopen() unchanged; neither is written
 * through.
 *
 * Results:
 *   0  the decode ran to the end code, or the code file was empty; the
 *      restored file holds exactly the decoded bytes.
 *   1  the code file could not be opened or read (it does not exist, it
 *      is a directory, argv1 is NULL). The restored path is not touched.
 *   2  the restored file could not be created or not be written
 *      completely (argv2 is NULL, the directory is not writable, a write,
 *      flush or close failed, as on a full disk), or argv2 names the code
 *      file itself (the same path, a symbolic or a hard link to it), which
 *      is refused before anything is emptied. The code file is closed
 *      again; a partly written restored file is left as it is.
 *
 * An invalid code file, or a heap that refuses the dictionary, ends the
 * whole host process: decomprima() does not return. The restored file
 * keeps every byte decoded before that point, and the process exits with
 *   3  no memory for the dictionary (nothing is written to stderr),
 *   4  invalid code file: stderr receives "Fichier de codes invalide!\n"
 *      (this includes a code file that ends before its end code, and a
 *      string code right after an initialization code),
 *   5  dictionary overflow: stderr receives
 *      "Depassement de capacite du dictionary!\n".
 * A host that must survive such a file runs the call in a child process.
 *
 * One decode runs at a time: the decoder keeps its state in process-wide
 * variables. Calls from several threads are serialized by a lock inside
 * the library, so they wait for one another rather than corrupt each
 * other, but a host should not rely on decodes running in parallel.
 *
 * errno: after result 1 or 2, errno tells why where the system said so;
 * a directory as code file gives EISDIR, a restored path naming the code
 * file gives EINVAL.
 */
DECOMPRIMA_EXPORT int DECOMPRIMA_CALL decomprima(char *argv1, char *argv2);

#ifdef __cplusplus
}
#endif

#endif /* DECOMPRIMA_H */
