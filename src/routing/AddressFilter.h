#pragma once

#include <string>
#include <vector>

namespace vesk {
class LogSink;
}

namespace vesk::routing {

// The allow-list of recipient numbers: patterns kept in addressfilter.sms in the program folder.
// A list whose first entry is "*" lets every address through; that is also the state when the
// file is missing or holds no usable line.
class AddressFilter
{
public:
    static constexpr const char* kFileName = "addressfilter.sms";

    explicit AddressFilter(std::string programFolder);

    void LoadAddressFilter();
    bool IsAddressFilterActive() const;
    bool IsAddressAllowed(const std::string& address, LogSink& log) const;
    std::string GetAddressFilterText() const;
    void SetAddressFilterText(const std::string& text);
    bool SaveAddressFilter() const; // false when the file could not be written; the list stays in force

    const std::vector<std::string>& entries() const { return m_entries; }
    std::string filePath() const;

private:
    std::string m_programFolder;
    std::vector<std::string> m_entries {"*"};
};

} // namespace vesk::routing
