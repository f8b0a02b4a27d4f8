#include "survey_tables.h"

#include <algorithm>

namespace port_survey {
namespace {

using Cells = std::vector<std::string>;

// Columns padded to their widest cell; the last column is not padded.
std::vector<std::string> Aligned(const std::vector<Cells>& lines)
{
    std::vector<std::size_t> widths(lines.front().size(), 0);
    for (const Cells& cells : lines)
        for (std::size_t column = 0; column < cells.size(); ++column)
            widths[column] = std::max(widths[column], cells[column].size());
    std::vector<std::string> texts;
    for (const Cells& cells : lines) {
        std::string text = "  ";
        for (std::size_t column = 0; column + 1 < cells.size(); ++column)
            text += cells[column] + std::string(widths[column] - cells[column].size() + 2, ' ');
        text += cells.back();
        texts.push_back(text.erase(text.find_last_not_of(' ') + 1));
    }
    return texts;
}

} // namespace

std::string PortTable(const std::vector<PortRow>& rows)
{
    std::vector<Cells> lines{{"Port", "Status", "Source", "Device"}};
    for (const PortRow& row : rows)
        lines.push_back({row.port, StatusName(row.status), row.source, row.device});
    const std::vector<std::string> texts = Aligned(lines);
    const std::string indent(2 + lines.front()[0].size() + 2, ' ');
    std::string table = "Ports:\n" + texts.front() + "\n";
    for (std::size_t k = 0; k < rows.size(); ++k) {
        table += texts[k + 1] + "\n";
        if (!rows[k].description.empty())
            table += indent + rows[k].description + "\n";
        table += indent + rows[k].advice + "\n";
    }
    return table;
}

std::string DeviceTable(const std::vector<SerialDevice>& devices)
{
    if (devices.empty())
        return "Serial devices present: none.\n";
    std::vector<Cells> lines{{"Device", "Mapped as", "Stable name", "Description"}};
    for (const SerialDevice& device : devices)
        lines.push_back({device.path, device.mappedAs.empty() ? "-" : device.mappedAs,
                         device.stableName.empty() ? "-" : device.stableName, device.description});
    std::string table = "Serial devices present:\n";
    for (const std::string& text : Aligned(lines))
        table += text + "\n";
    return table;
}

} // namespace port_survey
