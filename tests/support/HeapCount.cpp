// Replaces the global allocation functions of the test programs that link this file
// (tests/CMakeLists.txt names them), counting every heap block, so that a test can show
// that a code path allocates nothing. The C heap is reached through pointers the compiler
// cannot see through, so that it does not pair our new with free and warn.
#include "TestSupport.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<std::size_t> blocks{0};
void* (*volatile heap_allocate)(std::size_t) = std::malloc;
void (*volatile heap_free)(void*) = std::free;
} // namespace

std::size_t zyrel_test::heap_blocks()
{
    return blocks.load();
}

void* operator new(std::size_t size)
{
    ++blocks;
    if (void* block = heap_allocate(size != 0 ? size : 1))
        return block;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size)
{
    return ::operator new(size);
}

void operator delete(void* block) noexcept
{
    heap_free(block);
}

void operator delete[](void* block) noexcept
{
    heap_free(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    heap_free(block);
}

void operator delete[](void* block, std::size_t) noexcept
{
    heap_free(block);
}
