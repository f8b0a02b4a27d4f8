#include "survey_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace survey_test {
struct stat StatOf(const std::string& path)
{
    struct stat node {};
    EXPECT_EQ(stat(path.c_str(), &node), 0) << path;
    return node;
}

std::string LockedNode(const struct stat& node)
{
    char text[64];
    std::snprintf(text, sizeof text, "%02x:%02x:%lu", major(node.st_dev), minor(node.st_dev),
                  static_cast<unsigned long>(node.st_ino));
    return text;
}

void SurveyTest::SetUp()
{
    char pattern[] = "/tmp/quorvel-survey-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    for (const char* folder : {"devices", "config", "sys", "dev"})
        std::filesystem::create_directories(Path(folder));
    devices_.Set(Path("devices"));
    config_.Set(Path("config"));
    roots_ = {Path("sys"), Path("dev"), "/proc"};
}

void SurveyTest::TearDown()
{
    for (int master : masters_)
        close(master);
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

std::string SurveyTest::NewPty()
{
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    EXPECT_GE(master, 0);
    EXPECT_EQ(grantpt(master), 0);
    EXPECT_EQ(unlockpt(master), 0);
    char name[128] = "";
    EXPECT_EQ(ptsname_r(master, name, sizeof name), 0);
    masters_.push_back(master);
    return name;
}

void SurveyTest::Write(const std::string& relative, const std::string& text) const
{
    std::filesystem::create_directories(std::filesystem::path(Path(relative)).parent_path());
    std::ofstream(Path(relative)) << text;
}

void SurveyTest::Link(const std::string& relative, const std::string& target) const
{
    std::filesystem::create_directories(std::filesystem::path(Path(relative)).parent_path());
    std::filesystem::create_symlink(target, Path(relative));
}

std::string SurveyTest::SysfsDevice(const std::string& node, const std::string& relative) const
{
    const dev_t device = StatOf(node).st_rdev;
    const std::string folder =
        "sys/devices/" + relative + "/tty/" + std::filesystem::path(relative).filename().string();
    std::filesystem::create_directories(Path(folder));
    Link("sys/dev/char/" + std::to_string(major(device)) + ":" + std::to_string(minor(device)), Path(folder));
    return folder;
}

void SurveyTest::FakeProc()
{
    std::filesystem::create_directories(Path("proc"));
    roots_.proc = Path("proc");
}

} // namespace survey_test
