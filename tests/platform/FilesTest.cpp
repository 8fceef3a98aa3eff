#include "platform/Files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

namespace zerlan {
namespace {

class FilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/zerlan-files-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    std::string dir_;
};

TEST_F(FilesTest, MakeDirectoryAcceptsExistingAndRefusesFiles) {
    const std::string d = dir_ + "/a";
    EXPECT_FALSE(FileExists(d));
    EXPECT_EQ(MakeDirectory(d), 0);
    EXPECT_TRUE(FileExists(d));
    EXPECT_EQ(MakeDirectory(d), 0);
    EXPECT_EQ(MakeDirectory(dir_ + "/missing/b"), -1);
    EXPECT_EQ(MakeDirectory(""), -1);
    ASSERT_TRUE(AppendToFile(dir_ + "/f", "", 0));
    EXPECT_EQ(MakeDirectory(dir_ + "/f"), -1);
}

TEST_F(FilesTest, AppendToFileAppends) {
    const std::string f = dir_ + "/log";
    ASSERT_TRUE(AppendToFile(f, "ab\0c", 4));
    ASSERT_TRUE(AppendToFile(f, "de", 2));
    std::ifstream in(f, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    EXPECT_EQ(ss.str(), std::string("ab\0cde", 6));
    EXPECT_FALSE(AppendToFile(dir_ + "/missing/x", "a", 1));
}

}  // namespace
}  // namespace zerlan
