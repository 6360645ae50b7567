/*
 * Branding of the Windows installer. See branding.h.
 *
 * The stub's resources are read into a list, the branded ones replaced or added, and the
 * resource section written anew; everything else (the manifest, the dialog's layout, the
 * rest of the image) is kept as the linker made it. Each input file is checked before it
 * is used, and refused with what is wrong with it: a picture or an icon that the system
 * cannot show would only fail on the user's machine.
 */
#include "branding.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "launcher/ui/resource.h"
#include "resource_tree.h"

namespace {

bool fail(std::string* error, const std::string& why) {
    *error = why;
    return false;
}

bool readFile(const std::string& path, Bytes* data) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    uint8_t buffer[1 << 16];
    size_t got;
    data->clear();
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        data->insert(data->end(), buffer, buffer + got);
    bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

// UTF-8 (the command line's encoding) to the UTF-16 of the resources; false when the text
// is not valid UTF-8.
bool toUtf16(const std::string& text, std::u16string* out) {
    out->clear();
    for (size_t i = 0; i < text.size();) {
        uint8_t lead = static_cast<uint8_t>(text[i]);
        size_t length = lead < 0x80    ? 1
                        : lead >= 0xF0 ? 4
                        : lead >= 0xE0 ? 3
                        : lead >= 0xC0 ? 2
                                       : 0;
        if (length == 0 || lead > 0xF4 || i + length > text.size())
            return false;
        uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            uint8_t next = static_cast<uint8_t>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        static const uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000))
            return false; // over-long forms and surrogates are not characters
        if (code >= 0x10000) {
            out->push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
            out->push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            out->push_back(static_cast<char16_t>(code));
        }
        i += length;
    }
    return true;
}

void putText(Bytes* out, const std::u16string& text) {
    for (char16_t unit : text)
        put16(out, unit);
    put16(out, 0);
}

Resource* findResource(std::vector<Resource>* resources, uint32_t type, uint32_t name) {
    for (Resource& resource : *resources) {
        if (resource.type == ResourceKey{type, {}} && resource.name == ResourceKey{name, {}})
            return &resource;
    }
    return nullptr;
}

// ---- the icon --------------------------------------------------------------------------
// An .ico file is a 6-byte header (0, 1 for icons, the image count) and a 16-byte entry per
// image (width, height, colours, 0, planes, bits per pixel, size, offset). In a program the
// images are icon resources of their own, and the group lists them in 14-byte entries: the
// same first 12 bytes and the image's resource number in place of the offset.

