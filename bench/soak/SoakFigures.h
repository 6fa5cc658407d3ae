// The figures of one part of the soak: its exchanges, wrong verdicts, times
// and samples of what the process holds, and the table they end in.
#pragma once

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "ProcessSample.h"

namespace velmora::soak {

// What the process held after `exchanges` exchanges.
struct Sample {
    int exchanges = 0;
    test::ProcessSample held;
};

// With `list`, every sample names on standard error the descriptors and
// threads it counts.
void ListEachSample(bool list);
Sample TakeSample(int exchanges);

// The figures of one part of the soak.
struct Figures {
    const char* name = "";
    int exchanges = 0;
    int wrongVerdicts = 0;
    // Before any exchange, after the first (the serial link keeps two event
    // descriptors from its first open on), then every 50 exchanges.
    std::vector<Sample> samples;
    double totalMs = 0;
    double worstMs = 0;

    void Timed(double ms) {
        totalMs += ms;
        worstMs = std::max(worstMs, ms);
    }
    void Wrong(const std::string& what) {
        ++wrongVerdicts;
        std::fprintf(stderr, "%s, exchange %d: %s\n", name, exchanges, what.c_str());
    }
    // A sample is taken at the first point between two kinds of exchange
    // after each 50th, when no simulator of a hang-up is running and the
    // device that vanishes is back.
    void Count() {
        ++exchanges;
        if (exchanges == 1 || exchanges % 50 == 0) sampleDue = true;
    }
    void SampleAtEnd() {
        sampleDue = samples.empty() || samples.back().exchanges != exchanges;
        SampleIfDue();
    }
    void SampleIfDue() {
        if (sampleDue) samples.push_back(TakeSample(exchanges));
        sampleDue = false;
    }
    bool sampleDue = false;
};

// The table of the parts, then every sample.
void PrintTable(const std::vector<Figures>& parts);

}  // namespace velmora::soak
