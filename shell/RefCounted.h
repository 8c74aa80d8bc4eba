#pragma once
// The reference count of the library's objects over the interfaces they answer:
// one reference at creation, the object deleted at its last Release.
#include <atomic>
#include <cstdint>

namespace tx::shell {

template <typename... Interfaces>
class RefCounted : public Interfaces... {
public:
    uint32_t AddRef() override { return ++refs; }

    uint32_t Release() override
    {
        const uint32_t n = --refs;
        if (n == 0)
            delete this;
        return n;
    }

protected:
    RefCounted() = default;
    virtual ~RefCounted() = default;

private:
    std::atomic<uint32_t> refs{1};
};

} // namespace tx::shell
