/*
 * The resource section's tree. See resource_tree.h.
 *
 * The section starts with directories: 16 bytes (characteristics, time, version, the
 * number of named and of numbered entries) followed by 8-byte entries (a key, and an
 * offset whose high bit marks a subdirectory, else a data entry). A key with its high bit
 * set is the offset of a name: a 16-bit length and that many UTF-16 units. A data entry is
 * 16 bytes: the data's address in the image, its size, its code page, and 0. Offsets are
 * relative to the start of the section; data addresses are relative to the image.
 */
#include "resource_tree.h"

#include <algorithm>
#include <map>

namespace {

constexpr uint32_t kHighBit = 0x80000000u;
constexpr size_t kDirectorySize = 16;
constexpr size_t kEntrySize = 8;
constexpr size_t kDataEntrySize = 16;
constexpr int kLevels = 3; // type, name, language

struct TreeReader {
    const Bytes& image;
    const PeLayout& layout;
    size_t start; // file offset of the section
    size_t end;
    std::vector<Resource>* resources;
    std::string* error;
};

bool fail(std::string* error, const std::string& why) {
    *error = "its resource tree is damaged: " + why;
    return false;
}

bool readKey(const TreeReader& reader, uint32_t field, ResourceKey* key) {
    if ((field & kHighBit) == 0) {
        key->id = field;
        return true;
    }
    size_t at = reader.start + (field & ~kHighBit);
    if (at + 2 > reader.end)
        return fail(reader.error, "a name lies outside the section");
    size_t length = get16(reader.image, at);
    if (at + 2 + 2 * length > reader.end)
        return fail(reader.error, "a name lies outside the section");
    for (size_t i = 0; i < length; ++i)
        key->text.push_back(static_cast<char16_t>(get16(reader.image, at + 2 + 2 * i)));
    return true;
}

bool readLeaf(const TreeReader& reader, uint32_t offset, Resource resource) {
    size_t at = reader.start + offset;
    if (at + kDataEntrySize > reader.end)
        return fail(reader.error, "a data entry lies outside the section");
    uint32_t rva = get32(reader.image, at);
    uint32_t size = get32(reader.image, at + 4);
    size_t data = reader.layout.fileOffset(rva, size);
    if (data == SIZE_MAX)
        return fail(reader.error, "a resource's data lies outside the file");
    resource.codePage = get32(reader.image, at + 8);
    resource.data.assign(reader.image.begin() + data, reader.image.begin() + data + size);
    reader.resources->push_back(std::move(resource));
    return true;
}

// Reads the directory at `offset` of tree level `level`; `path` holds the keys above it.
bool readDirectory(const TreeReader& reader, uint32_t offset, int level, const Resource& path) {
    size_t at = reader.start + offset;
    if (at + kDirectorySize > reader.end)
        return fail(reader.error, "a directory lies outside the section");
    size_t count = get16(reader.image, at + 12) + get16(reader.image, at + 14);
    if (at + kDirectorySize + count * kEntrySize > reader.end)
        return fail(reader.error, "a directory lies outside the section");
    for (size_t i = 0; i < count; ++i) {
        size_t entry = at + kDirectorySize + i * kEntrySize;
        uint32_t key = get32(reader.image, entry);
        uint32_t target = get32(reader.image, entry + 4);
        Resource below = path;
        bool keyRead = level == 0   ? readKey(reader, key, &below.type)
                       : level == 1 ? readKey(reader, key, &below.name)
                                    : (below.language = key, true);
        if (!keyRead)
            return false;
        bool isDirectory = (target & kHighBit) != 0;
        // Each level is one step deeper, so a loop in the tree cannot recurse for ever.
        if (isDirectory != (level + 1 < kLevels))
            return fail(reader.error, "the tree is not three levels deep");
        bool ok = isDirectory ? readDirectory(reader, target & ~kHighBit, level + 1, below)
                              : readLeaf(reader, target, below);
        if (!ok)
            return false;
    }
    return true;
}

// Named keys first, by name, then numbered keys in ascending order.
bool keyBefore(const ResourceKey& a, const ResourceKey& b) {
    if (a.text.empty() != b.text.empty())
        return !a.text.empty();
    return a.text.empty() ? a.id < b.id : a.text < b.text;
}

struct DirectoryPlan {
    std::vector<ResourceKey> keys; // the directory's entries, in order
    std::vector<size_t> targets;   // per entry: a directory plan, or a resource (leaf)
    size_t offset = 0;
};

void writeDirectory(Bytes* out, const DirectoryPlan& plan, const std::vector<uint32_t>& targets,
                    const std::map<std::u16string, uint32_t>& names, bool leaves) {
    size_t named = std::count_if(plan.keys.begin(), plan.keys.end(),
                                 [](const ResourceKey& key) { return !key.text.empty(); });
    put32(out, 0); // characteristics
    put32(out, 0); // time stamp
    put32(out, 0); // version
    put16(out, static_cast<uint32_t>(named));
    put16(out, static_cast<uint32_t>(plan.keys.size() - named));
    for (size_t i = 0; i < plan.keys.size(); ++i) {
        const ResourceKey& key = plan.keys[i];
        put32(out, key.text.empty() ? key.id : (names.at(key.text) | kHighBit));
        put32(out, targets[i] | (leaves ? 0 : kHighBit));
    }
}

} // namespace

