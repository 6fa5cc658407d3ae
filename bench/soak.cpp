// A soak of many exchanges in one process, run by hand (never as a test):
//
//   1. exchanges through the exchange controller against velmora-devsim,
//      rotating the device's behaviour (a good answer; answers of 12, 14 and 16
//      bytes; silence; a last byte that is not zero; bytes spaced slowly; a
//      hang-up in the middle of an answer; the device vanishing and coming back;
//      a second command taking over a running one), uploads and DST Deletes,
//      with and without early judgement;
//   2. uploads from the main window (offscreen) by clicks on Send, each box
//      closed with Return, the rows reloaded from a file now and then.
//
// Every verdict is compared with what the device did: a good answer is exactly
// 15 bytes ending in 0x00; an upload calls every other length "No reply!" and
// 15 bytes ending otherwise "Communication error!"; DST Delete calls only 12
// bytes "No reply!" and every other bad answer "Communication error!". A port
// that cannot be opened must say which device and why. Every 50 exchanges the
// process's descriptors, threads and resident memory are sampled; the end is
// one table.
//
//   soak [--exchanges N] [--window-uploads N] [--timeout MS] [--list]

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "DateFile.h"
#include "ExchangeController.h"
#include "Files.h"
#include "Subprocess.h"

using namespace velmora;
using velmora::test::Simulator;

namespace {

// ---------------------------------------------------------------------------
// What the process holds.

struct Sample {
    int exchanges = 0;
    int descriptors = 0;
    int threads = 0;
    long rssKb = 0;
};

// With --list every sample names the descriptors and threads it counts.
bool g_list = false;

// The entries of a folder of /proc/self, each with what `describe` says of it.
int CountEntries(const char* folder,
                 const std::function<std::string(const std::filesystem::path&)>& describe) {
    int count = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        ++count;
        if (g_list)
            std::fprintf(stderr, "  %s %s\n", entry.path().filename().c_str(),
                         describe(entry.path()).c_str());
    }
    return count;
}

int OpenDescriptors() {
    // Less the one the iterator holds.
    return CountEntries("/proc/self/fd",
                        [](const std::filesystem::path& path) {
                            std::error_code error;
                            return std::filesystem::read_symlink(path, error).string();
                        }) -
           1;
}

int Threads() {
    return CountEntries("/proc/self/task", [](const std::filesystem::path& path) {
        std::ifstream comm(path / "comm");
        std::string name;
        std::getline(comm, name);
        return name;
    });
}

long ResidentKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:")) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

Sample TakeSample(int exchanges) {
    if (g_list) std::fprintf(stderr, "sample at %d:\n", exchanges);
    const int descriptors = OpenDescriptors();
    return {exchanges, descriptors, Threads(), ResidentKb()};
}

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

// ---------------------------------------------------------------------------
// Part 1: the exchange controller against the simulator.

enum class Command { Send, Delete };

const char* CommandName(Command command) {
    return command == Command::Send ? "upload" : "DST Delete";
}

// How the device answers, and the verdict the rules give for it.
struct Behaviour {
    const char* name;
    std::vector<std::string> simulatorArgs;
    Outcome upload;
    Outcome dstDelete;
};

// The device answers every frame this way.
const std::vector<Behaviour>& Behaviours() {
    static const std::vector<Behaviour> behaviours = {
        {"good answer", {}, Outcome::Done, Outcome::Done},
        {"12 bytes", {"--fail-mode", "len12"}, Outcome::NoReply, Outcome::NoReply},
        {"14 bytes", {"--fail-mode", "len14"}, Outcome::NoReply, Outcome::CommunicationError},
        {"16 bytes", {"--fail-mode", "len16"}, Outcome::NoReply, Outcome::CommunicationError},
        {"silence", {"--fail-mode", "silence"}, Outcome::NoReply, Outcome::CommunicationError},
        {"last byte 01",
         {"--fail-mode", "last01"},
         Outcome::CommunicationError,
         Outcome::CommunicationError},
        {"slow bytes", {"--slow-byte", "3"}, Outcome::Done, Outcome::Done},
    };
    return behaviours;
}

