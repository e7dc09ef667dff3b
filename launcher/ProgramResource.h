// The OS half of LoadResourceText: the raw bytes of a data resource of a program file.
//
// Windows keeps them as RCDATA resources of the executable. Linux keeps resource `id` as the
// named section ".zyrel_rcdata_<id>" of the ELF file, read from the file (not from memory),
// so that a built program's configuration can be replaced with objcopy like a Windows
// resource editor replaces an RCDATA resource.
#pragma once

#include <vxnstl/string>

// The section of an ELF program that carries data resource `id` (Linux).
#define ZYREL_RESOURCE_SECTION_PREFIX ".zyrel_rcdata_"

// The bytes of data resource `id` of the running program; false (and no bytes) when it has
// none or the resource is empty.
bool ReadProgramResource(vxn::u32 id, vxn::string& bytes);

// The same for another program file, without running it (tests and tools).
bool ReadProgramResourceFrom(const vxn::wstring& program, vxn::u32 id, vxn::string& bytes);
