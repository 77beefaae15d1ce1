// Compression benchmark of the pack format: for each file of a fixed corpus
// (the GPL-2 text with CRLF line ends, the pack tool's own sources) and any
// files named on the command line, the JC block size against raw deflate at
// level 9 and xz -9e, and the decode speed of JcUnpack against zlib's inflate
// on the same bytes in the same run.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <string>
#include <vector>

#include "JcPack.h"
#include "JcUnpack.h"

namespace {

typedef std::vector<unsigned char> Bytes;

struct CorpusFile {
    std::string name;
    Bytes data;
};

bool ReadFile(const std::string& path, Bytes& out) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return false;
    out.clear();
    unsigned char buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, f)) > 0)
        out.insert(out.end(), buffer, buffer + got);
    fclose(f);
    return true;
}

Bytes WithCrlf(const Bytes& text) {
    Bytes out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            out.push_back('\r');
        out.push_back(text[i]);
    }
    return out;
}

Bytes RawDeflate(const Bytes& data) {
    z_stream z;
    memset(&z, 0, sizeof z);
    deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&z, data.size()));
    z.next_in = (Bytef*)data.data();
    z.avail_in = (uInt)data.size();
    z.next_out = out.data();
    z.avail_out = (uInt)out.size();
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

bool RawInflate(z_stream& z, const Bytes& packed, Bytes& out) {
    inflateReset(&z);
    z.next_in = (Bytef*)packed.data();
    z.avail_in = (uInt)packed.size();
    z.next_out = out.data();
    z.avail_out = (uInt)out.size();
    return inflate(&z, Z_FINISH) == Z_STREAM_END;
}

// Size of the xz -9e output, or -1 when xz cannot be run.
long XzSize(const Bytes& data) {
    char path[] = "/tmp/pack-bench-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0)
        return -1;
    bool written = write(fd, data.data(), data.size()) == (ssize_t)data.size();
    close(fd);
    long size = -1;
    if (written) {
        std::string command = std::string("xz -9e -c -T1 -- '") + path + "' 2>/dev/null";
        if (FILE* pipe = popen(command.c_str(), "r")) {
            char buffer[65536];
            size_t got;
            size = 0;
            while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
                size += (long)got;
            if (pclose(pipe) != 0)
                size = -1;
        }
    }
    unlink(path);
    return size;
}

// Output megabytes per second of a decoder, best of a few timed rounds.
template <typename Decode>
double Throughput(size_t outputBytes, Decode decode) {
    double best = 0;
    for (int round = 0; round < 3; ++round) {
        auto start = std::chrono::steady_clock::now();
        double seconds = 0;
        long runs = 0;
        do {
            decode();
            ++runs;
            seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        } while (seconds < 0.25);
        double rate = (double)outputBytes * runs / seconds / 1e6;
        if (rate > best)
            best = rate;
    }
    return best;
}

double Percent(double part, double whole) { return whole > 0 ? 100.0 * part / whole : 0; }

struct Totals {
    double size = 0, jc = 0, deflate = 0, xz = 0;
    bool xzComplete = true;
};

