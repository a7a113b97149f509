// Whole-process, file-to-file benchmark of the decoder and the encoder
// against their peers on a deterministic corpus.
//
// decode: decomprima(code file, restored file) against libtiff's LZW
//   decoder (TIFFReadEncodedStrip plus writing the file) on the very same
//   stream (libtiff's raw strip is a valid code file), and against the
//   write floor (fwrite of the restored bytes from memory).
// encode: decomprima-encode's encoder (memory to file) against libtiff's
//   LZW encoder (TIFFWriteEncodedStrip of a one-strip image): sizes and
//   speeds.
// Peers alternate round by round (A B A B ...); the table shows medians,
// MB/s of restored (or input) bytes, and ratios.
#include "corpus.h"
#include "decomprima.h"
#include "lzw_encoder.h"

#ifdef HAVE_LIBTIFF
#  include <tiffio.h>
#endif

#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

extern char **environ;

namespace {

std::string work_dir;
int rounds = 7;

double now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string path_of(const std::string &name) { return work_dir + "/" + name; }

void write_all(const std::string &path, const bytes &data)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(data.data(), 1, data.size(), f) != data.size() ||
        std::fclose(f) != 0)
        throw std::runtime_error("cannot write " + path);
}

bytes read_all(const std::string &path)
{
    FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        throw std::runtime_error("cannot read " + path);
    bytes data;
    uint8_t block[1 << 16];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0)
        data.insert(data.end(), block, block + n);
    std::fclose(f);
    return data;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Runs each peer once per round, in turn, and returns each one's median
// seconds. Outputs are removed before each run so that no peer pays for
// truncating another's file.
std::vector<double> alternate(const std::vector<std::function<void()>> &peers,
                              const std::string &output)
{
    std::vector<std::vector<double>> times(peers.size());
    for (int round = 0; round < rounds; round++) {
        for (size_t p = 0; p < peers.size(); p++) {
            std::remove(output.c_str());
            double start = now();
            peers[p]();
            times[p].push_back(now() - start);
        }
    }
    std::vector<double> medians;
    for (auto &t : times)
        medians.push_back(median(t));
    return medians;
}

double mb_per_s(size_t size, double seconds) { return static_cast<double>(size) / 1e6 / seconds; }

