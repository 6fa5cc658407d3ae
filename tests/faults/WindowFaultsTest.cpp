// The window program against a misbehaving device, port, file system and
// profile: each case ends with the box the user must see, and gives back every
// thread, descriptor and temporary file it used.
#include <sys/stat.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QThreadPool>
#include <QTimer>
#include <future>
#include <random>
#include <thread>

#include "AppTestSupport.h"
#include "DateFile.h"
#include "DeviceFrame.h"
#include "FakeSystemCalls_unix.h"
#include "FaultSupport.h"
#include "Profile.h"
#include "SerialPorts.h"
#include "Subprocess.h"

using namespace velmora;
using namespace velmora::faults;
using velmora::test::BackgroundProgram;
using velmora::test::Simulator;

namespace {

constexpr int kTimeoutMs = 150;
// Long enough for any exchange of these cases, short enough to fail a hang quickly.
constexpr int kOutcomeMs = 10000;

std::unique_ptr<CMainDlg> FullWindow() {
    auto dlg = test::OpenMainDlg();
    test::FillTable(*dlg);
    return dlg;
}

void Click(CMainDlg& dlg, int id) {
    test::Control<QPushButton>(dlg, id)->click();
}

void Command(CMainDlg& dlg, int id) {
    dlg.Dispatch({MsgKind::Command, id, 0, 0, 0, {}});
}

// The fifteen frames an upload of the window's rows puts on the line, in order.
std::vector<std::string> UploadFramesOf(const CMainDlg& dlg) {
    const std::vector<DstRow> rows = dlg.Rows();
    std::vector<std::string> frames;
    frames.reserve(rows.size());
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        frames.push_back(UploadFrame(r, RowToRecord(rows[static_cast<std::size_t>(r)], 0)));
    }
    return frames;
}

QByteArray Describe(const Holdings& h) {
    return QByteArray::number(h.threads) + " threads, " + QByteArray::number(h.descriptors) +
           " descriptors";
}

// Settings OK with a new timeout and month first.
void ChangeSettings(CMainDlg& dlg, int timeoutMs) {
    test::WhenModal([timeoutMs](QDialog& settings) {
        test::Control<QLineEdit>(settings, IDC_TIMEOUT)->setText(QString::number(timeoutMs));
        test::Control<QRadioButton>(settings, IDC_MONTH_FIRST)->click();
        test::Control<QPushButton>(settings, IDOK)->click();
    });
    Command(dlg, ID_SETTINGS);
}

std::string Garbage(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    return bytes;
}

}  // namespace

