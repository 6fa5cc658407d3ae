// The five commands of velmora-cli. Each returns the process's exit code and
// writes its messages to standard output and standard error.
#pragma once

#include <string>

#include "CliArgs.h"
#include "UploadSequence.h"

namespace velmora::cli {

int RunShow(const Options& options);
int RunMake(const Options& options);
int RunCheck(const Options& options);
// The serial devices present and the COM port mapping of Velmora.ini.
int RunPorts(const Options& options);
// The record of uploads, for a person or as JSON.
int RunHistory(const Options& options);
// send and delete, on one port or several at once; needs a QCoreApplication.
int RunExchange(const Options& options);

// What the commands share: an error that ends the command, on standard error
// and, with --json, as the command's document too (exit code 1); and the
// message for a table file that cannot be read.
int Fail(const Options& options, const std::string& message);
std::string UnreadableFile(const std::string& path);
// The folder velmora-cli runs in, where its Velmora.ini is ("." if unknown).
std::string CurrentDirectory();

}  // namespace velmora::cli
