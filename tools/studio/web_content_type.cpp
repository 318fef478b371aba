#include "tools/studio/web_assets.h"

namespace tools::studio {

const char* ContentTypeOf(const std::string& name) {
    auto endsWith = [&](const char* ext) {
        const std::string e(ext);
        return name.size() >= e.size() && name.compare(name.size() - e.size(), e.size(), e) == 0;
    };
    if (endsWith(".html")) return "text/html; charset=utf-8";
    if (endsWith(".css")) return "text/css; charset=utf-8";
    if (endsWith(".js")) return "text/javascript; charset=utf-8";
    if (endsWith(".png")) return "image/png";
    return "application/octet-stream";
}

}  // namespace tools::studio