// Peak resident memory of a fresh process that restores code_path, in
// KiB: this program started again in its probe mode (see main). The
// kernel's rusage figure cannot serve: a child started from this process
// inherits its peak, corpus and all, through the exec.
long peak_rss_kib(const std::string &code_path, const std::string &output)
{
    std::string self = "/proc/self/exe", report = path_of("rss.txt");
    char *argv[] = {self.data(),
                    const_cast<char *>("--peak-rss-probe"),
                    const_cast<char *>(code_path.c_str()),
                    const_cast<char *>(output.c_str()),
                    report.data(),
                    nullptr};
    pid_t pid;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ) != 0)
        return -1;
    int status;
    if (waitpid(pid, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    long kib = -1;
    if (FILE *f = std::fopen(report.c_str(), "r")) {
        if (std::fscanf(f, "%ld", &kib) != 1)
            kib = -1;
        std::fclose(f);
    }
    return kib;
}

// The high-water mark of this process's own memory (VmHWM), in KiB.
long own_peak_rss_kib()
{
    FILE *f = std::fopen("/proc/self/status", "r");
    if (f == nullptr)
        return -1;
    char line[256];
    long kib = -1;
    while (std::fgets(line, sizeof line, f) != nullptr)
        if (std::sscanf(line, "VmHWM: %ld kB", &kib) == 1)
            break;
    std::fclose(f);
    return kib;
}

// Probe mode: restore one file (or nothing, for the baseline) and report
// the peak.
int peak_rss_probe(char *code, char *restored, const char *report)
{
    if (code[0] != '\0' && decomprima(code, restored) != 0)
        return 1;
    FILE *f = std::fopen(report, "w");
    if (f == nullptr)
        return 1;
    std::fprintf(f, "%ld\n", own_peak_rss_kib());
    return std::fclose(f) == 0 ? 0 : 1;
}

void run_decomprima(const std::string &code, const std::string &out)
{
    int result = decomprima(const_cast<char *>(code.c_str()), const_cast<char *>(out.c_str()));
    if (result != 0)
        throw std::runtime_error("decomprima returned " + std::to_string(result));
}

void write_floor(const bytes &data, const std::string &out) { write_all(out, data); }

bool sink_to_file(void *context, const uint8_t *data, size_t size)
{
    return std::fwrite(data, 1, size, static_cast<FILE *>(context)) == size;
}

lzw_encoder encoder;

void encode_to_file(const bytes &input, const std::string &out)
{
    FILE *f = std::fopen(out.c_str(), "wb");
    if (f == nullptr)
        throw std::runtime_error("cannot create " + out);
    lzw_encoder_start(&encoder, sink_to_file, f);
    lzw_encoder_feed(&encoder, input.data(), input.size());
    bool ok = lzw_encoder_finish(&encoder);
    if (std::fclose(f) != 0 || !ok)
        throw std::runtime_error("cannot write " + out);
}

#ifdef HAVE_LIBTIFF
constexpr uint32_t tiff_width = 4096;

// One strip, 8-bit grey, LZW without predictor: the strip is a plain
// code stream of the same family.
size_t tiff_encode(const bytes &input, const std::string &out)
{
    TIFF *tif = TIFFOpen(out.c_str(), "w");
    if (tif == nullptr)
        throw std::runtime_error("TIFFOpen failed for " + out);
    uint32_t height = static_cast<uint32_t>(input.size() / tiff_width);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, tiff_width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, height);
    if (TIFFWriteEncodedStrip(tif, 0, const_cast<uint8_t *>(input.data()),
                              static_cast<tmsize_t>(height) * tiff_width) < 0)
        throw std::runtime_error("TIFFWriteEncodedStrip failed");
    TIFFClose(tif);
    return 0;
}

bytes tiff_raw_strip(const std::string &tiff_path)
{
    TIFF *tif = TIFFOpen(tiff_path.c_str(), "r");
    if (tif == nullptr)
        throw std::runtime_error("TIFFOpen failed for " + tiff_path);
    uint64_t *counts = nullptr;
    TIFFGetField(tif, TIFFTAG_STRIPBYTECOUNTS, &counts);
    bytes raw(counts[0]);
    TIFFReadRawStrip(tif, 0, raw.data(), static_cast<tmsize_t>(raw.size()));
    TIFFClose(tif);
    return raw;
}

bytes tiff_buffer;

void tiff_decode(const std::string &tiff_path, const std::string &out)
{
    TIFF *tif = TIFFOpen(tiff_path.c_str(), "r");
    if (tif == nullptr)
        throw std::runtime_error("TIFFOpen failed for " + tiff_path);
    tmsize_t n =
        TIFFReadEncodedStrip(tif, 0, tiff_buffer.data(), static_cast<tmsize_t>(tiff_buffer.size()));
    TIFFClose(tif);
    if (n < 0)
        throw std::runtime_error("TIFFReadEncodedStrip failed");
    FILE *f = std::fopen(out.c_str(), "wb");
    if (f == nullptr ||
        std::fwrite(tiff_buffer.data(), 1, static_cast<size_t>(n), f) != static_cast<size_t>(n) ||
        std::fclose(f) != 0)
        throw std::runtime_error("cannot write " + out);
}
#endif

