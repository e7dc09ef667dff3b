// Data resources on Windows: RCDATA resources of the executable image.
#include "ProgramResource.h"

#include <windows.h>

namespace {

bool CopyResource(HMODULE module, vxn::u32 id, vxn::string& bytes)
{
    bytes.clear();
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), RT_RCDATA);
    if (found == nullptr)
        return false;
    HGLOBAL loaded = LoadResource(module, found);
    if (loaded == nullptr)
        return false;
    const void* data = LockResource(loaded);
    const DWORD size = SizeofResource(module, found);
    if (data == nullptr || size == 0)
        return false;
    bytes.assign(static_cast<const char*>(data), size);
    return bytes.size() == size;
}

} // namespace

bool ReadProgramResource(vxn::u32 id, vxn::string& bytes)
{
    return CopyResource(GetModuleHandleW(nullptr), id, bytes);
}

bool ReadProgramResourceFrom(const vxn::wstring& program, vxn::u32 id, vxn::string& bytes)
{
    // Mapped as data only: nothing of the program runs, and its imports are not resolved.
    HMODULE module = LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr) {
        bytes.clear();
        return false;
    }
    const bool found = CopyResource(module, id, bytes);
    FreeLibrary(module);
    return found;
}
