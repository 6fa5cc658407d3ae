// Where Windows keeps the record.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "RecordFile.h"

namespace velmora {
namespace {

TEST(RecordPathTest, LocalApplicationDataInUtf8) {
    _wputenv_s(L"LOCALAPPDATA", L"C:\\Users\\Zo\u00EB\\AppData\\Local");
    EXPECT_EQ(DefaultRecordPath(), "C:\\Users\\Zo\xC3\xAB\\AppData\\Local\\Velmora\\uploads.jsonl");
}

}  // namespace
}  // namespace velmora
