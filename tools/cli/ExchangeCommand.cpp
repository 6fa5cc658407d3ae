// send and delete: one exchange per port, all at once in one event loop, each
// with its own link and reply timer and judged as a single exchange is.
#include <QEventLoop>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "CliHost.h"
#include "Commands.h"
#include "DateFile.h"
#include "ExchangeRecord.h"
#include "JsonOutput.h"
#include "Platform.h"
#include "SerialPorts.h"
#include "Settings.h"
#include "UploadRecording.h"

namespace velmora::cli {
namespace {

static_assert(OutcomeExitCode(Outcome::UnableToOpen) == kExitPortUnavailable &&
              OutcomeExitCode(Outcome::NoReply) == kExitNoReply &&
              OutcomeExitCode(Outcome::CommunicationError) == kExitCommunicationError);

using std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

// One port's exchange and what the report needs of it afterwards.
struct PortRun {
    PortChoice port;
    std::string devicePath;
    std::unique_ptr<ProgressReporter> progress;
    std::unique_ptr<CliHost> host;
    std::chrono::system_clock::time_point began;
    SteadyClock::time_point started;
    milliseconds took{};

    Outcome Result() const { return *host->Result(); }
    // DST Delete's one frame is answered well when the device says it is done.
    int FramesAnswered(bool send) const {
        if (send) return host->FramesAnswered();
        return Result() == Outcome::Done ? 1 : 0;
    }
};

// 0 when every port is done, else the exit code of the first port, in the
// order given, that is not.
const PortRun* FirstFailed(const std::vector<PortRun>& runs) {
    for (const PortRun& run : runs)
        if (run.Result() != Outcome::Done) return &run;
    return nullptr;
}

void AddToRecord(const PortRun& run, bool send, const Options& options,
                 const std::vector<DstRecord>& records) {
    UploadRecord record = BeginExchangeRecord("velmora-cli", send, records, run.port.number);
    if (send) record.sourceFile = options.file;
    record.devicePath = run.devicePath;
    FinishExchangeRecord(record, run.Result(), run.host->FramesAnswered(), run.began, run.took);
    AppendToUploadRecord(record);
}

// The ports' fields of the document: each port's own object.
void WritePort(json::JsonWriter& document, const PortRun& run, bool send) {
    const Outcome outcome = run.Result();
    document.BeginObject()
        .FieldOrNull("port", run.port.number > 0 ? std::optional(run.port.number) : std::nullopt)
        .Field("devicePath", run.devicePath)
        .Field("outcome", OutcomeText(outcome))
        .Field("exitCode", OutcomeExitCode(outcome))
        .Field("framesAnswered", run.FramesAnswered(send))
        .Field("durationMs", static_cast<long long>(run.took.count()))
        .FieldOrNull("details", NullIfEmpty(run.host->FailureDetails()))
        .EndObject();
}

int PrintExchangeDocument(const Options& options, const std::vector<PortRun>& runs, int timeoutMs,
                          std::size_t frames, milliseconds took) {
    const bool send = options.command == Command::Send;
    const PortRun* failed = FirstFailed(runs);
    const Outcome outcome = failed ? failed->Result() : Outcome::Done;
    json::JsonWriter document = BeginDocument(options.command);
    document
        .FieldOrNull("file", send ? std::optional<std::string_view>(options.file) : std::nullopt)
        .Field("timeoutMs", timeoutMs)
        .FieldOrNull("earlyGapMs", options.earlyGapMs)
        .Field("frames", static_cast<int>(frames));
    // One port's own keys stay where a single exchange's document has them.
    if (runs.size() == 1) {
        const PortRun& run = runs.front();
        document
            .FieldOrNull("port",
                         run.port.number > 0 ? std::optional(run.port.number) : std::nullopt)
            .Field("devicePath", run.devicePath)
            .Field("framesAnswered", run.FramesAnswered(send))
            .FieldOrNull("details", NullIfEmpty(run.host->FailureDetails()));
    }
    document.Field("outcome", OutcomeText(outcome))
        .Field("durationMs", static_cast<long long>(took.count()));
    document.Key("ports").BeginArray();
    for (const PortRun& run : runs) WritePort(document, run, send);
    document.EndArray();
    const int exitCode = OutcomeExitCode(outcome);
    if (!failed) return PrintDocument(document, exitCode);
    const std::string& details = failed->host->FailureDetails();
    std::string message = details.empty() ? OutcomeText(outcome) : details;
    if (runs.size() > 1) message = failed->port.Name() + ": " + message;
    return PrintDocument(document, exitCode, message);
}

}  // namespace

int RunExchange(const Options& options) {
    const Profile profile(ProfilePathIn(CurrentDirectory()));
    const Settings stored = ReadSettings(profile);
    const int timeoutMs = options.timeoutMs.value_or(stored.timeoutMs);
    // The window would judge at once (or never); a script wants neither.
    if (timeoutMs < 1)
        return Fail(options, "\"Timeout\" in " + profile.Path() + " is " +
                                 std::to_string(timeoutMs) + "; give --timeout MS");

    // The records the window would send after opening the file in day-first order.
    const bool send = options.command == Command::Send;
    std::vector<DstRecord> records;
    if (send) {
        DateFileBytes file{};
        if (!ReadDateFile(options.file, file)) return Fail(options, UnreadableFile(options.file));
        for (const DstRow& row : FileBytesToRows(file, 0)) records.push_back(RowToRecord(row, 0));
    }

    // The ports and their devices; one device named twice would fight itself.
    const ComPortPaths paths = ReadComPortPaths(profile);
    std::vector<PortChoice> ports = options.ports;
    if (ports.empty()) ports.push_back(PortChoice{stored.port, {}});
    const bool several = ports.size() > 1;
    std::vector<PortRun> runs(ports.size());
    std::map<std::string, std::string> named;  // device key -> the port that named it
    for (std::size_t i = 0; i < ports.size(); ++i) {
        PortRun& run = runs[i];
        run.port = ports[i];
        run.devicePath =
            run.port.number > 0 ? ComPortPathOf(paths, run.port.number) : run.port.path;
        const auto [earlier, added] = named.emplace(SameDeviceKey(run.devicePath), run.port.Name());
        if (!added)
            return Fail(options, "--port " + ShownPath(earlier->second) + " and --port " +
                                     ShownPath(run.port.Name()) + " are the same device, " +
                                     ShownPath(run.devicePath));
    }

    QEventLoop loop;
    std::size_t running = runs.size();
    const auto started = SteadyClock::now();
    for (PortRun& run : runs) {
        LinkSettings settings;
        settings.portNumber = run.port.number;
        settings.devicePath = run.port.path;
        settings.timeoutMs = timeoutMs;
        settings.earlyGapMs = options.earlyGapMs;
        settings.trace = options.trace;
        if (several) settings.prefix = ShownPath(run.port.Name()) + ": ";
        // A bar redrawn in place would garble the trace's lines and the other ports'.
        run.progress = std::make_unique<ProgressReporter>(
            stderr, !several && StandardErrorIsTerminal() && !options.trace, settings.prefix);
        run.host = std::make_unique<CliHost>(paths, std::move(settings), records, *run.progress);
    }
    for (PortRun& run : runs) {
        run.began = std::chrono::system_clock::now();
        run.started = SteadyClock::now();
        run.host->Start(send, [&run, &running, &loop] {
            run.took = std::chrono::duration_cast<milliseconds>(SteadyClock::now() - run.started);
            if (--running == 0) loop.quit();
        });
    }
    // Ports that cannot be opened are finished before the loop runs.
    if (running > 0) loop.exec();
    const auto took = std::chrono::duration_cast<milliseconds>(SteadyClock::now() - started);

    if (!options.json) {
        for (const PortRun& run : runs) {
            if (several) std::printf("%s: ", ShownPath(run.port.Name()).c_str());
            std::printf("%s\n", OutcomeText(run.Result()));
        }
        std::fflush(stdout);
    }
    if (stored.recordUploads)
        for (const PortRun& run : runs) AddToRecord(run, send, options, records);
    const std::size_t frames = send ? records.size() : 1;
    if (options.json) return PrintExchangeDocument(options, runs, timeoutMs, frames, took);
    const PortRun* failed = FirstFailed(runs);
    return failed ? OutcomeExitCode(failed->Result()) : kExitDone;
}

}  // namespace velmora::cli
