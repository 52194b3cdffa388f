// SPDX-License-Identifier: MIT
// The worker-thread count the toolkit uses when a caller leaves it open.
#pragma once

namespace meshprobe {

/// Worker threads a call runs on when its options say 0: one per core the process may use. The tool, the
/// Python module and every toolkit call take their default from here.
int defaultThreadCount();

} // namespace meshprobe
