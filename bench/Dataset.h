#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

// The kinds of names a test folder is filled with.
enum class Suffixes {
    Common, // ten common suffixes the MIME database knows; one name in ten has none
    Unknown, // a thousand distinct suffixes the MIME database does not know; one in ten none
};

// count distinct names that look like a real folder's (camera pictures, documents with
// versions, tracks, scans, "Notes (3)"), in a fixed pseudo-random order made from seed.
std::vector<std::string> realisticNames(std::size_t count, Suffixes suffixes, std::uint32_t seed);

// Creates each name in folder: empty files when maxBytes is 0, else files of 0 to maxBytes
// bytes with modification times spread over the last five years. Throws on failure.
void createFiles(const std::string &folder, const std::vector<std::string> &names,
    std::size_t maxBytes, std::uint32_t seed);

// A file of exactly bytes bytes of pseudo-random content, flushed to the disk.
void createLargeFile(const std::string &path, std::int64_t bytes);

} // namespace bench
