// --encrypt and --decrypt through the program, and the job start that keeps
// both encoder-data sides off whatever the parameter file says.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "support/ZerlanRun.h"

namespace zerlan {
namespace {

using namespace testing;

std::string EncDa(const std::string& key) {
    // Two items: a single item on the command line must be a /pd item.
    return " '/pr,\"p.dat\"' '/enc_da,\"0_MistyOne;" + key + ";0012;0345;FALSE;FALSE;TRUE;FALSE;FALSE;TRUE;TRUE;0;0;0\"'";
}

TEST(CryptCommand, EncryptThenDecryptGivesTheInputBack) {
    TempDir dir;
    std::mt19937 gen(7);
    std::string random(1000 * 1000, '\0');
    for (char& c : random) c = static_cast<char>(gen());
    WriteFile("random.bin", random);
    const std::string example = std::string(ZERLAN_SOURCE_DIR) + "/examples/example.rtcm3";
    for (const std::string& input : {example, std::string("random.bin")}) {
        SCOPED_TRACE(input);
        const std::string original = ReadFile(input);
        RunResult r = RunZerlan("--encrypt " + input + EncDa("k3y-0f-16-chars!"));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find("messages 4088 written"), std::string::npos) << r.err;
        WriteFile("enc.bin", r.out);
        r = RunZerlan("--decrypt - --quiet" + EncDa("k3y-0f-16-chars!") + " <enc.bin");
        ASSERT_EQ(r.status, 0);
        EXPECT_EQ(r.err.find("4088"), std::string::npos) << "--quiet leaves the summary out";
        EXPECT_TRUE(r.out == original);

        r = RunZerlan("--decrypt enc.bin" + EncDa("another-16-chars"));
        ASSERT_EQ(r.status, 0);
        EXPECT_EQ(r.out.size(), original.size());
        EXPECT_FALSE(r.out == original);
    }
}

TEST(CryptCommand, AKeyThatIsNotSixteenCharactersIsRefused) {
    TempDir dir;
    WriteFile("in.bin", "data");
    for (const std::string key : {"short", "seventeen-chars!!"}) {
        RunResult r = RunZerlan("--encrypt in.bin" + EncDa(key));
        EXPECT_EQ(r.status, 1) << key;
        EXPECT_NE(r.err.find("enc_da field 2"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

TEST(CryptCommand, TheJobNeverStartsTheEncoderDataSides) {
    TempDir dir;
    WriteFile("in.bin", std::string(3000, 'x'));
    RunResult r = RunZerlan("'/inout_sw,\"FILE;Null;Null;Null;Null;Null;FILE;Null;500;1;-1;100;FALSE;TRUE;TRUE\"' "
                            "'/file_in,\"in.bin\"' '/file_out,\"out.bin,4096;FALSE;0;60;.\\;0000;x;none\"'" +
                            EncDa("k3y-0f-16-chars!"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("Start of EncoderData"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Start of DecoderData"), std::string::npos);
    // The file output got the raw input, not 4088 frames.
    EXPECT_EQ(ReadFile("out.bin"), std::string(3000, 'x'));
}

}  // namespace
}  // namespace zerlan
