#include "UploadRecording.h"

#include <cstdio>

#include "RecordFile.h"
#include "SerialPorts.h"

namespace velmora::cli {

void AppendToUploadRecord(const UploadRecord& record) {
    std::string reason;
    const std::string path = DefaultRecordPath(&reason);
    if (!path.empty() && AppendUploadRecord(path, record, &reason)) return;
    std::fprintf(stderr, "velmora-cli: warning: not added to the record of uploads%s: %s\n",
                 path.empty() ? "" : (" " + ShownPath(path)).c_str(), reason.c_str());
    std::fflush(stderr);
}

}  // namespace velmora::cli
