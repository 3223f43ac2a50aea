#pragma once

#include <string>
#include <vector>

namespace vesk {
class LogSink;
}

namespace vesk::routing {

// The allow-list of recipient numbers: patterns kept in addressfilter.sms beside the console's other
// files (KeptFilesFolder: the data folder).
// A list whose first entry is "*" lets every address through; that is also the state when the
// file is missing or holds no usable line.
class AddressFilter
{
public:
    static constexpr const char* kFileName = "addressfilter.sms";

    explicit AddressFilter(std::string folder);
    // The folder the file is read from and saved to from now on.
    void setFolder(std::string folder) { m_folder = std::move(folder); }

    void LoadAddressFilter();
    bool IsAddressFilterActive() const;
    bool IsAddressAllowed(const std::string& address, LogSink& log) const;
    std::string GetAddressFilterText() const;
    void SetAddressFilterText(const std::string& text);
    bool SaveAddressFilter() const; // false when the file could not be written; the list stays in force

    const std::vector<std::string>& entries() const { return m_entries; }
    std::string filePath() const;

private:
    std::string m_folder;
    std::vector<std::string> m_entries {"*"};
};

// Where the console with this data folder keeps its address filter; for other programs too.
std::string AddressFilterPath(const std::string& dataFolder);

} // namespace vesk::routing