bool replaceIcon(std::vector<Resource>* resources, const std::string& path, std::string* error) {
    Bytes file;
    if (!readFile(path, &file))
        return fail(error, "cannot read the icon " + path);
    size_t count = file.size() >= 6 ? get16(file, 4) : 0;
    if (file.size() < 6 || get16(file, 0) != 0 || get16(file, 2) != 1 || count == 0 ||
        6 + 16 * count > file.size())
        return fail(error, "the icon " + path + " is not an .ico file");
    Resource* group = findResource(resources, kTypeIconGroup, IDR_MAINFRAME);
    if (group == nullptr)
        return fail(error, "the stub has no icon group " + std::to_string(IDR_MAINFRAME));

    // The group's old images go; the new ones take free numbers from 1 on.
    std::vector<uint32_t> oldImages;
    for (size_t i = 0; 6 + 14 * (i + 1) <= group->data.size() && i < get16(group->data, 4); ++i)
        oldImages.push_back(get16(group->data, 6 + 14 * i + 12));
    const uint32_t language = group->language;
    std::erase_if(*resources, [&](const Resource& resource) {
        return resource.type == ResourceKey{kTypeIcon, {}} && resource.name.text.empty() &&
               std::find(oldImages.begin(), oldImages.end(), resource.name.id) != oldImages.end();
    });

    Bytes groupData;
    put16(&groupData, 0);
    put16(&groupData, 1);
    put16(&groupData, static_cast<uint32_t>(count));
    uint32_t id = 0;
    for (size_t i = 0; i < count; ++i) {
        size_t entry = 6 + 16 * i;
        uint32_t size = get32(file, entry + 8);
        uint32_t offset = get32(file, entry + 12);
        if (size < 16 || uint64_t{offset} + size > file.size())
            return fail(error,
                        "the icon " + path + " is cut short (image " + std::to_string(i + 1) + ")");
        Bytes image(file.begin() + offset, file.begin() + offset + size);
        // Some programs leave planes and depth at 0 in the file; the system picks an
        // image by them, so they are taken from the image itself.
        uint32_t planes = get16(file, entry + 4);
        uint32_t bits = get16(file, entry + 6);
        bool png = std::memcmp(image.data(), "\x89PNG", 4) == 0;
        if (planes == 0)
            planes = 1;
        if (bits == 0)
            bits = png ? 32 : get16(image, 14);
        do
            ++id;
        while (findResource(resources, kTypeIcon, id) != nullptr);
        groupData.insert(groupData.end(), file.begin() + entry, file.begin() + entry + 4);
        put16(&groupData, planes);
        put16(&groupData, bits);
        put32(&groupData, size);
        put16(&groupData, id);
        resources->push_back(Resource{{kTypeIcon, {}}, {id, {}}, language, 0, std::move(image)});
    }
    // The list has changed under the group found above: look it up again.
    findResource(resources, kTypeIconGroup, IDR_MAINFRAME)->data = std::move(groupData);
    return true;
}

// ---- the banner ------------------------------------------------------------------------
// A bitmap resource is the .bmp file without its 14-byte file header: the information
// header, the colour table and the pixels, packed one after the other. The file may leave
// a gap before its pixels (its header says where they start), which the resource may not.

bool replaceBanner(std::vector<Resource>* resources, const std::string& path, std::string* error) {
    Bytes file;
    if (!readFile(path, &file))
        return fail(error, "cannot read the banner " + path);
    if (file.size() < 26 || file[0] != 'B' || file[1] != 'M')
        return fail(error, "the banner " + path + " is not a .bmp file");
    uint32_t pixelsAt = get32(file, 10);
    uint32_t headerSize = get32(file, 14);
    int32_t width = 0;
    int32_t height = 0;
    uint32_t bits = 0;
    uint32_t compression = 0;
    uint32_t colours = 0;
    size_t colourSize = 4;
    if (headerSize == 12) { // the old core header: 16-bit sizes, 3-byte colours
        width = static_cast<int16_t>(get16(file, 18));
        height = static_cast<int16_t>(get16(file, 20));
        bits = get16(file, 24);
        colourSize = 3;
    } else if (headerSize >= 40 && 14 + headerSize <= file.size()) {
        width = static_cast<int32_t>(get32(file, 18));
        height = static_cast<int32_t>(get32(file, 22));
        bits = get16(file, 28);
        compression = get32(file, 30);
        colours = get32(file, 46);
    } else {
        return fail(error, "the banner " + path + " has a bitmap header of an unknown kind");
    }
    if (width != kBannerWidth || (height != kBannerHeight && height != -kBannerHeight)) {
        return fail(error, "the banner " + path + " is " + std::to_string(width) + " x " +
                               std::to_string(height < 0 ? -height : height) +
                               " pixels; it must be " + std::to_string(kBannerWidth) + " x " +
                               std::to_string(kBannerHeight) +
                               ", the size the installer's dialog shows");
    }
    // Uncompressed, colour masks, or run-length encoded: what the system loads as a bitmap.
    if (compression > 3 ||
        (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32))
        return fail(error, "the banner " + path + " is compressed or of an unknown depth");
    if (colours == 0 && bits <= 8)
        colours = 1u << bits;
    size_t tableSize = colours * colourSize + (headerSize == 40 && compression == 3 ? 12 : 0);
    size_t headerEnd = 14 + headerSize + tableSize;
    if (headerEnd > file.size() || pixelsAt < headerEnd || pixelsAt >= file.size())
        return fail(error, "the banner " + path + " is cut short");
    Resource* bitmap = findResource(resources, kTypeBitmap, IDB_PICTURE);
    if (bitmap == nullptr)
        return fail(error, "the stub has no bitmap " + std::to_string(IDB_PICTURE));
    bitmap->data.assign(file.begin() + 14, file.begin() + headerEnd);
    bitmap->data.insert(bitmap->data.end(), file.begin() + pixelsAt, file.end());
    return true;
}

