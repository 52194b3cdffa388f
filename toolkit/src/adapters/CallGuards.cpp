// SPDX-License-Identifier: MIT
// Progress and exception adapters between the toolkit and the host library.
#include "toolkit/src/adapters/CallGuards.h"

#include <new>

#include "common/HostMesh.h"
#include "meshprobe/Error.h"

namespace meshprobe::detail {

std::function<void(int)> hostProgress(const ProgressSlice& progress)
{
    if (!progress.callback) return {};
    return [progress](int p) {
        if (!progress.report(static_cast<float>(p) / 100.0f)) throw Kel::AbortException();
    };
}

void rethrowHostError(const std::string& what, std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const Error&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const Kel::AbortException&) {
        throw Cancelled();
    } catch (const Kel::Exception& e) {
        throw Error(what + ": " + e.what());
    } catch (const char* message) {
        throw Error(what + ": " + message);
    } catch (const std::exception& e) {
        // A standard library failure inside the analysis (a length beyond what a container holds, a
        // thread that cannot start) is the analysis failing, in the toolkit's own kind.
        throw Error(what + ": " + e.what());
    } catch (...) {
        throw Error(what + ": an unknown failure");
    }
}

} // namespace meshprobe::detail
