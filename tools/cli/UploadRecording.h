// velmora-cli's line in the user's record of uploads for each send and delete.
#pragma once

#include "UploadRecord.h"

namespace velmora::cli {

// Appends `record` to the record of uploads in its usual place. A record that
// cannot be written gives one warning on standard error and nothing else: the
// exchange's outcome and exit code stay as they are.
void AppendToUploadRecord(const UploadRecord& record);

}  // namespace velmora::cli
