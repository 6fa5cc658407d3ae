// What a replacement on Windows must survive: each failure of ReplaceFileW and
// MoveFileExW, as the system documents what it leaves behind; names longer
// than MAX_PATH; symbolic links.
#include <windows.h>

#include <string>

#include "FilesFixture.h"
#include "ReadFile.h"
#include "ReplaceFile.h"
#include "win/ReplaceCalls.h"
#include "win/Utf16.h"

namespace velmora {
namespace {

DWORD g_replaceError = 0;
int g_moveFailures = 0;

// ReplaceFileW failing with `g_replaceError`, leaving the files as its
// documentation says that error leaves them.
BOOL WINAPI FailingReplace(LPCWSTR replaced, LPCWSTR, LPCWSTR backup, DWORD, LPVOID, LPVOID) {
    if (g_replaceError == ERROR_UNABLE_TO_MOVE_REPLACEMENT && !backup) {
        DeleteFileW(replaced);  // without a backup name the old file is gone
    } else if (g_replaceError == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
        // The old file is under another name: the backup's, or one of the system's.
        const std::wstring aside = backup ? backup : std::wstring(replaced) + L".aside";
        MoveFileExW(replaced, aside.c_str(), 0);
    }
    SetLastError(g_replaceError);
    return FALSE;
}

// MoveFileExW failing its next `g_moveFailures` calls, as when a scanner holds the file.
BOOL WINAPI FailingMove(LPCWSTR from, LPCWSTR to, DWORD flags) {
    if (g_moveFailures > 0) {
        --g_moveFailures;
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    return MoveFileExW(from, to, flags);
}

// The full name of `path` with `\\?\` before it, for the test's own calls.
std::wstring LongName(const std::string& path) {
    std::wstring name = Utf16(path).value();
    for (wchar_t& c : name)
        if (c == L'/') c = L'\\';
    return L"\\\\?\\" + name;
}

// A symbolic link `link` to `target`. Wine creates none through the Windows
// call, but runs a Linux program, and follows a link made by one.
bool MakeSymbolicLink(const std::string& link, const std::string& target) {
    CreateSymbolicLinkW(Utf16(link)->c_str(), Utf16(target)->c_str(),
                        SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
    const DWORD attributes = GetFileAttributesW(Utf16(link)->c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return true;
    using UnixName = char*(CDECL*)(LPCWSTR);
    const auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    if (!unixName) return false;
    std::wstring command = L"/bin/ln -s \"" + *Utf16(unixName(Utf16(target)->c_str())) + L"\" \"" +
                           *Utf16(unixName(Utf16(link)->c_str())) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(L"Z:\\bin\\ln", command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process))
        return false;
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    // Wine does not wait for a Linux program: wait for the link.
    for (int waited = 0; waited < 100; ++waited) {
        if (GetFileAttributesW(Utf16(link)->c_str()) != INVALID_FILE_ATTRIBUTES) return true;
        Sleep(50);
    }
    return false;
}

class ReplaceFailures : public FilesTest {
  protected:
    void TearDown() override { SystemReplaceCalls() = ReplaceCalls{}; }
};

TEST_F(ReplaceFailures, EveryFailureLeavesTheOldOrTheNewTableUnderTheName) {
    SystemReplaceCalls() = ReplaceCalls{&FailingReplace, &FailingMove};
    const DWORD errors[] = {ERROR_UNABLE_TO_MOVE_REPLACEMENT, ERROR_UNABLE_TO_MOVE_REPLACEMENT_2,
                            ERROR_UNABLE_TO_REMOVE_REPLACED, ERROR_SHARING_VIOLATION};
    // Moves that work; that work after a moment; that fail for the new file
    // but not for the old one; that never work.
    for (const int moveFailures : {0, 2, 5, 1000}) {
        for (const DWORD error : errors) {
            SCOPED_TRACE("ReplaceFileW error " + std::to_string(error) + ", " +
                         std::to_string(moveFailures) + " failed moves");
            const std::string folder =
                File(std::to_string(error) + "-" + std::to_string(moveFailures));
            ASSERT_TRUE(CreateDirectoryW(LongName(folder).c_str(), nullptr));
            const std::string path = folder + "/K\xC3\xB6ln.dst";
            test::WriteBytes(path, "old");
            g_replaceError = error;
            g_moveFailures = moveFailures;
            ReplaceFailure kept;
            const bool replaced = ReplaceFileContents(path, "new", &kept);

            EXPECT_EQ(replaced, moveFailures < 5);
            if (kept.newFile.empty()) {
                EXPECT_EQ(test::ReadBytes(path), replaced ? "new" : "old");
                EXPECT_EQ(Entries(folder), std::vector<std::string>{"K\xC3\xB6ln.dst"});
            } else {
                // Only when the system had moved the old file aside and no
                // move into the name worked: both are kept and named.
                EXPECT_EQ(error, ERROR_UNABLE_TO_MOVE_REPLACEMENT_2);
                EXPECT_FALSE(replaced);
                EXPECT_EQ(test::ReadBytes(kept.newFile), "new");
                EXPECT_EQ(test::ReadBytes(kept.oldFile), "old");
                EXPECT_EQ(Entries(folder).size(), 2u);
            }
            EXPECT_EQ(!kept.newFile.empty(),
                      error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 && moveFailures == 1000);
        }
    }
}

TEST_F(FilesTest, NamesLongerThanMaxPathAndSymbolicLinksAreWritten) {
    std::string folder = dir_.Path();
    for (const char letter : {'a', 'b', 'c'}) {
        folder += "\\" + std::string(100, letter);
        ASSERT_TRUE(CreateDirectoryW(LongName(folder).c_str(), nullptr));
    }
    const std::string path = folder + "\\Z\xC3\xAB.dst";
    ASSERT_GT(path.size(), static_cast<std::size_t>(MAX_PATH));
    ASSERT_TRUE(ReplaceFileContents(path, "first"));
    ASSERT_TRUE(ReplaceFileContents(path, "second"));
    std::string text;
    ASSERT_EQ(ReadFileStart(path, 100, text), ReadOutcome::Read);
    EXPECT_EQ(text, "second");
    EXPECT_FALSE(IsReadOnlyFile(path));
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((LongName(folder) + L"\\*").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    int entries = 0;
    do entries += found.cFileName[0] != L'.';
    while (FindNextFileW(search, &found));
    FindClose(search);
    EXPECT_EQ(entries, 1);  // no temporary file left

    test::WriteBytes(File("real.dst"), "old");
    if (!MakeSymbolicLink(File("link.dst"), File("real.dst")))
        GTEST_SKIP() << "no symbolic links here";
    // Twice: had the first write replaced the link, the second would miss the file.
    ASSERT_TRUE(ReplaceFileContents(File("link.dst"), "new"));
    ASSERT_TRUE(ReplaceFileContents(File("link.dst"), "newer"));
    EXPECT_EQ(test::ReadBytes(File("real.dst")), "newer");
    EXPECT_EQ(Entries(),
              (std::vector<std::string>{"a" + std::string(99, 'a'), "link.dst", "real.dst"}));
}

}  // namespace
}  // namespace velmora
