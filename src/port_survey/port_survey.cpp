#include "port_survey.h"

#include "device_names.h"
#include "device_probe.h"
#include "natural_order.h"
#include "survey_backend.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>

namespace port_survey {
namespace {

const char* SourceName(posix_serial::NameSource source)
{
    switch (source) {
    case posix_serial::NameSource::DevicesVariable:
        return "QUORVEL_DEVICES";
    case posix_serial::NameSource::ConfigFolder:
        return "config";
    case posix_serial::NameSource::Default:
        break;
    }
    return "default";
}

std::string DescriptionOf(const std::string& path, const SurveyRoots& roots)
{
    struct stat node;
    if (stat(path.c_str(), &node) != 0 || !S_ISCHR(node.st_mode))
        return std::string();
    return UsbDescription(node.st_rdev, roots.sys);
}

bool HasUart(const std::string& path, const SurveyRoots& roots)
{
    struct stat node;
    return stat(path.c_str(), &node) == 0 && S_ISCHR(node.st_mode) &&
           UartBehind(node.st_rdev, roots.sys) == UartPresence::Present;
}

// The entries of folder whose names start with prefix, as full paths.
std::vector<std::string> Entries(const std::string& folder, const std::string& prefix)
{
    std::vector<std::string> paths;
    DIR* listing = opendir(folder.c_str());
    if (listing == nullptr)
        return paths;
    while (const dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && name.compare(0, prefix.size(), prefix) == 0)
            paths.push_back(folder + "/" + name);
    }
    closedir(listing);
    return paths;
}

bool NameOrder(const SerialDevice& a, const SerialDevice& b)
{
    return NaturalLess(a.path, b.path);
}

// The kernel's names of USB adapters and of the UARTs that exist.
std::vector<std::string> KernelNames(const SurveyRoots& roots)
{
    std::vector<std::string> paths = Entries(roots.dev, "ttyUSB");
    for (const std::string& path : Entries(roots.dev, "ttyACM"))
        paths.push_back(path);
    for (const std::string& path : Entries(roots.dev, "ttyS"))
        if (HasUart(path, roots))
            paths.push_back(path);
    return paths;
}

std::string PortsResolvingTo(const std::string& canonical, const std::vector<PortRow>& ports)
{
    std::string mapped;
    for (const PortRow& row : ports)
        if (CanonicalPath(row.device) == canonical)
            mapped += (mapped.empty() ? "" : ", ") + row.port;
    return mapped;
}

PortRow SurveyPortWith(unsigned long number, const SurveyRoots& roots, const OpenFiles& openFiles)
{
    const posix_serial::ResolvedName name = posix_serial::ResolvePort(number);
    PortRow row;
    row.port = "COM" + std::to_string(number);
    row.device = name.path;
    row.source = SourceName(name.source);
    const Probe probe = ProbePort(row, roots, openFiles);
    row.status = probe.status;
    row.advice = probe.advice;
    row.description = DescriptionOf(row.device, roots);
    return row;
}

} // namespace

PortRow SurveyPort(unsigned long number, const SurveyRoots& roots)
{
    return SurveyPortWith(number, roots, ScanOpenFiles(roots.proc));
}

std::vector<PortRow> SurveyPorts(const SurveyRoots& roots)
{
    const OpenFiles openFiles = ScanOpenFiles(roots.proc);
    std::vector<PortRow> rows;
    for (unsigned long number = 1; number <= PortCount; ++number)
        rows.push_back(SurveyPortWith(number, roots, openFiles));
    return rows;
}

Survey SurveyNow()
{
    const SurveyRoots roots = RootsFromEnvironment();
    Survey survey;
    survey.ports = SurveyPorts(roots);
    survey.devices = ListSerialDevices(roots, survey.ports);
    return survey;
}

PortRow PortNow(unsigned long number)
{
    return SurveyPort(number, RootsFromEnvironment());
}

std::vector<SerialDevice> ListSerialDevices(const SurveyRoots& roots, const std::vector<PortRow>& ports)
{
    std::vector<std::pair<std::string, SerialDevice>> found; // by canonical path
    auto add = [&found](const std::string& path) -> SerialDevice* {
        const std::string canonical = CanonicalPath(path);
        if (canonical.empty())
            return nullptr;
        for (auto& known : found)
            if (known.first == canonical)
                return &known.second;
        found.push_back({canonical, SerialDevice{path, "", "", ""}});
        return &found.back().second;
    };
    for (const std::string& path : KernelNames(roots))
        add(path);
    // A device found only through its by-id link is listed by its own name.
    for (const std::string& link : Entries(roots.dev + "/serial/by-id", ""))
        if (SerialDevice* device = add(CanonicalPath(link)))
            device->stableName = link;

    std::vector<SerialDevice> devices;
    for (auto& [canonical, device] : found) {
        device.description = DescriptionOf(canonical, roots);
        device.mappedAs = PortsResolvingTo(canonical, ports);
        devices.push_back(device);
    }
    std::sort(devices.begin(), devices.end(), NameOrder);
    return devices;
}

} // namespace port_survey
