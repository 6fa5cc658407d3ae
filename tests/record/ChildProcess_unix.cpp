#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ChildProcess.h"

namespace velmora::test {

ChildProcess::ChildProcess(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    std::string self = "/proc/self/exe";
    argv.push_back(self.data());
    std::vector<std::string> copies(args);
    for (std::string& arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    m_id = pid;
}

ChildProcess::~ChildProcess() {
    Wait();
}

int ChildProcess::Wait() {
    if (m_id <= 0) return -1;
    int status = 0;
    const pid_t pid = static_cast<pid_t>(m_id);
    m_id = -1;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

HeldRecordLock::HeldRecordLock(const std::string& path)
    : m_file(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666)) {
    m_held = m_file >= 0 && ::flock(static_cast<int>(m_file), LOCK_EX) == 0;
}

HeldRecordLock::~HeldRecordLock() {
    if (m_file >= 0) ::close(static_cast<int>(m_file));
}

}  // namespace velmora::test
