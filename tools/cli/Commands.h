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
// send and delete; needs a QCoreApplication.
int RunExchange(const Options& options);

}  // namespace velmora::cli
