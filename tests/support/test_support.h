#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iconv.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace bibsources::testing {

inline std::string readFile(const std::filesystem::path &path)
{
    std::ostringstream contents;
    contents << std::ifstream(path, std::ios::binary).rdbuf();
    return contents.str();
}

inline void writeFile(const std::filesystem::path &path, const std::string &contents)
{
    std::ofstream(path, std::ios::binary) << contents;
}

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TemporaryDirectory {
public:
    TemporaryDirectory()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "bibsources-test-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) {
            throw std::runtime_error("cannot create a temporary directory");
        }
        path_ = pattern;
    }
    ~TemporaryDirectory() { std::filesystem::remove_all(path_, ignored); }
    TemporaryDirectory(const TemporaryDirectory &) = delete;
    TemporaryDirectory &operator=(const TemporaryDirectory &) = delete;

    const std::filesystem::path &path() const { return path_; }
    std::filesystem::path operator/(const std::string &name) const { return path_ / name; }

private:
    std::filesystem::path path_;
    std::error_code ignored;
};

// UTF-8 text in another encoding (by glibc's converter), behind a byte-order
// mark; empty when the converter refuses.
inline std::string encodedAs(std::string_view utf8, const char *encoding)
{
    std::string in = "\xef\xbb\xbf" + std::string(utf8), out(4 * in.size() + 4, '\0');
    char *from = in.data(), *to = out.data();
    std::size_t left = in.size(), room = out.size();
    const iconv_t converter = ::iconv_open(encoding, "UTF-8");
    const bool converted = ::iconv(converter, &from, &left, &to, &room) == 0;
    ::iconv_close(converter);
    return converted ? out.substr(0, out.size() - room) : std::string();
}

// `text` written `times` times over.
inline std::string repeated(std::string_view text, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

} // namespace bibsources::testing
