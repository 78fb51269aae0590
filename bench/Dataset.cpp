#include "bench/Dataset.h"

#include <QMimeDatabase>
#include <QString>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <random>
#include <set>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bench {

namespace {

constexpr std::array<const char *, 10> commonSuffixes
    = {"jpg", "png", "pdf", "txt", "docx", "mp3", "cpp", "html", "zip", "odt"};

constexpr std::array<const char *, 24> words = {"report", "invoice", "holiday", "meeting", "notes",
    "budget", "draft", "final", "summary", "scan", "letter", "photo", "backup", "project", "design",
    "review", "contract", "minutes", "recipe", "garden", "travel", "family", "thesis", "chapter"};

std::string capitalised(const char *word)
{
    std::string text(word);
    text[0] = char(text[0] - 'a' + 'A');
    return text;
}

// Suffixes of two to four letters and digits that the MIME database has no type for.
std::vector<std::string> unknownSuffixes(std::size_t count, std::mt19937 &random)
{
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    const QMimeDatabase database;
    std::set<std::string> chosen;
    std::uniform_int_distribution<int> letter(0, 35), length(2, 4);
    while (chosen.size() < count) {
        std::string suffix;
        for (int k = length(random); k > 0; --k)
            suffix += alphabet[letter(random)];
        if (chosen.count(suffix))
            continue;
        const QString probe = QStringLiteral("x.") + QString::fromLatin1(suffix.c_str());
        if (database.mimeTypesForFileName(probe).isEmpty())
            chosen.insert(suffix);
    }
    std::vector<std::string> list(chosen.begin(), chosen.end());
    std::shuffle(list.begin(), list.end(), random);
    return list;
}

// A stem in one of six styles; the sequence number makes each stem unique.
std::string stem(std::size_t serial, std::mt19937 &random)
{
    std::uniform_int_distribution<std::size_t> pick(0, words.size() - 1);
    char text[160];
    switch (random() % 6) {
    case 0: { // a camera's picture: the date and time, then the serial
        const unsigned day = unsigned(serial % 28) + 1, month = unsigned(serial / 28 % 12) + 1;
        std::snprintf(text, sizeof text, "IMG_2023%02u%02u_%07zu", month, day, serial);
        break;
    }
    case 1:
        std::snprintf(
            text, sizeof text, "%s-%s-%zu", words[pick(random)], words[pick(random)], serial);
        break;
    case 2:
        std::snprintf(text, sizeof text, "%s %s (%zu)", capitalised(words[pick(random)]).c_str(),
            capitalised(words[pick(random)]).c_str(), serial);
        break;
    case 3:
        std::snprintf(
            text, sizeof text, "%s_%s_v%zu", words[pick(random)], words[pick(random)], serial);
        break;
    case 4:
        std::snprintf(text, sizeof text, "Track %zu - %s %s", serial,
            capitalised(words[pick(random)]).c_str(), capitalised(words[pick(random)]).c_str());
        break;
    default:
        std::snprintf(text, sizeof text, "%s%zu", words[pick(random)], serial);
        break;
    }
    return text;
}

class Descriptor
{
public:
    explicit Descriptor(int fd)
        : m_fd(fd)
    { }
    ~Descriptor()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    int get() const { return m_fd; }

private:
    int m_fd;
};

[[noreturn]] void fail(const std::string &what, const std::string &path)
{
    throw std::runtime_error(what + " " + path + ": " + std::strerror(errno));
}

} // namespace

std::vector<std::string> realisticNames(std::size_t count, Suffixes suffixes, std::uint32_t seed)
{
    std::mt19937 random(seed);
    const std::vector<std::string> pool = suffixes == Suffixes::Unknown
        ? unknownSuffixes(1000, random)
        : std::vector<std::string>(commonSuffixes.begin(), commonSuffixes.end());
    std::vector<std::string> names;
    names.reserve(count);
    for (std::size_t serial = 0; serial < count; ++serial) {
        std::string name = stem(serial, random);
        if (random() % 10 != 0)
            name += "." + pool[random() % pool.size()];
        names.push_back(std::move(name));
    }
    return names;
}

void createFiles(const std::string &folder, const std::vector<std::string> &names,
    std::size_t maxBytes, std::uint32_t seed)
{
    const Descriptor dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0)
        fail("cannot open", folder);
    std::mt19937 random(seed);
    std::vector<char> content(maxBytes);
    for (char &c : content)
        c = char(random());
    std::uniform_int_distribution<std::size_t> size(0, maxBytes);
    const std::time_t now = std::time(nullptr);
    std::uniform_int_distribution<std::int64_t> age(0, 5LL * 365 * 24 * 3600);
    for (const std::string &name : names) {
        const Descriptor file(
            openat(dir.get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
        if (file.get() < 0)
            fail("cannot create", folder + "/" + name);
        if (maxBytes == 0)
            continue;
        const std::size_t bytes = size(random);
        if (bytes > 0 && write(file.get(), content.data(), bytes) != ssize_t(bytes))
            fail("cannot write", folder + "/" + name);
        const struct timespec times[2]
            = {{now, 0}, {std::time_t(now - age(random)), long(random() % 1'000'000'000)}};
        if (futimens(file.get(), times) != 0)
            fail("cannot set the times of", folder + "/" + name);
    }
    // Let the writes reach the disk now, not in the middle of a measurement.
    if (syncfs(dir.get()) != 0)
        fail("cannot flush", folder);
}

void createLargeFile(const std::string &path, std::int64_t bytes)
{
    const Descriptor file(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (file.get() < 0)
        fail("cannot create", path);
    std::mt19937_64 random(42);
    std::vector<std::uint64_t> block(1 << 17); // 1 MiB
    for (std::int64_t written = 0; written < bytes;) {
        for (std::uint64_t &word : block)
            word = random();
        const std::size_t chunk
            = std::size_t(std::min<std::int64_t>(bytes - written, std::int64_t(block.size() * 8)));
        if (write(file.get(), block.data(), chunk) != ssize_t(chunk))
            fail("cannot write", path);
        written += std::int64_t(chunk);
    }
    if (fsync(file.get()) != 0)
        fail("cannot flush", path);
}

} // namespace bench
