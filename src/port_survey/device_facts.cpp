#include "device_facts.h"

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <limits.h>
#include <memory>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace port_survey {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// The file's lines without their ends; false when it cannot be opened. The C
// library reads them: streams would bring the C++ runtime's locales into each
// MEX file that links the runtime in, nearly half a megabyte of it.
bool ReadLines(const std::string& path, std::vector<std::string>& lines)
{
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "re"));
    if (file == nullptr)
        return false;
    std::string line;
    char chunk[256];
    while (std::fgets(chunk, sizeof chunk, file.get()) != nullptr) {
        line += chunk;
        if (line.back() == '\n') {
            line.pop_back();
            lines.push_back(line);
            line.clear();
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return true;
}

std::string FirstLine(const std::string& path)
{
    std::vector<std::string> lines;
    return ReadLines(path, lines) && !lines.empty() ? lines.front() : std::string();
}

bool IsFile(const std::string& path)
{
    struct stat entry;
    return stat(path.c_str(), &entry) == 0 && S_ISREG(entry.st_mode);
}

std::string SysfsEntry(dev_t device, const std::string& sys)
{
    return sys + "/dev/char/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
}

bool IsPid(const char* name)
{
    for (const char* c = name; *c != '\0'; ++c)
        if (*c < '0' || *c > '9')
            return false;
    return *name != '\0';
}

std::string CommandName(const std::string& proc, long pid)
{
    return FirstLine(proc + "/" + std::to_string(pid) + "/comm");
}

// One line of /proc/locks: "1: FLOCK  ADVISORY  WRITE 1234 00:05:321 0 EOF".
// Waiters ("1: -> FLOCK ...") hold nothing, and their lines do not parse.
bool ParseLock(const std::string& line, long& pid, unsigned& majorNumber, unsigned& minorNumber,
               unsigned long& inode)
{
    return std::sscanf(line.c_str(), "%*s %*s %*s %*s %ld %x:%x:%lu", &pid, &majorNumber, &minorNumber,
                       &inode) == 4;
}

void AddOpenFilesOf(const std::string& proc, long pid, OpenFiles& files)
{
    const std::string folder = proc + "/" + std::to_string(pid) + "/fd";
    DIR* descriptors = opendir(folder.c_str());
    if (descriptors == nullptr)
        return;
    std::string name;
    while (const dirent* entry = readdir(descriptors)) {
        char target[PATH_MAX];
        // readlink, unlike stat, never reaches into the file's own file system,
        // which could hang on a dead network mount.
        ssize_t length = readlink((folder + "/" + entry->d_name).c_str(), target, sizeof target - 1);
        if (length <= 0 || target[0] != '/')
            continue;
        if (name.empty())
            name = CommandName(proc, pid);
        files.emplace(std::string(target, static_cast<std::size_t>(length)), Holder{pid, name});
    }
    closedir(descriptors);
}

std::string VariableOr(const char* name, const std::string& fallback)
{
    const char* value = std::getenv(name);
    return value == nullptr || value[0] == '\0' ? fallback : std::string(value);
}

} // namespace

SurveyRoots RootsFromEnvironment()
{
    const SurveyRoots defaults;
    return {VariableOr("QUORVEL_SYS_ROOT", defaults.sys), VariableOr("QUORVEL_DEV_ROOT", defaults.dev),
            VariableOr("QUORVEL_PROC_ROOT", defaults.proc)};
}

std::string CanonicalPath(const std::string& path)
{
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) == nullptr ? std::string() : std::string(resolved);
}

UartPresence UartBehind(dev_t device, const std::string& sys)
{
    const std::string type = FirstLine(SysfsEntry(device, sys) + "/type");
    if (type.empty())
        return UartPresence::Unknown;
    return std::strtol(type.c_str(), nullptr, 10) == 0 ? UartPresence::Absent : UartPresence::Present;
}

std::string UsbDescription(dev_t device, const std::string& sys)
{
    const std::string root = CanonicalPath(sys);
    std::string folder = CanonicalPath(SysfsEntry(device, sys));
    while (!root.empty() && folder.size() > root.size() && folder.compare(0, root.size(), root) == 0) {
        if (IsFile(folder + "/idVendor")) {
            std::string text = FirstLine(folder + "/manufacturer");
            const std::string product = FirstLine(folder + "/product");
            text += text.empty() || product.empty() ? product : " " + product;
            const std::string serial = FirstLine(folder + "/serial");
            if (!serial.empty())
                text += (text.empty() ? "serial " : ", serial ") + serial;
            const std::string ids = FirstLine(folder + "/idVendor") + ":" + FirstLine(folder + "/idProduct");
            return text.empty() ? ids : text + ", " + ids;
        }
        folder.erase(folder.rfind('/'));
    }
    return std::string();
}

std::vector<Holder> LockHolders(const struct stat& node, const std::string& proc)
{
    std::vector<Holder> holders;
    std::vector<std::string> locks;
    ReadLines(proc + "/locks", locks);
    for (const std::string& line : locks) {
        long pid = -1;
        unsigned majorNumber = 0, minorNumber = 0;
        unsigned long inode = 0;
        if (ParseLock(line, pid, majorNumber, minorNumber, inode) && inode == node.st_ino &&
            majorNumber == major(node.st_dev) && minorNumber == minor(node.st_dev))
            holders.push_back({pid, pid > 0 ? CommandName(proc, pid) : std::string()});
    }
    return holders;
}

OpenFiles ScanOpenFiles(const std::string& proc)
{
    OpenFiles files;
    DIR* processes = opendir(proc.c_str());
    if (processes == nullptr)
        return files;
    while (const dirent* entry = readdir(processes))
        if (IsPid(entry->d_name))
            AddOpenFilesOf(proc, std::strtol(entry->d_name, nullptr, 10), files);
    closedir(processes);
    return files;
}

} // namespace port_survey
