#include <vxnstl/base>

#include <atomic>

namespace vxn {

namespace {
// Read on every checked access from any thread; an atomic keeps that read well-defined
// while a test installs or removes a hook.
std::atomic<assert_handler_t> g_handler{nullptr};
} // namespace

assert_handler_t get_assert_handler()
{
    return g_handler.load(std::memory_order_acquire);
}

assert_handler_t set_assert_handler(assert_handler_t handler)
{
    return g_handler.exchange(handler, std::memory_order_acq_rel);
}

} // namespace vxn
