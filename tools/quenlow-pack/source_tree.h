/*
 * Reading a folder to pack. Symbolic links are followed, to files and to folders alike
 * (a runtime image links its documentation and certificates into the system); a link
 * whose target is missing, or a folder that links back into itself, is an error, since
 * packing around it would make an installer that lacks what the folder promised.
 * Names come out sorted by byte value, whatever order the file system lists them in.
 */
#ifndef QUENLOW_PACK_SOURCE_TREE_H
#define QUENLOW_PACK_SOURCE_TREE_H

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

struct SourceItem {
    std::string name; // archive name, "/" separators, directories end in "/"
    std::string path; // path on disk
    uint64_t size = 0;
    uint32_t mode = 0; // st_mode of what the path leads to
    std::time_t modified = 0;
};

// Appends the tree under `directory` (archive names start with `prefix`). On failure
// `error` says which path and why.
bool collectTree(const std::string& directory, const std::string& prefix,
                 std::vector<SourceItem>* items, std::string* error);

bool isDirectory(const std::string& path);
// The names in a directory, sorted by byte value; false when it cannot be read.
bool readNames(const std::string& directory, std::vector<std::string>* names);
// The same, empty when the directory cannot be read.
std::vector<std::string> sortedNames(const std::string& directory);

#endif