// ---- the dialog's caption --------------------------------------------------------------
// An extended dialog template: 1, 0xFFFF, help id, extended style, style, the number of
// controls, x, y, width, height; then the menu, the window class and the caption, each a
// zero-terminated UTF-16 text (the first two may be 0 for none, or 0xFFFF and a number);
// with DS_SETFONT the font (size, weight, italic, character set, face name). Each control
// starts on a 4-byte boundary: 24 bytes of fields, its class, its text, and extra data
// preceded by its length. A caption of another length moves the controls, so the template
// is written anew with each control aligned again.

constexpr uint32_t kDialogSetFont = 0x40;

// The offset after the text or number at `at`, or 0 when it runs off the template.
size_t skipTextOrNumber(const Bytes& data, size_t at) {
    if (at + 2 > data.size())
        return 0;
    uint32_t first = get16(data, at);
    if (first == 0xFFFF)
        return at + 4 <= data.size() ? at + 4 : 0;
    while (at + 2 <= data.size()) {
        bool end = get16(data, at) == 0;
        at += 2;
        if (end)
            return at;
    }
    return 0;
}

bool replaceCaption(std::vector<Resource>* resources, const std::u16string& caption,
                    std::string* error) {
    Resource* dialog = findResource(resources, kTypeDialog, IDD_QUENLOWSFX_DIALOG);
    if (dialog == nullptr)
        return fail(error, "the stub has no dialog " + std::to_string(IDD_QUENLOWSFX_DIALOG));
    const Bytes& old = dialog->data;
    const std::string damaged = "the stub's dialog template is damaged";
    if (old.size() < 26 || get16(old, 0) != 1 || get16(old, 2) != 0xFFFF)
        return fail(error, "the stub's dialog is not an extended dialog template");
    size_t menuEnd = skipTextOrNumber(old, 26);
    size_t classEnd = menuEnd != 0 ? skipTextOrNumber(old, menuEnd) : 0;
    size_t captionEnd = classEnd != 0 ? skipTextOrNumber(old, classEnd) : 0;
    size_t fontEnd = captionEnd;
    if (fontEnd != 0 && (get32(old, 12) & kDialogSetFont) != 0)
        fontEnd = captionEnd + 6 <= old.size() ? skipTextOrNumber(old, captionEnd + 6) : 0;
    if (fontEnd == 0)
        return fail(error, damaged);

    Bytes result(old.begin(), old.begin() + classEnd);
    putText(&result, caption);
    result.insert(result.end(), old.begin() + captionEnd, old.begin() + fontEnd);
    size_t at = fontEnd;
    for (uint32_t control = 0; control < get16(old, 16); ++control) {
        at = (at + 3) / 4 * 4;
        size_t classAt = at + 24;
        size_t textAt = classAt <= old.size() ? skipTextOrNumber(old, classAt) : 0;
        size_t extraAt = textAt != 0 ? skipTextOrNumber(old, textAt) : 0;
        if (extraAt == 0 || extraAt + 2 > old.size() ||
            extraAt + 2 + get16(old, extraAt) > old.size())
            return fail(error, damaged);
        size_t end = extraAt + 2 + get16(old, extraAt);
        padTo(&result, 4);
        result.insert(result.end(), old.begin() + at, old.begin() + end);
        at = end;
    }
    dialog->data = std::move(result);
    return true;
}

