#include "routing/AddressFilter.h"

#include "routing/PatternMatcher.h"
#include "support/Convert.h"
#include "support/KeptFiles.h"
#include "support/LogSink.h"
#include "support/Paths.h"
#include "support/PrivateFiles.h"

#include <cstdio>
#include <fstream>

namespace vesk::routing {

AddressFilter::AddressFilter(std::string folder)
    : m_folder(std::move(folder))
{
}

std::string AddressFilter::filePath() const
{
    return TrailingSeparator(m_folder) + kFileName;
}

std::string AddressFilterPath(const std::string& dataFolder)
{
    return KeptFilePath(dataFolder, AddressFilter::kFileName);
}

void AddressFilter::LoadAddressFilter()
{
    m_entries = {"*"};
    std::ifstream in(filePath(), std::ios::binary);
    if (!in)
        return;
    std::vector<std::string> read;
    std::string line;
    while (std::getline(in, line)) {
        std::string pattern = Trim(line);
        if (!pattern.empty())
            read.push_back(std::move(pattern));
    }
    if (!read.empty())
        m_entries = std::move(read);
}

bool AddressFilter::IsAddressFilterActive() const
{
    return m_entries.front() != "*" || m_entries.size() > 1;
}

bool AddressFilter::IsAddressAllowed(const std::string& address, LogSink& log) const
{
    if (m_entries.front() == "*")
        return true;
    const PatternMatcher matcher;
    if (!matcher.IsRegEx()) {
        log.Log(icon::kError, "", "Address Filter could not create RegEx object. Allowing " + address);
        return true;
    }
    for (const auto& pattern : m_entries)
        if (matcher.Test(pattern, address))
            return true;
    return false;
}

std::string AddressFilter::GetAddressFilterText() const
{
    if (m_entries.front() == "*")
        return {};
    std::string text;
    for (const auto& pattern : m_entries)
        text += pattern + "\r\n";
    return text;
}

void AddressFilter::SetAddressFilterText(const std::string& text)
{
    // Split at line ends of any kind: the dialog hands CR LF, a pasted text may hold bare LF.
    std::vector<std::string> lines;
    std::string current;
    for (char c : Trim(text) + "\n") {
        if (c == '\n' || c == '\r') {
            if (std::string p = Trim(current); !p.empty())
                lines.push_back(std::move(p));
            current.clear();
        } else {
            current += c;
        }
    }
    m_entries = lines.empty() ? std::vector<std::string> {"*"} : std::move(lines);
}

bool AddressFilter::SaveAddressFilter() const
{
    const std::string path = filePath();
    std::string text;
    for (const auto& pattern : m_entries)
        text += pattern + "\r\n";
    std::remove(path.c_str());
    return WritePrivateFile(path, text);
}

} // namespace vesk::routing
