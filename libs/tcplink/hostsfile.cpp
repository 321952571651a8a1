#include "hostsfile.h"

#include <arpa/inet.h>
#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace tevlink::hosts {
namespace {

constexpr char kComment = '#';

bool isBlank(char c)
{
    // A lone CR (a line end the file's writer did not finish) separates like a blank.
    return c == ' ' || c == '\t' || c == '\r';
}

// Calls `visit(address, names)` for each line with a valid IPv4 address and
// at least one name, until it returns true.
template <typename Visit>
void forEachEntry(std::string_view text, Visit visit)
{
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (std::size_t hash = line.find(kComment); hash != std::string_view::npos)
            line = line.substr(0, hash);

        std::vector<std::string_view> fields;
        std::size_t i = 0;
        while (i < line.size()) {
            while (i < line.size() && isBlank(line[i]))
                ++i;
            std::size_t start = i;
            while (i < line.size() && !isBlank(line[i]))
                ++i;
            if (i > start)
                fields.push_back(line.substr(start, i - start));
        }
        if (fields.size() < 2)
            continue;
        std::string addressText(fields[0]);
        in_addr address{};
        if (inet_pton(AF_INET, addressText.c_str(), &address) != 1)
            continue;
        fields.erase(fields.begin());
        if (visit(address.s_addr, fields))
            return;
    }
}

std::optional<std::string> readHostsFile()
{
    const char *path = std::getenv("TEV_HOSTS");
    if (path == nullptr || *path == '\0')
        return std::nullopt;
    std::FILE *file = std::fopen(path, "rbe");
    if (file == nullptr)
        return std::nullopt;
    std::string text;
    char block[4096];
    std::size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0)
        text.append(block, got);
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        return std::nullopt;
    return text;
}

bool sameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

std::optional<uint32_t> findAddress(std::string_view text, std::string_view name)
{
    std::optional<uint32_t> found;
    forEachEntry(text, [&](uint32_t address, const std::vector<std::string_view> &names) {
        for (std::string_view n : names) {
            if (sameName(n, name)) {
                found = address;
                return true;
            }
        }
        return false;
    });
    return found;
}

std::optional<std::string> findName(std::string_view text, uint32_t address)
{
    std::optional<std::string> found;
    forEachEntry(text, [&](uint32_t lineAddress, const std::vector<std::string_view> &names) {
        if (lineAddress != address)
            return false;
        found = std::string(names.front());
        return true;
    });
    return found;
}

std::optional<uint32_t> lookupAddress(std::string_view name)
{
    std::optional<std::string> text = readHostsFile();
    return text ? findAddress(*text, name) : std::nullopt;
}

NameLookup lookupName(uint32_t address)
{
    std::optional<std::string> text = readHostsFile();
    if (!text)
        return {};
    return {true, findName(*text, address)};
}

}  // namespace tevlink::hosts
