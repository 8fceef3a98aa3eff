// The fresh-machine path of `make run` / `make test`.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>

#include "support/ZerlanRun.h"

namespace zerlan {
namespace {

using namespace testing;

void Script(const std::string& path, const std::string& body) {
    WriteFile(path, "#!/bin/sh\n" + body);
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

// Runs the script as the Makefile does, on a PATH of recording fakes in `bin` (absolute).
ScriptRun NeedPackages(const Machine& m, const std::string& bin) {
    mkdir(bin.c_str(), 0755);
    const std::string log = bin + "/calls.txt";
    for (const char* tool : {"grep", "env"})
        Capture("ln -s \"$(command -v " + std::string(tool) + ")\" " + bin + "/" + tool);
    Script(bin + "/id", std::string("echo ") + (m.root ? "0" : "1000") + "\n");
    Script(bin + "/dpkg-query",
           "for p in " + m.installed + "; do [ \"$p\" = \"$3\" ] && { printf 'install ok installed'; exit 0; }; done\n"
           "exit 1\n");
    Script(bin + "/apt-get", "echo \"apt-get $*\" >>" + log + "\nexit " + std::to_string(m.apt_status) + "\n");
    if (m.sudo) Script(bin + "/sudo", "echo \"sudo $*\" >>" + log + "\nexec \"$@\"\n");
    Script(bin + "/c++", "");
    if (m.has_cmake) Script(bin + "/cmake", "");
    const std::string source = ZERLAN_SOURCE_DIR;
    const RunResult run = Capture("cd " + bin + " && env -i PATH=\"$PWD\" /bin/sh " + source +
                                  "/tools/need-packages.sh cmake:cmake c++:g++ libgtest-dev libgmock-dev 2>&1");
    return {run.status, run.out, ReadFile(log)};
}

TEST(InstallScript, InstallsOnlyWhatIsMissingThroughSudoWhenNotRoot) {
    TempDir dir;
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
        SCOPED_TRACE(c.name);
        const ScriptRun r = NeedPackages(c.machine, dir.path() + "/bin" + std::to_string(n++));
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.calls, c.calls);
    }
}

TEST(InstallScript, CmakeConfiguresTheProgramWithoutGoogleTest) {
    if (Capture("{ command -v cmake && command -v make; } >/dev/null 2>&1").status != 0)
        GTEST_SKIP() << "cmake or make is not installed";
    TempDir dir;
    const RunResult run = Capture("cmake -S " + std::string(ZERLAN_SOURCE_DIR) + " -B b -G 'Unix Makefiles' "
                                  "-DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DZERLAN_BENCH=OFF 2>&1");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(Count(run.out, "GoogleTest not found: the tests are left out"), 1) << run.out;
    const std::string makefile = ReadFile("b/Makefile");
    EXPECT_TRUE(Has(makefile, "\nzerlan: "));
    EXPECT_FALSE(Has(makefile, "zerlan_tests"));
}

}  // namespace
}  // namespace zerlan
