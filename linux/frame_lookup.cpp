// The static unwinder linked into the module finds unwind tables with
// _dl_find_object, which the C library has only since 2.35. The module is
// linked with --wrap=_dl_find_object, so that it asks dl_iterate_phdr instead,
// as unwinders did before, and loads where the C library is older.
#include <cstdint>
#include <dlfcn.h>
#include <link.h>

namespace {

struct FrameSearch {
    std::uintptr_t pc;
    void* unwindTables; // the object's .eh_frame_hdr
};

bool Contains(const dl_phdr_info& object, const ElfW(Phdr) & segment, std::uintptr_t pc)
{
    const std::uintptr_t start = object.dlpi_addr + segment.p_vaddr;
    return segment.p_type == PT_LOAD && pc >= start && pc - start < segment.p_memsz;
}

int SearchObject(dl_phdr_info* object, std::size_t, void* data)
{
    auto& search = *static_cast<FrameSearch*>(data);
    bool holdsPc = false;
    void* unwindTables = nullptr;
    for (ElfW(Half) index = 0; index < object->dlpi_phnum; ++index) {
        const ElfW(Phdr)& segment = object->dlpi_phdr[index];
        holdsPc = holdsPc || Contains(*object, segment, search.pc);
        if (segment.p_type == PT_GNU_EH_FRAME)
            unwindTables = reinterpret_cast<void*>(object->dlpi_addr + segment.p_vaddr);
    }
    if (holdsPc)
        search.unwindTables = unwindTables;
    return holdsPc ? 1 : 0;
}

} // namespace

// The unwinder reads only dlfo_eh_frame.
extern "C" int __wrap__dl_find_object(void* pc, dl_find_object* result)
{
    FrameSearch search{reinterpret_cast<std::uintptr_t>(pc), nullptr};
    if (dl_iterate_phdr(SearchObject, &search) == 0)
        return -1;
    *result = dl_find_object{};
    result->dlfo_eh_frame = search.unwindTables;
    return 0;
}
