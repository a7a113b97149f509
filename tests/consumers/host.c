/*
 * The smallest C host, kept to C89 so that building it proves the
 * installed header is plain C: restores one file and reports the result.
 * Built by run.sh against an installed tree, once through CMake and once
 * through pkg-config.
 */
#include <decomprima.h>
#include <stdio.h>

int main(int argc, char **argv)
{
    int result;

    if (argc != 3) {
        fputs("usage: host CODE_FILE RESTORED_FILE\n", stderr);
        return 64;
    }
    result = decomprima(argv[1], argv[2]); /* 3, 4, 5 end the process */
    printf("decomprima returned %d\n", result);
    return result;
}
