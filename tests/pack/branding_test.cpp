// Branding of the Windows stub, checked on the real stub of the windows preset: the branded
// image is read back as the system reads it (data directory, resource tree searched by
// number, the dialog template, the version blocks), and its layout checked as the loader
// would (alignments, sizes, the moved base relocations).
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <string>

#include "branding.h"
#include "pe_image.h"

namespace {

Bytes readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::string writeTemp(const std::string& name, const Bytes& data) {
    std::string path = ::testing::TempDir() + "/" + name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()),
               static_cast<std::streamsize>(data.size()));
    return path;
}

// ---- reading an image as the system does ----------------------------------------------

struct Image {
    const Bytes& bytes;
    size_t optional;
    size_t sections;
    size_t sectionCount;

    explicit Image(const Bytes& data) : bytes(data) {
        size_t pe = get32(data, 60);
        sectionCount = get16(data, pe + 6);
        optional = pe + 24;
        sections = optional + get16(data, pe + 20);
    }
    uint32_t directory(int index, int field) const {
        return get32(bytes, optional + 96 + 8 * index + 4 * field);
    }
    uint32_t section(size_t index, int field) const {
        return get32(bytes, sections + 40 * index + 8 + 4 * field);
    }
    size_t offsetOf(uint32_t rva) const {
        for (size_t i = 0; i < sectionCount; ++i) {
            if (rva >= section(i, 1) && rva < section(i, 1) + section(i, 2))
                return section(i, 3) + (rva - section(i, 1));
        }
        ADD_FAILURE() << "address " << rva << " is in no section's file data";
        return 0;
    }
    // The entry for `id` in the directory at `at` (relative to the resource section),
    // checking the numbered entries ascend, as the loader's binary search needs.
    std::optional<uint32_t> lookUp(uint32_t at, uint32_t id) const {
        size_t base = offsetOf(directory(kDirectoryResources, 0));
        size_t named = get16(bytes, base + at + 12);
        size_t numbered = get16(bytes, base + at + 14);
        std::optional<uint32_t> found;
        for (size_t i = 0; i < numbered; ++i) {
            size_t entry = base + at + 16 + 8 * (named + i);
            if (i > 0) {
                EXPECT_LT(get32(bytes, entry - 8), get32(bytes, entry));
            }
            if (get32(bytes, entry) == id)
                found = get32(bytes, entry + 4) & 0x7FFFFFFF;
        }
        return found;
    }
    // The data of resource (type, name) in its first language.
    std::optional<Bytes> resource(uint32_t type, uint32_t name) const {
        auto names = lookUp(0, type);
        auto languages = names ? lookUp(*names, name) : std::nullopt;
        if (!languages)
            return std::nullopt;
        size_t base = offsetOf(directory(kDirectoryResources, 0));
        size_t entry = base + get32(bytes, base + *languages + 16 + 4);
        size_t data = offsetOf(get32(bytes, entry));
        return Bytes(bytes.begin() + data, bytes.begin() + data + get32(bytes, entry + 4));
    }
};

std::u16string textAt(const Bytes& data, size_t* at) {
    std::u16string text;
    for (; get16(data, *at) != 0; *at += 2)
        text.push_back(static_cast<char16_t>(get16(data, *at)));
    *at += 2;
    return text;
}

// The caption and the controls (each from its aligned start to its end) of an extended
// dialog template whose menu and class are none, as our stub's is.
std::pair<std::u16string, std::vector<Bytes>> readDialog(const Bytes& dialog) {
    size_t at = 30;
    std::u16string caption = textAt(dialog, &at);
    at += 6;
    textAt(dialog, &at); // the font's face
    std::vector<Bytes> controls;
    for (uint32_t i = 0; i < get16(dialog, 16); ++i) {
        at = (at + 3) / 4 * 4;
        size_t start = at;
        at += 24;
        for (int field = 0; field < 2; ++field) {
            if (get16(dialog, at) == 0xFFFF)
                at += 4;
            else
                textAt(dialog, &at);
        }
        at += 2 + get16(dialog, at);
        controls.emplace_back(dialog.begin() + start, dialog.begin() + at);
    }
    return {caption, controls};
}

// The strings of version information, by key, found by walking its blocks.
void readVersionStrings(const Bytes& info, size_t at, size_t end,
                        std::map<std::u16string, std::u16string>* out) {
    while (at + 6 < end) {
        size_t blockEnd = at + get16(info, at);
        size_t valueLength = get16(info, at + 2);
        bool text = get16(info, at + 4) == 1;
        size_t cursor = at + 6;
        std::u16string key = textAt(info, &cursor);
        cursor = (cursor + 3) / 4 * 4;
        if (text && valueLength > 0) {
            (*out)[key] = textAt(info, &cursor);
        } else {
            cursor = (cursor + (text ? 0 : valueLength) + 3) / 4 * 4;
            readVersionStrings(info, cursor, blockEnd, out);
        }
        at = (blockEnd + 3) / 4 * 4;
    }
}

// ---- inputs ----------------------------------------------------------------------------