class SoakFrontEnd : public IExchangeFrontEnd {
  public:
    explicit SoakFrontEnd(int timeoutMs) : m_timeout(timeoutMs) {
        // Fifteen rows of 2027 to 2041: 28 March to 31 October.
        for (std::uint8_t year = 27; year < 27 + kMaxRows; ++year)
            m_records.push_back({28, 3, 31, 10, year});
    }

    std::vector<DstRecord> ReadRecords() override { return m_records; }
    int Timeout() const override { return m_timeout; }
    int Port() const override { return 1; }
    std::string DevicePath(int) const override { return m_devicePath; }
    void ShowProgress() override {}
    void ShowBox(Outcome outcome, const std::string& details) override {
        m_boxes.push_back(
            {outcome, details, m_exchange ? m_exchange->Sequence().ReplyBuffer().size() : 0});
        m_loop.quit();
    }
    void ShowLinkError(const std::string& text) override {
        ++m_linkErrors;
        m_lastLinkError = text;
    }
    void DeliverLinkMessage(ExchangeController& exchange, const LinkMessage& message) override {
        IExchangeFrontEnd::DeliverLinkMessage(exchange, message);
        if (m_onByte) m_onByte(exchange);
    }

    // Runs `start` and waits for the exchange's box, at most `limitMs`.
    void RunUntilBox(const std::function<void()>& start, int limitMs) {
        m_boxes.clear();
        start();
        if (m_boxes.empty()) {
            QTimer limit;
            limit.setSingleShot(true);
            QObject::connect(&limit, &QTimer::timeout, &m_loop, &QEventLoop::quit);
            limit.start(limitMs);
            m_loop.exec();
        }
        // A box of an exchange that was taken over would come after the one
        // that ended the loop; give it the time to show up.
        QCoreApplication::processEvents();
    }

    struct Box {
        Outcome outcome;
        std::string details;
        std::size_t bytes;  // in the buffer when it was judged
    };
    const ExchangeController* m_exchange = nullptr;
    std::string m_devicePath;
    std::vector<Box> m_boxes;
    int m_linkErrors = 0;
    std::string m_lastLinkError;
    std::function<void(ExchangeController&)> m_onByte;

  private:
    int m_timeout;
    std::vector<DstRecord> m_records;
    QEventLoop m_loop;
};

class ControllerSoak {
  public:
    ControllerSoak(int timeoutMs, Figures& figures)
        : m_timeoutMs(timeoutMs),
          m_figures(figures),
          m_frontEnd(timeoutMs),
          m_exchange(m_frontEnd) {
        m_frontEnd.m_exchange = &m_exchange;
        for (const Behaviour& behaviour : Behaviours())
            m_simulators.push_back(std::make_unique<Simulator>(behaviour.simulatorArgs));
    }

    void Run(int exchanges) {
        m_figures.samples.push_back(TakeSample(0));
        // Each round goes through every behaviour with one command and one way
        // of judging; four rounds give every combination.
        for (int round = 0; m_figures.exchanges < exchanges; ++round) {
            const Command command = round % 2 == 0 ? Command::Send : Command::Delete;
            const bool early = (round / 2) % 2 == 1;
            m_exchange.SetEarlyJudgement(early ? std::optional<int>(kDefaultQuietGapMs)
                                               : std::nullopt);
            for (std::size_t i = 0; i < Behaviours().size(); ++i) {
                if (m_figures.exchanges >= exchanges) break;
                m_frontEnd.m_devicePath = m_simulators[i]->DevicePath();
                const Behaviour& behaviour = Behaviours()[i];
                Exchange(command, early, behaviour.name,
                         command == Command::Send ? behaviour.upload : behaviour.dstDelete);
                m_figures.SampleIfDue();
            }
            if (m_figures.exchanges < exchanges) HangUp(command, early);
            m_figures.SampleIfDue();
            if (m_figures.exchanges < exchanges) VanishAndComeBack(command, early);
            m_figures.SampleIfDue();
            if (m_figures.exchanges < exchanges) TakeOver(command, early);
            m_figures.SampleIfDue();
        }
        m_figures.SampleAtEnd();
    }

