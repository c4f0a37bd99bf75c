#pragma once

#include <filesystem>
#include <optional>
#include <set>
#include <string>

namespace simulator
{

// The link "com<N>" in the port directory that makes a device Com<N>. It exists from
// construction to destruction; the destructor removes it only while it still points to the
// device, so a link that someone replaced in the meantime stays.
class ComLink
{
public:
    // Links directory/com<number> to devicePath, creating the directory when missing.
    // An explicit number is refused when com<number> exists and is not a dangling link; a
    // dangling link is replaced. Without a number, takes the lowest number from 1 on that is
    // not in numbersInUse and whose name is free or a dangling link.
    // Throws std::runtime_error with a text for the operator when no link can be made.
    ComLink(const std::filesystem::path &directory, std::optional<int> number,
            const std::string &devicePath, const std::set<int> &numbersInUse);
    // Links path itself to devicePath, on the same terms as an explicit number; option names
    // the command-line option that gave the path, for the message when it is taken. The
    // directory that holds path must exist. number() is 0.
    ComLink(const std::filesystem::path &path, const std::string &devicePath,
            const std::string &option);
    ~ComLink() { remove(); }

    ComLink(const ComLink &) = delete;
    ComLink &operator=(const ComLink &) = delete;

    // Removes the link when it still points to the device; true when it did. Later calls do
    // nothing.
    bool remove();

    int number() const { return m_number; }
    const std::filesystem::path &path() const { return m_path; }

private:
    enum class Outcome { Linked, Taken };
    Outcome tryLink(const std::filesystem::path &path, int number, std::string &whyTaken);

    std::filesystem::path m_directory;
    std::string m_devicePath;
    std::filesystem::path m_path;
    int m_number = 0;
    bool m_linked = false;
};

} // namespace simulator
