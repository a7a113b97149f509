// The command-line host: exit statuses, one-line errors naming the path,
// --help and --version, and the shipped example.
#include "support.h"

#include <gtest/gtest.h>

namespace {

run_result cli(const std::vector<std::string> &args)
{
    std::vector<std::string> argv{DECOMPRIMA_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    return run_program(argv);
}

TEST(cli, restores_the_shipped_example)
{
    std::string out = temp_path("restored.txt");
    run_result r = cli({EXAMPLES_DIR "/sample.lzw", out});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.stderr_bytes, "");
    EXPECT_TRUE(read_file(out) == read_file(EXAMPLES_DIR "/sample.txt"));
}

TEST(cli, failures_name_the_path_in_one_line)
{
    std::string code = temp_path("code.lzw"), missing = temp_path("missing.lzw");
    write_file(code, {0x80, 0x10, 0x48, 0x50, 0x28, 0x24, 0x04});

    run_result r = cli({missing, temp_path("out.bin")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.stderr_bytes,
              "decomprima: cannot read code file '" + missing + "': No such file or directory\n");

    r = cli({temp_dir(), temp_path("out.bin")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.stderr_bytes,
              "decomprima: cannot read code file '" + temp_dir() + "': Is a directory\n");

    std::string bad_out = temp_path("no/dir/out.bin");
    r = cli({code, bad_out});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.stderr_bytes, "decomprima: cannot create or write restored file '" + bad_out +
                                  "': No such file or directory\n");

    r = cli({code, "/dev/full"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(
        r.stderr_bytes,
        "decomprima: cannot create or write restored file '/dev/full': No space left on device\n");
}

TEST(cli, fatal_stop_speaks_for_itself)
{
    std::string code = temp_path("code.lzw"), out = temp_path("out.bin");
    write_file(code, {0x80, 0x18, 0x60, 0x70, 0x10});
    run_result r = cli({code, out});
    EXPECT_EQ(r.status, 4);
    EXPECT_EQ(r.stderr_bytes, "Fichier de codes invalide!\n");
    EXPECT_EQ(read_file(out), to_bytes("a"));
}

TEST(cli, help_version_and_usage)
{
    run_result r = cli({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.stdout_bytes.find("Usage: decomprima CODE_FILE RESTORED_FILE"), std::string::npos);

    r = cli({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.stdout_bytes, "decomprima " DECOMPRIMA_VERSION "\n");

    r = cli({"only-one-argument"});
    EXPECT_EQ(r.status, 64);
    EXPECT_NE(r.stderr_bytes.find("Usage:"), std::string::npos);
}

run_result encoder_cli(const std::vector<std::string> &args)
{
    std::vector<std::string> argv{DECOMPRIMA_ENCODE_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    return run_program(argv);
}

TEST(encoder_cli, encodes_what_the_decoder_restores)
{
    std::string code = temp_path("code.lzw"), out = temp_path("out.txt"),
                empty = temp_path("empty");
    run_result r = encoder_cli({EXAMPLES_DIR "/sample.txt", code});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.stderr_bytes, "");
    EXPECT_EQ(cli({code, out}).status, 0);
    EXPECT_TRUE(read_file(out) == read_file(EXAMPLES_DIR "/sample.txt"));

    write_file(empty, {});
    EXPECT_EQ(encoder_cli({empty, code}).status, 0);
    EXPECT_EQ(read_file(code), bytes{});
}

TEST(encoder_cli, failures_name_the_path_in_one_line)
{
    std::string input = temp_path("input.txt"), missing = temp_path("missing.txt");
    write_file(input, to_bytes("some input"));

    run_result r = encoder_cli({missing, temp_path("out.lzw")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.stderr_bytes, "decomprima-encode: cannot read input '" + missing +
                                  "': No such file or directory\n");

    r = encoder_cli({temp_dir(), temp_path("out.lzw")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.stderr_bytes,
              "decomprima-encode: cannot read input '" + temp_dir() + "': Is a directory\n");

    std::string bad = temp_path("no/dir/out.lzw");
    r = encoder_cli({input, bad});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.stderr_bytes, "decomprima-encode: cannot create code file '" + bad +
                                  "': No such file or directory\n");

    r = encoder_cli({input, "/dev/full"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.stderr_bytes,
              "decomprima-encode: cannot write code file '/dev/full': No space left on device\n");

    r = encoder_cli({input, input});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.stderr_bytes,
              "decomprima-encode: code file '" + input + "' is the input file itself\n");
    EXPECT_EQ(read_file(input), to_bytes("some input"));

    r = encoder_cli({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.stdout_bytes, "decomprima-encode " DECOMPRIMA_VERSION "\n");
    EXPECT_EQ(encoder_cli({"--help"}).status, 0);
    EXPECT_EQ(encoder_cli({}).status, 64);
}

}  // namespace