    int LinkErrors() const { return m_frontEnd.m_linkErrors; }

  private:
    // The longest any exchange may take: fifteen reply periods and a margin.
    int Limit() const { return (kMaxRows + 2) * m_timeoutMs + 5000; }

    void Start(Command command) {
        if (command == Command::Send)
            m_exchange.Send();
        else
            m_exchange.DstDelete();
    }

    // One exchange, its verdict compared with `expected`; false when it was wrong.
    bool Exchange(Command command, bool early, const std::string& what, Outcome expected) {
        QElapsedTimer clock;
        clock.start();
        m_frontEnd.RunUntilBox([&] { Start(command); }, Limit());
        m_figures.Timed(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        const bool right = Judge(command, early, what, expected);
        m_figures.Count();
        return right;
    }

    bool Judge(Command command, bool early, const std::string& what, Outcome expected) {
        const std::string label =
            std::string(CommandName(command)) + (early ? ", early" : "") + ", " + what;
        const auto& boxes = m_frontEnd.m_boxes;
        if (boxes.size() != 1) {
            m_figures.Wrong(label + ": " + std::to_string(boxes.size()) + " boxes");
            return false;
        }
        if (boxes.front().outcome != expected) {
            m_figures.Wrong(label + ": \"" + OutcomeText(boxes.front().outcome) +
                            "\" instead of \"" + OutcomeText(expected) + "\" (" +
                            std::to_string(boxes.front().bytes) + " bytes judged)");
            return false;
        }
        if (expected == Outcome::UnableToOpen &&
            boxes.front().details.find("not present") == std::string::npos) {
            m_figures.Wrong(label + ": the failure to open does not say why: \"" +
                            boxes.front().details + "\"");
            return false;
        }
        if (expected != Outcome::UnableToOpen && !boxes.front().details.empty()) {
            m_figures.Wrong(label + ": details on a verdict: " + boxes.front().details);
            return false;
        }
        // An upload that is done wrote and acknowledged all fifteen frames.
        if (command == Command::Send && expected == Outcome::Done &&
            m_exchange.Sequence().AcknowledgedCount() != kMaxRows) {
            m_figures.Wrong(label + ": \"Done!\" after " +
                            std::to_string(m_exchange.Sequence().AcknowledgedCount()) + " frames");
            return false;
        }
        return true;
    }

    // The device hangs up while answering: in an upload the third frame gets
    // seven bytes of its answer, DST Delete's only frame the same.
    void HangUp(Command command, bool early) {
        const std::string frame = command == Command::Send ? "2" : "0";
        auto simulator =
            std::make_unique<Simulator>(std::vector<std::string>{"--hangup-at", frame});
        m_frontEnd.m_devicePath = simulator->DevicePath();
        Exchange(command, early, "hang-up mid-answer",
                 command == Command::Send ? Outcome::NoReply : Outcome::CommunicationError);
    }

    // The good device goes away: the port cannot be opened, and says why; then
    // it comes back (on a new terminal, as an adapter may) and answers again.
    void VanishAndComeBack(Command command, bool early) {
        const std::string gone = m_simulators.front()->DevicePath();
        m_simulators.front().reset();
        m_frontEnd.m_devicePath = gone;
        Exchange(command, early, "device gone", Outcome::UnableToOpen);
        m_simulators.front() = std::make_unique<Simulator>();
        m_frontEnd.m_devicePath = m_simulators.front()->DevicePath();
        Exchange(command, early, "device back", Outcome::Done);
    }

    // An upload runs; once the answer to its third frame is complete (the line
    // then quiet), `command` takes over. Only the new exchange is judged.
    void TakeOver(Command command, bool early) {
        m_frontEnd.m_devicePath = m_simulators.front()->DevicePath();
        bool tookOver = false;
        m_frontEnd.m_onByte = [&](ExchangeController& exchange) {
            if (!tookOver && exchange.Sequence().AcknowledgedCount() == 2 &&
                exchange.Sequence().ReplyBuffer().size() == kReplySize) {
                tookOver = true;
                QTimer::singleShot(0, [this, command] { Start(command); });
            }
        };
        // The exchange judged is the one that took over.
        QElapsedTimer clock;
        clock.start();
        m_frontEnd.RunUntilBox([this] { Start(Command::Send); }, Limit());
        m_figures.Timed(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        Judge(command, early, "taking over an upload", Outcome::Done);
        m_figures.Count();
        m_frontEnd.m_onByte = nullptr;
        if (!tookOver) m_figures.Wrong("the take-over never happened");
    }

    int m_timeoutMs;
    Figures& m_figures;
    SoakFrontEnd m_frontEnd;
    std::vector<std::unique_ptr<Simulator>> m_simulators;
    // Last, so that its worker stops before the front end goes.
    ExchangeController m_exchange;
};

// ---------------------------------------------------------------------------
// Part 2: the main window, offscreen.

class WindowSoak {
  public:
    WindowSoak(int timeoutMs, Figures& figures) : m_figures(figures) {
        QDir::setCurrent(m_dir.path());
        test::WriteVelmoraIni(m_dir.filePath("Velmora.ini").toStdString(), m_simulator.DevicePath(),
                              timeoutMs, true);
        m_dlg = test::OpenMainDlg();
        m_dlg->activateWindow();
        // Two tables to reload from: the one typed in, and the same a year later.
        test::FillTable(*m_dlg);
        m_files[0] = m_dir.filePath("first.dst");
        m_files[1] = m_dir.filePath("second.dst");
        DateFileBytes bytes = RowsToFileBytes(m_dlg->Rows(), 0);
        WriteDateFile(m_files[0].toStdString(), bytes);
        for (std::size_t i = 4; i < bytes.size(); i += 5) ++bytes[i];
        WriteDateFile(m_files[1].toStdString(), bytes);
        m_dlg->SetFileDialogHook([this](CMainDlg::FileDialogKind) { return m_chosen; });
    }

    void Run(int uploads) {
        m_figures.samples.push_back(TakeSample(0));
        auto* send = test::Control<QPushButton>(*m_dlg, IDC_SEND);
        for (int i = 0; i < uploads; ++i) {
            if (i % 25 == 0) Reload(i / 25 % 2);
            QElapsedTimer clock;
            clock.start();
            const QString text = ClickAndCloseBox(send);
            m_figures.Timed(static_cast<double>(clock.nsecsElapsed()) / 1e6);
            const QString progress = test::Control<QLineEdit>(*m_dlg, IDC_PROGRESS)->text();
            if (text != QStringLiteral("Done!") || progress != QStringLiteral("15"))
                m_figures.Wrong("upload by Send: box \"" + text.toStdString() + "\", progress " +
                                progress.toStdString());
            m_figures.Count();
            m_figures.SampleIfDue();
        }
        m_figures.SampleAtEnd();
    }

  private:
    // File > Open of one of the two tables; the rows must be the file's.
    void Reload(int which) {
        m_chosen = m_files[which];
        m_dlg->Dispatch({MsgKind::Command, ID_FILE_OPEN, 0, 0, 0, {}});
        DateFileBytes bytes{};
        ReadDateFile(m_files[which].toStdString(), bytes);
        if (RowsToFileBytes(m_dlg->Rows(), m_dlg->GetDateOrder()) != bytes)
            m_figures.Wrong("the rows are not those of " + m_files[which].toStdString());
    }

    // Clicks `button`, waits for the box that ends the exchange and closes it
    // with Return; the box's text, empty when none came.
    QString ClickAndCloseBox(QPushButton* button) {
        QString text;
        QTimer watch;
        watch.setInterval(2);
        QObject::connect(&watch, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible() || !text.isEmpty()) return;
            text = box->text();
            QTest::keyClick(box, Qt::Key_Return);
        });
        watch.start();
        QTest::mouseClick(button, Qt::LeftButton);
        QElapsedTimer waited;
        waited.start();
        while (text.isEmpty() && waited.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        watch.stop();
        return text;
    }

    Figures& m_figures;
    QTemporaryDir m_dir;
    Simulator m_simulator;
    std::unique_ptr<CMainDlg> m_dlg;
    QString m_files[2];
    std::optional<QString> m_chosen;
};

// ---------------------------------------------------------------------------

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
            f.name, f.exchanges, f.wrongVerdicts, before.descriptors, first.descriptors,
            last.descriptors, before.threads, first.threads, last.threads,
            static_cast<double>(first.rssKb) / 1024.0,
            static_cast<double>(last.rssKb - first.rssKb) / 1024.0,
            f.exchanges > 0 ? f.totalMs / f.exchanges : 0.0, f.worstMs);
    }
    std::printf(
        "\nDescriptors and threads: before the first exchange / after it / at the end. "
        "Resident memory after the first exchange, and its growth from there to the end.\n"
        "Samples (exchanges: descriptors, threads, resident kB):\n");
    for (const Figures& f : parts) {
        std::printf("%s:", f.name);
        for (const Sample& s : f.samples)
            std::printf(" %d: %d, %d, %ld;", s.exchanges, s.descriptors, s.threads, s.rssKb);
        std::printf("\n");
    }
}

