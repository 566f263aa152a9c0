/* SPDX-License-Identifier: Apache-2.0 */
// One owned handle of the operating system, closed when its owner goes: the
// test programs' file descriptors, pipe ends and sockets, on POSIX and (with
// traits of their own, as the export tests' sockets) on Windows. Header-only,
// for the tests and the fuzz targets alike.
#pragma once

#include <utility>

#if !defined(_WIN32)
#  include <unistd.h>
#endif

namespace orvatest {

// Traits: Handle, the type; none, the value that holds nothing; close(Handle).
template <class Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() = default;
    explicit UniqueHandle(Handle owned) : handle_(owned) {}
    // Moves only (the copy constructor is deleted with the move constructor).
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle other) noexcept {
        std::swap(handle_, other.handle_);  // other closes what this held
        return *this;
    }
    ~UniqueHandle() { reset(); }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != Traits::none; }
    // Gives the handle up without closing it.
    Handle release() { return std::exchange(handle_, Traits::none); }
    // Closes the handle held, if any, and holds next instead.
    void reset(Handle next = Traits::none) {
        if (handle_ != Traits::none) Traits::close(handle_);
        handle_ = next;
    }

private:
    Handle handle_ = Traits::none;
};

#if !defined(_WIN32)
struct FileDescriptorTraits {
    using Handle = int;
    static constexpr int none = -1;
    static void close(int fd) { ::close(fd); }
};

// A POSIX file descriptor: a socket or a pipe end.
using UniqueFd = UniqueHandle<FileDescriptorTraits>;
#endif

}  // namespace orvatest
