#include "PortsSoak.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ExchangeController.h"
#include "SoakRules.h"
#include "Subprocess.h"

namespace velmora::soak {
namespace {

using test::Simulator;

constexpr int kPorts = 4;

// One port: its devices (one per behaviour), its controller, the boxes of its
// exchange in flight.
class SoakPort : public IExchangeFrontEnd {
  public:
    SoakPort(int timeoutMs, std::function<void()> finished)
        : m_timeout(timeoutMs), m_finished(std::move(finished)), m_exchange(*this) {
        for (const Behaviour& behaviour : Behaviours())
            m_simulators.push_back(std::make_unique<Simulator>(behaviour.simulatorArgs));
        for (std::uint8_t year = 27; year < 27 + kMaxRows; ++year)
            m_records.push_back({28, 3, 31, 10, year});
    }

    // Starts the exchange on the device of `behaviour`, or, for the index past
    // the last behaviour, on a device that hangs up while answering.
    void Start(Command command, bool early, std::size_t behaviour) {
        m_command = command;
        m_early = early;
        m_boxes.clear();
        m_hangUp.reset();
        if (behaviour < Behaviours().size()) {
            m_label = Behaviours()[behaviour].name;
            m_expected = command == Command::Send ? Behaviours()[behaviour].upload
                                                  : Behaviours()[behaviour].dstDelete;
            m_devicePath = m_simulators[behaviour]->DevicePath();
        } else {
            m_label = "hang-up mid-answer";
            m_expected = command == Command::Send ? Outcome::NoReply : Outcome::CommunicationError;
            m_hangUp = std::make_unique<Simulator>(
                std::vector<std::string>{"--hangup-at", command == Command::Send ? "2" : "0"});
            m_devicePath = m_hangUp->DevicePath();
        }
        m_exchange.SetEarlyJudgement(early ? std::optional<int>(kDefaultQuietGapMs) : std::nullopt);
        m_clock.start();
        if (command == Command::Send)
            m_exchange.Send();
        else
            m_exchange.DstDelete();
    }

    // What was wrong with the exchange, or nothing.
    std::optional<std::string> Verdict() const {
        const std::optional<std::string> wrong =
            WrongVerdict(m_command, m_boxes, m_expected, m_exchange.Sequence().AcknowledgedCount());
        if (!wrong) return std::nullopt;
        return std::string(CommandName(m_command)) + (m_early ? ", early" : "") + ", " + m_label +
               ": " + *wrong;
    }
    double TookMs() const { return m_tookMs; }
    // The device that hung up goes, so that the samples count what the port keeps.
    void EndExchange() { m_hangUp.reset(); }

    std::vector<DstRecord> ReadRecords() override { return m_records; }
    int Timeout() const override { return m_timeout; }
    int Port() const override { return 1; }
    std::string DevicePath(int) const override { return m_devicePath; }
    void ShowProgress() override {}
    void ShowBox(Outcome outcome, const std::string& details) override {
        m_boxes.push_back({outcome, details, m_exchange.Sequence().ReplyBuffer().size()});
        if (m_boxes.size() > 1) return;
        m_tookMs = static_cast<double>(m_clock.nsecsElapsed()) / 1e6;
        // Told from the event loop, so that a second box would still be seen.
        QTimer::singleShot(0, m_finished);
    }
    void ShowLinkError(const std::string&) override {}

  private:
    int m_timeout;
    std::function<void()> m_finished;
    std::vector<std::unique_ptr<Simulator>> m_simulators;
    std::unique_ptr<Simulator> m_hangUp;
    std::vector<DstRecord> m_records;
    std::string m_devicePath;
    Command m_command = Command::Send;
    bool m_early = false;
    std::string m_label;
    Outcome m_expected = Outcome::Done;
    std::vector<Box> m_boxes;
    QElapsedTimer m_clock;
    double m_tookMs = 0;
    // Last, so that its worker stops before what it shows on.
    ExchangeController m_exchange;
};

}  // namespace

void RunPortsSoak(int timeoutMs, int exchangesPerPort, Figures& figures) {
    QEventLoop loop;
    int running = 0;
    std::vector<std::unique_ptr<SoakPort>> ports;
    ports.reserve(kPorts);
    for (int i = 0; i < kPorts; ++i)
        ports.push_back(std::make_unique<SoakPort>(timeoutMs, [&] {
            if (--running == 0) loop.quit();
        }));
    // Every behaviour and a hang-up, each port starting elsewhere in the list
    // and stepping through its own order of commands and ways of judging.
    const std::size_t kinds = Behaviours().size() + 1;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    figures.samples.push_back(TakeSample(0));
    for (int round = 0; round < exchangesPerPort; ++round) {
        running = kPorts;
        for (int i = 0; i < kPorts; ++i) {
            const int step = round + 3 * i;
            const auto command =
                (step / static_cast<int>(kinds) + i) % 2 == 0 ? Command::Send : Command::Delete;
            const bool early = (step / (2 * static_cast<int>(kinds)) + i / 2) % 2 == 1;
            ports[static_cast<std::size_t>(i)]->Start(command, early,
                                                      static_cast<std::size_t>(step) % kinds);
        }
        // The longest an upload may take: fifteen reply periods and a margin.
        limit.start((kMaxRows + 2) * timeoutMs + 5000);
        if (running > 0) loop.exec();
        limit.stop();
        for (const auto& port : ports) {
            figures.Timed(port->TookMs());
            if (const std::optional<std::string> wrong = port->Verdict()) figures.Wrong(*wrong);
            port->EndExchange();
            figures.Count();
        }
        figures.SampleIfDue();
    }
    figures.SampleAtEnd();
}

}  // namespace velmora::soak
