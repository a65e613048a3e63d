#pragma once
// Where a program finds what it ships with. Installed, the programs sit in
// bin/ with the device template and the device library under lib/ and the
// playground's page under share/; built, each lives in its own folder of the
// build tree. Both places are found from the program's own path, so neither
// layout's absolute location is written into a program: an installed copy
// never reaches back into the tree it was built in.
#include <filesystem>
#include <initializer_list>
#include <string>
#include <system_error>

namespace programpaths {

// The folder of the running program.
inline std::filesystem::path programDir() {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return std::filesystem::current_path(ec);
    return exe.parent_path();
}

// The first candidate, relative to the program's folder, that exists. When
// none does, the first: a message then names where an install puts it.
inline std::filesystem::path companion(std::initializer_list<std::string> candidates) {
    const std::filesystem::path dir = programDir();
    std::error_code ec;
    for (const std::string& candidate : candidates) {
        std::filesystem::path path = (dir / candidate).lexically_normal();
        if (std::filesystem::exists(path, ec)) return path;
    }
    return (dir / *candidates.begin()).lexically_normal();
}

} // namespace programpaths