// Prints one row; returns the JC ratio in percent, or -1 on a decode fault.
double BenchFile(const CorpusFile& file, Totals& totals, double& jcRate, double& inflateRate) {
    const Bytes& data = file.data;
    auto start = std::chrono::steady_clock::now();
    Bytes block = JcPack(data.data(), (uint32_t)data.size());
    double packSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    Bytes deflated = RawDeflate(data);
    long xz = XzSize(data);

    Bytes out(data.size());
    if (JcUnpack(block.data(), (uint32_t)block.size(), out.data(), (uint32_t)out.size()) != (int32_t)data.size() ||
        out != data) {
        printf("%-26s JC block does not decode back\n", file.name.c_str());
        return -1;
    }
    z_stream z;
    memset(&z, 0, sizeof z);
    inflateInit2(&z, -15);
    if (!RawInflate(z, deflated, out) || out != data) {
        printf("%-26s deflate stream does not inflate back\n", file.name.c_str());
        inflateEnd(&z);
        return -1;
    }
    jcRate = Throughput(data.size(), [&] {
        JcUnpack(block.data(), (uint32_t)block.size(), out.data(), (uint32_t)out.size());
    });
    inflateRate = Throughput(data.size(), [&] { RawInflate(z, deflated, out); });
    inflateEnd(&z);

    std::string xzText = xz < 0 ? "n/a" : std::to_string(xz) + " " + std::to_string(Percent(xz, data.size())).substr(0, 5) + "%";
    printf("%-26s %8zu %8zu %6.2f%% %8zu %6.2f%% %15s %8.1f %8.1f %5.2f %6.2f\n", file.name.c_str(), data.size(),
           block.size(), Percent(block.size(), data.size()), deflated.size(), Percent(deflated.size(), data.size()),
           xzText.c_str(), jcRate, inflateRate, jcRate / inflateRate, packSeconds);
    totals.size += data.size();
    totals.jc += block.size();
    totals.deflate += deflated.size();
    if (xz < 0)
        totals.xzComplete = false;
    else
        totals.xz += xz;
    return Percent(block.size(), data.size());
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<CorpusFile> corpus;
    Bytes gpl;
    if (ReadFile("/usr/share/common-licenses/GPL-2", gpl))
        corpus.push_back({"GPL-2 (CRLF)", WithCrlf(gpl)});
    else
        fprintf(stderr, "pack_bench: /usr/share/common-licenses/GPL-2 is missing\n");
    const char* sources[] = {"tools/SetupPack.cpp", "tools/JcPack.cpp", "tools/JcPack.h", "pack/JcUnpack.cpp",
                             "pack/JcUnpack.h", "pack/PackReader.cpp", "pack/PackReader.h"};
    for (const char* source : sources) {
        Bytes data;
        if (ReadFile(std::string(TALVERA_SOURCE_DIR) + "/" + source, data))
            corpus.push_back({source, data});
    }
    for (int i = 1; i < argc; ++i) {
        Bytes data;
        if (!ReadFile(argv[i], data)) {
            fprintf(stderr, "pack_bench: cannot read %s\n", argv[i]);
            return 1;
        }
        std::string name = argv[i];
        size_t slash = name.find_last_of('/');
        corpus.push_back({slash == std::string::npos ? name : name.substr(slash + 1), data});
    }

    printf("%-26s %8s %8s %7s %8s %7s %15s %8s %8s %5s %6s\n", "file", "size", "JC", "JC %", "deflate9", "defl %",
           "xz -9e", "JC MB/s", "inf MB/s", "ratio", "pack s");
    Totals totals;
    double gplRatio = -1, worstSpeedRatio = 1e9;
    bool faults = false;
    for (const CorpusFile& file : corpus) {
        double jcRate = 0, inflateRate = 1;
        double ratio = BenchFile(file, totals, jcRate, inflateRate);
        if (ratio < 0) {
            faults = true;
            continue;
        }
        if (file.name == "GPL-2 (CRLF)")
            gplRatio = ratio;
        if (jcRate / inflateRate < worstSpeedRatio)
            worstSpeedRatio = jcRate / inflateRate;
    }
    printf("%-26s %8.0f %8.0f %6.2f%% %8.0f %6.2f%% %15s\n", "total", totals.size, totals.jc,
           Percent(totals.jc, totals.size), totals.deflate, Percent(totals.deflate, totals.size),
           totals.xzComplete ? (std::to_string((long)totals.xz) + " " + std::to_string(Percent(totals.xz, totals.size)).substr(0, 5) + "%").c_str() : "n/a");
    printf("\ntarget: JC ratio on the GPL-2 text <= 38.5%%: %.2f%% (%s)\n", gplRatio,
           gplRatio >= 0 && gplRatio <= 38.5 ? "met" : "not met");
    printf("target: JC decode >= 0.4 x inflate: worst %.2f x (%s)\n", worstSpeedRatio,
           worstSpeedRatio >= 0.4 ? "met" : "not met");
    return faults ? 1 : 0;
}
