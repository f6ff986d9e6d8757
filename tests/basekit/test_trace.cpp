#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "basekit/error.h"
#include "basekit/trace.h"

namespace enctl {
namespace {

std::string g_traced;
void capture_sink(const char* text) { g_traced += text; }

class TraceTest : public ::testing::Test {
protected:
    void SetUp() override {
        trace_clear_sinks();
        trace_register_sink(capture_sink);
        g_traced.clear();
    }
    void TearDown() override { trace_clear_sinks(); }
};

TEST_F(TraceTest, HexDumpOfNothingIsTitleColonAnd71Blanks) {
    trace_hex_dump("buf", {});
    EXPECT_EQ(g_traced, "buf:" + std::string(71, ' ') + "\n");
}

TEST_F(TraceTest, HexDumpOfSeventeenBytesHasTwoRows) {
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < 16; ++i) bytes.push_back(static_cast<std::uint8_t>('A' + i));
    bytes.push_back(0x01);
    trace_hex_dump("t", bytes);
    std::string row1 = "\n0000:";
    for (int i = 0; i < 16; ++i) {
        char b[8];
        snprintf(b, sizeof b, " %02x", 'A' + i);
        row1 += b;
    }
    const std::string expected = "t:" + std::string(67, ' ') + row1 + " " + "ABCDEFGHIJKLMNOP" +
                                 "\n0010: 01" + std::string(54 - 9, ' ') + " " + "." +
                                 std::string(15, ' ') + "\n";
    EXPECT_EQ(g_traced, expected);
}

TEST_F(TraceTest, LongTraceIsCutTo4095Characters) {
    const std::string big(5000, 'x');
    trace_print("%s", big.c_str());
    EXPECT_EQ(g_traced.size(), 4095u);
}

TEST(ErrorRecord, SetWithoutRecordStillReturnsOne) {
    EXPECT_EQ(VDX_ERROR(nullptr, 4, 5, "x"), 1);
    vdx_error e{};
    EXPECT_EQ(VDX_ERROR(&e, 2, 7, "scsi execute not supported on device %s", "SCSI1:0,1,0"), 1);
    EXPECT_TRUE(vdx_error_is_error(&e));
    EXPECT_EQ(e.subcode, 7u);
    EXPECT_STREQ(e.message, "scsi execute not supported on device SCSI1:0,1,0");
    EXPECT_STREQ(e.function, "TestBody");
    EXPECT_EQ(vdx_error_clear(&e), 0);
    EXPECT_FALSE(vdx_error_is_error(&e));
}

}  // namespace
}  // namespace enctl