void bench_decode(const std::vector<corpus_file> &corpus)
{
    std::printf("\n### Decoding, file to file (median of %d rounds)\n\n", rounds);
    std::printf(
        "Peak RSS: a fresh process restoring the file; the same process restoring nothing peaks at "
        "%ld "
        "KiB.\n\n",
        peak_rss_kib("", path_of("restored.bin")));
#ifdef HAVE_LIBTIFF
    std::printf(
        "| input | restored MB | decomprima MB/s | libtiff MB/s | write floor MB/s | vs libtiff | "
        "vs floor "
        "| peak RSS KiB |\n|---|---|---|---|---|---|---|---|\n");
#else
    std::printf(
        "| input | restored MB | decomprima MB/s | write floor MB/s | vs floor | peak RSS KiB |\n"
        "|---|---|---|---|---|---|\n");
#endif
    const std::string out = path_of("restored.bin");
    for (const corpus_file &file : corpus) {
        const std::string code = path_of(file.name + ".lzw");
#ifdef HAVE_LIBTIFF
        // Both decoders read libtiff's stream: the same codes for both.
        const std::string tiff = path_of(file.name + ".tif");
        tiff_encode(file.data, tiff);
        write_all(code, tiff_raw_strip(tiff));
        tiff_buffer.resize(file.data.size());
#else
        encode_to_file(file.data, code);
#endif
        run_decomprima(code, out);
        if (read_all(out) != file.data)
            throw std::runtime_error("decomprima restored " + file.name + " wrongly");
        std::vector<std::function<void()>> peers = {
            [&] { run_decomprima(code, out); },
#ifdef HAVE_LIBTIFF
            [&] { tiff_decode(tiff, out); },
#endif
            [&] { write_floor(file.data, out); },
        };
        std::vector<double> t = alternate(peers, out);
        long rss = peak_rss_kib(code, out);
        double ours = mb_per_s(file.data.size(), t[0]);
        double floor_speed = mb_per_s(file.data.size(), t.back());
#ifdef HAVE_LIBTIFF
        double tiff_speed = mb_per_s(file.data.size(), t[1]);
        std::printf("| %s | %.1f | %.0f | %.0f | %.0f | %.2fx | %.2fx | %ld |\n", file.name.c_str(),
                    file.data.size() / 1e6, ours, tiff_speed, floor_speed, ours / tiff_speed,
                    ours / floor_speed, rss);
#else
        std::printf("| %s | %.1f | %.0f | %.0f | %.2fx | %ld |\n", file.name.c_str(),
                    file.data.size() / 1e6, ours, floor_speed, ours / floor_speed, rss);
#endif
        std::fflush(stdout);
    }
}

void bench_deepest(size_t output_size)
{
    size_t restored = 0;
    bytes code_file = make_deepest_code_file(output_size, &restored);
    const std::string code = path_of("deepest.lzw"), out = path_of("restored.bin");
    write_all(code, code_file);
    run_decomprima(code, out);
    bytes expected(restored, 97);
    if (read_all(out) != expected)
        throw std::runtime_error("decomprima restored the deepest stream wrongly");
    std::vector<double> t =
        alternate({[&] { run_decomprima(code, out); }, [&] { write_floor(expected, out); }}, out);
    long rss = peak_rss_kib(code, out);
    double ours = mb_per_s(restored, t[0]), floor_speed = mb_per_s(restored, t[1]);
    std::printf(
        "\n### Deepest stream (every entry extends the one before), file to file\n\n"
        "| restored MB | decomprima MB/s | write floor MB/s | vs floor | peak RSS KiB |\n"
        "|---|---|---|---|---|\n| %.1f | %.0f | %.0f | %.2fx | %ld |\n",
        restored / 1e6, ours, floor_speed, ours / floor_speed, rss);
}