// ---- version information ---------------------------------------------------------------
// A tree of blocks, each: its length, the length of its value, its type (1 text, 0 binary),
// a zero-terminated UTF-16 key, padding to 4 bytes, the value, padding, its children. The
// root's value is the fixed information (numeric versions, flags, kind of file); below it
// a string table for US English in UTF-16 ("040904B0") and the translation that names it.

constexpr uint32_t kLanguageUsEnglish = 0x0409;
constexpr uint32_t kCodePageUtf16 = 1200;

Bytes versionBlock(const std::u16string& key, const Bytes& value, uint32_t valueLength, bool text,
                   const std::vector<Bytes>& children) {
    Bytes block;
    put16(&block, 0); // the length, filled in below
    put16(&block, valueLength);
    put16(&block, text ? 1 : 0);
    putText(&block, key);
    padTo(&block, 4);
    block.insert(block.end(), value.begin(), value.end());
    for (const Bytes& child : children) {
        padTo(&block, 4);
        block.insert(block.end(), child.begin(), child.end());
    }
    set16(&block, 0, static_cast<uint32_t>(block.size()));
    return block;
}

Bytes versionString(const char16_t* key, const std::u16string& value) {
    Bytes text;
    putText(&text, value);
    return versionBlock(key, text, static_cast<uint32_t>(value.size() + 1), true, {});
}

// Up to four numbers of 0 to 65535, separated by dots.
bool parseVersion(const std::string& text, uint32_t numbers[4]) {
    size_t count = 0;
    size_t at = 0;
    for (;;) {
        size_t end = text.find('.', at);
        std::string part = text.substr(at, end == std::string::npos ? end : end - at);
        if (count == 4 || part.empty() || part.size() > 5 ||
            part.find_first_not_of("0123456789") != std::string::npos || std::stoul(part) > 0xFFFF)
            return false;
        numbers[count++] = static_cast<uint32_t>(std::stoul(part));
        if (end == std::string::npos)
            return true;
        at = end + 1;
    }
}

bool makeVersionInfo(const Branding& branding, const std::string& outputName, Bytes* info,
                     std::string* error) {
    uint32_t numbers[4] = {0, 0, 0, 0};
    if (!branding.productVersion.empty() && !parseVersion(branding.productVersion, numbers))
        return fail(error, "--product-version needs up to four numbers from 0 to 65535 "
                           "separated by dots, such as 1.2.3");
    const std::string& description =
        branding.description.empty() ? branding.productName : branding.description;
    struct {
        const char16_t* key;
        const std::string& value;
    } strings[] = {
        {u"CompanyName", branding.company},
        {u"FileDescription", description},
        {u"FileVersion", branding.productVersion},
        {u"LegalCopyright", branding.copyright},
        {u"OriginalFilename", outputName},
        {u"ProductName", branding.productName},
        {u"ProductVersion", branding.productVersion},
    };
    std::vector<Bytes> table;
    for (const auto& string : strings) {
        std::u16string value;
        if (!toUtf16(string.value, &value))
            return fail(error, "the version information is not valid UTF-8: " + string.value);
        if (!value.empty())
            table.push_back(versionString(string.key, value));
    }

    Bytes fixed;
    const uint32_t high = numbers[0] << 16 | numbers[1];
    const uint32_t low = numbers[2] << 16 | numbers[3];
    for (uint32_t field : {0xFEEF04BDu, 0x00010000u, high, low, high, low, // versions twice
                           0x3Fu, 0u,           // flags: which are defined, none set
                           0x00040004u, 1u, 0u, // for Windows NT, an application
                           0u, 0u})             // no file date
        put32(&fixed, field);
    Bytes translation;
    put16(&translation, kLanguageUsEnglish);
    put16(&translation, kCodePageUtf16);
    Bytes strings16 = versionBlock(u"StringFileInfo", {}, 0, true,
                                   {versionBlock(u"040904B0", {}, 0, true, table)});
    Bytes variables = versionBlock(u"VarFileInfo", {}, 0, true,
                                   {versionBlock(u"Translation", translation, 4, false, {})});
    *info = versionBlock(u"VS_VERSION_INFO", fixed, static_cast<uint32_t>(fixed.size()), false,
                         {strings16, variables});
    return true;
}