class WindowFaults : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<test::ScratchDir> m_dir;
    std::unique_ptr<test::BoxRecorder> m_boxes;
    Holdings m_baseline;
    std::string m_whyNoMounts;

    std::string File(const char* name) const { return m_dir->File(name).toStdString(); }
    QStringList Boxes() const { return m_boxes->Texts(); }
    // The one box of a Settings OK whose Velmora.ini could not be written: the
    // file, the reason and that the choices hold.
    void ExpectSettingsNotSaved(const QString& reason, const char* what) {
        QCOMPARE(Boxes(), QStringList{"Unable to save the settings!"});
        const QString details = m_boxes->Boxes().front().details;
        QVERIFY2(
            details.startsWith(QDir::toNativeSeparators(QDir::current().filePath("Velmora.ini")) +
                               ": " + reason),
            qPrintable(QString("%1: %2").arg(what, details)));
        QVERIFY2(details.endsWith("Your choices hold until Velmora ends."), qPrintable(details));
        m_boxes->Clear();
    }

    // COM1 goes to `device`; the timeout is read when a window starts.
    static void WriteIni(const std::string& device, int timeoutMs = kTimeoutMs) {
        test::WriteVelmoraIni("Velmora.ini", device, timeoutMs);
    }

    // Qt's thread pool starts threads of its own for painting (each with a
    // descriptor), so the pool is emptied before counting. A thread that has
    // just ended may stay in the count for a moment.
    static bool ReturnsTo(const Holdings& expected) {
        return QTest::qWaitFor(
            [&] {
                QThreadPool::globalInstance()->waitForDone();
                return Holdings::Now().Within(expected);
            },
            5000);
    }

    bool WaitForOutcome(int limitMs = kOutcomeMs) {
        return QTest::qWaitFor([this] { return !Boxes().isEmpty(); }, limitMs);
    }

  private slots:
    // Qt starts some of its threads and descriptors on first use; one whole
    // exchange and one Settings dialog before the first measurement.
    void initTestCase() {
        // Idle pool threads would otherwise linger for half a minute and then
        // end in the middle of some later case.
        QThreadPool::globalInstance()->setExpiryTimeout(0);
        m_whyNoMounts = WhyNoMounts();
        {
            test::ScratchDir dir;
            test::BoxRecorder boxes;
            Simulator device;
            WriteIni(device.DevicePath());
            auto dlg = FullWindow();
            Click(*dlg, IDC_DST_DELETE);
            QTRY_VERIFY_WITH_TIMEOUT(!boxes.Texts().isEmpty(), kOutcomeMs);
            QCOMPARE(boxes.Texts(), QStringList{"Done!"});
            ChangeSettings(*dlg, kTimeoutMs);
        }
        // What the process holds between cases: the same count twice in a row.
        do {
            QThreadPool::globalInstance()->waitForDone();
            m_baseline = Holdings::Now();
        } while (!ReturnsTo(m_baseline) || !ReturnsTo(m_baseline));
    }

    void init() {
        m_dir = std::make_unique<test::ScratchDir>();
        m_boxes = std::make_unique<test::BoxRecorder>();
    }

    void cleanup() {
        m_boxes.reset();
        const std::vector<std::string> leftovers = LeftoverTemporaries(m_dir->Path().toStdString());
        m_dir.reset();
        QVERIFY2(leftovers.empty(), "a temporary file was left behind");
        const bool given = ReturnsTo(m_baseline);
        const QByteArray counts = "between cases " + Describe(m_baseline) + ", after this one " +
                                  Describe(Holdings::Now()) + "; " + HoldingsList().c_str();
        QVERIFY2(given, counts.constData());
        // Whatever ended on its own stays ended: the next case is held to the lower count.
        m_baseline = Holdings::Now();
    }

    // The counts between cases see a descriptor and a thread left behind.
    void countsSeeWhatACaseLeavesBehind() {
        const Holdings before = Holdings::Now();
        const int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
        const Holdings withDescriptor = Holdings::Now();
        close(fd);
        std::promise<void> release;
        std::thread held([done = release.get_future()] { done.wait(); });
        const Holdings withThread = Holdings::Now();
        release.set_value();
        held.join();
        QCOMPARE(withDescriptor.descriptors, before.descriptors + 1);
        QCOMPARE(withDescriptor.threads, before.threads);
        QCOMPARE(withThread.descriptors, before.descriptors);
        QCOMPARE(withThread.threads, before.threads + 1);
    }

    void hangupMidFifthAnswerIsNoReplyWithoutSpinningThenANewDeviceGetsDone() {
        const std::string firstLog = File("first.log");
        auto first = std::make_unique<Simulator>(
            std::vector<std::string>{"--hangup-at", "4", "--log", firstLog});
        WriteIni(first->DevicePath());
        auto dlg = FullWindow();
        Click(*dlg, IDC_SEND);
        QTRY_COMPARE_WITH_TIMEOUT(LoggedFrameCount(firstLog), std::size_t{5}, kOutcomeMs);

        // From the fifth frame on the line is dead until the timer judges it.
        const double cpuBefore = CpuSeconds(RUSAGE_SELF);
        QElapsedTimer wall;
        wall.start();
        QVERIFY(WaitForOutcome());
        const double cpu = CpuSeconds(RUSAGE_SELF) - cpuBefore;
        const double seconds = double(wall.nsecsElapsed()) / 1e9;
        QCOMPARE(Boxes(), QStringList{"No reply!"});
        const QByteArray usage =
            QByteArray::number(cpu) + " s of processor in " + QByteArray::number(seconds);
        QVERIFY2(cpu < 0.5 * seconds + 0.02, usage.constData());
        QCOMPARE(dlg->Upload().Progress(), 0);
        QVERIFY(!dlg->Link().IsOpen());
        first.reset();

        // The device comes back on another terminal; the user maps COM1 to it
        // in Settings.
        m_boxes->Clear();
        const std::string secondLog = File("second.log");
        Simulator second({"--log", secondLog});
        test::WhenModal([&second](QDialog& settings) {
            QLineEdit* field = test::Control<QComboBox>(settings, IDC_DEVICE)->lineEdit();
            field->setFocus();
            QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(field, QString::fromStdString(second.DevicePath()));
            QTest::keyClick(field, Qt::Key_Return);
        });
        Command(*dlg, ID_SETTINGS);
        Click(*dlg, IDC_SEND);
        QVERIFY(WaitForOutcome());
        QCOMPARE(Boxes(), QStringList{"Done!"});
        QVERIFY(FramesAfterLastMark(secondLog) == UploadFramesOf(*dlg));
    }

    void floodOfAMebibyteIsNoReplyWithBoundedMemory() {
        Simulator device({"--flood", "1048576", "--fail-at", "0"});
        WriteIni(device.DevicePath(), 200);
        auto dlg = FullWindow();
        const long rssBefore = StatusKb("VmRSS:");
        QVERIFY(ResetPeakRss());
        QElapsedTimer wall;
        wall.start();
        Click(*dlg, IDC_SEND);
        QVERIFY(WaitForOutcome());
        const long growthKb = StatusKb("VmHWM:") - rssBefore;
        QCOMPARE(Boxes(), QStringList{"No reply!"});
        // The bytes are judged once the timer expires, not when they stop coming.
        const QByteArray took = QByteArray::number(wall.elapsed()) + " ms";
        QVERIFY2(wall.elapsed() < 3000, took.constData());
        const QByteArray growth = QByteArray::number(growthKb) + " KiB more at the peak";
        QVERIFY2(growthKb < 64L * 1024, growth.constData());
        // The upload is over: nothing of the flood reaches the buffer any more.
        QTest::qWait(100);
        QCOMPARE(dlg->Upload().ReplyBuffer().size(), std::size_t{0});
    }

    // A device whose answer to the first frame is wrong in one way: the upload
    // ends there, and where a row says so DST Delete judges the same answer.
    void wrongAnswerEndsTheUploadAtTheFirstFrame_data() {
        QTest::addColumn<QStringList>("device");  // the simulator's options
        QTest::addColumn<QString>("sendBox");
        QTest::addColumn<QString>("deleteBox");  // empty: no DST Delete
        QTest::addColumn<int>("deleteBytesKept");
        // Fifteen bytes 14 ms apart: the last one comes about 196 ms after the
        // frame, late enough that a timer a little behind still judges before it.
        QTest::newRow("answer completed just after the timer")
            << QStringList{"--slow-byte", "14"} << "No reply!"
            << "" << 0;
        // Thirty bytes are never a good answer; DST Delete keeps what it judged.
        QTest::newRow("answer sent twice") << QStringList{"--fail-mode", "twice"} << "No reply!"
                                           << "Communication error!" << 30;
    }

    void wrongAnswerEndsTheUploadAtTheFirstFrame() {
        QFETCH(QStringList, device);
        QFETCH(QString, sendBox);
        QFETCH(QString, deleteBox);
        QFETCH(int, deleteBytesKept);
        const std::string log = File("frames.log");
        std::vector<std::string> options = {"--log", log};
        for (const QString& option : device) options.push_back(option.toStdString());
        Simulator simulator(options);
        WriteIni(simulator.DevicePath());
        auto dlg = FullWindow();
        Click(*dlg, IDC_SEND);
        QVERIFY(WaitForOutcome());
        QCOMPARE(Boxes(), QStringList{sendBox});
        QCOMPARE(LoggedFrameCount(log), std::size_t{1});
        if (deleteBox.isEmpty()) return;

        m_boxes->Clear();
        Click(*dlg, IDC_DST_DELETE);
        QVERIFY(WaitForOutcome());
        QCOMPARE(Boxes(), QStringList{deleteBox});
        QCOMPARE(dlg->Upload().ReplyBuffer().size(), std::size_t(deleteBytesKept));
    }

    void fiveHundredTakeOversLeaveThePortReadyForAFullUpload() {
        const std::string log = File("frames.log");
        Simulator device({"--log", log});
        WriteIni(device.DevicePath());
        auto dlg = FullWindow();
        for (int i = 0; i < 500; ++i) Click(*dlg, i % 2 == 0 ? IDC_SEND : IDC_DST_DELETE);
        QVERIFY(dlg->IsTimerRunning(kReplyTimerId));
        QVERIFY(WaitForOutcome());
        // Only the last exchange is judged; the ones it replaced say nothing.
        QTest::qWait(3 * kTimeoutMs);
        QCOMPARE(Boxes().size(), 1);
        QVERIFY(!dlg->Link().IsOpen());

        AppendMark(log);
        m_boxes->Clear();
        Click(*dlg, IDC_SEND);
        QVERIFY(WaitForOutcome());
        QCOMPARE(Boxes(), QStringList{"Done!"});
        const std::vector<std::string> frames = FramesAfterLastMark(log);
        QCOMPARE(frames.size(), std::size_t{15});
        QVERIFY(frames == UploadFramesOf(*dlg));
    }

    void takeoverWhoseOpenShowsABoxRunningEventsStillUploads() {
        const std::string log = File("frames.log");
        Simulator device({"--log", log});
        WriteIni(device.DevicePath());
        auto dlg = FullWindow();
        Click(*dlg, IDC_DST_DELETE);
        QTRY_COMPARE_WITH_TIMEOUT(LoggedFrameCount(log), std::size_t{1}, kOutcomeMs);

        // The port of the Send keeps another speed, and the box that says so
        // stays up, running events, for three of the delete's reply periods.
        m_boxes->SetOnBox([](const BoxRequest& box) {
            if (box.title == "Application Error") QTest::qWait(3 * kTimeoutMs);
        });
        {
            const velmora::test::AlteredSetAttr port(
                [](termios& settings) { cfsetspeed(&settings, B9600); });
            Click(*dlg, IDC_SEND);
        }
        QTRY_VERIFY_WITH_TIMEOUT(Boxes().size() >= 2, kOutcomeMs);
        QTest::qWait(2 * kTimeoutMs);
        QCOMPARE(Boxes(),
                 (QStringList{"WARNING:  SetCommState() Failed with the following error: \n"
                              "The port did not take these settings: speed\nPort: 1\n",
                              "Done!"}));
        std::vector<std::string> frames = FramesAfterLastMark(log);
        QCOMPARE(frames.size(), std::size_t{16});
        frames.erase(frames.begin());
        QVERIFY(frames == UploadFramesOf(*dlg));
    }

    // The box itself, as the user reads it, when the port of COM3 does not take
    // the speed: the call that failed, why, and the port; the upload goes on.
    void failedCallShowsTheApplicationErrorBox() {
        m_boxes.reset();  // real boxes, closed with Return as they come
        Simulator device;
        WriteBytes("Velmora.ini",
                   "[Settings]\nPort=3\nTimeout=150\n[Ports]\nCOM3=" + device.DevicePath() + "\n");
        auto dlg = FullWindow();
        QStringList titles, texts;
        QList<QMessageBox::Icon> icons;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || !box->isVisible()) return;
            titles << box->windowTitle();
            texts << box->text();
            icons << box->icon();
            QTest::keyClick(box, Qt::Key_Return);
        });
        watch.start(5);
        {
            const velmora::test::AlteredSetAttr port(
                [](termios& settings) { cfsetspeed(&settings, B9600); });
            Click(*dlg, IDC_SEND);
        }
        QTRY_COMPARE_WITH_TIMEOUT(texts.size(), 2, kOutcomeMs);
        QCOMPARE(titles.front(), QStringLiteral("Application Error"));
        QCOMPARE(texts, (QStringList{"WARNING:  SetCommState() Failed with the following error: \n"
                                     "The port did not take these settings: speed\nPort: 3\n",
                                     "Done!"}));
        QCOMPARE(icons.front(), QMessageBox::Critical);
    }

    void portsThatCannotBeOpenedSayUnableAndWhyWithoutAnErrorBox() {
        const std::vector<RefusedPath> refused = MakeRefusedPaths(m_dir->Path().toStdString());
        // The mapping is read when a window starts.
        for (const RefusedPath& port : refused) {
            WriteIni(port.path);
            auto dlg = FullWindow();
            for (const int command : {IDC_SEND, IDC_DST_DELETE}) {
                m_boxes->Clear();
                Click(*dlg, command);
                QCOMPARE(Boxes(), QStringList{"Unable to open serial port!"});
                const QString details = m_boxes->Boxes().front().details;
                const QString reason =
                    QString::fromStdString(ShownPath(port.path) + ": " + port.reason);
                QVERIFY2(details.startsWith(reason), qPrintable(details));
                QVERIFY(!dlg->IsTimerRunning(kReplyTimerId));
            }
        }
        QCOMPARE(ReadBytes(File("plain")), std::string("not a terminal"));

        // Another program holds the device: a second instance waiting for its answer.
        const std::string log = File("frames.log");
        Simulator device({"--fail-mode", "silence", "--log", log});
        BackgroundProgram holder(
            {VELMORA_CLI_PATH, "delete", "--port", device.DevicePath(), "--timeout", "1500"},
            m_dir->Path().toStdString());
        QTRY_COMPARE_WITH_TIMEOUT(LoggedFrameCount(log), std::size_t{1}, kOutcomeMs);
        WriteIni(device.DevicePath());
        auto dlg = FullWindow();
        m_boxes->Clear();
        Click(*dlg, IDC_SEND);
        QCOMPARE(Boxes(), QStringList{"Unable to open serial port!"});
        QCOMPARE(m_boxes->Boxes().front().details,
                 QString::fromStdString(device.DevicePath() +
                                        ": held by another program: velmora-cli (pid " +
                                        std::to_string(holder.Pid()) + ")"));
        QCOMPARE(holder.Wait(), 4);  // its own silent device: "Communication error!"
        QCOMPARE(LoggedFrameCount(log), std::size_t{1});
    }

    void saveIntoAFullOrReadOnlyFileSystemKeepsTheOldFile_data() {
        QTest::addColumn<bool>("full");          // else read-only
        QTest::addColumn<QStringList>("names");  // as chosen in the Save dialog
        QTest::newRow("full") << true << QStringList{"table.dst", "new.dst"};
        QTest::newRow("read-only") << false << QStringList{"table", "new"};  // Save adds ".dst"
    }

    void saveIntoAFullOrReadOnlyFileSystemKeepsTheOldFile() {
        if (!m_whyNoMounts.empty()) QSKIP(m_whyNoMounts.c_str());
        QFETCH(bool, full);
        QFETCH(QStringList, names);
        QVERIFY(QDir().mkdir("small"));
        const std::string folder = File("small");
        const SmallTmpfs fs(folder, 64);
        const std::string old = fs.HoldOldTable(full);

        auto dlg = FullWindow();
        for (const QString& name : names) {
            const QString path = QString::fromStdString(folder + "/") + name;
            dlg->SetFileDialogHook(
                [path](CMainDlg::FileDialogKind) { return std::optional(path); });
            m_boxes->Clear();
            Command(*dlg, ID_FILE_SAVE);
            QCOMPARE(Boxes(), QStringList{"Unable to write file!"});
        }
        QCOMPARE(ReadBytes(folder + "/table.dst"), old);
        QVERIFY(!std::filesystem::exists(folder + "/new.dst"));
        QVERIFY(LeftoverTemporaries(folder).empty());
    }

    void profileThatIsNoFileGivesTheDefaultsAndIsLeftAlone() {
        const auto check = [this](const char* what) {
            auto dlg = test::OpenMainDlg();
            QCOMPARE(dlg->Timeout(), 1000);
            QCOMPARE(dlg->Port(), 1);
            QCOMPARE(dlg->GetDateOrder(), 0);
            ChangeSettings(*dlg, 170);
            // Nothing could be written, which is told once, but the choice
            // holds for this run.
            QCOMPARE(dlg->Timeout(), 170);
            QCOMPARE(dlg->GetDateOrder(), 1);
            ExpectSettingsNotSaved("it is not a file that can be read", what);
        };
        QVERIFY(QDir().mkdir("Velmora.ini"));
        check("a directory");
        QVERIFY(std::filesystem::is_empty(File("Velmora.ini")));
        QVERIFY(QDir().rmdir("Velmora.ini"));

        // Reading a FIFO would wait for a writer that never comes.
        QCOMPARE(mkfifo(File("Velmora.ini").c_str(), 0644), 0);
        check("a FIFO");
        QVERIFY(std::filesystem::is_fifo(File("Velmora.ini")));
    }

    void profileOfBinaryGarbageGivesWhatCanBeReadAndOkLeavesItReadable() {
        WriteBytes(File("Velmora.ini"),
                   Garbage(4096, 7) + "\n[Settings]\nTimeout=180\n" + Garbage(4096, 8));
        auto dlg = test::OpenMainDlg();
        QCOMPARE(dlg->Timeout(), 180);
        QCOMPARE(dlg->Port(), 1);
        ChangeSettings(*dlg, 190);
        dlg.reset();

        const Profile profile(File("Velmora.ini"));
        QCOMPARE(profile.GetProfileInt("Settings", "Timeout", -1), 190);
        QCOMPARE(profile.GetProfileInt("Settings", "Port", -1), 1);
        QCOMPARE(profile.GetProfileInt("Settings", "Date Format", -1), 1);
        auto restarted = test::OpenMainDlg();
        QCOMPARE(restarted->Timeout(), 190);
        QCOMPARE(restarted->GetDateOrder(), 1);
    }

    void tenMegabyteProfileIsReadFromItsHeadAndLeftUntouched() {
        std::string text = "[Settings]\nTimeout=160\nPort=2\n";
        const std::string comment = "; a long profile keeps going and going\n";
        while (text.size() < 10'000'000) text += comment;
        WriteBytes(File("Velmora.ini"), text);

        auto dlg = test::OpenMainDlg();
        QCOMPARE(dlg->Timeout(), 160);
        QCOMPARE(dlg->Port(), 2);
        ChangeSettings(*dlg, 175);
        QCOMPARE(dlg->Timeout(), 175);
        QVERIFY(ReadBytes(File("Velmora.ini")) == text);
        ExpectSettingsNotSaved("it is larger than a settings file can be", "10 MB");
    }
};

QTEST_MAIN(WindowFaults)
#include "WindowFaultsTest.moc"
