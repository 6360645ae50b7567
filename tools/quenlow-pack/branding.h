/*
 * Branding of the Windows installer: the vendor's icon, dialog picture, dialog caption and
 * version information, written into the resources of the stub's copy in the installer.
 * The stub file itself is never changed.
 */
#ifndef QUENLOW_PACK_BRANDING_H
#define QUENLOW_PACK_BRANDING_H

#include <string>

#include "pe_image.h"

struct Branding {
    std::string icon;   // an .ico file: the program's icon group 128 and its images
    std::string banner; // a .bmp file of kBannerWidth x kBannerHeight: bitmap 138
    std::string title;  // the caption of dialog 102 (default: the product name)
    std::string productName;
    std::string productVersion; // up to four numbers, "1.2.3"
    std::string company;
    std::string description; // the file description (default: the product name)
    std::string copyright;

    bool any() const;
};

// The picture control of the dialog takes its bitmap's own size, and the dialog is laid
// out around a picture of this size.
constexpr int kBannerWidth = 190;
constexpr int kBannerHeight = 131;

// The field that the option `name` (such as "--icon") sets, or null for other options.
std::string* brandingOption(Branding* branding, const std::string& name);

// The stub's bytes as they go into the installer: branded when branding is asked for, in
// which case the stub must be a Windows program. `outputName` is the installer's file name
// (the version information's original file name).
bool loadStub(const std::string& path, const Branding& branding, const std::string& outputName,
              Bytes* stub, std::string* error);

// Brands a Windows stub in memory.
bool brandStub(Bytes* stub, const Branding& branding, const std::string& outputName,
               std::string* error);

#endif
