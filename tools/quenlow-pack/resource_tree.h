/*
 * The resources of a Windows program as a flat list, read from and written to the
 * three-level tree of its resource section (type, name, language).
 *
 * Reading keeps every resource whole (data and code page), so that a rewrite changes only
 * what branding replaces. Writing lays the tree out as the system searches it: in each
 * directory the named entries come first, sorted by name, then the numbered ones in
 * ascending order, since the loader finds an entry by binary search.
 */
#ifndef QUENLOW_PACK_RESOURCE_TREE_H
#define QUENLOW_PACK_RESOURCE_TREE_H

#include <cstdint>
#include <string>
#include <vector>

#include "pe_image.h"

// A resource type or name: a number, or a text (UTF-16) when `text` is not empty.
struct ResourceKey {
    uint32_t id = 0;
    std::u16string text;

    bool operator==(const ResourceKey&) const = default;
};

// Resource types of the system that branding touches.
constexpr uint32_t kTypeIcon = 3;
constexpr uint32_t kTypeBitmap = 2;
constexpr uint32_t kTypeDialog = 5;
constexpr uint32_t kTypeIconGroup = 14;
constexpr uint32_t kTypeVersion = 16;
constexpr uint32_t kTypeManifest = 24;

struct Resource {
    ResourceKey type;
    ResourceKey name;
    uint32_t language = 0;
    uint32_t codePage = 0;
    Bytes data;
};

// The resources of `image`, in the order of its tree.
bool readResources(const Bytes& image, std::vector<Resource>* resources, std::string* error);

// A resource section holding `resources`, for a section at address `sectionRva`.
Bytes buildResourceSection(std::vector<Resource> resources, uint32_t sectionRva);

#endif