// An .ico of two images: a 32 x 32 one whose depth the file leaves at 0 (taken from the
// image's own header) and a PNG-compressed one.
Bytes makeIcon(Bytes* first, Bytes* second) {
    *first = Bytes(40 + 32 * 32 * 4 + 128, 0x11);
    set32(first, 0, 40);
    set16(first, 14, 32);
    *second = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    second->resize(64, 0x22);
    Bytes icon;
    put16(&icon, 0);
    put16(&icon, 1);
    put16(&icon, 2);
    for (const Bytes* image : {first, second}) {
        icon.push_back(image == first ? 32 : 0); // 0 stands for 256
        icon.push_back(image == first ? 32 : 0);
        put16(&icon, 0);
        put16(&icon, 0); // planes
        put16(&icon, image == first ? 0 : 32);
        put32(&icon, static_cast<uint32_t>(image->size()));
        put32(&icon, static_cast<uint32_t>(6 + 32 + (image == first ? 0 : first->size())));
    }
    icon.insert(icon.end(), first->begin(), first->end());
    icon.insert(icon.end(), second->begin(), second->end());
    return icon;
}

// A 24-bit .bmp whose pixels start after a gap, which the resource must not keep.
Bytes makeBitmap(int width, int height, Bytes* packed) {
    const size_t gap = 6;
    size_t stride = (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
    Bytes bmp{'B', 'M'};
    put32(&bmp, 0);
    put32(&bmp, 0);
    put32(&bmp, static_cast<uint32_t>(14 + 40 + gap));
    for (uint32_t field : {40u, static_cast<uint32_t>(width), static_cast<uint32_t>(height)})
        put32(&bmp, field);
    put16(&bmp, 1);
    put16(&bmp, 24);
    for (int i = 0; i < 6; ++i)
        put32(&bmp, 0);
    *packed = Bytes(bmp.begin() + 14, bmp.end());
    bmp.resize(bmp.size() + gap, 0xEE);
    for (size_t i = 0; i < stride * static_cast<size_t>(height); ++i) {
        bmp.push_back(static_cast<uint8_t>(i * 7));
        packed->push_back(static_cast<uint8_t>(i * 7));
    }
    return bmp;
}

class BrandingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        stub = readBytes(QUENLOW_WINDOWS_STUB);
        if (stub.empty())
            GTEST_SKIP() << QUENLOW_WINDOWS_STUB " is missing (build the windows preset first)";
    }
    Bytes stub;
};

TEST_F(BrandingTest, BrandedResourcesReadBackAsTheSystemReadsThem) {
    Bytes image1, image2, banner;
    Branding branding;
    branding.icon = writeTemp("brand.ico", makeIcon(&image1, &image2));
    branding.banner = writeTemp("brand.bmp", makeBitmap(kBannerWidth, kBannerHeight, &banner));
    branding.title = "Acme Setup \xE2\x80\x93 \xC3\xA9"; // a dash and an accent
    branding.productName = "Acme Studio";
    branding.productVersion = "17.0.2";
    branding.company = "Acme Ltd";
    branding.copyright = "(c) 2026 Acme";
    Bytes branded = stub;
    std::string error;
    ASSERT_TRUE(brandStub(&branded, branding, "out/setup-acme.exe", &error)) << error;
    Image before(stub), after(branded);

    // The icon group lists the file's images, each an icon resource of its own; the old
    // images are gone.
    Bytes group = *after.resource(14, 128);
    ASSERT_EQ(get16(group, 4), 2u);
    EXPECT_EQ(get16(group, 6 + 6), 32u) << "depth from the image's header";
    EXPECT_EQ(get16(group, 6 + 14 + 4), 1u) << "planes";
    EXPECT_EQ(*after.resource(3, get16(group, 6 + 12)), image1);
    EXPECT_EQ(*after.resource(3, get16(group, 6 + 14 + 12)), image2);
    EXPECT_FALSE(after.resource(3, 3)) << "the stub's six images are replaced by two";

    EXPECT_EQ(*after.resource(2, 138), banner);

    auto [oldCaption, oldControls] = readDialog(*before.resource(5, 102));
    auto [caption, controls] = readDialog(*after.resource(5, 102));
    EXPECT_EQ(oldCaption, u"Quenlow");
    EXPECT_EQ(caption, u"Acme Setup \u2013 \u00e9");
    EXPECT_EQ(controls, oldControls);

    Bytes version = *after.resource(16, 1);
    EXPECT_EQ(get32(version, 40), 0xFEEF04BDu);
    EXPECT_EQ(get32(version, 48), (17u << 16) | 0u) << "file version, high part";
    EXPECT_EQ(get32(version, 52), (2u << 16) | 0u) << "file version, low part";
    std::map<std::u16string, std::u16string> strings;
    readVersionStrings(version, 0, version.size(), &strings);
    EXPECT_EQ(strings,
              (std::map<std::u16string, std::u16string>{{u"CompanyName", u"Acme Ltd"},
                                                        {u"FileDescription", u"Acme Studio"},
                                                        {u"FileVersion", u"17.0.2"},
                                                        {u"LegalCopyright", u"(c) 2026 Acme"},
                                                        {u"OriginalFilename", u"setup-acme.exe"},
                                                        {u"ProductName", u"Acme Studio"},
                                                        {u"ProductVersion", u"17.0.2"}}));

    EXPECT_EQ(*after.resource(24, 1), *before.resource(24, 1)) << "the manifest is kept";

    // The layout: sections follow one another at the image's alignments, the image size
    // covers the last one, and the base relocations moved whole with their directory.
    const uint32_t sectionAlignment = get32(branded, after.optional + 32);
    const uint32_t fileAlignment = get32(branded, after.optional + 36);
    for (size_t i = 0; i < after.sectionCount; ++i) {
        EXPECT_EQ(after.section(i, 1) % sectionAlignment, 0u);
        EXPECT_EQ(after.section(i, 3) % fileAlignment, 0u);
        EXPECT_EQ(after.section(i, 2) % fileAlignment, 0u);
        if (i > 0) {
            uint32_t previousEnd = after.section(i - 1, 1) +
                                   std::max(after.section(i - 1, 0), after.section(i - 1, 2));
            EXPECT_EQ(after.section(i, 1),
                      (previousEnd + sectionAlignment - 1) / sectionAlignment * sectionAlignment);
        }
    }
    size_t last = after.sectionCount - 1;
    EXPECT_EQ(get32(branded, after.optional + 56),
              (after.section(last, 1) + after.section(last, 0) + sectionAlignment - 1) /
                  sectionAlignment * sectionAlignment);
    size_t oldRelocations = before.offsetOf(before.directory(kDirectoryRelocations, 0));
    size_t relocations = after.offsetOf(after.directory(kDirectoryRelocations, 0));
    uint32_t relocationSize = after.directory(kDirectoryRelocations, 1);
    EXPECT_EQ(Bytes(branded.begin() + relocations, branded.begin() + relocations + relocationSize),
              Bytes(stub.begin() + oldRelocations, stub.begin() + oldRelocations + relocationSize));
    EXPECT_EQ(branded.size() - stub.size(), after.section(last, 3) - before.section(last, 3));
}

