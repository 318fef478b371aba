#pragma once
// The page's files, compiled into the program (web_assets.cpp is generated from web/ at build
// time), so the installed tool is one file.
#include <cstddef>
#include <string>

namespace tools::studio {

struct WebAsset {
    const char* name;  ///< "index.html", "studio.js", ...
    const unsigned char* data;
    size_t size;
};

/// The file named `name`, or null.
const WebAsset* FindWebAsset(const std::string& name);
/// "text/html; charset=utf-8" and the like, by extension.
const char* ContentTypeOf(const std::string& name);

}  // namespace tools::studio
