// SPDX-License-Identifier: MIT
// A record's label: its index in the batch, the file's stamp and the options it was made with.
#include "batch/src/PartLabel.h"

#include <sys/stat.h>

#include "toolkit/json/ResultJson.h"

namespace meshprobe {

namespace {
using Json = nlohmann::ordered_json;
}

std::optional<FileStamp> fileStamp(const std::string& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return std::nullopt;
    return FileStamp{static_cast<std::uint64_t>(status.st_size),
                     static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec};
}

std::string batchOptionsJson(const BatchOptions& options)
{
    Json json{{"trapped", nullptr}, {"thickness", nullptr}};
    if (options.trapped)
        json["trapped"] = {{"resolution", options.trapped->resolution}, {"up", toString(options.trapped->up)}};
    if (options.thickness)
        json["thickness"] = {{"min", json::shortestDouble(options.thickness->min)},
                             {"max", json::shortestDouble(options.thickness->max)},
                             {"samples", options.thickness->samples}};
    // A changed profile or grid changes the verdict: such parts are done again on resume.
    if (options.check)
        json["check"] = {{"profile", json::profileJson(options.check->profile)},
                         {"resolution", options.check->resolution}};
    if (options.fixWinding) json["fix_winding"] = true;
    return json.dump();
}

std::string labelledRecord(const std::string& record, const PartLabel& label, const std::string& readFrom)
{
    Json parsed = Json::parse(record);
    Json labelled{{"index", label.index}};
    for (auto& [key, value] : parsed.items())
        labelled[key] = std::move(value);
    labelled["mesh"] = label.mesh;
    if (!readFrom.empty() && labelled.contains("error")) {
        std::string message = labelled["error"].get<std::string>();
        for (std::size_t at = message.find(readFrom); at != std::string::npos;
             at = message.find(readFrom, at + label.mesh.size()))
            message.replace(at, readFrom.size(), label.mesh);
        labelled["error"] = message;
    }
    labelled["file"] = detail::fileStampJson(label.file);
    labelled["options"] = Json::parse(label.options);
    return labelled.dump(-1, ' ', false, Json::error_handler_t::replace);
}

namespace detail {

Json fileStampJson(const std::optional<FileStamp>& stamp)
{
    if (!stamp) return nullptr;
    return {{"size", stamp->size}, {"modified_ns", stamp->modifiedNs}};
}

} // namespace detail

} // namespace meshprobe
