#include "cli/outputs.h"

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <system_error>

#include "cli/command.h"

namespace {

// A name for a file that may not exist yet: the existing folders resolved, the rest as given.
std::string spelled(const std::string& path) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::weakly_canonical(path, ec);
    return ec ? std::filesystem::absolute(path, ec).lexically_normal().string() : p.string();
}

// Equal for two paths of the same file, existing or not; empty for what is not a regular
// file (a pipe or a device can be written twice, or read and written, without loss).
std::string file_key(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0)
        return S_ISREG(st.st_mode) ? std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino)
                                   : std::string();
    return "/" + spelled(path);
}

}  // namespace

void check_outputs(const std::vector<std::string>& inputs, const std::vector<output_use>& outputs,
                   bool overwrite) {
    std::map<std::string, const std::string*> input_keys;
    if (!overwrite)
        for (const std::string& in : inputs)
            if (!in.empty() && in != "-") {
                std::string key = file_key(in);
                if (!key.empty()) input_keys.emplace(key, &in);
            }
    std::map<std::string, const output_use*> seen;
    for (const output_use& o : outputs) {
        if (o.path.empty() || o.path == "-") continue;
        const std::string key = file_key(o.path);
        if (key.empty()) continue;
        auto in = input_keys.find(key);
        if (in != input_keys.end())
            throw cli_error(2, o.what + " '" + o.path + "' is the input '" + *in->second +
                                   "'; give --overwrite to replace it");
        auto [earlier, fresh] = seen.emplace(key, &o);
        if (fresh) continue;
        const output_use& e = *earlier->second;
        if (!e.frame.empty() && !o.frame.empty())
            throw cli_error(2, "the frames '" + e.frame + "' and '" + o.frame +
                                   "' would both be written to '" + o.path +
                                   "'; render them into separate folders");
        throw cli_error(2, e.what + " and " + o.what + " would both write '" + o.path + "'");
    }
}
