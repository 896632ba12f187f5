#include "simulator/CallLogEntry.h"

#include "simulator/SimFiles.h"
#include "simulator/SimStateParser.h"

namespace vesk2sim
{

CallLogEntry::CallLogEntry (std::string_view functionName)
    : name (functionName)
{
}

CallLogEntry& CallLogEntry::addIn (uint64_t value)
{
    ins.push_back (value);
    return *this;
}

CallLogEntry& CallLogEntry::addOut (std::string_view key, uint64_t value)
{
    outs.push_back (std::string (key) + "=" + std::to_string (value));
    return *this;
}

CallLogEntry& CallLogEntry::addOutHex (std::string_view key, uint32_t value)
{
    outs.push_back (std::string (key) + "=" + toHex (value));
    return *this;
}

std::string CallLogEntry::toLine (uint64_t micros, uint32_t status) const
{
    auto line = std::to_string (micros) + " " + name;

    for (auto value : ins)
        line += " " + std::to_string (value);

    line += " -> " + std::to_string (status);

    if (status == 0)
        for (auto& out : outs)
            line += " " + out;

    return line + "\n";
}

std::string CallLogEntry::postLine (uint64_t micros, uint32_t message, uint64_t wParam)
{
    return std::to_string (micros) + " POST " + std::to_string (message) + " " + std::to_string (wParam) + "\n";
}

void CallLogEntry::append (const std::string& logPath, const std::string& line)
{
    if (! logPath.empty())
        appendLineToFile (logPath, line);
}

} // namespace vesk2sim
