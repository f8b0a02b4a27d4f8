#include "process_state.h"

#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fstream>

namespace mexa64_test {

std::size_t ThreadCount()
{
    std::size_t threads = 0;
    DIR* tasks = opendir("/proc/self/task");
    if (tasks == nullptr)
        return 0;
    while (const dirent* entry = readdir(tasks))
        threads += entry->d_name[0] != '.';
    closedir(tasks);
    return threads;
}

bool IsMapped(const std::string& path)
{
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) == nullptr)
        return false;
    const std::string file(resolved);
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line))
        if (line.size() > file.size() && line.compare(line.size() - file.size(), file.size(), file) == 0)
            return true;
    return false;
}

} // namespace mexa64_test
