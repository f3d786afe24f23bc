#pragma once

#include <cstdlib>
#include <memory>

// xcb hands every reply over in memory from malloc, for the caller to free.
struct XcbFree {
    void operator()(void* p) const { std::free(p); }
};

template <typename T> using XcbReply = std::unique_ptr<T, XcbFree>;