bool readResources(const Bytes& image, std::vector<Resource>* resources, std::string* error) {
    PeLayout layout;
    uint32_t rva = 0;
    if (!readPeLayout(image, &layout, error) || !resourceSectionAddress(image, layout, &rva, error))
        return false;
    for (const PeSection& section : layout.sections) {
        if (section.virtualAddress == rva) {
            TreeReader reader{
                image,     layout, section.rawOffset, size_t{section.rawOffset} + section.rawSize,
                resources, error};
            return readDirectory(reader, 0, 0, Resource{});
        }
    }
    return fail(error, "its section is missing");
}

Bytes buildResourceSection(std::vector<Resource> resources, uint32_t sectionRva) {
    std::stable_sort(resources.begin(), resources.end(), [](const Resource& a, const Resource& b) {
        if (!(a.type == b.type))
            return keyBefore(a.type, b.type);
        if (!(a.name == b.name))
            return keyBefore(a.name, b.name);
        return a.language < b.language;
    });

    // The plan: directories[0] is the root, then the type directories, then the name
    // directories (whose entries are languages, pointing at resources).
    std::vector<DirectoryPlan> types(1);
    std::vector<DirectoryPlan> languages;
    for (size_t i = 0; i < resources.size(); ++i) {
        const Resource& resource = resources[i];
        DirectoryPlan& root = types[0];
        if (root.keys.empty() || !(root.keys.back() == resource.type)) {
            root.keys.push_back(resource.type);
            root.targets.push_back(types.size());
            types.emplace_back();
        }
        DirectoryPlan& names = types.back();
        if (names.keys.empty() || !(names.keys.back() == resource.name)) {
            names.keys.push_back(resource.name);
            names.targets.push_back(languages.size());
            languages.emplace_back();
        }
        languages.back().keys.push_back(ResourceKey{resource.language, {}});
        languages.back().targets.push_back(i);
    }

    // Offsets: directories, then names, then data entries, then the data itself.
    size_t offset = 0;
    for (std::vector<DirectoryPlan>* level : {&types, &languages}) {
        for (DirectoryPlan& plan : *level) {
            plan.offset = offset;
            offset += kDirectorySize + plan.keys.size() * kEntrySize;
        }
    }
    std::map<std::u16string, uint32_t> nameOffsets;
    for (const Resource& resource : resources) {
        for (const ResourceKey* key : {&resource.type, &resource.name}) {
            if (!key->text.empty() && nameOffsets.emplace(key->text, offset).second)
                offset += 2 + 2 * key->text.size();
        }
    }
    offset = (offset + 3) / 4 * 4;
    const size_t dataEntriesAt = offset;
    offset += resources.size() * kDataEntrySize;
    std::vector<uint32_t> dataAt;
    for (const Resource& resource : resources) {
        offset = (offset + 7) / 8 * 8;
        dataAt.push_back(static_cast<uint32_t>(offset));
        offset += resource.data.size();
    }

    Bytes out;
    for (size_t i = 0; i < types.size(); ++i) {
        std::vector<uint32_t> targets;
        for (size_t target : types[i].targets) {
            targets.push_back(
                static_cast<uint32_t>(i == 0 ? types[target].offset : languages[target].offset));
        }
        writeDirectory(&out, types[i], targets, nameOffsets, false);
    }
    for (const DirectoryPlan& plan : languages) {
        std::vector<uint32_t> targets;
        for (size_t target : plan.targets)
            targets.push_back(static_cast<uint32_t>(dataEntriesAt + target * kDataEntrySize));
        writeDirectory(&out, plan, targets, nameOffsets, true);
    }
    std::vector<std::pair<uint32_t, std::u16string>> names;
    for (const auto& [text, at] : nameOffsets)
        names.emplace_back(at, text);
    std::sort(names.begin(), names.end());
    for (const auto& [at, text] : names) {
        put16(&out, static_cast<uint32_t>(text.size()));
        for (char16_t unit : text)
            put16(&out, unit);
    }
    padTo(&out, 4);
    for (size_t i = 0; i < resources.size(); ++i) {
        put32(&out, sectionRva + dataAt[i]);
        put32(&out, static_cast<uint32_t>(resources[i].data.size()));
        put32(&out, resources[i].codePage);
        put32(&out, 0);
    }
    for (const Resource& resource : resources) {
        padTo(&out, 8);
        out.insert(out.end(), resource.data.begin(), resource.data.end());
    }
    return out;
}