struct Arguments {
    int exchanges = 1000;
    int windowUploads = 200;
    int timeoutMs = 100;
};

// The arguments, or none (after a message) when one is not understood.
std::optional<Arguments> ParseArguments(int argc, char** argv) {
    Arguments arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--list") {
            g_list = true;
            continue;
        }
        int* value = name == "--exchanges"        ? &arguments.exchanges
                     : name == "--window-uploads" ? &arguments.windowUploads
                     : name == "--timeout"        ? &arguments.timeoutMs
                                                  : nullptr;
        char* end = nullptr;
        const long number = value && i + 1 < argc ? std::strtol(argv[i + 1], &end, 10) : -1;
        if (!value || end == argv[i + 1] || *end != '\0' || number < 0 || number > 1000000 ||
            (value == &arguments.timeoutMs && number < 20)) {
            std::fprintf(stderr,
                         "soak: cannot use \"%s%s%s\"\nusage: soak [--exchanges N] "
                         "[--window-uploads N] [--timeout MS (20 or more)] [--list]\n",
                         argv[i], value && i + 1 < argc ? " " : "",
                         value && i + 1 < argc ? argv[i + 1] : "");
            return std::nullopt;
        }
        *value = static_cast<int>(number);
        ++i;
    }
    return arguments;
}

int Run(int argc, char** argv) {
    const std::optional<Arguments> arguments = ParseArguments(argc, argv);
    if (!arguments) return 2;
    const int exchanges = arguments->exchanges;
    const int windowUploads = arguments->windowUploads;
    const int timeoutMs = arguments->timeoutMs;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    std::vector<Figures> parts(2);
    parts[0].name = "exchange controller";
    parts[1].name = "window, Send clicked";
    int linkErrors = 0;
    {
        ControllerSoak soak(timeoutMs, parts[0]);
        soak.Run(exchanges);
        linkErrors = soak.LinkErrors();
    }
    if (windowUploads > 0) {
        WindowSoak soak(timeoutMs, parts[1]);
        soak.Run(windowUploads);
    } else {
        parts.pop_back();
    }
    PrintTable(parts);
    std::printf("Link errors shown (hang-ups): %d\n", linkErrors);
    int wrong = 0;
    for (const Figures& f : parts) wrong += f.wrongVerdicts;
    return wrong == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "soak: %s\n", error.what());
        return 2;
    }
}
