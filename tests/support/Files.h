// Whole files as bytes, and the settings file that sends COM1 to a device.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace velmora::test {

// UTF-8 names on both systems (Windows takes them as UTF-16).
inline std::filesystem::path Utf8Path(const std::string& path) {
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(Utf8Path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(Utf8Path(path), std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

// A Velmora.ini at `path`: COM1, mapped to `device` unless that is empty,
// with the given reply timeout, and early judgement when asked for.
inline void WriteVelmoraIni(const std::string& path, const std::string& device, int timeoutMs,
                            bool judgeAtOnce = false) {
    std::string text =
        "[Settings]\nPort=1\nTimeout=" + std::to_string(timeoutMs) + "\nDate Format=0\n";
    if (judgeAtOnce) text += "Early Judgement=1\n";
    if (!device.empty()) text += "\n[Ports]\nCOM1=" + device + "\n";
    WriteBytes(path, text);
}

}  // namespace velmora::test
