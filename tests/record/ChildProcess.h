// This test program started again as a child process, to append to a record
// file at the same time as another, and the record file's lock held as another
// program holds it (ChildProcess_unix.cpp, ChildProcess_win.cpp).
#pragma once

#include <string>
#include <vector>

namespace velmora::test {

// The first argument that makes the program a child: RecordTest.cpp's main
// takes "--append-child PATH TAG COUNT LIMIT".
inline constexpr const char* kAppendChild = "--append-child";

class ChildProcess {
  public:
    explicit ChildProcess(const std::vector<std::string>& args);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    // Its exit code; -1 when it could not be started or did not exit normally.
    int Wait();

  private:
    long long m_id = -1;  // the process id, or the process handle on Windows
};

// The lock that programs take around an append, held on the file `path` (made
// when missing) for the lifetime of the object.
class HeldRecordLock {
  public:
    explicit HeldRecordLock(const std::string& path);
    ~HeldRecordLock();
    HeldRecordLock(const HeldRecordLock&) = delete;
    HeldRecordLock& operator=(const HeldRecordLock&) = delete;
    bool Held() const { return m_held; }

  private:
    long long m_file = -1;  // the descriptor, or the file handle on Windows
    bool m_held = false;
};

}  // namespace velmora::test
