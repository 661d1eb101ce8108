#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstddef>

// Small helpers over the POSIX file calls the platform layer needs where
// Qt would follow symbolic links or hide the error. Internal to platform/.
namespace PosixFs {

// An owned file descriptor.
class Fd
{
public:
    Fd() = default;
    explicit Fd(int fd)
        : m_fd(fd)
    { }
    ~Fd() { reset(); }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    Fd(Fd &&other) noexcept
        : m_fd(other.release())
    { }
    Fd &operator=(Fd &&other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    int get() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    // Closes the descriptor; false (errno set) when close reported an error.
    bool reset(int fd = -1);

private:
    int m_fd = -1;
};

// A block of memory aligned for direct reads.
class AlignedBlock
{
public:
    AlignedBlock() = default;
    ~AlignedBlock();
    AlignedBlock(const AlignedBlock &) = delete;
    AlignedBlock &operator=(const AlignedBlock &) = delete;

    bool allocate(std::size_t size);
    void free();
    char *data() const { return m_data; }
    std::size_t size() const { return m_size; }

private:
    char *m_data = nullptr;
    std::size_t m_size = 0;
};

QByteArray encode(const QString &path);
QString decode(const QByteArray &path);
QString errorText(int errorNumber);

// write(2) until everything is out; false with errno set otherwise.
bool writeAll(int fd, const char *data, std::size_t count);

// The names in an open folder, without "." and "..", in byte order.
// The descriptor stays open. False with errno set on a read error.
bool listFolder(int folderFd, QList<QByteArray> &names);

// Removes everything inside the open folder without following links.
bool removeContents(int folderFd, QString &error);
// Removes the entry name in the folder folderFd: a link or file is
// unlinked, a folder emptied and removed.
bool removeEntry(int folderFd, const QByteArray &name, QString &error);

// Opens a folder for *at calls; the last segment must not be a link.
Fd openFolder(const QByteArray &path, bool followLast = false);

} // namespace PosixFs
