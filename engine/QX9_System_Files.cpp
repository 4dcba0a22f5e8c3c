// Paths, file search and raw file access of QX9_System. Paths stay in Windows
// form here; the OS layer resolves them against the real file system.
#include <algorithm>
#include <cstring>

#include "engine/QX9_System.h"

// ---------------------------------------------------------------------------
// Path strings

std::string ExtractPathStr(const std::string& path)
{
    size_t p = path.rfind('\\');
    if (p == std::string::npos)
        return std::string();
    return path.substr(0, p + 1);
}

std::string ExtractNameStr(const std::string& path)
{
    size_t p = path.rfind('\\');
    if (p == std::string::npos)
        return path;
    return path.substr(p + 1);
}

std::string ExtractBaseName(const std::string& path)
{
    std::string name = ExtractNameStr(path);
    size_t p = name.rfind('.');
    if (p != std::string::npos)
        name.resize(p);
    return name;
}

std::string ExtractExtUpper(const std::string& path)
{
    // The last "." of the whole text, not only of the name: callers pass
    // names whose folders carry no ".".
    size_t p = path.rfind('.');
    if (p == std::string::npos)
        return std::string();
    return UpperCaseStr(path.substr(p + 1));
}

std::string ChangeExtStr(const std::string& name, const std::string& extension)
{
    std::string ext = extension;
    if (ext.empty() || ext[0] != '.')
        ext.insert(ext.begin(), '.');
    // Cut at the first ".": the language copies replace everything after the
    // table's base name ("Bonuses.Ini" -> "Bonuses.Rus").
    size_t p = name.find('.');
    return (p == std::string::npos ? name : name.substr(0, p)) + ext;
}

// ---------------------------------------------------------------------------
// Tests and file facts

