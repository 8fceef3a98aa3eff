// The fresh-machine path of `make run` / `make test`: tools/need-packages.sh
// run against fake dpkg-query, apt-get, sudo and id that record their calls,
// and a CMake configure of the tree without GoogleTest.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>

#include "support/ZerlanRun.h"

namespace zerlan {
namespace {

bool Have(const char* program) {
    return testing::Capture(std::string("command -v ") + program + " >/dev/null 2>&1").status == 0;
}

void Script(const std::string& path, const std::string& body) {
    testing::WriteFile(path, "#!/bin/sh\n" + body);
    chmod(path.c_str(), 0755);
}

struct Machine {
    bool root = false;
    bool sudo = true;
    int apt_status = 0;
    std::string installed;  // packages dpkg knows as installed
    bool has_cmake = false;
};

struct ScriptRun {
    int status = -1;
    std::string out;    // stdout and stderr
    std::string calls;  // the fakes' record, one call a line
};

// Runs the script as the Makefile does, on a PATH that holds only the fakes.
// `bin`: an absolute directory of its own for the fakes.
ScriptRun NeedPackages(const Machine& m, const std::string& bin) {
    mkdir(bin.c_str(), 0755);
    const std::string log = bin + "/calls.txt";
    for (const char* tool : {"grep", "env"}) {
        testing::Capture("ln -s \"$(command -v " + std::string(tool) + ")\" " + bin + "/" + tool);
    }
    Script(bin + "/id", std::string("echo ") + (m.root ? "0" : "1000") + "\n");
    Script(bin + "/dpkg-query",
           "for p in " + m.installed + "; do [ \"$p\" = \"$3\" ] && { printf 'install ok installed'; exit 0; }; done\n"
           "exit 1\n");
    Script(bin + "/apt-get", "echo \"apt-get $*\" >>" + log + "\nexit " + std::to_string(m.apt_status) + "\n");
    if (m.sudo) Script(bin + "/sudo", "echo \"sudo $*\" >>" + log + "\nexec \"$@\"\n");
    Script(bin + "/c++", "");
    if (m.has_cmake) Script(bin + "/cmake", "");
    const std::string source = ZERLAN_SOURCE_DIR;
    const testing::RunResult run = testing::Capture("cd " + bin + " && env -i PATH=\"$PWD\" /bin/sh " + source +
                                                    "/tools/need-packages.sh cmake:cmake c++:g++ libgtest-dev libgmock-dev 2>&1");
    return {run.status, run.out, testing::ReadFile(log)};
}

TEST(InstallScript, InstallsOnlyWhatIsMissingThroughSudoWhenNotRoot) {
    testing::TempDir dir;
    const std::string install = "env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq cmake libgtest-dev";
    struct Case {
        const char* name;
        Machine machine;
        int status;
        std::string out;
        std::string calls;
    } cases[] = {
        {"nothing missing", {false, true, 0, "libgtest-dev libgmock-dev", true}, 0, "", ""},
        {"user with sudo", {false, true, 0, "libgmock-dev", false}, 0, "installing: cmake libgtest-dev\n",
         "sudo apt-get update -qq\napt-get update -qq\nsudo " + install +
             "\napt-get install -y -qq cmake libgtest-dev\n"},
        {"root", {true, true, 0, "libgmock-dev", false}, 0, "installing: cmake libgtest-dev\n",
         "apt-get update -qq\napt-get install -y -qq cmake libgtest-dev\n"},
        {"apt-get fails", {true, true, 100, "libgmock-dev", false}, 1,
         "installing: cmake libgtest-dev\ncould not install: cmake libgtest-dev (apt-get failed, see above)\n",
         "apt-get update -qq\n"},
        {"user without sudo", {false, false, 0, "libgmock-dev", false}, 1,
         "missing: cmake libgtest-dev (not root and no sudo: install them as root)\n", ""},
    };
    int n = 0;
    for (const Case& c : cases) {
        const ScriptRun r = NeedPackages(c.machine, dir.path() + "/bin" + std::to_string(n++));
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_EQ(r.out, c.out) << c.name;
        EXPECT_EQ(r.calls, c.calls) << c.name;
    }
}

TEST(InstallScript, CmakeConfiguresTheProgramWithoutGoogleTest) {
    if (!Have("cmake") || !Have("make")) GTEST_SKIP() << "cmake or make is not installed";
    testing::TempDir dir;
    const testing::RunResult run = testing::Capture("cmake -S " + std::string(ZERLAN_SOURCE_DIR) +
                                                    " -B b -G 'Unix Makefiles' -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON "
                                                    "-DZERLAN_BENCH=OFF 2>&1");
    const std::string& out = run.out;
    ASSERT_EQ(run.status, 0) << out;
    const std::string said = "GoogleTest not found: the tests are left out";
    const size_t at = out.find(said);
    EXPECT_NE(at, std::string::npos) << out;
    EXPECT_EQ(out.find(said, at + 1), std::string::npos) << out;
    const std::string makefile = testing::ReadFile("b/Makefile");
    EXPECT_NE(makefile.find("\nzerlan: "), std::string::npos);
    EXPECT_EQ(makefile.find("zerlan_tests"), std::string::npos);
}

}  // namespace
}  // namespace zerlan
