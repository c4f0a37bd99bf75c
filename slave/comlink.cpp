#include "comlink.h"

#include "serial/portmap.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace simulator
{

namespace
{

std::string linkName(int number)
{
    return "com" + std::to_string(number);
}

std::string readLink(const std::filesystem::path &path)
{
    std::error_code error;
    const std::filesystem::path target = std::filesystem::read_symlink(path, error);
    return error ? std::string() : target.string();
}

std::runtime_error failure(const std::string &what, int error)
{
    return std::runtime_error(what + ": " + std::strerror(error));
}

} // namespace

ComLink::ComLink(const std::filesystem::path &directory, std::optional<int> number,
                 const std::string &devicePath, const std::set<int> &numbersInUse)
    : m_directory(directory), m_devicePath(devicePath)
{
    std::error_code error;
    std::filesystem::create_directories(m_directory, error);
    if (error)
        throw std::runtime_error("cannot create the port directory " + m_directory.string() + ": " +
                                 error.message());

    std::string whyTaken;
    if (number) {
        if (tryLink(m_directory / linkName(*number), *number, whyTaken) == Outcome::Taken)
            throw std::runtime_error(whyTaken + "; remove it or choose another --port");
        return;
    }
    for (int candidate = 1; candidate <= serial::kMaxPortNumber; ++candidate) {
        if (numbersInUse.contains(candidate))
            continue;
        if (tryLink(m_directory / linkName(candidate), candidate, whyTaken) == Outcome::Linked)
            return;
    }
    throw std::runtime_error("every port number from 1 to " +
                             std::to_string(serial::kMaxPortNumber) + " is taken in " +
                             m_directory.string());
}

ComLink::ComLink(const std::filesystem::path &path, const std::string &devicePath,
                 const std::string &option)
    : m_directory(path.parent_path().empty() ? "." : path.parent_path()), m_devicePath(devicePath)
{
    std::string whyTaken;
    if (tryLink(path, 0, whyTaken) == Outcome::Taken)
        throw std::runtime_error(whyTaken + "; remove it or choose another " + option);
}

bool ComLink::remove()
{
    const bool ours = m_linked && readLink(m_path) == m_devicePath;
    m_linked = false;
    return ours && ::unlink(m_path.c_str()) == 0;
}

ComLink::Outcome ComLink::tryLink(const std::filesystem::path &path, int number,
                                  std::string &whyTaken)
{
    // Two simulators may pick the same number at once: symlink() and rename() decide, and the
    // loser looks again at what the winner left.
    for (int attempt = 0; attempt < 3; ++attempt) {
        struct stat entry {
        };
        if (::lstat(path.c_str(), &entry) != 0) {
            if (errno != ENOENT)
                throw failure("cannot inspect " + path.string(), errno);
            if (::symlink(m_devicePath.c_str(), path.c_str()) == 0) {
                m_path = path;
                m_number = number;
                m_linked = true;
                return Outcome::Linked;
            }
            if (errno != EEXIST)
                throw failure("cannot create the link " + path.string(), errno);
            continue;
        }

        if (!S_ISLNK(entry.st_mode)) {
            whyTaken = path.string() + " exists and is not a symbolic link";
            return Outcome::Taken;
        }
        struct stat target {
        };
        if (::stat(path.c_str(), &target) == 0) {
            whyTaken = path.string() + " already points to " + readLink(path) + ", which exists";
            return Outcome::Taken;
        }

        // A dangling link, for example left by a simulator that was killed: replace it in one
        // step, so that the name never points nowhere and never to a half-made link.
        const std::filesystem::path temporary =
            m_directory / (path.filename().string() + ".new-" + std::to_string(::getpid()));
        ::unlink(temporary.c_str());
        if (::symlink(m_devicePath.c_str(), temporary.c_str()) != 0)
            throw failure("cannot create the link " + temporary.string(), errno);
        if (::rename(temporary.c_str(), path.c_str()) != 0) {
            const int renameError = errno;
            ::unlink(temporary.c_str());
            throw failure("cannot replace the dangling link " + path.string(), renameError);
        }
        m_path = path;
        m_number = number;
        m_linked = true;
        return Outcome::Linked;
    }
    whyTaken = path.string() + " keeps changing";
    return Outcome::Taken;
}

} // namespace simulator
