// A machine of the test's own for the port survey: a temporary folder with
// the QUORVEL_DEVICES links, a config folder, and sysfs, /dev and /proc roots
// that tests fill; pseudo-terminals as the serial devices.
#pragma once

#include "port_survey.h"
#include "scoped_variable.h"

#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace survey_test {

class SurveyTest : public ::testing::Test {
  public:
    // A new pseudo-terminal whose slave nobody holds open; its path.
    std::string NewPty();
    std::string Path(const std::string& relative) const { return root_ + "/" + relative; }
    // Writes text to root/relative, making its folders.
    void Write(const std::string& relative, const std::string& text) const;
    void Link(const std::string& relative, const std::string& target) const;
    // A fake sysfs device for node: sys/dev/char/<major>:<minor> leads to
    // sys/devices/<relative>/tty/<last part of relative>, which is returned.
    std::string SysfsDevice(const std::string& node, const std::string& relative) const;
    // An empty fake procfs, for the test to fill.
    void FakeProc();

  protected:
    void SetUp() override;
    void TearDown() override;

    port_survey::SurveyRoots roots_;
    std::string root_;

  private:
    std::vector<int> masters_;
    ScopedVariable devices_{"QUORVEL_DEVICES"};
    ScopedVariable config_{"XDG_CONFIG_HOME"};
};

struct stat StatOf(const std::string& path);
// The node as /proc/locks names it: "<major>:<minor>:<inode>" of its file system.
std::string LockedNode(const struct stat& node);

} // namespace survey_test
