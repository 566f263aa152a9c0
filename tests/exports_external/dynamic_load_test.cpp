// SPDX-License-Identifier: Apache-2.0
// The library loaded at run time, as Visual Basic, Excel or .NET load it: the
// export table, every function by its plain name, and an unload with handles
// still open. This program does not link the library, so unloading it really
// takes it out of the process.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "external_env.h"
#include "sim_control.h"

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <dlfcn.h>
#  include <elf.h>
#  include <link.h>

#  include <fstream>
#  include <iterator>
#endif

using namespace orvaext;

namespace {

const SocketLayer socketLayer;

const std::vector<std::string> sevenExports = {"ORVAClose", "ORVAGetSockErr", "ORVAOpen", "ORVARdB",
                                               "ORVARdW",   "ORVAWrB",        "ORVAWrW"};

using OpenFn = int(ORVA_CALL*)(const char*, const char*, const char*, int, int, int);
using HandleFn = int(ORVA_CALL*)(int);
using ReadBytesFn = int(ORVA_CALL*)(int, int, int, int, int, unsigned char*);

// The library, loaded by the constructor and unloaded by the destructor.
class LoadedLibrary {
public:
#if defined(_WIN32)
    LoadedLibrary() : module(::LoadLibraryA(ORVA_LIBRARY_FILE)) {}
    ~LoadedLibrary() { unload(); }
    void unload() {
        if (module != nullptr) ::FreeLibrary(module);
        module = nullptr;
    }
    void* symbol(const char* name) const { return reinterpret_cast<void*>(::GetProcAddress(module, name)); }
    // Every name in the export directory of the loaded image.
    std::vector<std::string> exportedNames() const {
        const auto* base = reinterpret_cast<const unsigned char*>(module);
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
        const IMAGE_DATA_DIRECTORY& entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
        const auto* directory = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
        const auto* names = reinterpret_cast<const DWORD*>(base + directory->AddressOfNames);
        std::vector<std::string> out;
        for (DWORD i = 0; i < directory->NumberOfNames; ++i)
            out.emplace_back(reinterpret_cast<const char*>(base + names[i]));
        // An export by ordinal only would be a function without a name.
        if (directory->NumberOfFunctions != directory->NumberOfNames) out.emplace_back("(unnamed export)");
        return out;
    }
    bool loaded() const { return module != nullptr; }

private:
    HMODULE module;
#else
    LoadedLibrary() : module(::dlopen(ORVA_LIBRARY_FILE, RTLD_NOW | RTLD_LOCAL)) {}
    ~LoadedLibrary() { unload(); }
    void unload() {
        if (module != nullptr) ::dlclose(module);
        module = nullptr;
    }
    void* symbol(const char* name) const { return ::dlsym(module, name); }
    // Every defined global symbol in the dynamic symbol table of the file.
    std::vector<std::string> exportedNames() const {
        std::ifstream file(ORVA_LIBRARY_FILE, std::ios::binary);
        const std::string image((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        const auto* header = reinterpret_cast<const ElfW(Ehdr)*>(image.data());
        const auto* sections = reinterpret_cast<const ElfW(Shdr)*>(image.data() + header->e_shoff);
        std::vector<std::string> out;
        for (int i = 0; i < header->e_shnum; ++i) {
            if (sections[i].sh_type != SHT_DYNSYM) continue;
            const char* strings = image.data() + sections[sections[i].sh_link].sh_offset;
            const auto* symbols = reinterpret_cast<const ElfW(Sym)*>(image.data() + sections[i].sh_offset);
            for (std::size_t k = 0; k < sections[i].sh_size / sizeof(ElfW(Sym)); ++k) {
                const ElfW(Sym)& s = symbols[k];
                const int binding = ELF64_ST_BIND(s.st_info);
                // Undefined ones are imports; the absolute one is the version node.
                if (s.st_shndx == SHN_UNDEF || s.st_shndx == SHN_ABS || binding == STB_LOCAL) continue;
                out.emplace_back(strings + s.st_name);
            }
        }
        return out;
    }
    bool loaded() const { return module != nullptr; }

private:
    void* module;
#endif
};

template <class Fn>
Fn function(const LoadedLibrary& library, const char* name) {
    return reinterpret_cast<Fn>(library.symbol(name));
}

}  // namespace

TEST(ExportTable, HoldsTheSevenPlainNamesAndNothingElse) {
    LoadedLibrary library;
    ASSERT_TRUE(library.loaded()) << ORVA_LIBRARY_FILE;
    std::vector<std::string> names = library.exportedNames();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, sevenExports);
}

TEST(ExportTable, EveryFunctionLoadsByItsPlainNameAndNoneByADecoratedOne) {
    LoadedLibrary library;
    ASSERT_TRUE(library.loaded());
    for (const std::string& name : sevenExports) EXPECT_NE(library.symbol(name.c_str()), nullptr) << name;
    for (const char* decorated : {"ORVAOpen@24", "_ORVAOpen@24", "_ORVAOpen", "ORVAClose@4"})
        EXPECT_EQ(library.symbol(decorated), nullptr) << decorated;
}

TEST(Unload, ClosesEveryOpenHandleAndTheNextLoadStartsAfresh) {
    SimControl sim(simControl());
    sim.reset();
    const std::string address = simAddress();
    std::array<unsigned char, 2> b{};
    {
        LoadedLibrary library;
        ASSERT_TRUE(library.loaded());
        const auto open = function<OpenFn>(library, "ORVAOpen");
        const auto readBytes = function<ReadBytesFn>(library, "ORVARdB");
        const auto getSockErr = function<HandleFn>(library, "ORVAGetSockErr");
        // Called through pointers of the declared convention: on 32-bit Windows a
        // mismatch would unbalance the stack within a few calls.
        for (int i = 0; i < 3; ++i) ASSERT_EQ(open(address.c_str(), "", "", 0, 0, 0), i);
        EXPECT_EQ(readBytes(0, 'M', 0, 0, 2, b.data()), ORVA_OK);
        EXPECT_EQ(readBytes(2, 'M', 0, 0, 2, b.data()), ORVA_OK);
        EXPECT_EQ(getSockErr(2), 0);
        ASSERT_EQ(sim.connectionsAccepted(), 2);
        library.unload();
        ASSERT_TRUE(sim.waitForEnds(2, 3000)) << "unloading closes the connected handles";
        EXPECT_EQ(sim.connectionEnds(), (std::vector<std::string>{"reset", "reset"}));
    }
    sim.reset();
    LoadedLibrary again;
    ASSERT_TRUE(again.loaded());
    const auto open = function<OpenFn>(again, "ORVAOpen");
    const auto readBytes = function<ReadBytesFn>(again, "ORVARdB");
    const auto close = function<HandleFn>(again, "ORVAClose");
    const int h = open(address.c_str(), "", "", 0, 0, 0);
    EXPECT_EQ(h, 0) << "a fresh table";
    EXPECT_EQ(readBytes(h, 'M', 0, 0, 2, b.data()), ORVA_OK);
    const auto crs = sim.connectRequests();
    ASSERT_EQ(crs.size(), 1u);
    EXPECT_EQ(crs[0][8], 0x00);
    EXPECT_EQ(crs[0][9], 0x01) << "the source reference counter starts again at 1";
    EXPECT_EQ(close(h), ORVA_OK);
}
