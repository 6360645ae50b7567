#include "source_tree.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

void warn(const std::string& message) {
    std::fprintf(stderr, "quenlow-pack: warning: %s\n", message.c_str());
}

std::string linkTarget(const std::string& path) {
    char target[4096];
    ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
    if (length < 0)
        return "?";
    return std::string(target, static_cast<size_t>(length));
}

// `ancestors` holds the folders (device, inode) from the root down to `directory`.
bool collect(const std::string& directory, const std::string& prefix,
             std::vector<std::pair<dev_t, ino_t>>* ancestors, std::vector<SourceItem>* items,
             std::string* error) {
    std::vector<std::string> names;
    if (!readNames(directory, &names)) {
        *error = "cannot read the folder " + directory + ": " + std::strerror(errno);
        return false;
    }
    for (const std::string& name : names) {
        SourceItem item;
        item.path = directory + "/" + name;
        item.name = prefix + name;
        struct stat status;
        if (stat(item.path.c_str(), &status) != 0) {
            int reason = errno;
            struct stat link;
            if (lstat(item.path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
                *error = item.path + " is a symbolic link to " + linkTarget(item.path) +
                         (reason == ELOOP ? ", a loop of links"
                                          : ", which does not exist");
            } else {
                *error = "cannot read " + item.path + ": " + std::strerror(reason);
            }
            return false;
        }
        item.size = S_ISREG(status.st_mode) ? static_cast<uint64_t>(status.st_size) : 0;
        item.mode = status.st_mode;
        item.modified = status.st_mtime;
        if (S_ISDIR(status.st_mode)) {
            std::pair<dev_t, ino_t> identity(status.st_dev, status.st_ino);
            if (std::find(ancestors->begin(), ancestors->end(), identity) != ancestors->end()) {
                *error = item.path + " leads back into a folder that contains it (a link loop)";
                return false;
            }
            item.name += "/";
            items->push_back(item);
            ancestors->push_back(identity);
            bool ok = collect(item.path, item.name, ancestors, items, error);
            ancestors->pop_back();
            if (!ok)
                return false;
        } else if (S_ISREG(status.st_mode)) {
            items->push_back(item);
        } else {
            warn("skipping " + item.path + ": not a file or directory");
        }
    }
    return true;
}

} // namespace

bool isDirectory(const std::string& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool readNames(const std::string& directory, std::vector<std::string>* names) {
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr)
        return false;
    while (dirent* item = readdir(dir)) {
        if (std::strcmp(item->d_name, ".") != 0 && std::strcmp(item->d_name, "..") != 0)
            names->push_back(item->d_name);
    }
    closedir(dir);
    std::sort(names->begin(), names->end());
    return true;
}

std::vector<std::string> sortedNames(const std::string& directory) {
    std::vector<std::string> names;
    readNames(directory, &names);
    return names;
}

bool collectTree(const std::string& directory, const std::string& prefix,
                 std::vector<SourceItem>* items, std::string* error) {
    struct stat status;
    if (stat(directory.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        *error = directory + " is not a folder";
        return false;
    }
    std::vector<std::pair<dev_t, ino_t>> ancestors{{status.st_dev, status.st_ino}};
    return collect(directory, prefix, &ancestors, items, error);
}
