// SPDX-License-Identifier: MIT
// The JSON of a record's label, shared by the label writer and the output file that compares labels.
#pragma once

#include <optional>

#include <nlohmann/json.hpp>

#include "meshprobe/Batch.h"

namespace meshprobe::detail {

/// {"size", "modified_ns"}, or null for a file that could not be examined.
nlohmann::ordered_json fileStampJson(const std::optional<FileStamp>& stamp);

} // namespace meshprobe::detail
