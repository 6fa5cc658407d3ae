#include "ControllerSoak.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <functional>
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
        const std::optional<std::string> wrong = WrongVerdict(
            command, m_frontEnd.m_boxes, expected, m_exchange.Sequence().AcknowledgedCount());
        if (wrong) m_figures.Wrong(label + ": " + *wrong);
        return !wrong;
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

}  // namespace

int RunControllerSoak(int timeoutMs, int exchanges, Figures& figures) {
    ControllerSoak soak(timeoutMs, figures);
    soak.Run(exchanges);
    return soak.LinkErrors();
}

}  // namespace velmora::soak
