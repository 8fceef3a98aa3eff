// --encrypt and --decrypt through the program, and the job start that keeps
// both encoder-data sides off whatever the parameter file says.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "support/TempDir.h"

namespace zerlan {
namespace {

int RunZerlan(const std::string& args, std::string* err = nullptr) {
    const std::string cmd = std::string(ZERLAN_BINARY) + " " + args + " 2>err.txt";
    const int raw = std::system(cmd.c_str());
    if (err) *err = testing::ReadFile("err.txt");
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

std::string EncDa(const std::string& key) {
    // Two items: a single item on the command line must be a /pd item.
    return "'/pr,\"p.dat\"' '/enc_da,\"0_MistyOne;" + key + ";0012;0345;FALSE;FALSE;TRUE;FALSE;FALSE;TRUE;TRUE;0;0;0\"'";
}

TEST(CryptCommand, EncryptThenDecryptGivesTheInputBack) {
    testing::TempDir dir;
    std::mt19937 gen(7);
    std::string random(1000 * 1000, '\0');
    for (char& c : random) c = static_cast<char>(gen());
    testing::WriteFile("random.bin", random);
    const std::string example = std::string(ZERLAN_SOURCE_DIR) + "/examples/example.rtcm3";
    for (const std::string& input : {example, std::string("random.bin")}) {
        std::string err;
        ASSERT_EQ(RunZerlan("--encrypt " + input + " " + EncDa("k3y-0f-16-chars!") + " >enc.bin", &err), 0) << err;
        EXPECT_NE(err.find("messages 4088 written"), std::string::npos) << err;
        ASSERT_EQ(RunZerlan("--decrypt - --quiet " + EncDa("k3y-0f-16-chars!") + " <enc.bin >dec.bin", &err), 0);
        EXPECT_EQ(err.find("4088"), std::string::npos) << "--quiet leaves the summary out";
        EXPECT_TRUE(testing::ReadFile("dec.bin") == testing::ReadFile(input)) << input;

        ASSERT_EQ(RunZerlan("--decrypt enc.bin " + EncDa("another-16-chars") + " >wrong.bin"), 0);
        EXPECT_EQ(testing::ReadFile("wrong.bin").size(), testing::ReadFile(input).size());
        EXPECT_FALSE(testing::ReadFile("wrong.bin") == testing::ReadFile(input));
    }
}

TEST(CryptCommand, AKeyThatIsNotSixteenCharactersIsRefused) {
    testing::TempDir dir;
    testing::WriteFile("in.bin", "data");
    for (const std::string key : {"short", "seventeen-chars!!"}) {
        std::string err;
        EXPECT_EQ(RunZerlan("--encrypt in.bin " + EncDa(key) + " >out.bin", &err), 1);
        EXPECT_NE(err.find("enc_da field 2"), std::string::npos) << err;
        EXPECT_EQ(testing::ReadFile("out.bin"), "");
    }
}

TEST(CryptCommand, TheJobNeverStartsTheEncoderDataSides) {
    testing::TempDir dir;
    testing::WriteFile("in.bin", std::string(3000, 'x'));
    const std::string items = "'/inout_sw,\"FILE;Null;Null;Null;Null;Null;FILE;Null;500;1;-1;100;FALSE;TRUE;TRUE\"' "
                              "'/file_in,\"in.bin\"' '/file_out,\"out.bin,4096;FALSE;0;60;.\\;0000;x;none\"' " +
                              EncDa("k3y-0f-16-chars!");
    std::string err;
    EXPECT_EQ(RunZerlan(items + " >/dev/null", &err), 0) << err;
    EXPECT_EQ(err.find("Start of EncoderData"), std::string::npos) << err;
    EXPECT_EQ(err.find("Start of DecoderData"), std::string::npos) << err;
    // The file output got the raw input, not 4088 frames.
    EXPECT_EQ(testing::ReadFile("out.bin"), std::string(3000, 'x'));
}

}  // namespace
}  // namespace zerlan
