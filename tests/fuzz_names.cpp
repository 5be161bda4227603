// Fuzz target: the plugin's file-name helpers on arbitrary paths and names.
#include <cstdint>
#include <cstring>
#include <string>

#include "paths/file_names.h"
#include "tests/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::u16string path = vx::fuzz::Units(data, size, true);
    const auto kind = vx::ClassifyPluginFile(path);
    Require(kind == vx::PluginFileKind::Other || kind == vx::PluginFileKind::Font ||
            kind == vx::PluginFileKind::Temporary);
    const std::string name = vx::FileNameUtf8(path);
    Require(name.size() <= 259);
    std::string out;
    Require(vx::TryFileNameUtf8(path, out) == !out.empty());

    const std::string utf8(reinterpret_cast<const char*>(data), size);
    const std::u16string joined = vx::JoinUtf8Name(u"C:\\f", utf8);
    Require(joined.empty() || joined.rfind(u"C:\\f\\", 0) == 0);
    Require(joined.size() <= 5 + 259);
    return 0;
}
