// SPDX-License-Identifier: MIT
// The exceptions every meshprobe toolkit function throws.
#pragma once

#include <stdexcept>
#include <string>

namespace meshprobe {

/// Every failure of a toolkit call. The message says what is wrong in words a user can act on (it names
/// the file, the option or the face concerned); nothing is printed anywhere.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// The input cannot be used: a missing, empty or unreadable file, an unknown format, a triangle that uses a
/// vertex that does not exist, NaN coordinates, an option out of range, an unwritable output path.
class InputError : public Error {
public:
    using Error::Error;
};

/// The progress callback returned false; the call stopped early and left no result (and no output file).
class Cancelled : public Error {
public:
    Cancelled() : Error("cancelled") {}
};

} // namespace meshprobe
