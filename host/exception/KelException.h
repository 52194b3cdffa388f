// SPDX-License-Identifier: MIT
// Exception classes of the host's exception library.
#pragma once

#include <string>

namespace Kel {

class Exception {
public:
    Exception() = default;
    explicit Exception(std::string message) : text(std::move(message)) {}
    Exception(const Exception&) = default;
    Exception& operator=(const Exception&) = default;
    virtual ~Exception() = default;

    virtual const char* what() const noexcept { return text.c_str(); }

private:
    std::string text;
};

/// The cancellation signal: a progress callback throws it to stop a long operation.
class AbortException : public Exception {
public:
    AbortException() : Exception("Aborted") {}
    AbortException(const AbortException&) = default;
    AbortException& operator=(const AbortException&) = default;
    ~AbortException() override = default;
};

} // namespace Kel
