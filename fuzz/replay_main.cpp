// Replays corpus files through a fuzz target without libFuzzer, so that
// every seed and every past finding runs as an ordinary test.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

int replay_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "replay: cannot read '%s'\n", path.c_str());
        return 1;
    }
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    std::fprintf(stderr, "replay: %s (%zu bytes)\n", path.c_str(), data.size());
    LLVMFuzzerTestOneInput(data.data(), data.size());
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    int failures = 0, files = 0;
    for (int i = 1; i < argc; i++) {
        struct stat st;
        if (stat(argv[i], &st) == 0 && S_ISDIR(st.st_mode)) {
            DIR *dir = opendir(argv[i]);
            while (dirent *entry = readdir(dir)) {
                if (entry->d_name[0] == '.')
                    continue;
                failures += replay_file(std::string(argv[i]) + "/" + entry->d_name);
                files++;
            }
            closedir(dir);
        } else {
            failures += replay_file(argv[i]);
            files++;
        }
    }
    std::fprintf(stderr, "replay: %d files, %d unreadable\n", files, failures);
    return failures == 0 && files > 0 ? 0 : 1;
}
