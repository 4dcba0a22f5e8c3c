// Helpers shared by the test programs.
#pragma once

#include <functional>
#include <string>
#include <vector>

// A copy of a field of a packed record: the test macros take their
// arguments by reference, and a number there may lie at an odd address.
template <typename T> T V(T value)
{
    return value;
}

// A fresh temporary folder, removed with everything in it when the object
// goes. Path() is the real (POSIX) path with a trailing "/".
class TTempFolder {
public:
    TTempFolder();
    ~TTempFolder();
    const std::string& Path() const { return FPath; }
    // The folder in the program's form ("\" separators, trailing "\").
    std::string ProgramPath() const;
    // Writes a file below the folder (creating its folders); returns its real path.
    std::string WriteFile(const std::string& relative, const std::string& bytes) const;
    // The same for a name in the program's form ("\" or "/" separators);
    // returns the folder's program path followed by the name as given.
    std::string WriteProgramFile(const std::string& relative, const std::string& bytes) const;
    std::string ReadFile(const std::string& relative) const;

private:
    std::string FPath;
};

// Path of a checked-in fixture: tests/fixtures/<relative>.
std::string FixturePath(const std::string& relative);

// Runs a test body where file permissions stop the caller as they stop any
// user. An ordinary user runs it right here. Root, whom permissions don't stop
// (CI runs as root), runs it in a child process that first hands the given
// folders to the unprivileged user "nobody" and then becomes that user; the
// child's failures are printed by the child and fail the calling test.
// Returns an empty text when the body ran, else why it could not run (the
// caller skips with that text).
std::string RunWherePermissionsApply(const std::function<void()>& body, const std::vector<std::string>& handOver = {});

// Runs one of our programs with the arguments (a shell command line), its
// standard error mixed into the output; status is pclose's. The leak checker
// is off in the child: its report would mix into the output.
std::string RunProgram(const std::string& program, const std::string& arguments, int& status);
