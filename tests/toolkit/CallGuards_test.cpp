// SPDX-License-Identifier: MIT
// What leaves a toolkit call when the host library fails: only the toolkit's own kinds (and running out of
// memory, as itself), each naming the step that failed.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>

#include "host/exception/KelException.h"
#include "meshprobe/Error.h"
#include "toolkit/src/adapters/CallGuards.h"

namespace {

enum class Kind { Input, Cancelled, Analysis, OutOfMemory };

Kind kindOf(const std::function<void()>& fail, std::string& message)
{
    try {
        meshprobe::detail::translateHostErrors("voxel grid", fail);
    } catch (const meshprobe::InputError& e) {
        message = e.what();
        return Kind::Input;
    } catch (const meshprobe::Cancelled& e) {
        message = e.what();
        return Kind::Cancelled;
    } catch (const meshprobe::Error& e) {
        message = e.what();
        return Kind::Analysis;
    } catch (const std::bad_alloc&) {
        return Kind::OutOfMemory;
    }
    ADD_FAILURE() << "nothing was thrown";
    return Kind::Analysis;
}

TEST(CallGuards, EveryFailureLeavesAsAToolkitKind)
{
    const struct {
        const char* what;
        std::function<void()> fail;
        Kind kind;
        const char* message;
    } cases[] = {
        {"host cancellation", [] { throw Kel::AbortException(); }, Kind::Cancelled, "cancelled"},
        {"host failure", [] { throw Kel::Exception("grid too large"); }, Kind::Analysis, "voxel grid: grid too large"},
        {"C string", [] { throw "no memory for the bit sets"; }, Kind::Analysis,
         "voxel grid: no memory for the bit sets"},
        {"standard failure", [] { throw std::length_error("vector too long"); }, Kind::Analysis,
         "voxel grid: vector too long"},
        {"thread failure",
         [] { throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again)); },
         Kind::Analysis, "voxel grid: "},
        {"anything else", [] { throw 42; }, Kind::Analysis, "voxel grid: an unknown failure"},
        {"toolkit input error", [] { throw meshprobe::InputError("resolution 0 is outside 1..1290"); }, Kind::Input,
         "resolution 0 is outside 1..1290"},
        {"out of memory", [] { throw std::bad_alloc(); }, Kind::OutOfMemory, ""},
    };
    for (const auto& c : cases) {
        std::string message;
        EXPECT_EQ(kindOf(c.fail, message), c.kind) << c.what;
        EXPECT_EQ(message.rfind(c.message, 0), 0u) << c.what << ": " << message;
    }
}

} // namespace
