// Throughput of reading whole 1 GB stacks (2000 images of 512 x 512 16-bit
// samples) that sit in the page cache, into one destination buffer that was
// touched before timing, so page faults on fresh memory are not what is
// measured. Yardsticks in the same run: libtiff reading every strip, and a
// plain pread of the whole file with one and with two threads.
//
// The stacks are written under /tmp when missing and removed at the end,
// unless TESSEL_BENCH_KEEP=1 is set (handy for repeated runs).
#include <tessel/tiff/big_tiff_reader.h>
#include <tessel/tiff/tiff_stack_reader.h>

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t kSide = 512;
constexpr uint32_t kPages = 2000;
constexpr size_t kImageBytes = size_t{kSide} * kSide * 2;
constexpr size_t kStackBytes = kImageBytes * kPages;
const std::string kFolder = "/tmp/tessel-tiff-bench";

struct Variant {
    const char* name;
    bool bigTiff;
    bool bigEndian;
    uint32_t stripsPerImage;
    std::string path() const { return kFolder + "/" + name + ".tif"; }
};

const Variant kVariants[] = {
    {"classic_1strip", false, false, 1},
    {"bigtiff_1strip", true, false, 1},
    {"bigtiff_32strips", true, false, 32},
    {"bigtiff_bigendian", true, true, 1},
};

std::vector<uint8_t>& destination() {
    static std::vector<uint8_t> buffer;
    return buffer;
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && st.st_size > static_cast<off_t>(kStackBytes);
}

void writeStack(const Variant& v) {
    std::string mode = std::string("w") + (v.bigEndian ? "b" : "l") + (v.bigTiff ? "8" : "");
    TIFF* tif = TIFFOpen(v.path().c_str(), mode.c_str());
    if (tif == nullptr) {
        std::fprintf(stderr, "cannot write %s\n", v.path().c_str());
        std::exit(1);
    }
    const uint32_t rows = kSide / v.stripsPerImage;
    std::vector<uint16_t> image(size_t{kSide} * kSide);
    for (uint32_t p = 0; p < kPages; ++p) {
        for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint16_t>(i * 31 + p);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kSide);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kSide);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rows);
        for (uint32_t s = 0; s < v.stripsPerImage; ++s)
            TIFFWriteEncodedStrip(tif, s, image.data() + size_t{s} * rows * kSide, tmsize_t{rows} * kSide * 2);
        TIFFWriteDirectory(tif);
    }
    TIFFClose(tif);
}

// Reads the whole file once so that it is in the page cache.
void warmPageCache(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY);
    std::vector<char> chunk(1 << 24);
    while (::read(fd, chunk.data(), chunk.size()) > 0) {
    }
    ::close(fd);
}

void BM_Tessel(benchmark::State& state, const Variant& v) {
    warmPageCache(v.path());
    uint8_t* out = destination().data();
    for (auto _ : state) {
        TiffStackReader h = TiffStackReader_Open(v.path().c_str());
        const uint64_t n = TiffStackReader_GetDataSizeBytes(&h);
        if (!TiffStackReader_GetData(&h, out, destination().size())) state.SkipWithError(h.log ? h.log : "failed");
        TiffStackReader_Close(&h);
        benchmark::DoNotOptimize(out);
        if (n != kStackBytes) state.SkipWithError("unexpected data size");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kStackBytes));
}

void BM_Libtiff(benchmark::State& state, const Variant& v) {
    warmPageCache(v.path());
    uint8_t* out = destination().data();
    for (auto _ : state) {
        TIFF* tif = TIFFOpen(v.path().c_str(), "r");
        size_t at = 0;
        do {
            const tmsize_t stripSize = TIFFStripSize(tif);
            for (uint32_t s = 0; s < TIFFNumberOfStrips(tif); ++s) {
                tmsize_t got = TIFFReadEncodedStrip(tif, s, out + at, stripSize);
                if (got < 0) state.SkipWithError("libtiff failed");
                at += static_cast<size_t>(got);
            }
        } while (TIFFReadDirectory(tif));
        TIFFClose(tif);
        benchmark::DoNotOptimize(out);
        if (at != kStackBytes) state.SkipWithError("unexpected data size");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kStackBytes));
}

void preadRange(int fd, uint8_t* out, uint64_t from, uint64_t bytes) {
    while (bytes > 0) {
        ssize_t got = ::pread(fd, out, bytes, static_cast<off_t>(from));
        if (got <= 0) return;
        out += got;
        from += static_cast<uint64_t>(got);
        bytes -= static_cast<uint64_t>(got);
    }
}

void BM_Pread(benchmark::State& state, const Variant& v, int threads) {
    warmPageCache(v.path());
    uint8_t* out = destination().data();
    struct stat st {};
    ::stat(v.path().c_str(), &st);
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    for (auto _ : state) {
        int fd = ::open(v.path().c_str(), O_RDONLY);
        const uint64_t share = size / threads;
        std::vector<std::thread> pool;
        for (int t = 1; t < threads; ++t)
            pool.emplace_back(preadRange, fd, out + t * share, t * share, t + 1 == threads ? size - t * share : share);
        preadRange(fd, out, 0, threads == 1 ? size : share);
        for (auto& t : pool) t.join();
        ::close(fd);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

// Load, range and shift of the whole stack into its own fresh buffer.
void BM_BigTiffReader(benchmark::State& state, const Variant& v) {
    warmPageCache(v.path());
    for (auto _ : state) {
        BigTiffReader r(v.path().c_str());
        if (!r.IsImageDataOK()) state.SkipWithError("BigTiffReader failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kStackBytes));
}

}  // namespace

int main(int argc, char** argv) {
    ::mkdir(kFolder.c_str(), 0755);
    TIFFSetWarningHandler(nullptr);
    for (const Variant& v : kVariants)
        if (!exists(v.path())) writeStack(v);
    // The destination is touched once here, so timing sees a warm buffer.
    destination().assign(kStackBytes + 4096, 1);

    for (const Variant& v : kVariants) {
        benchmark::RegisterBenchmark((std::string("Tessel/") + v.name).c_str(), BM_Tessel, v)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark((std::string("Libtiff/") + v.name).c_str(), BM_Libtiff, v)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    for (int threads : {1, 2})
        benchmark::RegisterBenchmark(("PlainPread/threads:" + std::to_string(threads)).c_str(), BM_Pread, kVariants[1],
                                     threads)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    benchmark::RegisterBenchmark("BigTiffReaderConstruct/bigtiff_1strip", BM_BigTiffReader, kVariants[1])
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    const char* keep = std::getenv("TESSEL_BENCH_KEEP");
    if (keep == nullptr || std::strcmp(keep, "1") != 0) {
        for (const Variant& v : kVariants) std::remove(v.path().c_str());
        ::rmdir(kFolder.c_str());
    }
    return 0;
}
