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
    EXPECT_EQ(r.stderr_bytes, "decomprima: cannot read code file '" + missing + "': No such file or directory\n");

    r = cli({temp_dir(), temp_path("out.bin")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.stderr_bytes, "decomprima: cannot read code file '" + temp_dir() + "': Is a directory\n");

    std::string bad_out = temp_path("no/dir/out.bin");
    r = cli({code, bad_out});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.stderr_bytes,
              "decomprima: cannot create or write restored file '" + bad_out + "': No such file or directory\n");

    r = cli({code, "/dev/full"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.stderr_bytes,
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

}  // namespace