bool PathDirExists(const std::string& path)
{
    std::string folder = ExtractPathStr(path);
    if (folder.empty())
        return false;
    uint32_t attributes = OS_GetFileAttributes(folder);
    return attributes <= 2000000000u && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

namespace {

// The first match of a name or mask; the search is closed again at once.
bool FindFirstMatch(const std::string& nameOrMask, TOSFindData& data)
{
    if (nameOrMask.empty())
        return false;
    TOSFindHandle handle = INVALID_FIND_HANDLE;
    if (OS_FindFirstFile(nameOrMask, handle, data) != ERROR_SUCCESS)
        return false;
    OS_FindClose(handle);
    return true;
}

} // namespace

bool FileExistsMask(const std::string& nameOrMask)
{
    TOSFindData data;
    return FindFirstMatch(nameOrMask, data);
}

bool GetFileInfo(const std::string& name, int32_t& size, int64_t& stamp)
{
    size = -1;
    stamp = -1;
    TOSFindData data;
    if (!FindFirstMatch(name, data))
        return false;
    if ((data.Attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;
    size = static_cast<int32_t>(static_cast<uint32_t>(data.Size));
    TOSLocalTime t = OS_UnixToLocalTime(data.WriteTime);
    t.Millisecond = data.WriteTimeMs;
    stamp = t.Year < 2000 ? 0 : EncodeDateTimeMs(t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second, t.Millisecond);
    return true;
}

// ---------------------------------------------------------------------------
// File search

// Steps past the entries that carry an excluded attribute bit; copies the
// first acceptable one into the record.
static uint32_t FindMatchingEntry(TSearchRec& rec)
{
    while ((rec.FindData.Attributes & rec.ExcludeMask) != 0) {
        uint32_t error = OS_FindNextFile(rec.Handle, rec.FindData);
        if (error != ERROR_SUCCESS)
            return error;
    }
    rec.Size = static_cast<uint32_t>(rec.FindData.Size);
    rec.Attributes = rec.FindData.Attributes;
    rec.Name = rec.FindData.Name;
    return ERROR_SUCCESS;
}

static uint32_t FindFirstWithExclude(const std::string& mask, uint32_t excludeMask, TSearchRec& rec)
{
    rec.ExcludeMask = excludeMask;
    rec.Handle = INVALID_FIND_HANDLE;
    uint32_t error = OS_FindFirstFile(mask, rec.Handle, rec.FindData);
    if (error != ERROR_SUCCESS) {
        rec.Handle = INVALID_FIND_HANDLE;
        return error;
    }
    error = FindMatchingEntry(rec);
    if (error != ERROR_SUCCESS)
        FindCloseEntry(rec);
    return error;
}

uint32_t FindFirstEntry(const std::string& mask, uint32_t asked, TSearchRec& rec)
{
    // Hidden, system, volume-label and folder entries only when asked for.
    return FindFirstWithExclude(mask, ~asked & 30u, rec);
}

uint32_t FindFirstEntryExact(const std::string& mask, uint32_t asked, TSearchRec& rec)
{
    return FindFirstWithExclude(mask, ~asked, rec);
}

uint32_t FindNextEntry(TSearchRec& rec)
{
    if (rec.Handle == INVALID_FIND_HANDLE)
        return ERROR_INVALID_HANDLE;
    uint32_t error = OS_FindNextFile(rec.Handle, rec.FindData);
    if (error != ERROR_SUCCESS)
        return error;
    return FindMatchingEntry(rec);
}

void FindCloseEntry(TSearchRec& rec)
{
    if (rec.Handle != INVALID_FIND_HANDLE)
        OS_FindClose(rec.Handle);
    rec.Handle = INVALID_FIND_HANDLE;
}

int32_t ListFiles(const std::string& mask, TStringArray& list, bool append)
{
    size_t first = append ? list.size() : 0;
    int32_t found = 0;
    TSearchRec rec;
    // Read-only, hidden, system and archive: every file, no folders.
    if (FindFirstEntry(mask, 39, rec) != ERROR_SUCCESS)
        return 0;
    do {
        list.resize(first + found + 1);
        list[first + found] = rec.Name;
        ++found;
    } while (FindNextEntry(rec) == ERROR_SUCCESS);
    FindCloseEntry(rec);
    return found;
}

int32_t ListFolders(const std::string& mask, TStringArray& list)
{
    int32_t found = 0;
    TSearchRec rec;
    if (FindFirstEntryExact(mask, 48, rec) != ERROR_SUCCESS)
        return 0;
    do {
        if (rec.Name == "." || rec.Name == "..")
            continue;
        list.resize(found + 1);
        list[found] = rec.Name;
        ++found;
    } while (FindNextEntry(rec) == ERROR_SUCCESS);
    FindCloseEntry(rec);
    return found;
}

// ---------------------------------------------------------------------------
// Raw file access

THandle FileOpenRW(const std::string& name)
{
    if (name.empty())
        return INVALID_HANDLE_VALUE;
    return OS_OpenFileRW(name);
}

static bool SeekUnlessCurrent(THandle h, int64_t position)
{
    if (position == -1)
        return true;
    return OS_SeekFile(h, position, 0) >= 0;
}

int32_t FileReadAt(THandle h, void* buffer, int32_t count, int64_t position)
{
    if (h == INVALID_HANDLE_VALUE || count <= 0 || !SeekUnlessCurrent(h, position))
        return 0;
    int64_t got = OS_ReadFile(h, buffer, count);
    return got > 0 ? static_cast<int32_t>(got) : 0;
}

int32_t FileWriteAt(THandle h, const void* buffer, int32_t count, int64_t position)
{
    if (h == INVALID_HANDLE_VALUE || count <= 0 || !SeekUnlessCurrent(h, position))
        return 0;
    int64_t put = OS_WriteFile(h, buffer, count);
    return put > 0 ? static_cast<int32_t>(put) : 0;
}

// Counted form: a 32-bit length and that many bytes. The length comes from
// the file, so it is bounded by what the file still holds: a damaged length
// never asks for more memory than the file has bytes.
static int32_t ReadCountedString(THandle h, std::string& text)
{
    int32_t length = 0;
    int32_t got = FileReadAt(h, &length, 4, -1);
    if (got < 4 || length <= 0)
        return got;
    int64_t here = OS_SeekFile(h, 0, 1);
    int64_t size = OS_GetFileSize(h);
    int64_t left = here >= 0 && size > here ? size - here : 0;
    int32_t wanted = static_cast<int32_t>(std::min<int64_t>(length, left));
    if (wanted <= 0)
        return 4;
    text.resize(wanted);
    int32_t read = FileReadAt(h, text.data(), wanted, -1);
    text.resize(read);
    return read + 4;
}

// Takes the next byte of the file when it is a LF; otherwise leaves it.
static bool TakeLineFeed(THandle h)
{
    char next = 0;
    if (FileReadAt(h, &next, 1, -1) != 1)
        return false;
    if (next == 10)
        return true;
    OS_SeekFile(h, -1, 1);
    return false;
}

// Line form: up to and including a LF, a CR LF pair, a CR alone or the end of
// the file; only bytes above 13 are kept (TAB drops out). Returns the bytes
// consumed and leaves the file right after them.
static int32_t ReadLineString(THandle h, std::string& text)
{
    int32_t consumed = 0;
    char chunk[256];
    for (;;) {
        int32_t got = FileReadAt(h, chunk, sizeof(chunk), -1);
        if (got <= 0)
            return consumed;
        for (int32_t i = 0; i < got; ++i) {
            unsigned char c = static_cast<unsigned char>(chunk[i]);
            if (c == 10 || c == 13) {
                int32_t end = i + 1;
                if (c == 13 && end < got && chunk[end] == 10)
                    end++;
                if (end < got)
                    OS_SeekFile(h, static_cast<int64_t>(end) - got, 1); // give back what was read past the line end
                else if (c == 13 && TakeLineFeed(h))                    // the pair's LF in the next chunk
                    end++;
                return consumed + end;
            }
            if (c > 13)
                text.push_back(static_cast<char>(c));
        }
        consumed += got;
    }
}

int32_t FileReadString(THandle h, std::string& text, bool counted, int64_t position)
{
    text.clear();
    if (h == INVALID_HANDLE_VALUE || !SeekUnlessCurrent(h, position))
        return 0;
    return counted ? ReadCountedString(h, text) : ReadLineString(h, text);
}

void FileCloseHandle(THandle h)
{
    if (h != INVALID_HANDLE_VALUE)
        OS_CloseHandle(h);
}
