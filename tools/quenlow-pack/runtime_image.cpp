#include "runtime_image.h"

#include <fstream>

namespace {

// JAVA_VERSION="17.0.9" in the release file that jlink and the JDK write.
std::string releaseVersion(const std::string& directory) {
    std::ifstream release(directory + "/release");
    std::string line;
    while (std::getline(release, line)) {
        if (!line.starts_with("JAVA_VERSION="))
            continue;
        std::string value = line.substr(13);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        return value;
    }
    return "";
}

} // namespace

bool readRuntimeImage(RuntimeImage* image, std::string* error) {
    if (!collectTree(image->directory, "", &image->items, error))
        return false;
    if (image->version.empty())
        image->version = releaseVersion(image->directory);
    if (image->version.empty()) {
        *error = "no JAVA_VERSION in " + image->directory +
                 "/release: give the runtime's version with --runtime-version";
        return false;
    }
    if (image->version.find_first_of("/\\:,") != std::string::npos ||
        image->name.find_first_of("/\\:,") != std::string::npos) {
        *error = "the runtime's name and version may not hold / \\ : or ,";
        return false;
    }
    return true;
}

std::vector<ComponentFile> runtimeFiles(const RuntimeImage& image) {
    std::vector<ComponentFile> files;
    for (const SourceItem& item : image.items)
        files.push_back({item.name, image.directory, true, item.mode});
    return files;
}

std::string runtimeJarName(const RuntimeImage& image) {
    return "Disk1/stage/Components/" + image.name + "/" + image.version + "/DataFiles/runtime.jar";
}
