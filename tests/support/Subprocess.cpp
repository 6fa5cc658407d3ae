#include "Subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string_view>

#include "Files.h"

namespace velmora::test {
namespace {

constexpr auto kRunLimit = std::chrono::seconds(60);
constexpr int kSimulatorStartMs = 10000;
constexpr char kMark[] = "mark";

// This process's environment, with the programs' state (the record of
// uploads) kept in `directory`/state when a folder is given, never in the
// home folder of whoever runs the tests.
std::vector<std::string> ChildEnvironment(const std::string& directory) {
    constexpr std::string_view kStateHome = "XDG_STATE_HOME=";
    std::vector<std::string> variables;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        if (directory.empty() || !std::string_view(*variable).starts_with(kStateHome))
            variables.emplace_back(*variable);
    }
    if (!directory.empty()) variables.push_back(std::string(kStateHome) + directory + "/state");
    return variables;
}

// Starts words[0] with the arguments after it, its standard streams on the
// descriptors given, in `directory` unless that is empty.
pid_t Spawn(std::vector<std::string> words, const std::string& directory, int in, int out,
            int err) {
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    std::vector<std::string> variables = ChildEnvironment(directory);
    std::vector<char*> envp;
    envp.reserve(variables.size() + 1);
    for (std::string& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        if (!directory.empty() && chdir(directory.c_str()) != 0) _exit(126);
        dup2(in, STDIN_FILENO);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    return pid;
}

void MakePipe(int fds[2]) {
    if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
}

int WaitForExit(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

std::string RunResult::LastOutLine() const {
    std::string text = out;
    if (!text.empty() && text.back() == '\n') text.pop_back();
    const std::size_t start = text.rfind('\n');
    return start == std::string::npos ? text : text.substr(start + 1);
}

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& directory) {
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    int outPipe[2];
    int errPipe[2];
    MakePipe(outPipe);
    MakePipe(errPipe);
    const int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t pid = Spawn(words, directory, devNull, outPipe[1], errPipe[1]);
    close(devNull);
    close(outPipe[1]);
    close(errPipe[1]);

    RunResult result;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int openPipes = 2;
    const auto deadline = std::chrono::steady_clock::now() + kRunLimit;
    while (openPipes > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || poll(fds, 2, static_cast<int>(left.count())) == 0) {
            kill(pid, SIGKILL);  // a hung child fails the test instead of the suite
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --openPipes;
            }
        }
    }
    for (const pollfd& fd : fds)
        if (fd.fd >= 0) close(fd.fd);
    result.exitCode = WaitForExit(pid);
    return result;
}

Simulator::Simulator(const std::vector<std::string>& args) {
    std::vector<std::string> words{VELMORA_DEVSIM_PATH, "--stdin-lifeline"};
    words.insert(words.end(), args.begin(), args.end());
    int inPipe[2];
    int outPipe[2];
    MakePipe(inPipe);
    MakePipe(outPipe);
    m_pid = Spawn(words, {}, inPipe[0], outPipe[1], STDERR_FILENO);
    close(inPipe[0]);
    close(outPipe[1]);
    m_stdin = inPipe[1];
    m_stdout = outPipe[0];

    // The first line of its output is the device path.
    pollfd fd{m_stdout, POLLIN, 0};
    char c = 0;
    while (poll(&fd, 1, kSimulatorStartMs) > 0 && read(m_stdout, &c, 1) == 1 && c != '\n')
        m_devicePath.push_back(c);
    if (c != '\n' || m_devicePath.empty()) {
        kill(m_pid, SIGKILL);
        WaitForExit(m_pid);
        close(m_stdin);
        close(m_stdout);
        throw std::runtime_error("the simulator printed no device path");
    }
}

Simulator::~Simulator() {
    close(m_stdin);
    kill(m_pid, SIGTERM);
    WaitForExit(m_pid);
    close(m_stdout);
}

BackgroundProgram::BackgroundProgram(const std::vector<std::string>& words,
                                     const std::string& directory, const std::string& outputFile) {
    const int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
    const int out = outputFile.empty()
                        ? devNull
                        : open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    m_pid = Spawn(words, directory, devNull, out < 0 ? devNull : out, devNull);
    if (out != devNull && out >= 0) close(out);
    close(devNull);
}

BackgroundProgram::~BackgroundProgram() {
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        Wait();
    }
}

int BackgroundProgram::Wait() {
    const int code = WaitForExit(m_pid);
    m_pid = -1;
    return code;
}

void AppendMark(const std::string& logPath) {
    std::ofstream(logPath, std::ios::app) << kMark << '\n';
}

std::vector<std::string> FramesAfterLastMark(const std::string& logPath) {
    std::vector<std::string> frames;
    std::istringstream log(ReadBytes(logPath));
    for (std::string line; std::getline(log, line);) {
        if (line == kMark) {
            frames.clear();
            continue;
        }
        std::istringstream fields(line);
        std::string field;
        fields >> field;  // the time
        std::string frame;
        while (fields >> field) frame.push_back(static_cast<char>(std::stoi(field, nullptr, 16)));
        if (!frame.empty()) frames.push_back(frame);
    }
    return frames;
}

std::size_t LoggedFrameCount(const std::string& logPath) {
    return FramesAfterLastMark(logPath).size();
}

}  // namespace velmora::test
