#include "SoakFigures.h"

namespace velmora::soak {
namespace {

bool g_list = false;

}  // namespace

void ListEachSample(bool list) {
    g_list = list;
}

Sample TakeSample(int exchanges) {
    if (g_list) {
        std::fprintf(stderr, "sample at %d:\n", exchanges);
        for (const test::ProcessEntry& fd : test::OpenDescriptors())
            std::fprintf(stderr, "  %s %s\n", fd.name.c_str(), fd.what.c_str());
        for (const test::ProcessEntry& thread : test::Threads())
            std::fprintf(stderr, "  %s %s\n", thread.name.c_str(), thread.what.c_str());
    }
    return {exchanges, test::ProcessSample::Now()};
}

void PrintTable(const std::vector<Figures>& parts) {
    std::printf(
        "\n| Part | Exchanges | Wrong verdicts | Descriptors | Threads | Resident memory "
        "| Growth | Mean / worst per exchange |\n"
        "|---|---|---|---|---|---|---|---|\n");
    for (const Figures& f : parts) {
        if (f.samples.size() < 2) continue;
        const Sample& before = f.samples[0];
        const Sample& first = f.samples[1];
        const Sample& last = f.samples.back();
        std::printf(
            "| %s | %d | %d | %d / %d / %d | %d / %d / %d | %.1f MB | %+.3f MB | %.0f / %.0f ms "
            "|\n",
            f.name, f.exchanges, f.wrongVerdicts, before.held.descriptors, first.held.descriptors,
            last.held.descriptors, before.held.threads, first.held.threads, last.held.threads,
            static_cast<double>(first.held.residentKb) / 1024.0,
            static_cast<double>(last.held.residentKb - first.held.residentKb) / 1024.0,
            f.exchanges > 0 ? f.totalMs / f.exchanges : 0.0, f.worstMs);
    }
    std::printf(
        "\nDescriptors and threads: before the first exchange / after it / at the end. "
        "Resident memory after the first exchange, and its growth from there to the end.\n"
        "Samples (exchanges: descriptors, threads, resident kB):\n");
    for (const Figures& f : parts) {
        std::printf("%s:", f.name);
        for (const Sample& s : f.samples)
            std::printf(" %d: %d, %d, %ld;", s.exchanges, s.held.descriptors, s.held.threads,
                        s.held.residentKb);
        std::printf("\n");
    }
}

}  // namespace velmora::soak