TEST_F(BrandingTest, UnusableInputsAreRefusedWithWhatIsWrong) {
    Bytes packed;
    std::string error;
    Branding branding;
    branding.banner = writeTemp("small.bmp", makeBitmap(100, 50, &packed));
    Bytes copy = stub;
    EXPECT_FALSE(brandStub(&copy, branding, "setup.exe", &error));
    EXPECT_NE(error.find("is 100 x 50 pixels; it must be 190 x 131"), std::string::npos) << error;
    EXPECT_EQ(copy, stub);

    branding = Branding{};
    branding.productVersion = "1.2.3.4.5";
    EXPECT_FALSE(brandStub(&copy, branding, "setup.exe", &error));
    EXPECT_NE(error.find("up to four numbers"), std::string::npos) << error;

    branding.productVersion = "1.2";
    Bytes loaded;
    std::string linuxStub = writeTemp("linux-stub", Bytes{0x7F, 'E', 'L', 'F', 1, 1, 1, 0});
    EXPECT_FALSE(loadStub(linuxStub, branding, "setup", &loaded, &error));
    EXPECT_NE(error.find("Windows installer only"), std::string::npos) << error;

    // A signed stub, even unbranded: its signature would not cover the archive.
    Bytes signedStub = stub;
    set32(&signedStub, Image(stub).optional + 96 + 8 * kDirectorySecurity + 4, 8);
    EXPECT_FALSE(
        loadStub(writeTemp("signed.exe", signedStub), Branding{}, "setup.exe", &loaded, &error));
    EXPECT_NE(error.find("is signed"), std::string::npos) << error;
}

// The linker's checksum of the stub is the reference for the computation, which the
// packer repeats over the finished installer (stub and archive); osslsigncode checks the
// latter in the signing test.
TEST_F(BrandingTest, ChecksumIsTheSystemsOverTheWholeFile) {
    Image image(stub);
    size_t checksumAt = image.optional + 64;
    ASSERT_NE(get32(stub, checksumAt), 0u);
    FILE* file = std::fopen(writeTemp("stub.exe", stub).c_str(), "rb");
    bool ok = false;
    EXPECT_EQ(peChecksum(file, checksumAt, &ok), get32(stub, checksumAt));
    std::fclose(file);

    Bytes installer = stub;
    installer.insert(installer.end(), {'P', 'K', 5, 6, 0}); // an odd length
    std::string path = writeTemp("installer.exe", installer);
    std::string error;
    ASSERT_TRUE(updatePeChecksum(path, &error)) << error;
    Bytes updated = readBytes(path);
    set32(&installer, checksumAt, get32(updated, checksumAt));
    EXPECT_EQ(updated, installer) << "only the checksum changes";
    EXPECT_NE(get32(updated, checksumAt), get32(stub, checksumAt));
}

} // namespace