std::string baseName(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

bool Branding::any() const {
    return !icon.empty() || !banner.empty() || !title.empty() || !productName.empty() ||
           !productVersion.empty() || !company.empty() || !description.empty() ||
           !copyright.empty();
}

std::string* brandingOption(Branding* branding, const std::string& name) {
    struct {
        const char* name;
        std::string* field;
    } options[] = {{"--icon", &branding->icon},
                   {"--banner", &branding->banner},
                   {"--title", &branding->title},
                   {"--product-name", &branding->productName},
                   {"--product-version", &branding->productVersion},
                   {"--company", &branding->company},
                   {"--description", &branding->description},
                   {"--copyright", &branding->copyright}};
    for (const auto& option : options) {
        if (name == option.name)
            return option.field;
    }
    return nullptr;
}

bool brandStub(Bytes* stub, const Branding& branding, const std::string& outputName,
               std::string* error) {
    std::vector<Resource> resources;
    std::string why;
    if (!readResources(*stub, &resources, &why))
        return fail(error, "the stub cannot be branded: " + why);
    Resource* dialog = findResource(&resources, kTypeDialog, IDD_QUENLOWSFX_DIALOG);
    const uint32_t language = dialog != nullptr ? dialog->language : kLanguageUsEnglish;

    const std::string& title = branding.title.empty() ? branding.productName : branding.title;
    std::u16string caption;
    if (!toUtf16(title, &caption))
        return fail(error, "the title is not valid UTF-8");
    if (!branding.icon.empty() && !replaceIcon(&resources, branding.icon, error))
        return false;
    if (!branding.banner.empty() && !replaceBanner(&resources, branding.banner, error))
        return false;
    if (!title.empty() && !replaceCaption(&resources, caption, error))
        return false;
    if (!branding.productName.empty() || !branding.productVersion.empty() ||
        !branding.company.empty() || !branding.description.empty() || !branding.copyright.empty()) {
        Bytes info;
        if (!makeVersionInfo(branding, baseName(outputName), &info, error))
            return false;
        std::erase_if(resources, [](const Resource& resource) {
            return resource.type == ResourceKey{kTypeVersion, {}};
        });
        resources.push_back(Resource{{kTypeVersion, {}}, {1, {}}, language, 0, std::move(info)});
    }

    PeLayout layout;
    uint32_t rva = 0;
    if (!readPeLayout(*stub, &layout, &why) || !resourceSectionAddress(*stub, layout, &rva, &why) ||
        !replaceResourceSection(stub, buildResourceSection(resources, rva), &why))
        return fail(error, "the stub cannot be branded: " + why);
    return true;
}

bool loadStub(const std::string& path, const Branding& branding, const std::string& outputName,
              Bytes* stub, std::string* error) {
    if (!readFile(path, stub))
        return fail(error, "cannot read the stub " + path);
    // A signature covers the bytes it was made over and must end the file: one on the stub
    // would stop verifying once an archive follows it.
    PeLayout layout;
    std::string ignored;
    if (readPeLayout(*stub, &layout, &ignored) &&
        layout.directorySize(*stub, kDirectorySecurity) != 0)
        return fail(error, "the stub " + path +
                               " is signed: pack the unsigned stub, then "
                               "sign the installer");
    if (!branding.any())
        return true;
    if (!isPeImage(*stub))
        return fail(error, "--icon, --banner, --title and the version options brand the "
                           "Windows installer only; " +
                               path + " is not a Windows stub (use quenlow-sfx.exe)");
    return brandStub(stub, branding, outputName, error);
}
