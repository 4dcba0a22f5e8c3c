// What the fuzz targets share: a scratch folder made once per run, writing
// the input's bytes to a file there, and splitting an input into parts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "model/Support.h"
#include "platform/os/OS.h"

// A finding: stops the run where a target's expectation fails.
inline void FuzzCheck(bool condition)
{
    if (!condition)
        __builtin_trap();
}

// The scratch folders made so far; removed when the fuzzer exits.
inline std::vector<std::string>& FuzzFoldersToRemove()
{
    static std::vector<std::string> folders;
    return folders;
}

// The temporary folder ($TMPDIR, else /tmp) with a trailing "/". A target
// stopped by a finding exits without running the handler that removes its
// folders: the fuzz stage gives each target a TMPDIR that it removes itself.
inline std::string FuzzTemporaryFolder()
{
    const char* given = std::getenv("TMPDIR");
    std::string folder = given != nullptr && given[0] == '/' ? given : "/tmp";
    if (folder.back() != '/')
        folder += '/';
    return folder;
}

// A fresh folder in the temporary folder named after the target; its real
// (POSIX) path with a trailing "/". Falls back to the temporary folder itself
// if it cannot be made.
inline std::string FuzzRealFolder(const std::string& target)
{
    std::string pattern = FuzzTemporaryFolder() + "duskmarch-" + target + "-XXXXXX";
    const char* made = mkdtemp(pattern.data());
    if (made == nullptr)
        return FuzzTemporaryFolder();
    if (FuzzFoldersToRemove().empty()) {
        std::atexit([] {
            std::error_code ec;
            for (const std::string& folder : FuzzFoldersToRemove())
                std::filesystem::remove_all(folder, ec);
        });
    }
    FuzzFoldersToRemove().push_back(made);
    return std::string(made) + "/";
}

// The same folder in the program's form, with a trailing "\".
inline std::string FuzzProgramFolder(const std::string& target)
{
    std::string real = FuzzRealFolder(target);
    real.pop_back();
    return OS_ToProgramPath(real) + "\\";
}

// An input and an output file, both in the program's form, in a fresh
// folder of the target.
struct TFuzzFiles {
    std::string Input;
    std::string Output;
    TFuzzFiles(const std::string& target, const std::string& extension)
    {
        const std::string folder = FuzzProgramFolder(target);
        Input = folder + "In" + extension;
        Output = folder + "Out" + extension;
    }
};

// Writes the bytes to a file at a real path; false if the file could not be
// written whole.
inline bool FuzzWriteRealFile(const std::string& realPath, const void* data, size_t size)
{
    FILE* f = fopen(realPath.c_str(), "wb");
    if (f == nullptr)
        return false;
    const bool ok = size == 0 || fwrite(data, 1, size, f) == size;
    return fclose(f) == 0 && ok;
}

inline bool FuzzWriteRealFile(const std::string& realPath, const std::string& bytes)
{
    return FuzzWriteRealFile(realPath, bytes.data(), bytes.size());
}

// Splits the input at lines "%%" into count parts: parts past the last
// separator are empty, and whatever follows the last part is dropped.
inline void FuzzSplitInput(const uint8_t* data, size_t size, std::string* parts, int count)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    for (int i = 0; i < count; ++i) {
        if (start > input.size()) {
            parts[i].clear();
            continue;
        }
        const size_t cut = input.find("\n%%\n", start);
        parts[i] = input.substr(start, cut == std::string::npos ? std::string::npos : cut - start);
        start = cut == std::string::npos ? input.size() + 1 : cut + 4;
    }
}

// The same for a file named in the program's form.
inline bool FuzzWriteFile(const std::string& programPath, const void* data, size_t size)
{
    return FuzzWriteRealFile(OS_ResolvePath(programPath), data, size);
}

// A game folder (Config, Config/Eng and User below it) that the set-up
// globals point at, in the given language.
struct TFuzzGame {
    std::string Real; // real path with a trailing "/"
    TFuzzGame(const std::string& target, const char* language) : Real(FuzzRealFolder(target))
    {
        OS_CreateDirectory(OS_ToProgramPath(Real + "Config"));
        OS_CreateDirectory(OS_ToProgramPath(Real + "Config/Eng"));
        OS_CreateDirectory(OS_ToProgramPath(Real + "User"));
        SetGameFolders(OS_ToProgramPath(Real));
        LoadGameOptions(OS_ToProgramPath(Real + "User/"));
        SetGameLanguage(language);
    }
};