void bench_encode(const std::vector<corpus_file> &corpus)
{
    std::printf("\n### Encoding, memory to file (median of %d rounds)\n\n", rounds);
#ifdef HAVE_LIBTIFF
    std::printf(
        "| input | input MB | encoder bytes | libtiff bytes | size vs libtiff | encoder MB/s | "
        "libtiff MB/s "
        "| speed vs libtiff |\n|---|---|---|---|---|---|---|---|\n");
#else
    std::printf(
        "| input | input MB | encoder bytes | ratio | encoder MB/s |\n|---|---|---|---|---|\n");
#endif
    const std::string out = path_of("encoded.bin");
    for (const corpus_file &file : corpus) {
        encode_to_file(file.data, out);
        struct stat st;
        stat(out.c_str(), &st);
        size_t ours_size = static_cast<size_t>(st.st_size);
        if (file.data.size() <= (64u << 20)) {  // check the round trip
            const std::string back = path_of("back.bin");
            run_decomprima(out, back);
            if (read_all(back) != file.data)
                throw std::runtime_error("encoder round trip failed on " + file.name);
        }
#ifdef HAVE_LIBTIFF
        tiff_encode(file.data, out);
        size_t tiff_size = tiff_raw_strip(out).size();
        std::vector<double> t = alternate(
            {[&] { encode_to_file(file.data, out); }, [&] { tiff_encode(file.data, out); }}, out);
        double ours = mb_per_s(file.data.size(), t[0]),
               tiff_speed = mb_per_s(file.data.size(), t[1]);
        std::printf("| %s | %.1f | %zu | %zu | %.4f | %.0f | %.0f | %.2fx |\n", file.name.c_str(),
                    file.data.size() / 1e6, ours_size, tiff_size,
                    static_cast<double>(ours_size) / tiff_size, ours, tiff_speed,
                    ours / tiff_speed);
#else
        std::vector<double> t = alternate({[&] { encode_to_file(file.data, out); }}, out);
        std::printf("| %s | %.1f | %zu | %.3f | %.0f |\n", file.name.c_str(),
                    file.data.size() / 1e6, ours_size,
                    static_cast<double>(ours_size) / file.data.size(),
                    mb_per_s(file.data.size(), t[0]));
#endif
        std::fflush(stdout);
    }
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc == 5 && std::strcmp(argv[1], "--peak-rss-probe") == 0)
        return peak_rss_probe(argv[2], argv[3], argv[4]);
    size_t size_mib = 24, deepest_mb = 100;
    std::string what = "all";
    bool keep = false;  // leave the code files behind, e.g. for profiling
    std::string only;   // comma-separated inputs (text,binary,image,runs,random,deepest)
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--size" && i + 1 < argc)
            size_mib = std::strtoul(argv[++i], nullptr, 10);
        else if (arg == "--deepest-mb" && i + 1 < argc)
            deepest_mb = std::strtoul(argv[++i], nullptr, 10);
        else if (arg == "--rounds" && i + 1 < argc)
            rounds = std::atoi(argv[++i]);
        else if (arg == "--only" && i + 1 < argc)
            only = argv[++i];
        else if (arg == "--keep")
            keep = true;
        else if (arg == "decode" || arg == "encode" || arg == "all")
            what = arg;
        else {
            std::fprintf(stderr,
                         "usage: decomprima_bench [decode|encode|all] [--size MiB] [--deepest-mb "
                         "MB] [--rounds N] "
                         "[--only text,binary,image,runs,random,deepest] [--keep]\n");
            return 64;
        }
    }
    char pattern[] = "/tmp/decomprima-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        std::perror("decomprima_bench: mkdtemp");
        return 1;
    }
    work_dir = pattern;
    int status = 0;
    try {
        std::vector<corpus_file> corpus = make_corpus(size_mib << 20);
        if (!only.empty()) {
            corpus.erase(std::remove_if(corpus.begin(), corpus.end(),
                                        [&](const corpus_file &f) {
                                            return only.find(f.name) == std::string::npos;
                                        }),
                         corpus.end());
        }
        std::printf("Corpus: %zu MiB per input; files in %s\n", size_mib, work_dir.c_str());
        if (what != "encode") {
            bench_decode(corpus);
            if (only.empty() || only.find("deepest") != std::string::npos)
                bench_deepest(deepest_mb * 1000000);
        }
        if (what != "decode")
            bench_encode(corpus);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "decomprima_bench: %s\n", e.what());
        status = 1;
    }
    std::string cleanup = "rm -rf '" + work_dir + "'";
    if (keep)
        std::printf("Files kept in %s\n", work_dir.c_str());
    else if (std::system(cleanup.c_str()) != 0)
        std::fprintf(stderr, "decomprima_bench: could not remove %s\n", work_dir.c_str());
    return status;
}
